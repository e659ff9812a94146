// The reference host's restore view: the phases the records move, the result of a filespace, the
// exit code and the parts of --verify that are decisions.
#include "host/progress_view.h"
#include "host/restore_job.h"
#include "host/verify_drives.h"

#include <gtest/gtest.h>

namespace
{
using namespace refhost;

FileSpace Volume(const std::wstring& sName, wchar_t wcLetter, unsigned long ulFlags = 0)
{
    FileSpace fs;
    fs.sFsName = sName;
    fs.wcFsDriveLetter = wcLetter;
    fs.ulFsFlags = ulFlags;
    fs.sFsPath = ulFlags & FS_MOUNTED_FOLDER ? sName : L"";
    return fs;
}

ProgressRecord Record(unsigned uiKind, unsigned uiTotal = 0, unsigned long long ullBytes = 0)
{
    ProgressRecord r;
    r.uiKind = uiKind;
    r.uiTotalFiles = uiTotal;
    r.ullTotalBytes = ullBytes;
    return r;
}

ProgressRecord Restored(const std::wstring& sPath, unsigned uiCount, unsigned long long ullSize)
{
    ProgressRecord r = Record(PK_OBJECT_RESTORED, 4, 4096);
    r.sText1 = sPath;
    r.uiFilesRestored = uiCount;
    r.ullCurrentSize = ullSize;
    return r;
}

TEST(HostRestoreView, RecordsMoveThePhasesAndSumTheBytes)
{
    ProgressState s;
    ApplyRecord(s, Record(PK_PASS_START));
    EXPECT_EQ(s.enPhase, ProgressState::Counting);
    ApplyRecord(s, Record(PK_MESSAGE, 3, 3000));
    EXPECT_EQ(s.uiCounted, 3u);
    ApplyRecord(s, Record(PK_PASS_START, 4, 4096));
    EXPECT_EQ(s.enPhase, ProgressState::Restoring);
    ApplyRecord(s, Restored(L"D:\\Data\\", 1, 0));
    ApplyRecord(s, Restored(L"D:\\Data\\a.txt", 2, 1024));
    EXPECT_EQ(s.ullRestoredBytes, 1024u);
    EXPECT_EQ(s.sCurrent, L"D:\\Data\\a.txt");
    EXPECT_FALSE(ApplyRecord(s, Record(PK_HEARTBEAT)));
    EXPECT_FALSE(ApplyRecord(s, Record(PK_PASSWORD_REQUEST)));
    ApplyRecord(s, Record(PK_PASS_FAILED, 4, 4096));
    EXPECT_EQ(s.enPhase, ProgressState::Failed);
    // An empty filespace: two starts with zero totals still end the count.
    ProgressState e;
    ApplyRecord(e, Record(PK_PASS_START));
    ApplyRecord(e, Record(PK_PASS_START));
    EXPECT_EQ(e.enPhase, ProgressState::Restoring);
}

FilespaceOutcome Outcome(bool bResult, unsigned uiCounted, unsigned uiRestored)
{
    FilespaceOutcome o;
    o.sName = L"D:\\";
    o.bResult = bResult;
    o.uiCounted = uiCounted;
    o.uiRestored = uiRestored;
    return o;
}

TEST(HostRestoreView, ResultsOfAFilespaceAndTheExitCode)
{
    FilespaceOutcome ok = Outcome(true, 5, 5);
    EXPECT_EQ(Decide(ok), RestoreResult::Restored);
    FilespaceOutcome shortfall = Outcome(true, 5, 4);
    EXPECT_EQ(Decide(shortfall), RestoreResult::Incomplete);
    FilespaceOutcome told = Outcome(true, 5, 5);
    told.messages.push_back({ML_WARNING, L"Only 4 of the 5 objects counted were restored to D:"});
    EXPECT_EQ(Decide(told), RestoreResult::Incomplete);
    FilespaceOutcome absent = Outcome(true, 0, 0);
    absent.messages.push_back({ML_WARNING, L"Restoration of files to E: will be skipped as volume is not present"});
    EXPECT_EQ(Decide(absent), RestoreResult::Skipped);
    FilespaceOutcome failed = Outcome(false, 5, 5);
    EXPECT_EQ(Decide(failed), RestoreResult::Failed);
    FilespaceOutcome unknown;
    unknown.bInListing = false;
    EXPECT_EQ(Decide(unknown), RestoreResult::NotInBackup);

    EXPECT_EQ(RestoreExitCode({ok, absent}), 0);
    EXPECT_EQ(RestoreExitCode({}), 0);
    EXPECT_EQ(RestoreExitCode({ok, shortfall}), 1);
    EXPECT_EQ(RestoreExitCode({ok, told}), 1);
    EXPECT_EQ(RestoreExitCode({failed, ok}), 1);
    EXPECT_EQ(RestoreExitCode({unknown}), 1);
}

const FileSpaceList kListing = {Volume(L"C:\\", L'C', 7), Volume(L"D:\\", L'D'),
                                Volume(L"D:\\Data\\Mount 1", L'-', FS_MOUNTED_FOLDER)};

TEST(HostRestoreView, OptionsAndTheChoiceOfFilespaces)
{
    RestoreOptions all = ParseRestoreOptions({L"--restore", L"all", L"--verify"});
    EXPECT_TRUE(all.bRestore && all.bAll && all.bVerify);
    std::vector<std::wstring> missing;
    EXPECT_EQ(ChooseFilespaces(kListing, all, missing).size(), 3u);
    EXPECT_TRUE(missing.empty());
    // Names are taken in the listing's order, whatever order they were given in.
    RestoreOptions some =
        ParseRestoreOptions({L"--restore", L"d:\\data\\mount 1", L"C:\\", L"Q:\\", L"--password", L"pw"});
    EXPECT_FALSE(some.bAll || some.bVerify);
    EXPECT_TRUE(some.bPasswordGiven);
    EXPECT_EQ(some.sPassword, L"pw");
    std::vector<FileSpace> chosen = ChooseFilespaces(kListing, some, missing);
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0].sFsName, L"C:\\");
    EXPECT_EQ(chosen[1].sFsName, L"D:\\Data\\Mount 1");
    EXPECT_EQ(missing, std::vector<std::wstring>{L"Q:\\"});
    EXPECT_EQ(TargetLetter(kListing[2]), L'D');
    EXPECT_FALSE(ParseRestoreOptions({L"--list"}).bRestore);
}

