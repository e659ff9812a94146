// Filespace restores through the exported interface in a sandbox machine, each success proven by
// comparing the drive with the store: every shape with the progress the host sees, a point in
// time, passwords; then each way recover fails, the host aborting,
// the connection lost, and a path of 2,000 characters.
#include "hostapi/message_ids.h"
#include "plugin/cvex.h"
#include "plugin/cvex_impl.h"
#include "tests/common/sandbox_host.h"

#include <algorithm>

using namespace sandboxtest;

namespace
{

const std::vector<std::wstring> kOnlyD = {L"--filespace", L"D:\\"};
using Ids = std::vector<unsigned>;

class RestoreSandbox : public SandboxHost
{
protected:
    void ListStore(const std::wstring& sStore, const std::wstring& sPit = L"")
    {
        UseStore(sStore);
        ASSERT_TRUE(Init(sPit)) << testing::PrintToString(LastError());
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    }

    // The records of a restore with nothing in the way: its start, the count growing, the start
    // again with the totals, one record per object, the end; no error.
    void ExpectProgress(const FileSpace& fs, const StoreTotals& totals)
    {
        SCOPED_TRACE(testing::PrintToString(fs.sFsName));
        EXPECT_EQ(KindSequence(m_records), L"1 7 1 2 4");
        ASSERT_GE(m_records.size(), 2u);
        EXPECT_EQ(m_records.front().sText1, fs.sFsName);
        EXPECT_EQ(m_records.front().wcDriveLetter, fs.wcFsDriveLetter);
        std::vector<const Record*> counted = RecordsOfKind(PK_MESSAGE);
        for (size_t i = 0; i < counted.size(); ++i) {
            EXPECT_EQ(counted[i]->sText5, L"Counting objects to be restored ...");
            EXPECT_EQ(counted[i]->uiTotalFiles, i + 1);
        }
        std::vector<const Record*> starts = RecordsOfKind(PK_PASS_START);
        ASSERT_EQ(starts.size(), 2u);
        EXPECT_EQ(starts[1]->sText1, fs.sFsName);
        EXPECT_EQ(starts[1]->uiTotalFiles, totals.uiObjects);
        EXPECT_EQ(starts[1]->ullTotalBytes, totals.ullBytes);
        std::vector<const Record*> objects = RecordsOfKind(PK_OBJECT_RESTORED);
        EXPECT_EQ(objects.size(), totals.uiObjects);
        unsigned long long ullBytes = 0, ullLargest = 0;
        unsigned uiFolders = 0;
        for (size_t i = 0; i < objects.size(); ++i) {
            EXPECT_EQ(objects[i]->uiFilesRestored, i + 1);
            bool bFolder = !objects[i]->sText1.empty() && objects[i]->sText1.back() == L'\\';
            uiFolders += bFolder ? 1 : 0;
            EXPECT_TRUE(!bFolder || objects[i]->ullCurrentSize == 0) << testing::PrintToString(objects[i]->sText1);
            ullBytes += objects[i]->ullCurrentSize;
            ullLargest = std::max(ullLargest, objects[i]->ullCurrentSize);
        }
        EXPECT_EQ(uiFolders, totals.uiFolders);
        EXPECT_EQ(ullBytes, totals.ullBytes);
        EXPECT_EQ(ullLargest, totals.ullLargest) << "each file counted in full";
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FINISHED);
        EXPECT_TRUE(ErrorIds().empty());
    }

    void RestoreAndExpectProgress(const std::wstring& sName, const std::wstring& sNotAfter = L"")
    {
        FileSpace fs = Listed(sName);
        ASSERT_TRUE(Restore(fs)) << testing::PrintToString(LastError());
        ExpectProgress(fs, TotalsOf(m_sStore, sName, sNotAfter));
    }

    // After a failure the next restore of D:\ comes back whole.
    void ExpectNextRestoreWorks()
    {
        SetFaults({});
        SetServerKnobs({});
        AbortAt(0, 0);
        ClearDrive(L'D');
        RestoreAndExpectProgress(L"D:\\");
        EXPECT_VERIFIED(L'D', kOnlyD);
    }

