// Path texts of the file operations, called directly.
#include "restore/path_text.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

using namespace pathtext;

TEST(PathText, LongFormOfDriveAndSharePathsOnly)
{
    for (auto [pPath, pLong] : testutil::TextRows{{L"C:\\a\\b", L"\\\\?\\C:\\a\\b"},
                                                  {L"d:/a/b", L"\\\\?\\d:\\a\\b"},
                                                  {L"\\\\srv\\share\\a", L"\\\\?\\UNC\\srv\\share\\a"},
                                                  {L"\\\\?\\C:\\a", L"\\\\?\\C:\\a"},
                                                  {L"\\\\.\\PhysicalDrive0", L"\\\\.\\PhysicalDrive0"},
                                                  {L"a\\b", L"a\\b"},
                                                  {L"C:a", L"C:a"}})
        EXPECT_EQ(ToLongPath(pPath), pLong) << pPath;
}

TEST(PathText, ParentStopsAtTheRoot)
{
    struct Case {
        const wchar_t* pPath;
        const wchar_t* pParent; // nullptr: no parent
    } cases[] = {
        {L"C:\\a\\b\\c.txt", L"C:\\a\\b"},
        {L"C:\\a\\b\\", L"C:\\a"},
        {L"C:\\a\\\\b", L"C:\\a"},
        {L"C:\\a", L"C:\\"},
        {L"C:\\", nullptr},
        {L"C:", nullptr},
        {L"\\\\?\\Q:\\a", L"\\\\?\\Q:\\"},
        {L"\\\\?\\Q:\\", nullptr},
        {L"\\\\?\\UNC\\srv\\share\\a\\b", L"\\\\?\\UNC\\srv\\share\\a"},
        {L"\\\\?\\UNC\\srv\\share\\a", L"\\\\?\\UNC\\srv\\share\\"},
        {L"\\\\?\\UNC\\srv\\share\\", nullptr},
        {L"\\\\srv\\share", nullptr},
        {L"name", nullptr},
        {L"", nullptr},
    };
    for (const Case& c : cases) {
        std::wstring sParent = L"untouched";
        bool bHas = ParentFolder(c.pPath, sParent);
        EXPECT_EQ(bHas, c.pParent != nullptr) << c.pPath;
        EXPECT_EQ(sParent, c.pParent ? c.pParent : L"untouched") << c.pPath;
    }
    for (const wchar_t* pRoot : {L"C:\\", L"\\\\?\\C:\\", L"\\\\srv\\share\\"})
        EXPECT_TRUE(IsRoot(pRoot)) << pRoot;
    EXPECT_FALSE(IsRoot(L"C:\\a") || IsRoot(L"a"));
}

TEST(PathText, JoinAddsOneBackslashAndPatternsMatchWholeNamesIgnoringCase)
{
    EXPECT_EQ(Join(L"C:\\", L"a") + L"|" + Join(L"C:\\x", L"a") + L"|" + Join(L"D:", L""), L"C:\\a|C:\\x\\a|D:\\");
    struct Row {
        const wchar_t *pName, *pPattern;
        bool bMatch;
    };
    for (const Row& r : {Row{L"anything", L"*", true},
                         {L"no_dot", L"*.*", true},
                         {L"boot_restored-17", L"boot_restored-*", true},
                         {L"boot_restored", L"boot_restored-*", false},
                         {L"SYSTEM.LOG", L"*.log", true},
                         {L"system.log1", L"*.log", false},
                         {L"a.b.log", L"*.log", true},
                         {L"Ärger.txt", L"ä*.TXT", true},
                         {L"abc", L"a?c", true},
                         {L"ac", L"a?c", false},
                         {L"aXbXc", L"a*b*c", true},
                         {L"aXbX", L"a*b*c", false}})
        EXPECT_EQ(MatchesPattern(r.pName, r.pPattern), r.bMatch) << r.pName << " " << r.pPattern;
}