FilespaceOutcome On(const FileSpace& fs, bool bResult)
{
    FilespaceOutcome o = Outcome(bResult, 1, 1);
    o.sName = fs.sFsName;
    o.wcTarget = TargetLetter(fs);
    return o;
}

TEST(HostRestoreView, ChecksPerLetterLimitedToWhatWasRestored)
{
    FilespaceOutcome absent = On(kListing[0], true);
    absent.messages.push_back({ML_WARNING, L"Restoration of files to C: will be skipped as volume is not present"});
    std::vector<DriveCheck> checks =
        PlanChecks(kListing, {absent, On(kListing[1], true), On(kListing[2], false)}, {}, {});
    ASSERT_EQ(checks.size(), 1u); // the skipped C: is not compared; the failed mount is
    EXPECT_EQ(checks[0].wcLetter, L'D');
    EXPECT_TRUE(checks[0].filespaces.empty());
    checks = PlanChecks(kListing, {On(kListing[2], true)}, {}, {});
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].filespaces, std::vector<std::wstring>{L"D:\\Data\\Mount 1"});
}

TEST(HostRestoreView, WhatWasOnCBeforeAndDidNotComeBackIsLeftOut)
{
    PathSet before = {L"c:\\",
                      L"c:\\windows\\",
                      L"c:\\windows\\system32\\",
                      L"c:\\windows\\system32\\kernel32.dll",
                      L"c:\\windows\\fonts\\",
                      L"c:\\windows\\fonts\\a.ttf",
                      L"c:\\windows\\win.ini",
                      L"c:\\users\\",
                      L"c:\\users\\public\\",
                      L"c:\\users\\root\\",
                      L"c:\\users\\root\\desktop\\"};
    PathSet restored = {L"C:\\Windows\\System32\\nwsim-policy.dat", L"C:\\Users\\Public\\", L"C:\\QERNCFG\\NWInfo"};
    std::vector<std::wstring> expected = {L"c:\\users\\root", L"c:\\windows\\fonts",
                                          L"c:\\windows\\system32\\kernel32.dll", L"c:\\windows\\win.ini"};
    EXPECT_EQ(PreexistingToIgnore(before, restored), expected);
    std::vector<DriveCheck> checks = PlanChecks(kListing, {On(kListing[0], true)}, before, restored);
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].ignores, expected);
    EXPECT_NE(checks[0].sNote.find(L"4 paths"), std::wstring::npos) << checks[0].sNote;
}

TEST(HostRestoreView, ShellQuotingAndTheVerdict)
{
    EXPECT_EQ(ShellQuote("C:\\Program Files"), "'C:\\Program Files'");
    EXPECT_EQ(ShellQuote("it's"), "'it'\\''s'");
    bool bPass = false;
    EXPECT_TRUE(ParseVerdict("verify: PASS: 4 files and 3 folders of D: match the backup", bPass));
    EXPECT_TRUE(bPass);
    EXPECT_TRUE(ParseVerdict("verify: FAIL: 3 missing, 0 extra (of 4 files and 3 folders of D:)", bPass));
    EXPECT_FALSE(bPass);
    EXPECT_FALSE(ParseVerdict("missing: D:\\verify: PASS: x", bPass));
}

} // namespace
