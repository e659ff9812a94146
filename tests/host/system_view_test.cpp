// The reference host's view of PrepareSystem: which records start, count, restore and end a
// component, and the table and verdict it prints.
#include "host/system_job.h"

#include <gtest/gtest.h>

using namespace refhost;

namespace
{

ProgressRecord Record(unsigned uiKind, const wchar_t* pText, unsigned uiTotal = 0, unsigned uiRestored = 0)
{
    ProgressRecord r;
    r.uiKind = uiKind;
    r.sText1 = pText;
    r.uiTotalFiles = uiTotal;
    r.uiFilesRestored = uiRestored;
    return r;
}

} // namespace

TEST(SystemView, RecordsFoldIntoOneOutcomePerComponent)
{
    std::vector<ComponentOutcome> c;
    EXPECT_FALSE(ApplyComponentRecord(c, Record(PK_OBJECT_RESTORED, L"W:\\x", 0, 1))) << "no component yet";
    EXPECT_TRUE(ApplyComponentRecord(c, Record(PK_PASS_START, L"VSS OTHER:\\")));
    EXPECT_TRUE(ApplyComponentRecord(c, Record(PK_MESSAGE, L"VSS OTHER:\\", 1)));
    EXPECT_TRUE(ApplyComponentRecord(c, Record(PK_MESSAGE, L"VSS OTHER:\\", 2)));
    EXPECT_TRUE(ApplyComponentRecord(c, Record(PK_PASS_START, L"VSS OTHER:\\", 2)));
    EXPECT_TRUE(ApplyComponentRecord(c, Record(PK_OBJECT_RESTORED, L"W:\\a", 2, 1)));
    EXPECT_TRUE(ApplyComponentRecord(c, Record(PK_PASS_FINISHED, L"W:\\a", 2, 1)));
    // The same title again after the end is another saveset of its own (NMM savesets repeat).
    EXPECT_TRUE(ApplyComponentRecord(c, Record(PK_PASS_START, L"VSS OTHER:\\")));
    EXPECT_TRUE(ApplyComponentRecord(c, Record(PK_PASS_FAILED, L"VSS OTHER:\\")));
    EXPECT_FALSE(ApplyComponentRecord(c, Record(PK_HEARTBEAT, L"")));
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].uiCounted, 2u);
    EXPECT_EQ(c[0].uiRestored, 1u);
    EXPECT_TRUE(c[0].bFinished);
    EXPECT_FALSE(c[0].bFailed);
    EXPECT_TRUE(c[1].bFailed);
}

TEST(SystemView, TheTableNamesEachResultAndTheVerdictCountsWarnings)
{
    SystemRun run;
    run.bPrepared = true;
    run.bComplete = true;
    run.components = {{L"VSS SYSTEM BOOT:\\", 13, 13, false, true}, {L"VSS OTHER:\\", 3, 1, false, true}};
    run.messages = {{ML_INFORMATION, L"Successfully copied Windows BOOT files"},
                    {ML_WARNING, L"The system-state component VSS OTHER:\\ brought back only 1 of the 3 objects"}};
    std::vector<std::wstring> lines = FormatSystemSummary(run);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_NE(lines[2].find(L"restored"), std::wstring::npos);
    EXPECT_NE(lines[3].find(L"incomplete"), std::wstring::npos);
    EXPECT_NE(lines[4].find(L"[WARNING]"), std::wstring::npos) << "only warnings and errors are repeated";
    EXPECT_EQ(lines[5], L"CheckSystemState: a complete system state");
    EXPECT_EQ(lines[6], L"PrepareSystem: prepared with 1 warnings");
    run.bPrepared = false;
    run.sError = L"Failed to restore VSS OTHER";
    EXPECT_EQ(FormatSystemSummary(run).back(), L"PrepareSystem: failed (Failed to restore VSS OTHER)");
}
