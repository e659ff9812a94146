// How a filespace restore fails, through the fault knobs of the simulated tools and the host's
// answers: each line of recover that the restore knows gives its message and outcome, recover
// always finishes or is ended, and the next restore of the same filespace works.
#include "hostapi/message_ids.h"
#include "tests/common/test_util.h"
#include "tests/restore/restore_host.h"

#include <algorithm>

using namespace restoretest;

namespace
{

class RestoreFaults : public RestoreHost
{
protected:
    void SetUp() override
    {
        RestoreHost::SetUp();
        ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        ClearDrive(L'D');
    }
    std::vector<unsigned> ErrorIds()
    {
        std::vector<unsigned> ids = MessageIds(), errors;
        for (size_t i = 0; i < ids.size(); ++i)
            if (m_messages[i].uiLevel == ML_ERROR)
                errors.push_back(ids[i]);
        return errors;
    }
    unsigned Restored() { return static_cast<unsigned>(RecordsOfKind(PK_OBJECT_RESTORED).size()); }
    unsigned Counted() { return TotalsOf(m_sStore, L"D:\\").uiObjects; }
    // The verifier's "missing:" lines are the paths that the per-file warnings name, no more.
    void ExpectMissingExactlyWhatTheWarningsName()
    {
        std::vector<std::wstring> named, missing;
        for (const Message& m : m_messages) {
            const std::wstring sPrefix = L"NetWorker Message : ";
            size_t iColon = m.sText.find(L": ", sPrefix.size());
            if (m.sText.rfind(sPrefix, 0) == 0 && iColon != std::wstring::npos)
                named.push_back(m.sText.substr(sPrefix.size(), iColon - sPrefix.size()));
        }
        std::wstring sVerdict = VerifyDrive(L'D', {L"--filespace", L"D:\\"});
        for (size_t i = sVerdict.find(L"missing: "); i != std::wstring::npos; i = sVerdict.find(L"missing: ", i + 1))
            missing.push_back(sVerdict.substr(i + 9, sVerdict.find(L'\n', i) - i - 9));
        std::sort(named.begin(), named.end());
        std::sort(missing.begin(), missing.end());
        EXPECT_FALSE(named.empty());
        EXPECT_EQ(missing, named) << testing::PrintToString(sVerdict);
    }
    void ExpectRestoredAndVerified()
    {
        ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
        EXPECT_EQ(KindSequence(m_records), L"1 7 1 2 4");
        EXPECT_VERIFIED(L'D', {L"--filespace", L"D:\\"});
    }
};

} // namespace

TEST_F(RestoreFaults, EachFailureLineOfRecoverIsItsMessageAndFailsTheRestoreOnceRecoverFinished)
{
    const std::pair<const wchar_t*, unsigned> kLines[] = {
        {L"secured_data", MSG_NTFS_TO_NON_NTFS},
        {L"not_configured", MSG_CLIENT_NAME_NOT_REGISTERED},
        {L"not_configured_address", MSG_CLIENT_ADDRESS_NOT_REGISTERED},
        {L"ddcl", MSG_DDCL_OPEN_FAILED},
        {L"stale_rpc", MSG_STALE_RPC_HANDLE},
        {L"threads_failed", MSG_RECOVER_THREADS_FAILED},
    };
    for (const auto& [pPreset, uiMessage] : kLines) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pPreset)));
        // Error lines after the first change nothing.
        SetFaults({std::wstring(L"recover restore object:3 say ") + pPreset, L"recover restore object:5 say ddcl",
                   L"recover restore object:6 say threads_failed"});
        EXPECT_FALSE(Restore(L"D:\\"));
        EXPECT_EQ(ErrorIds(), std::vector<unsigned>{uiMessage});
        EXPECT_EQ(LastError().substr(0, 20), Text(uiMessage).substr(0, 20));
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED);
        EXPECT_TRUE(NoRecoverRunning());
    }
    {
        SCOPED_TRACE("the line names the server");
        SetFaults({L"recover restore object:2 say not_configured"});
        EXPECT_FALSE(Restore(L"D:\\"));
        EXPECT_EQ(LastError(), L"The specified client name is not registered on NetWorker server localhost");
    }
    {
        SCOPED_TRACE("recover ends after the line");
        SetFaults({L"recover restore object:3 fail ddcl"});
        EXPECT_FALSE(Restore(L"D:\\"));
        EXPECT_EQ(ErrorIds(), std::vector<unsigned>{MSG_DDCL_OPEN_FAILED});
        EXPECT_TRUE(NoRecoverRunning());
    }
    SetFaults({});
    ExpectRestoredAndVerified();
}

