// How a filespace restore fails, through the fault knobs of the simulated tools and the host's
// answers: each line of recover that the restore knows gives its message and outcome, recover
// always finishes or is ended, and the next restore of the same filespace works.
#include "hostapi/message_ids.h"
#include "tests/common/test_util.h"
#include "tests/restore/restore_host.h"

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
    unsigned Counted() { return TotalsOf(L"standard", L"D:\\").uiObjects; }
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
        SCOPED_TRACE("fewer objects restored than counted");
        ClearDrive(L'D');
        SetFaults({L"recover restore object:5 exit 0"});
        ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
        EXPECT_EQ(Restored(), 4u);
        EXPECT_TRUE(Logged(MSG_RESTORE_INCOMPLETE, ML_WARNING));
        const std::wstring sExpected =
            L"Only 4 of the " + std::to_wstring(Counted()) + L" objects counted were restored to D:";
        bool bText = false;
        for (const Message& m : m_messages)
            bText = bText || m.sText == sExpected;
        EXPECT_TRUE(bText) << testing::PrintToString(sExpected);
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FINISHED);
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
        m_uiAbortAtObject = uiAt;
        ULONGLONG ullStart = GetTickCount64();
        EXPECT_FALSE(Restore(L"D:\\"));
        EXPECT_LT(GetTickCount64() - ullStart, 20000u);
        EXPECT_EQ(Restored(), uiAt);
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED);
        EXPECT_TRUE(Logged(MSG_USER_ABORTED, ML_ERROR));
        EXPECT_TRUE(NoRecoverRunning());
    }
    m_uiAbortAtObject = 0;
    SetFaults({});
    ClearDrive(L'D');
    ExpectRestoredAndVerified();
}

TEST_F(RestoreFaults, ALostConnectionFailsTheRestoreAndTheNextOneWorks)
{
    // The count's session reports fewer lines than the restore's, so a drop after 12 lines of
    // the first two sessions of recover comes in the restore pass.
    for (const wchar_t* pLines : {L"2", L"12"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(L"dropped after lines: ") + pLines));
        SetServerKnobs({{L"drop_after_lines", pLines}, {L"drop_tool", L"recover"}, {L"drop_sessions", L"2"}});
        EXPECT_FALSE(Restore(L"D:\\"));
        SetServerKnobs({});
        EXPECT_EQ(ErrorIds(), std::vector<unsigned>{MSG_CONNECTION_LOST});
        EXPECT_EQ(LastError(), Text(MSG_CONNECTION_LOST));
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED) << testing::PrintToString(KindSequence(m_records));
        EXPECT_TRUE(NoRecoverRunning());
    }
    {
        SCOPED_TRACE("recover reports the closed connection part-way");
        SetFaults({L"recover restore object:4 say forcibly_closed"});
        EXPECT_FALSE(Restore(L"D:\\"));
        EXPECT_EQ(ErrorIds(), std::vector<unsigned>{MSG_CONNECTION_LOST});
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED);
        EXPECT_TRUE(NoRecoverRunning());
    }
    SetFaults({});
    ClearDrive(L'D');
    ExpectRestoredAndVerified();
}
