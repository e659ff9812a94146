// How the listing and the configuration fetch fail, through the fault knobs of the simulated
// tools: each failure reaches the host as its message, and the listing hands the host nothing.
#include "hostapi/message_ids.h"
#include "tests/catalogue/catalogue_host.h"
#include "tests/common/test_util.h"

using namespace cataloguetest;

TEST_F(CatalogueHost, EachFailureOfTheConfigurationFetchIsTheHostsMessage)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    const std::pair<const wchar_t*, unsigned> kFaults[] = {
        {L"say ddcl", MSG_DDCL_OPEN_FAILED},
        {L"say busy", MSG_SERVER_BUSY},
        {L"say forcibly_closed", MSG_CONNECTION_FORCIBLY_CLOSED},
        {L"say no_volumes", MSG_NO_VOLUMES},
        {L"say stale_rpc", MSG_STALE_RPC_HANDLE},
        {L"say threads_failed", MSG_RECOVER_THREADS_FAILED},
        {L"say compressed", MSG_CONFIG_COMPRESSED},
    };
    for (const auto& [pAction, uiMessage] : kFaults) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pAction)));
        SetFaults({std::wstring(L"recover restore line:2 ") + pAction});
        EXPECT_FALSE(List());
        EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, uiMessage}));
        EXPECT_EQ(LastError(), Text(uiMessage));
        EXPECT_TRUE(m_list.empty());
    }
    {
        SCOPED_TRACE("the configuration summary does not arrive");
        SetFaults({L"for:\"C:\\QERNCFG\\disrec.ini\" recover restore start exit 0"});
        EXPECT_FALSE(List());
        EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_EXTRACT_CONFIG_FAILED}));
        EXPECT_FALSE(testutil::FileExists(std::wstring(kConfigDir) + L"disrec.ini"));
    }

    // Lines that leave the fetch going: a recover message is passed on as a warning.
    SetFaults({L"recover restore line:2 say recover_message", L"recover restore line:3 say skipping_password",
               L"recover restore line:4 say password_prompt", L"recover restore line:5 say incorrect_password"});
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    EXPECT_EQ(m_list.size(), 3u);
    EXPECT_TRUE(Logged(MSG_NETWORKER_MESSAGE, ML_WARNING));
    bool bText = false;
    for (const Message& m : m_messages)
        bText = bText || m.sText == L"NetWorker Message : Recovery completed with warnings from localhost";
    EXPECT_TRUE(bText);
    std::vector<unsigned> expected = {MSG_LISTING_SAVESETS};
    expected.insert(expected.end(), 4, MSG_NETWORKER_MESSAGE); // one for each item
    expected.push_back(MSG_CONFIG_FILES_COPIED);
    EXPECT_EQ(MessageIds(), expected);
}

TEST_F(CatalogueHost, EachFailureOfTheListingIsTheHostsMessage)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    {
        SCOPED_TRACE("recover cannot be started");
        testutil::FileAside tool(std::wstring(kBin) + L"recover.exe");
        ASSERT_TRUE(tool.moved());
        EXPECT_FALSE(List());
        EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_FILESPACE_LIST_FAILED}));
    }
    {
        SCOPED_TRACE("recover ends in the middle of the listing");
        SetFaults({L"recover session command:ll crash"});
        EXPECT_FALSE(List());
        EXPECT_EQ(LastError(), Text(MSG_FILESPACE_LIST_FAILED));
        EXPECT_TRUE(m_list.empty());
    }
    // An error line amid the answer to the listing: a partial list is no list.
    const std::pair<const wchar_t*, unsigned> kErrorLines[] = {
        {L"busy", MSG_SERVER_BUSY},
        {L"stale_rpc", MSG_STALE_RPC_HANDLE},
        {L"timed_out", MSG_CONNECTION_TIMED_OUT},
        {L"rpc_call", MSG_SERVER_NOT_CONTACTED},
        {L"rpc_error", MSG_SERVER_NOT_CONTACTED},
        {L"forcibly_closed", MSG_CONNECTION_LOST},
    };
    for (const auto& [pPreset, uiMessage] : kErrorLines) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pPreset)));
        SetFaults({std::wstring(L"once recover session line:6 say ") + pPreset});
        EXPECT_FALSE(List());
        EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, uiMessage}));
        EXPECT_EQ(LastError(), Text(uiMessage));
        EXPECT_TRUE(m_list.empty());
    }
    {
        SCOPED_TRACE("the configuration check loses its connection, or asks for a password");
        SetFaults({L"recover session command:ls say forcibly_closed"});
        EXPECT_FALSE(List());
        EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_CONNECTION_LOST}));
        SetFaults({L"recover session command:ls password 5"});
        EXPECT_FALSE(List());
        EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_NETWORKER_MESSAGE}));
        EXPECT_NE(LastError().find(L"asked for a password where none is expected"), std::wstring::npos);
        EXPECT_TRUE(m_list.empty());
    }
    {
        SCOPED_TRACE("the certificate cannot be imported");
        SetFaults({L"nwinstcreate any start exit 1"});
        EXPECT_FALSE(List());
        EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_CONFIG_FILES_COPIED,
                                                       MSG_CERTIFICATE_IMPORT_FAILED}));
    }
    {
        SCOPED_TRACE("lines that cannot be parsed are passed over");
        SetFaults({L"recover session command:ll say \"garbled :\\ line\"",
                   L"recover session command:ll say \"1 d 5 VSS SYSTEM BOOT:\\\"",
                   L"recover session command:ll say \"       1 d  0 13/45/2021 99:99 VSS OTHER:\\\""});
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        EXPECT_EQ(m_list.size(), 3u);
        EXPECT_EQ(SystemState().size(), 7u);
    }
    {
        SCOPED_TRACE("mminfo cannot be started");
        UseStore(L"nmm");
        testutil::FileAside tool(std::wstring(kBin) + L"mminfo.exe");
        ASSERT_TRUE(tool.moved());
        EXPECT_FALSE(List());
        EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_FILESPACE_LIST_FAILED}));
    }
    {
        SCOPED_TRACE("the report says the connection was closed: not a backup without system state");
        SetFaults({L"mminfo any object:2 say forcibly_closed"});
        EXPECT_FALSE(List());
        EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_CONNECTION_LOST}));
    }
    {
        SCOPED_TRACE("a report with an error line still gives the NMM components");
        SetFaults({L"mminfo any object:2 say rpc_error", L"mminfo any object:3 say dns_lookup"});
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        EXPECT_EQ(SystemState().size(), 3u);
        EXPECT_TRUE(testutil::Contains(NewTrace(), L"Check for NMM module failed"));
    }
}