TEST_F(RestoreFaults, WarningLinesLeaveTheRestoreGoing)
{
    {
        SCOPED_TRACE("a message of recover is passed on");
        SetFaults({L"recover restore object:3 say recover_message"});
        ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
        EXPECT_TRUE(Logged(MSG_NETWORKER_MESSAGE, ML_WARNING));
        bool bText = false;
        for (const Message& m : m_messages)
            bText = bText || m.sText == L"NetWorker Message : Recovery completed with warnings from localhost";
        EXPECT_TRUE(bText);
        EXPECT_EQ(Restored(), Counted());
        EXPECT_TRUE(ErrorIds().empty());
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
        EXPECT_EQ(MessageIds(),
                  (std::vector<unsigned>{MSG_NETWORKER_MESSAGE, MSG_NETWORKER_MESSAGE, MSG_RESTORE_INCOMPLETE}));
        const std::wstring sExpected = L"Only " + std::to_wstring(Counted() - 2) + L" of the " +
                                       std::to_wstring(Counted()) + L" objects counted were restored to D:";
        EXPECT_EQ(m_messages.back().sText, sExpected);
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FINISHED);
        ExpectMissingExactlyWhatTheWarningsName();
    }
    SetFaults({});
    ClearDrive(L'D');
    ExpectRestoredAndVerified();
}

TEST_F(RestoreFaults, AnAbsentVolumeIsSkippedAndABadFilespaceRefused)
{
    FileSpace absent;
    absent.sFsName = L"S:\\";
    absent.sFsType = L"NTFS";
    absent.wcFsDriveLetter = L'S';
    EXPECT_TRUE(Restore(absent));
    EXPECT_EQ(MessageIds(), std::vector<unsigned>{MSG_VOLUME_NOT_PRESENT});
    EXPECT_TRUE(Logged(MSG_VOLUME_NOT_PRESENT, ML_WARNING));
    EXPECT_EQ(m_messages[0].sText, L"Restoration of files to S: will be skipped as volume is not present");
    EXPECT_EQ(KindSequence(m_records), L"1 4");

    // A mounted folder that is a plain folder of D: (its volume is not mounted there): restoring
    // into it would put the volume's files on D:.
    ASSERT_TRUE(CreateDirectoryW(L"D:\\Data\\Plain", nullptr));
    FileSpace plain = Listed(L"D:\\Data\\Mount 1");
    plain.sFsName = plain.sFsPath = L"D:\\Data\\Plain";
    EXPECT_TRUE(Restore(plain));
    EXPECT_EQ(MessageIds(), std::vector<unsigned>{MSG_VOLUME_NOT_PRESENT});
    EXPECT_EQ(m_messages[0].sText, L"Restoration of files to D:\\Data\\Plain will be skipped as volume is not present");
    EXPECT_EQ(KindSequence(m_records), L"1 4");
    EXPECT_TRUE(RemoveDirectoryW(L"D:\\Data\\Plain")) << "nothing was written into the folder";

    // A name recover's command line cannot carry is refused, and named.
    FileSpace omega = Listed(L"D:\\Data\\Mount 1");
    omega.sFsName = omega.sFsPath = L"D:\\Data\\\u03a9mega";
    EXPECT_FALSE(Restore(omega));
    EXPECT_EQ(ErrorIds(), (std::vector<unsigned>{MSG_UNSAFE_TEXT, MSG_RESTORE_FILESPACE_FAILED}));
    EXPECT_NE(m_messages[0].sText.find(L"\"D:\\Data\\\u03a9mega\""), std::wstring::npos);
    EXPECT_TRUE(m_records.empty()) << "nothing was started";

    FileSpace noName = Listed(L"D:\\");
    noName.sFsName.clear();
    FileSpace noLetter = Listed(L"D:\\");
    noLetter.wcFsDriveLetter = L'-';
    FileSpace noMountPath = Listed(L"D:\\Data\\Mount 1");
    noMountPath.sFsPath.clear();
    for (const FileSpace& bad : {noName, noLetter, noMountPath}) {
        SCOPED_TRACE(testing::PrintToString(bad.sFsName));
        EXPECT_FALSE(Restore(bad));
        EXPECT_EQ(ErrorIds(), std::vector<unsigned>{MSG_RESTORE_FILESPACE_FAILED});
        EXPECT_EQ(LastError(), Text(MSG_RESTORE_FILESPACE_FAILED));
    }
}