    // A failed restore: these error ids, the host's record says failed, recover is gone.
    void ExpectFailed(const Ids& errors)
    {
        EXPECT_EQ(ErrorIds(), errors);
        ASSERT_FALSE(m_records.empty());
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED) << testing::PrintToString(KindSequence(m_records));
        EXPECT_TRUE(NoRecoverRunning());
    }

    unsigned Restored() { return static_cast<unsigned>(RecordsOfKind(PK_OBJECT_RESTORED).size()); }
    unsigned Counted() { return TotalsOf(m_sStore, L"D:\\").uiObjects; }

    // The verifier's "missing:" lines are the paths that the per-file warnings name, no more.
    void ExpectMissingExactlyWhatTheWarningsName()
    {
        std::vector<std::wstring> named, missing;
        const std::wstring sPrefix = L"NetWorker Message : ";
        for (const Message& m : m_messages) {
            size_t iColon = m.sText.find(L": ", sPrefix.size());
            if (m.sText.rfind(sPrefix, 0) == 0 && iColon != std::wstring::npos)
                named.push_back(m.sText.substr(sPrefix.size(), iColon - sPrefix.size()));
        }
        std::wstring sVerdict = VerifyDrive(L'D', kOnlyD);
        for (size_t i = sVerdict.find(L"missing: "); i != std::wstring::npos; i = sVerdict.find(L"missing: ", i + 1))
            missing.push_back(sVerdict.substr(i + 9, sVerdict.find(L'\n', i) - i - 9));
        std::sort(named.begin(), named.end());
        std::sort(missing.begin(), missing.end());
        EXPECT_FALSE(named.empty());
        EXPECT_EQ(missing, named) << testing::PrintToString(sVerdict);
    }
};

} // namespace

TEST_F(RestoreSandbox, EveryShapeComesBackAsTheHostIsTold)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"standard"));
    ClearDrive(L'D');
    SnapshotWineC();
    RestoreAndExpectProgress(L"D:\\");
    EXPECT_VERIFIED(L'D', kOnlyD);
    RestoreAndExpectProgress(L"D:\\Data\\Mount 1");
    EXPECT_VERIFIED(L'D');
    RestoreAndExpectProgress(L"C:\\");
    EXPECT_VERIFIED(L'C', {L"--filespace", L"C:\\"});

    // A point in time counts and restores the older backup.
    const std::wstring sOlder = L"2021-03-05 12:00:00";
    ASSERT_NO_FATAL_FAILURE(ListStore(L"standard", L"05/03/2021 12:00:00"));
    ClearDrive(L'D');
    RestoreAndExpectProgress(L"D:\\", sOlder);
    EXPECT_VERIFIED(L'D', {L"--filespace", L"D:\\", L"--pit", sOlder});
    EXPECT_FALSE(VerifyDrive(L'D', kOnlyD).empty()) << "the backups differ";

    ASSERT_NO_FATAL_FAILURE(ListStore(L"efi"));
    ClearDrive(L'S');
    RestoreAndExpectProgress(L"S:\\");
    EXPECT_VERIFIED(L'S');

    // Deep paths, other scripts and a file over 4 GiB.
    ASSERT_NO_FATAL_FAILURE(ListStore(L"bulk"));
    ASSERT_GT(TotalsOf(L"bulk", L"E:\\").ullLargest, 1ULL << 32);
    ClearDrive(L'E');
    RestoreAndExpectProgress(L"E:\\");
    EXPECT_VERIFIED(L'E');
}

TEST_F(RestoreSandbox, PasswordProtectedFilesNeedTheRightPassword)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"password"));
    const std::vector<std::vector<std::wstring>> kAnswers = {{L"secret"}, {L"wrong", L"secret"}};
    for (const std::vector<std::wstring>& answers : kAnswers) {
        SCOPED_TRACE(answers.size());
        ASSERT_TRUE(Init()) << "a new Init forgets the password";
        ClearDrive(L'D');
        m_passwords.assign(answers.begin(), answers.end());
        RestoreAndExpectProgress(L"D:\\");
        EXPECT_GE(m_uiPasswordRequests, answers.size()) << "asked again after a wrong one";
        EXPECT_TRUE(m_passwords.empty());
        EXPECT_VERIFIED(L'D', kOnlyD);
    }
    ASSERT_TRUE(Init());
    ClearDrive(L'D');
    EXPECT_FALSE(Restore(L"D:\\")) << "no password";
    ExpectFailed({MSG_USER_ABORTED});
    ExpectLastError(MSG_USER_ABORTED);
}

