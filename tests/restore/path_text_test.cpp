// Path texts of the file operations, called directly.
#include "restore/path_text.h"

#include <gtest/gtest.h>

using namespace pathtext;

TEST(PathText, LongFormOfDriveAndSharePathsOnly)
{
    EXPECT_EQ(ToLongPath(L"C:\\a\\b"), L"\\\\?\\C:\\a\\b");
    EXPECT_EQ(ToLongPath(L"d:/a/b"), L"\\\\?\\d:\\a\\b");
    EXPECT_EQ(ToLongPath(L"\\\\srv\\share\\a"), L"\\\\?\\UNC\\srv\\share\\a");
    EXPECT_EQ(ToLongPath(L"\\\\?\\C:\\a"), L"\\\\?\\C:\\a");
    EXPECT_EQ(ToLongPath(L"\\\\.\\PhysicalDrive0"), L"\\\\.\\PhysicalDrive0");
    EXPECT_EQ(ToLongPath(L"a\\b"), L"a\\b");
    EXPECT_EQ(ToLongPath(L"C:a"), L"C:a");
    EXPECT_EQ(FromLongPath(L"\\\\?\\UNC\\srv\\share\\a"), L"\\\\srv\\share\\a");
    EXPECT_EQ(FromLongPath(L"\\\\?\\C:\\a"), L"C:\\a");
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
    EXPECT_TRUE(IsRoot(L"C:\\"));
    EXPECT_TRUE(IsRoot(L"\\\\?\\C:\\"));
    EXPECT_TRUE(IsRoot(L"\\\\srv\\share\\"));
    EXPECT_FALSE(IsRoot(L"C:\\a"));
    EXPECT_FALSE(IsRoot(L"a"));
}

TEST(PathText, JoinAddsOneBackslash)
{
    EXPECT_EQ(Join(L"C:\\", L"a"), L"C:\\a");
    EXPECT_EQ(Join(L"C:\\x", L"a"), L"C:\\x\\a");
    EXPECT_EQ(Join(L"D:", L""), L"D:\\");
}

TEST(PathText, PatternsMatchWholeNamesIgnoringCase)
{
    EXPECT_TRUE(MatchesPattern(L"anything", L"*"));
    EXPECT_TRUE(MatchesPattern(L"no_dot", L"*.*"));
    EXPECT_TRUE(MatchesPattern(L"boot_restored-17", L"boot_restored-*"));
    EXPECT_FALSE(MatchesPattern(L"boot_restored", L"boot_restored-*"));
    EXPECT_TRUE(MatchesPattern(L"SYSTEM.LOG", L"*.log"));
    EXPECT_FALSE(MatchesPattern(L"system.log1", L"*.log"));
    EXPECT_TRUE(MatchesPattern(L"a.b.log", L"*.log"));
    EXPECT_TRUE(MatchesPattern(L"Ärger.txt", L"ä*.TXT"));
    EXPECT_TRUE(MatchesPattern(L"abc", L"a?c"));
    EXPECT_FALSE(MatchesPattern(L"ac", L"a?c"));
    EXPECT_TRUE(MatchesPattern(L"aXbXc", L"a*b*c"));
    EXPECT_FALSE(MatchesPattern(L"aXbX", L"a*b*c"));
}
