// Sections of hard-linked names on the sandbox disk D:, through the implementation base's slots.
#include "hostapi/message_ids.h"
#include "tests/restore/file_helpers.h"
#include "tests/restore/restore_impl.h"

#include <gtest/gtest.h>

using namespace filehelp;

namespace
{

using Section = LinkSection;

// Counts the calls that reach the FixHardLinks slot.
class CountingImpl : public RestoreImpl
{
public:
    bool FixHardLinks(const std::wstring& sSection, LinkEntries& entries) override
    {
        ++nFixCalls;
        return RestoreImpl::FixHardLinks(sSection, entries);
    }
    int nFixCalls = 0;
};

struct HardLinks : ::testing::Test {
    CountingImpl impl;
    CRPLImpl& base = impl; // the host calls through the base's slots
    std::wstring sDir = FolderForThisTest(L"D:\\links");
    std::wstring P(const std::wstring& sName) const { return sDir + L"\\" + sName; }
};

} // namespace

TEST_F(HardLinks, CompleteSectionIsLeftAlone)
{
    ASSERT_TRUE(WriteFileText(P(L"a.txt"), "x"));
    ASSERT_TRUE(CreateHardLinkW(Long(P(L"b.txt")).c_str(), Long(P(L"a.txt")).c_str(), nullptr));
    Section s({P(L"a.txt"), P(L"b.txt")});
    EXPECT_TRUE(base.ProcessSection(L"[1]", s.refs));
    EXPECT_TRUE(s.entries[0].bExists && s.entries[1].bExists);
    EXPECT_EQ(impl.nFixCalls, 0);
    EXPECT_TRUE(impl.messages.empty());
}

TEST_F(HardLinks, MissingNamesComeBackAsLinksToAPresentOne)
{
    ASSERT_TRUE(WriteFileText(P(L"present.txt"), "content"));
    std::wstring sDeep = P(L"new\\folder\\again.txt");
    Section s({P(L"gone.txt"), P(L"present.txt"), sDeep, L""});
    s.entries[3].pPath = nullptr; // an entry without a path is passed over
    EXPECT_TRUE(base.ProcessSection(L"[2]", s.refs));
    EXPECT_EQ(impl.nFixCalls, 1);
    EXPECT_TRUE(SameFile(P(L"gone.txt"), P(L"present.txt")));
    EXPECT_TRUE(SameFile(sDeep, P(L"present.txt")));
    EXPECT_TRUE(s.entries[0].bExists && s.entries[2].bExists);
    EXPECT_TRUE(impl.messages.empty());
}

TEST_F(HardLinks, NoNamePresentFailsAndCreatesNothing)
{
    Section s({P(L"one.txt"), P(L"sub\\two.txt")});
    EXPECT_FALSE(base.ProcessSection(L"[3]", s.refs));
    EXPECT_EQ(impl.nFixCalls, 0);
    EXPECT_FALSE(Exists(P(L"one.txt")));
    EXPECT_FALSE(Exists(P(L"sub")));
    EXPECT_EQ(impl.OnlyError(), Error(MSG_CREATE_FILE_FAILED, ERROR_FILE_NOT_FOUND));
}

TEST_F(HardLinks, PendingDeletesAreNeverRecreated)
{
    ASSERT_TRUE(WriteFileText(P(L"kept.txt"), "k"));
    std::wstring sPending = P(L"Windows\\Temp\\PendingDeletes\\$$DeleteMe.kept.txt.01d2");
    std::wstring sPendingLower = P(L"windows\\temp\\pendingdeletes\\$$deleteme.x");
    Section s({sPending, P(L"kept.txt"), sPendingLower, P(L"restored.txt")});
    EXPECT_TRUE(base.ProcessSection(L"[4]", s.refs));
    EXPECT_FALSE(Exists(sPending));
    EXPECT_FALSE(Exists(sPendingLower));
    EXPECT_FALSE(Exists(P(L"Windows")));
    EXPECT_TRUE(SameFile(P(L"restored.txt"), P(L"kept.txt")));
}

TEST_F(HardLinks, FailuresAreReportedAndTheOtherNamesStillLinked)
{
    ASSERT_TRUE(WriteFileText(P(L"target.txt"), "t"));
    MakeFolders(P(L"taken"));
    Section s({P(L"target.txt"), P(L"taken"), P(L"fine.txt")});
    EXPECT_FALSE(base.ProcessSection(L"[5]", s.refs));
    EXPECT_FALSE(s.entries[1].bExists);
    EXPECT_TRUE(SameFile(P(L"fine.txt"), P(L"target.txt")));
    EXPECT_EQ(impl.OnlyError(), Error(MSG_CREATE_FILE_FAILED, ERROR_ALREADY_EXISTS));

    impl.messages.clear();
    Section one({P(L"target.txt")});
    one.entries[0].bExists = true;
    EXPECT_FALSE(base.FixHardLinks(L"[6]", one.refs));
    EXPECT_FALSE(impl.OnlyError().empty());
    impl.messages.clear();
    EXPECT_FALSE(base.ProcessSection(L"", s.refs));
    EXPECT_FALSE(impl.OnlyError().empty());
}