TEST_F(RestoreSandbox, EachWayRecoverFailsIsItsMessageAndTheNextRestoreWorks)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"standard"));
    // The connection dropped in both counts, or in the restore pass after its objects (the count
    // session reports fewer lines than the restore's).
    const std::pair<const wchar_t*, Ids> kDrops[] = {
        {L"2", {MSG_CONNECTION_LOST, MSG_COUNT_CUT_SHORT, MSG_RESTORE_FILESPACE_FAILED}},
        {L"12", {MSG_CONNECTION_LOST}}};
    for (const auto& [pLines, errors] : kDrops) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(L"dropped after lines: ") + pLines));
        ClearDrive(L'D'); // a file there already would add a line of recover's
        SetServerKnobs({{L"drop_after_lines", pLines}, {L"drop_tool", L"recover"}, {L"drop_sessions", L"2"}});
        EXPECT_FALSE(Restore(L"D:\\"));
        SetServerKnobs({});
        ExpectFailed(errors);
    }
    const std::wstring sOf = L" of the " + std::to_wstring(Counted()) + L" objects counted were restored; ";
    auto shortBy = [&sOf](const wchar_t* pRestored, const wchar_t* pCause) { return pRestored + sOf + pCause; };
    const Ids kShort = {MSG_RESTORE_SHORT}, kCut = {MSG_COUNT_CUT_SHORT, MSG_RESTORE_FILESPACE_FAILED};
    const std::wstring kNoSession = L"recover had no session with the server";
    const std::wstring kNotAnswered = L"recover ended before it had answered every command";
    const std::wstring kShortEnd = L"recover ended before every object had come back";
    const struct {
        std::vector<std::wstring> faults;
        Ids errors;
        std::wstring sNamed; // what the last error names
    } kCases[] = {
        // A failure line ends the restore once recover finished; error lines after it change nothing
        // (which line gives which message is decided by the restore's line rules).
        {{L"recover restore object:3 say not_configured"}, {MSG_CLIENT_NAME_NOT_REGISTERED}, L"server localhost"},
        {{L"recover restore object:3 say ddcl", L"recover restore object:5 say threads_failed"},
         {MSG_DDCL_OPEN_FAILED},
         L""},
        {{L"recover restore object:3 fail ddcl"}, {MSG_DDCL_OPEN_FAILED}, L""},
        {{L"recover restore object:4 say forcibly_closed"},
         {MSG_CONNECTION_LOST, MSG_RESTORE_SHORT},
         shortBy(L"3", L"the connection to the NetWorker server was lost")},
        // A shortfall recover does not account for: both counts and the cause.
        {{L"recover restore start fail busy"},
         kShort,
         shortBy(L"0", L"recover had no session with the server: Recovery failed establishing connection with "
                       L"NetWorker server - BUSY")},
        {{L"recover restore start fail no_route"},
         kShort,
         shortBy(L"0", L"recover had no session with the server: Could not establish session with NetWorker server")},
        {{L"recover restore object:5 exit 3"}, kShort, shortBy(L"4", L"recover ended with exit code 3")},
        {{L"recover restore object:5 exit 0"}, kShort, shortBy(L"4", kShortEnd.c_str())},
        {{L"recover restore object:5 crash"}, kShort, shortBy(L"4", L"recover ended abnormally (0xC0000005)")},
        {{L"recover restore object:5 partial"}, kShort, shortBy(L"4", kShortEnd.c_str())},
        // A count cut short twice fails before anything is written.
        {{L"recover session object:3 exit 1"}, kCut, L"recover ended with exit code 1"},
        {{L"recover session object:3 crash"}, kCut, L"recover ended abnormally (0xC0000005)"},
        {{L"recover session object:3 partial"}, kCut, kNotAnswered},
        {{L"recover session object:3 say busy"}, kCut, kNoSession},
        {{L"recover any object:4 exit 0"}, kCut, kNotAnswered},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.faults[0]));
        ClearDrive(L'D');
        SetFaults(c.faults);
        EXPECT_FALSE(Restore(L"D:\\"));
        ExpectFailed(c.errors);
        EXPECT_FALSE(Logged(MSG_RESTORE_INCOMPLETE, ML_WARNING)) << "the warning is for a shortfall recover named";
        if (c.errors[0] == MSG_COUNT_CUT_SHORT) {
            EXPECT_TRUE(LoggedNaming(MSG_COUNT_CUT_SHORT, L"D:\\ did not complete: " + c.sNamed));
            EXPECT_TRUE(RecordsOfKind(PK_OBJECT_RESTORED).empty());
        } else {
            EXPECT_TRUE(testutil::Contains(LastError(), c.sNamed)) << testing::PrintToString(LastError());
            EXPECT_EQ(LastErrorId(), c.errors.back());
        }
    }
    ExpectNextRestoreWorks();
}