TEST_F(CatalogueHost, AConnectionDroppedDuringTheListingFailsItAndTheNextListingWorks)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    const wchar_t* pIni = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.ini";
    WritePrivateProfileStringW(L"server", L"drop_after_lines", L"3", pIni);
    WritePrivateProfileStringW(L"server", L"drop_tool", L"recover", pIni);
    WritePrivateProfileStringW(L"server", L"drop_sessions", L"1", pIni);
    EXPECT_FALSE(List());
    WritePrivateProfileStringW(L"server", nullptr, nullptr, pIni);
    EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_CONNECTION_LOST}));
    EXPECT_EQ(LastError(), Text(MSG_CONNECTION_LOST));
    EXPECT_TRUE(m_list.empty());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    EXPECT_EQ(m_list.size(), 3u);
}

TEST_F(CatalogueHost, AUserAbortDuringTheFetchEndsTheListing)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    SetFaults({L"recover restore line:1 hang 60"});
    m_uiAbortAnswer = 1; // the host asks to abort at the first heartbeat
    EXPECT_FALSE(List());
    // The host hears of the abort once, though the reader and the engine both see it.
    EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_USER_ABORTED}));
    EXPECT_EQ(LastError(), Text(MSG_USER_ABORTED));
    EXPECT_TRUE(m_list.empty());
    EXPECT_TRUE(testutil::ProcessesNamed(L"recover.exe").empty()) << "recover was ended";
}

TEST_F(CatalogueHost, ATimedOutFetchIsRepeatedForTheSameItemAndThenBoundedToFiveTries)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    SetFaults({L"once for:\"C:\\QERNCFG\\NWInfo\" recover restore start fail timed_out"});
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    EXPECT_EQ(MessageIds(),
              (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_CONNECTION_RETRYING, MSG_CONFIG_FILES_COPIED}));
    EXPECT_TRUE(Logged(MSG_CONNECTION_RETRYING, ML_WARNING));
    ExpectConfigurationFrom(L"standard", 0);

    SetFaults({L"recover restore line:1 say timed_out"});
    EXPECT_FALSE(List());
    std::vector<unsigned> expected = {MSG_LISTING_SAVESETS};
    expected.insert(expected.end(), 5, MSG_CONNECTION_RETRYING);
    expected.push_back(MSG_CONNECTION_TIMED_OUT);
    EXPECT_EQ(MessageIds(), expected);
    EXPECT_TRUE(Logged(MSG_CONNECTION_RETRYING, ML_WARNING));
    EXPECT_EQ(LastError(), Text(MSG_CONNECTION_TIMED_OUT));

    // The pause before the next try is a heartbeat's: the host's abort there ends the fetch.
    m_uiAbortAnswer = 1;
    const ULONGLONG ullStart = GetTickCount64();
    EXPECT_FALSE(List());
    EXPECT_LT(GetTickCount64() - ullStart, 5000u) << "not a whole pause, let alone five tries";
    EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_CONNECTION_RETRYING, MSG_USER_ABORTED}));
    EXPECT_TRUE(testutil::ProcessesNamed(L"recover.exe").empty());
}