TEST_F(RestoreFaults, TheHostAbortingAtAnObjectEndsTheRestoreAtOnce)
{
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
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED);
        EXPECT_TRUE(Logged(MSG_USER_ABORTED, ML_ERROR));
        EXPECT_TRUE(NoRecoverRunning());
    }
    AbortAt(0, 0);
    SetFaults({});
    ClearDrive(L'D');
    ExpectRestoredAndVerified();
}

TEST_F(RestoreFaults, ALostConnectionFailsTheRestoreAndTheNextOneWorks)
{
    // The count's session reports fewer lines than the restore's, so a drop after 12 lines of
    // the first two sessions of recover comes in the restore pass.
    // Both counts dropped (two sessions), or the count whole and the restore dropped after its
    // objects: the count session reports fewer lines than the restore's.
    const std::vector<unsigned> kCountLost = {MSG_CONNECTION_LOST, MSG_COUNT_CUT_SHORT, MSG_RESTORE_FILESPACE_FAILED};
    const std::vector<unsigned> kRestoreLost = {MSG_CONNECTION_LOST, MSG_RESTORE_SHORT};
    for (const auto& [pLines, ids] :
         {std::pair{L"2", kCountLost}, std::pair{L"12", std::vector<unsigned>{MSG_CONNECTION_LOST}}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(L"dropped after lines: ") + pLines));
        SetServerKnobs({{L"drop_after_lines", pLines}, {L"drop_tool", L"recover"}, {L"drop_sessions", L"2"}});
        EXPECT_FALSE(Restore(L"D:\\"));
        SetServerKnobs({});
        EXPECT_EQ(ErrorIds(), ids);
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED) << testing::PrintToString(KindSequence(m_records));
        EXPECT_TRUE(NoRecoverRunning());
    }
    {
        SCOPED_TRACE("recover reports the closed connection part-way");
        SetFaults({L"recover restore object:4 say forcibly_closed"});
        EXPECT_FALSE(Restore(L"D:\\"));
        EXPECT_EQ(ErrorIds(), kRestoreLost);
        EXPECT_EQ(LastError(), L"Not every object came back to D:: 3 of the " + std::to_wstring(Counted()) +
                                   L" objects counted were restored; the connection to the NetWorker server was lost");
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED);
        EXPECT_TRUE(NoRecoverRunning());
    }
    SetFaults({});
    ClearDrive(L'D');
    ExpectRestoredAndVerified();
}

// recover stops short without naming what it left out: whatever the cause, false with a message
// that names both counts and the cause, and the host's record says failed.
TEST_F(RestoreFaults, AShortfallRecoverDoesNotAccountForFailsWithBothCountsAndTheCause)
{
    const std::wstring sOf = L" of the " + std::to_wstring(Counted()) + L" objects counted were restored; ";
    const std::pair<const wchar_t*, std::wstring> kCases[] = {
        {L"recover restore start fail busy",
         L"0" + sOf + L"recover had no session with the server: " + Text(MSG_SERVER_BUSY)},
        {L"recover restore start fail no_route",
         L"0" + sOf + L"recover had no session with the server: " + Text(MSG_NO_SESSION)},
        {L"recover restore object:5 exit 3", L"4" + sOf + L"recover ended with exit code 3"},
        {L"recover restore object:5 exit 0", L"4" + sOf + L"recover ended before every object had come back"},
        {L"recover restore object:5 crash", L"4" + sOf + L"recover ended abnormally (0xC0000005)"},
        {L"recover restore object:5 partial", L"4" + sOf + L"recover ended before every object had come back"},
    };
    for (const auto& [pKnob, sText] : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pKnob)));
        ClearDrive(L'D');
        SetFaults({pKnob});
        EXPECT_FALSE(Restore(L"D:\\"));
        EXPECT_EQ(ErrorIds(), std::vector<unsigned>{MSG_RESTORE_SHORT});
        EXPECT_EQ(LastError(), L"Not every object came back to D:: " + sText);
        EXPECT_FALSE(Logged(MSG_RESTORE_INCOMPLETE, ML_WARNING)) << "the warning is for a shortfall recover named";
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED);
        EXPECT_TRUE(NoRecoverRunning());
    }
    SetFaults({});
    ClearDrive(L'D');
    ExpectRestoredAndVerified();
}