TEST_F(RestoreSandbox, ACountCutShortOnceIsCountedAgain)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"standard"));
    // A count and a restore cut at the same object never pass for a whole restore.
    for (const wchar_t* pKnob : {L"once recover session object:3 exit 1", L"once recover any object:4 exit 0"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pKnob)));
        ClearDrive(L'D');
        SetFaults({pKnob});
        ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
        EXPECT_EQ(RecordsOfKind(PK_PASS_START)[1]->uiTotalFiles, Counted()) << "the second count is the total";
        EXPECT_TRUE(ErrorIds().empty());
        EXPECT_VERIFIED(L'D', kOnlyD);
    }
}

TEST_F(RestoreSandbox, WarningLinesLeaveTheRestoreGoing)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"standard"));
    {
        SCOPED_TRACE("a message of recover is passed on");
        SetFaults({L"recover restore object:3 say recover_message"});
        ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
        EXPECT_TRUE(Logged(MSG_NETWORKER_MESSAGE, ML_WARNING));
        EXPECT_TRUE(LoggedNaming(MSG_NETWORKER_MESSAGE, L"Recovery completed with warnings from localhost"));
        EXPECT_EQ(Restored(), Counted());
        EXPECT_TRUE(ErrorIds().empty());
        EXPECT_VERIFIED(L'D', kOnlyD);
    }
    {
        SCOPED_TRACE("a file that did not come back is a warning, not a restored object");
        ClearDrive(L'D');
        SetFaults({L"recover restore object:3 say \"D:\\x.txt: Permission denied\""});
        ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
        EXPECT_TRUE(Logged(MSG_NETWORKER_MESSAGE, ML_WARNING));
        for (const Record* r : RecordsOfKind(PK_OBJECT_RESTORED))
            EXPECT_NE(r->sText1.substr(0, 8), L"D:\\x.txt");
        EXPECT_EQ(Restored(), Counted());
        EXPECT_TRUE(ErrorIds().empty());
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FINISHED);
    }
    {
        SCOPED_TRACE("fewer objects restored than counted, each named by recover");
        ClearDrive(L'D');
        SetFaults({L"recover restore object:3 skip", L"recover restore object:5 skip \"cannot create\""});
        ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
        EXPECT_EQ(Restored(), Counted() - 2);
        EXPECT_EQ(MessageIds(), (Ids{MSG_NETWORKER_MESSAGE, MSG_NETWORKER_MESSAGE, MSG_RESTORE_INCOMPLETE}));
        EXPECT_TRUE(Logged(MSG_RESTORE_INCOMPLETE, ML_WARNING));
        EXPECT_TRUE(LoggedNaming(MSG_RESTORE_INCOMPLETE, L"Only " + std::to_wstring(Counted() - 2) + L" of the " +
                                                             std::to_wstring(Counted()) + L" objects counted"));
        EXPECT_TRUE(LoggedNaming(MSG_RESTORE_INCOMPLETE, L" D:"));
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FINISHED);
        ExpectMissingExactlyWhatTheWarningsName();
    }
}

TEST_F(RestoreSandbox, AnAbsentVolumeIsSkippedAndABadFilespaceRefused)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"standard"));
    FileSpace absent;
    absent.sFsName = L"T:\\";
    absent.sFsType = L"NTFS";
    absent.wcFsDriveLetter = L'T';
    // A mounted folder that is a plain folder of D: (its volume is not mounted there): restoring
    // into it would put the volume's files on D:.
    ASSERT_TRUE(CreateDirectoryW(L"D:\\Data\\Plain", nullptr));
    FileSpace plain = Listed(L"D:\\Data\\Mount 1");
    plain.sFsName = plain.sFsPath = L"D:\\Data\\Plain";
    for (const auto& [fs, pNamed] : {std::pair{absent, L"to T: will"}, std::pair{plain, L"to D:\\Data\\Plain will"}}) {
        EXPECT_TRUE(Restore(fs));
        EXPECT_EQ(MessageIds(), Ids{MSG_VOLUME_NOT_PRESENT});
        EXPECT_TRUE(Logged(MSG_VOLUME_NOT_PRESENT, ML_WARNING));
        EXPECT_TRUE(LoggedNaming(MSG_VOLUME_NOT_PRESENT, pNamed));
        EXPECT_EQ(KindSequence(m_records), L"1 4");
    }
    EXPECT_TRUE(RemoveDirectoryW(L"D:\\Data\\Plain")) << "nothing was written into the folder";

    // A name recover's command line cannot carry is refused, and named.
    FileSpace omega = Listed(L"D:\\Data\\Mount 1");
    omega.sFsName = omega.sFsPath = L"D:\\Data\\\u03a9mega";
    EXPECT_FALSE(Restore(omega));
    EXPECT_EQ(ErrorIds(), (Ids{MSG_UNSAFE_TEXT, MSG_RESTORE_FILESPACE_FAILED}));
    EXPECT_TRUE(LoggedNaming(MSG_UNSAFE_TEXT, L"\"D:\\Data\\\u03a9mega\""));
    EXPECT_TRUE(m_records.empty()) << "nothing was started";

    FileSpace noName = Listed(L"D:\\"), noLetter = Listed(L"D:\\"), noMountPath = Listed(L"D:\\Data\\Mount 1");
    noName.sFsName.clear();
    noLetter.wcFsDriveLetter = L'-';
    noMountPath.sFsPath.clear();
    for (const FileSpace& bad : {noName, noLetter, noMountPath}) {
        SCOPED_TRACE(testing::PrintToString(bad.sFsName));
        EXPECT_FALSE(Restore(bad));
        EXPECT_EQ(ErrorIds(), Ids{MSG_RESTORE_FILESPACE_FAILED});
        ExpectLastError(MSG_RESTORE_FILESPACE_FAILED);
    }
}

TEST_F(RestoreSandbox, TheHostAbortingAtAnObjectEndsTheRestoreAtOnce)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"standard"));
    const unsigned uiCounted = Counted();
    for (unsigned uiAt : {1u, uiCounted / 2, uiCounted}) {
        SCOPED_TRACE(uiAt);
        // recover would stay on for a minute: an abort that waited for it would show.
        SetFaults({L"recover restore end hang 60"});
        AbortAt(PK_OBJECT_RESTORED, uiAt);
        ULONGLONG ullStart = GetTickCount64();
        EXPECT_FALSE(Restore(L"D:\\"));
        EXPECT_LT(GetTickCount64() - ullStart, 20000u);
        EXPECT_EQ(Restored(), uiAt);
        ExpectFailed({MSG_USER_ABORTED});
    }
    ExpectNextRestoreWorks();
}

// A path of 2,000 characters reaches the host whole, in its own letters; when recover cannot write
// it, its failure line is a warning for that file, never a restored object.
TEST_F(RestoreSandbox, APathOf2000CharactersComesWholeAndItsFailureLineIsNoObject)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"longpath"));
    ClearDrive(L'D');
    ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
    std::vector<const Record*> objects = RecordsOfKind(PK_OBJECT_RESTORED);
    auto isLong = [](const Record* r) { return r->sText1.size() == 2000; };
    auto it = std::find_if(objects.begin(), objects.end(), isLong);
    ASSERT_NE(it, objects.end()) << "the long path as one object";
    EXPECT_EQ((*it)->sText1.substr(0, 12), L"D:\\Long\\\u03a9 le");
    EXPECT_GT((*it)->ullCurrentSize, 0u) << "its size read through the long path";
    EXPECT_EQ(objects.size(), Counted());
    auto longerThan = [&](size_t n) {
        return std::count_if(objects.begin(), objects.end(), [n](const Record* r) { return r->sText1.size() > n; });
    };
    EXPECT_EQ(longerThan(1024), longerThan(1000)) << "no object made of a piece of a line";
    EXPECT_VERIFIED(L'D', kOnlyD);

    // A line of 100,000 characters that starts as a path: in a restore, never an object; in a
    // count, no count.
    ClearDrive(L'D');
    SetFaults({L"recover restore object:3 longline 100000 path"});
    ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
    EXPECT_EQ(Restored(), Counted());
    EXPECT_VERIFIED(L'D', kOnlyD);
    SetFaults({L"recover session object:3 longline 100000 list"});
    EXPECT_FALSE(Restore(L"D:\\"));
    EXPECT_TRUE(Logged(MSG_COUNT_CUT_SHORT, ML_ERROR));

    const unsigned uiAt = static_cast<unsigned>(it - objects.begin()) + 1;
    ClearDrive(L'D');
    SetFaults({L"recover restore object:" + std::to_wstring(uiAt) + L" skip"});
    ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
    objects = RecordsOfKind(PK_OBJECT_RESTORED);
    EXPECT_TRUE(std::none_of(objects.begin(), objects.end(), isLong));
    EXPECT_EQ(MessageIds(), (Ids{MSG_NETWORKER_MESSAGE, MSG_RESTORE_INCOMPLETE}));
    ExpectMissingExactlyWhatTheWarningsName();
}