// A count cut short is counted again; a second cut fails the restore before anything is written,
// so that a count and a restore cut at the same object never pass for a whole restore.
TEST_F(RestoreFaults, ACountCutShortIsCountedAgainAndTwiceFailsTheRestore)
{
    const std::pair<const wchar_t*, const wchar_t*> kCuts[] = {
        {L"recover session object:3 exit 1", L"recover ended with exit code 1"},
        {L"recover session object:3 crash", L"recover ended abnormally (0xC0000005)"},
        {L"recover session object:3 partial", L"recover ended before it had answered every command"},
        {L"recover session object:3 say busy", L"recover had no session with the server"},
        {L"recover any object:4 exit 0", L"recover ended before it had answered every command"},
    };
    for (const auto& [pKnob, pReason] : kCuts) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pKnob)));
        ClearDrive(L'D');
        SetFaults({std::wstring(L"once ") + pKnob});
        ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
        EXPECT_EQ(RecordsOfKind(PK_PASS_START)[1]->uiTotalFiles, Counted()) << "the second count is the total";
        EXPECT_TRUE(ErrorIds().empty());
        EXPECT_VERIFIED(L'D', {L"--filespace", L"D:\\"});

        ClearDrive(L'D');
        SetFaults({pKnob});
        EXPECT_FALSE(Restore(L"D:\\"));
        EXPECT_EQ(ErrorIds(), (std::vector<unsigned>{MSG_COUNT_CUT_SHORT, MSG_RESTORE_FILESPACE_FAILED}));
        EXPECT_TRUE(std::any_of(m_messages.begin(), m_messages.end(), [&](const Message& m) {
            return m.sText.rfind(L"Counting the objects of D:\\ did not complete: " + std::wstring(pReason), 0) == 0;
        })) << testing::PrintToString(pReason);
        EXPECT_TRUE(RecordsOfKind(PK_OBJECT_RESTORED).empty());
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED);
        EXPECT_TRUE(NoRecoverRunning());
    }
}

// A path of 2,000 characters reaches the host whole, in its own letters; when recover cannot write
// it, its failure line is a warning for that file, never a restored object.
TEST_F(RestoreFaults, APathOf2000CharactersComesWholeAndItsFailureLineIsNoObject)
{
    UseStore(L"longpath");
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    ClearDrive(L'D');
    ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
    std::vector<const Record*> objects = RecordsOfKind(PK_OBJECT_RESTORED);
    auto isLong = [](const Record* r) { return r->sText1.size() == 2000; };
    auto it = std::find_if(objects.begin(), objects.end(), isLong);
    ASSERT_NE(it, objects.end()) << "the long path as one object";
    EXPECT_EQ((*it)->sText1.substr(0, 12), L"D:\\Long\\\u03a9 le");
    EXPECT_GT((*it)->ullCurrentSize, 0u) << "its size read through the long path";
    EXPECT_EQ(objects.size(), Counted());
    EXPECT_EQ(std::count_if(objects.begin(), objects.end(), [](const Record* r) { return r->sText1.size() > 1024; }),
              std::count_if(objects.begin(), objects.end(), [](const Record* r) { return r->sText1.size() > 1000; }))
        << "no object made of a piece of a line";
    EXPECT_VERIFIED(L'D', {L"--filespace", L"D:\\"});

    // A line of 100,000 characters that starts as a path: in a restore, never an object; in a
    // count, no count.
    ClearDrive(L'D');
    SetFaults({L"recover restore object:3 longline 100000 path"});
    ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
    EXPECT_EQ(RecordsOfKind(PK_OBJECT_RESTORED).size(), Counted());
    SetFaults({L"recover session object:3 longline 100000 list"});
    EXPECT_FALSE(Restore(L"D:\\"));
    EXPECT_TRUE(Logged(MSG_COUNT_CUT_SHORT, ML_ERROR));

    const unsigned uiAt = static_cast<unsigned>(it - objects.begin()) + 1;
    ClearDrive(L'D');
    SetFaults({L"recover restore object:" + std::to_wstring(uiAt) + L" skip"});
    ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
    objects = RecordsOfKind(PK_OBJECT_RESTORED);
    EXPECT_TRUE(std::none_of(objects.begin(), objects.end(), isLong));
    EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_NETWORKER_MESSAGE, MSG_RESTORE_INCOMPLETE}));
    ExpectMissingExactlyWhatTheWarningsName();
}
