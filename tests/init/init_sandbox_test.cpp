// Init inside a sandbox machine, against the simulated client tools and server: what a
// successful Init leaves on the machine, and each way it fails with its message.
#include "client/client_rules.h"
#include "client/query_network.h"
#include "hostapi/message_ids.h"
#include "tests/common/test_util.h"
#include "tests/credentials/cred_test_util.h"
#include "tests/init/sandbox_client.h"
#include "trace/trace.h"

#include <gtest/gtest.h>

#include <thread>

using credtest::Addr;
using testutil::Contains;

namespace
{

const wchar_t kNwsimIni[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.ini";
const wchar_t kNetState[] = L"X:\\Program Files\\Velmora\\HALVO\\halvo_nm_state.ini";
const wchar_t kHosts[] = L"C:\\windows\\system32\\drivers\\etc\\hosts";
const wchar_t kTcpip[] = L"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";

// The sandbox's own adapter, as the machine was built with it.
const char kOneDhcpAdapter[] = "[Adapter]\r\nName={A1}\r\nDescription=First\r\nHwAddr=00-15-5D-01-02-03\r\n"
                               "Index=11\r\nStatus=Up\r\nDhcpIPv4=Yes\r\nAddress=192.168.10.50/24\r\n"
                               "Address=fe80::215:5dff:fe01:203/64\r\nGateway=192.168.10.1\r\n";

std::string Bytes(const std::wstring& sPath)
{
    return velmora::to_utf8(testutil::ReadTextFile(sPath));
}

void SetFault(const wchar_t* pSpec)
{
    WritePrivateProfileStringW(L"faults", nullptr, nullptr, kNwsimIni);
    DeleteFileW(L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.state"); // "once" counts start anew
    if (pSpec)
        WritePrivateProfileStringW(L"faults", L"init_test", pSpec, kNwsimIni);
}

// A key of the simulated server's [server] section; null removes it.
void SetServer(const wchar_t* pKey, const wchar_t* pValue)
{
    WritePrivateProfileStringW(L"server", pKey, pValue, kNwsimIni);
}

// The [Adapter] section of the network-library state that names the adapter.
std::string AdapterSection(const std::string& sState, const std::string& sName)
{
    size_t iAt = sState.find("Name=" + sName);
    if (iAt == std::string::npos)
        return {};
    size_t iEnd = sState.find("[Adapter]", iAt);
    return sState.substr(iAt, iEnd == std::string::npos ? std::string::npos : iEnd - iAt);
}

bool Has(const std::string& sText, const std::string& sPart)
{
    return sText.find(sPart) != std::string::npos;
}

size_t CountOf(const std::string& sText, const std::string& sPart)
{
    size_t n = 0;
    for (size_t i = sText.find(sPart); i != std::string::npos; i = sText.find(sPart, i + 1))
        ++n;
    return n;
}

// Credentials of another plug-in family.
class OtherCredentials : public CrplCredentials
{
public:
    bool Check() override { return true; }
    bool GetCredentialsFromAnsFile(const velmora::string&) override { return false; }
    bool SetAnsFileFromCredentials(const velmora::string&) override { return false; }
};

} // namespace

class InitSandbox : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandbox::IsFolder(sandbox::kBin)) << "not inside a sandbox machine";
        SetFault(nullptr);
        SetServer(L"drop_after_seconds", nullptr);
        testutil::WriteTextFile(kNetState, kOneDhcpAdapter);
        sandbox::SetString(kTcpip, L"Domain", nullptr);
        sandbox::SetString(kTcpip, L"DhcpDomain", nullptr);
        m_nTraceAt = Bytes(CvexTrace().LogPath()).size();
        impl.SetProgMsgCallbackFn(&InitSandbox::Progress, this);
        cred.m_sServerName = L"localhost";
        cred.m_ServerIPAddress = Addr(L"127.0.0.1");
        cred.m_sClientName = L"winclient1";
        cred.m_ClientIPAddress = Addr(L"192.168.10.7");
        cred.m_ClientSubnetPrefix = 24;
        cred.m_ClientDefaultGateway = Addr(L"192.168.10.1");
    }
    void TearDown() override
    {
        impl.Fini(true);
        EXPECT_TRUE(sandbox::WaitForCount(L"nsrexecd.exe", 0)) << "Fini ends the daemon";
        std::vector<DWORD> left = sandbox::RunningClientTools();
        EXPECT_TRUE(left.empty()) << left.size() << " client tool processes left running";
        sandbox::EndProcesses(left);
        SetFault(nullptr);
        SetServer(L"drop_after_seconds", nullptr);
    }

    static unsigned Progress(ProgressRecord* pRecord, void* pContext)
    {
        auto* self = static_cast<InitSandbox*>(pContext);
        return pRecord->uiKind == PK_HEARTBEAT ? self->uiHeartbeatAnswer : 0;
    }
    // Init fails with message uiId as its last error, naming pArgument when there is one.
    void ExpectFailure(unsigned uiId, const wchar_t* pArgument = nullptr)
    {
        EXPECT_FALSE(impl.Init(&cred));
        EXPECT_EQ(impl.LastErrorId(), uiId) << velmora::to_utf8(impl.LastError());
        if (pArgument)
            EXPECT_TRUE(Contains(impl.LastError(), pArgument)) << velmora::to_utf8(impl.LastError());
    }
    // What this test added to the trace.
    std::string NewTrace() { return Bytes(CvexTrace().LogPath()).substr(m_nTraceAt); }

    ClientImpl impl;
    CvexCredentials cred;
    unsigned uiHeartbeatAnswer = 0;
    size_t m_nTraceAt = 0;
};

TEST_F(InitSandbox, ASuccessfulInitMakesTheMachineAClientOfTheServerAndAgainAddsNoSecondEntry)
{
    wchar_t wszBefore[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, wszBefore);
    ASSERT_TRUE(impl.Init(&cred)) << velmora::to_utf8(impl.LastError());

    EXPECT_TRUE(Has(Bytes(kHosts), "\r\n127.0.0.1\tlocalhost\r\n")) << Bytes(kHosts);
    EXPECT_TRUE(Has(Bytes(kHosts), "# 127.0.0.1 localhost\r\n")) << "the comment stays";
    EXPECT_EQ(Bytes(QueryNetwork::kServersFile), "localhost\r\n");
    EXPECT_EQ(sandbox::ReadString(L"SOFTWARE\\Legato\\NetWorker", L"Version"), L"9.2.1.5");
    EXPECT_EQ(sandbox::ReadString(L"SOFTWARE\\Legato\\NetWorker", L"Path"), L"X:\\PROGRA~1\\Legato\\nsr\\");
    EXPECT_EQ(sandbox::ReadString(kTcpip, L"Hostname"), L"winclient1");
    EXPECT_EQ(sandbox::ReadString(kTcpip, L"NV Hostname"), L"winclient1");
    EXPECT_TRUE(sandbox::KeyExists(L"SYSTEM\\CurrentControlSet\\Control\\MiniNT")) << "restored after Init";

    std::string sAdapter = AdapterSection(Bytes(kNetState), "{A1}");
    EXPECT_TRUE(Has(sAdapter, "Address=192.168.10.7/24")) << sAdapter;
    EXPECT_FALSE(Has(sAdapter, "Address=192.168.10.50")) << "the DHCP lease was replaced";
    EXPECT_TRUE(Has(sAdapter, "Gateway=192.168.10.1"));
    EXPECT_TRUE(Has(sAdapter, "Route=127.0.0.1/32 via 192.168.10.1 last 1")) << sAdapter;

    wchar_t wszPath[4096] = {};
    GetEnvironmentVariableW(L"PATH", wszPath, 4096);
    EXPECT_EQ(_wcsnicmp(wszPath, L"X:\\PROGRA~1\\Legato\\nsr\\bin;", 27), 0) << velmora::to_utf8(wszPath);
    for (const std::wstring& d : nwclient::NsrDirectories())
        EXPECT_TRUE(sandbox::IsFolder(sandbox::kNsr + d)) << velmora::to_utf8(d);

    EXPECT_EQ(sandbox::ProcessesNamed(L"nsrexecd.exe").size(), 1u);
    EXPECT_TRUE(impl.Logged(MSG_CONNECTING));
    EXPECT_TRUE(impl.Logged(MSG_CONNECTED));
    EXPECT_EQ(impl.ServerVersion().rfind(L"19.4.0.1", 0), 0u) << velmora::to_utf8(impl.ServerVersion());
    EXPECT_EQ(impl.RecoverClientVersion(), L"9.2.1.5");
    wchar_t wszDuring[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, wszDuring);
    EXPECT_STREQ(wszDuring, L"F:\\") << "the CD-ROM drive became the current directory";

    // Again, with a configured and a DHCP domain: the servers file takes the configured one.
    sandbox::SetString(kTcpip, L"Domain", L"lab.example");
    sandbox::SetString(kTcpip, L"DhcpDomain", L"dhcp.example");
    impl.messages.clear();
    ASSERT_TRUE(impl.Init(&cred)) << velmora::to_utf8(impl.LastError());
    EXPECT_TRUE(impl.Logged(MSG_CONNECTED));
    EXPECT_EQ(CountOf(Bytes(kHosts), "localhost\r\n"), 2u) << "the comment and one entry";
    EXPECT_EQ(CountOf(Bytes(kNetState), "Route="), 1u);
    EXPECT_EQ(sandbox::ProcessesNamed(L"nsrexecd.exe").size(), 1u) << "the first daemon was stopped";
    EXPECT_EQ(Bytes(QueryNetwork::kServersFile), "localhost.lab.example\r\n");
    sandbox::SetString(kTcpip, L"Domain", nullptr);
    ASSERT_TRUE(impl.Init(&cred)) << velmora::to_utf8(impl.LastError());
    EXPECT_EQ(Bytes(QueryNetwork::kServersFile), "localhost.dhcp.example\r\n");

    EXPECT_TRUE(impl.Fini(false));
    EXPECT_TRUE(sandbox::WaitForCount(L"nsrexecd.exe", 0)) << "Fini ends the daemon";
    wchar_t wszAfter[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, wszAfter);
    EXPECT_STREQ(wszAfter, wszBefore);
}

TEST_F(InitSandbox, AnAdapterThatHasTheAddressKeepsItsSettingsAndGetsOnlyTheRoute)
{
    testutil::WriteTextFile(kNetState, std::string("[Adapter]\r\nName={A0}\r\nHwAddr=00-15-5D-00-00-01\r\nIndex=7\r\n"
                                                   "DhcpIPv4=Yes\r\nAddress=10.0.0.5/8\r\nGateway=10.0.0.1\r\n"
                                                   "[Adapter]\r\nName={A1}\r\nHwAddr=00-15-5D-01-02-03\r\nIndex=11\r\n"
                                                   "DhcpIPv4=Yes\r\nAddress=192.168.10.7/16\r\n"
                                                   "Gateway=192.168.10.254\r\n"));
    ASSERT_TRUE(impl.Init(&cred)) << velmora::to_utf8(impl.LastError());
    std::string sState = Bytes(kNetState);
    std::string sOther = AdapterSection(sState, "{A0}");
    std::string sOwner = AdapterSection(sState, "{A1}");
    EXPECT_TRUE(Has(sOther, "Address=10.0.0.5/8")) << sOther;
    EXPECT_FALSE(Has(sOther, "Route=")) << sOther;
    EXPECT_TRUE(Has(sOwner, "DhcpIPv4=Yes")) << sOwner;
    EXPECT_TRUE(Has(sOwner, "Address=192.168.10.7/16")) << "prefix untouched";
    EXPECT_TRUE(Has(sOwner, "Gateway=192.168.10.254")) << "gateway untouched";
    EXPECT_TRUE(Has(sOwner, "Route=127.0.0.1/32 via 192.168.10.1 last 1")) << sOwner;
}

TEST_F(InitSandbox, TheHostNameIsLeftAloneWhenItIsTheClientName)
{
    velmora::string sHostname;
    ASSERT_TRUE(QueryNetwork().GetHostname(sHostname));
    sandbox::SetString(kTcpip, L"Hostname", L"sentinel");
    cred.m_sClientName = sHostname;
    ExpectFailure(MSG_CLIENT_NAME_NOT_REGISTERED, L"localhost"); // the server does not know this client
    EXPECT_EQ(sandbox::ReadString(kTcpip, L"Hostname"), L"sentinel");
}

// Each failure of the connection test, raised by the simulated recover tool, with its message
// and the names it inserts: a recover that ends, or that prints the failure and prompts again
// (the prompt is answered with EXIT, so that Init ends in time).
TEST_F(InitSandbox, EachConnectionFailureGivesItsMessage)
{
    struct Case {
        const wchar_t* pFault;
        unsigned uiId;
        const wchar_t* pArgument;
    };
    const Case kCases[] = {
        {L"start fail not_configured_address", 103, L"localhost"},
        {L"start fail rpc_call", 106, nullptr},
        {L"start fail no_response", 108, nullptr},
        {L"start fail no_backups", 159, L"'winclient1' on NetWorker server 'localhost'"},
        {L"start exit 0", 163, nullptr},
        {L"prompt:1 say not_configured", 104, L"localhost"},
        {L"prompt:1 say threads_failed", 107, nullptr},
        {L"prompt:1 say forcibly_closed", 133, nullptr},
        {L"prompt:1 say no_route", 163, nullptr},
        {L"start password", 169, L"recover.exe asked for a password where none is expected; it was ended"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(velmora::to_utf8(c.pFault));
        SetFault((std::wstring(L"recover session ") + c.pFault).c_str());
        impl.messages.clear();
        const ULONGLONG ullStart = GetTickCount64();
        ExpectFailure(c.uiId, c.pArgument);
        EXPECT_LT(GetTickCount64() - ullStart, 60000u);
        EXPECT_FALSE(impl.Logged(MSG_CONNECTED));
        EXPECT_TRUE(sandbox::WaitForCount(L"recover.exe", 0)) << "recover took its EXIT or was ended";
    }
}

// A daemon that ends at once, or while recover proves the connection (the restores that follow
// would need it), fails Init with 196.
TEST_F(InitSandbox, ADaemonThatEndsFailsInitWithItsMessage)
{
    SetFault(L"nsrexecd any start exit 1");
    ExpectFailure(MSG_START_DAEMON_FAILED);
    EXPECT_TRUE(Has(NewTrace(), "nsrexecd ended at once with exit code 1"));

    SetFault(L"recover session start hang 2");
    std::thread killer([] {
        ASSERT_TRUE(sandbox::WaitForCount(L"recover.exe", 1)) << "recover started";
        sandbox::EndProcesses(testutil::ProcessesNamed(L"nsrexecd.exe"));
    });
    ExpectFailure(MSG_START_DAEMON_FAILED);
    killer.join();
    EXPECT_TRUE(impl.Logged(MSG_CONNECTING)) << "the connection test ran";
    EXPECT_EQ(CountOf(NewTrace(), "nsrexecd ended at once with exit code"), 2u);
}

// Run in a machine whose applogs folder is read-only (see CMakeLists.txt).
TEST_F(InitSandbox, ReadOnlyLogFolderFailsInitWith102)
{
    ExpectFailure(MSG_APPLOGS_NOT_WRITEABLE);
}

// An Init aborted by the host, or whose connection dropped, is followed by one that succeeds on
// the same object.
TEST_F(InitSandbox, AnAbortedOrDroppedInitThenInitAgainOnTheSameObjectSucceeds)
{
    impl.SetEngineTimingForTesting(100, 0, 1000); // a heartbeat about every second
    SetFault(L"once recover session start hang 30");
    uiHeartbeatAnswer = 1;
    ExpectFailure(MSG_USER_ABORTED);
    EXPECT_TRUE(impl.UserAborted());
    EXPECT_TRUE(sandbox::WaitForCount(L"recover.exe", 0)) << "the aborted recover was ended";
    uiHeartbeatAnswer = 0;
    EXPECT_TRUE(impl.Init(&cred)) << velmora::to_utf8(impl.LastError());
    EXPECT_FALSE(impl.UserAborted());

    SetServer(L"drop_after_seconds", L"1");
    SetFault(L"once recover session prompt:1 hang 4");
    ExpectFailure(133);
    SetServer(L"drop_after_seconds", nullptr);
    EXPECT_TRUE(impl.Init(&cred)) << velmora::to_utf8(impl.LastError());
    EXPECT_FALSE(impl.ConnectionLost());
}

// Run in a machine of its own network namespace whose server listens on ::1 (see CMakeLists.txt).
TEST_F(InitSandbox, IPv6ServerGivesASessionAndADropIsNoticed)
{
    // An IPv6 answer file: server, client and gateway all IPv6.
    cred.m_ServerIPAddress = Addr(L"::1");
    cred.m_ClientIPAddress = Addr(L"2001:db8::7");
    cred.m_ClientSubnetPrefix = 64;
    cred.m_ClientDefaultGateway = Addr(L"2001:db8::1");
    ASSERT_TRUE(impl.Init(&cred)) << velmora::to_utf8(impl.LastError());
    EXPECT_TRUE(impl.Logged(MSG_CONNECTED));
    EXPECT_TRUE(Has(AdapterSection(Bytes(kNetState), "{A1}"), "Route=::1/128 via 2001:db8::1")) << Bytes(kNetState);
    impl.SetEngineTimingForTesting(100, 0, 1000);
    SetServer(L"drop_after_seconds", L"1");
    SetFault(L"recover session prompt:1 hang 4");
    ExpectFailure(133);
    EXPECT_TRUE(impl.ConnectionLost()) << "the IPv6 connection watch saw the drop";
}

TEST_F(InitSandbox, AnAddressInConflictGivesTheDuplicateMessage)
{
    testutil::WriteTextFile(kNetState,
                            std::string("[Adapter]\r\nName={A0}\r\nHwAddr=00-15-5D-00-00-01\r\nIndex=7\r\n"
                                        "Address=169.254.20.1/16\r\n[Adapter]\r\nName={A1}\r\n"
                                        "HwAddr=00-15-5D-01-02-03\r\nIndex=11\r\nAddress=192.168.10.7/24\r\n"));
    SetFault(L"recover session start fail rpc_call");
    ExpectFailure(MSG_DUPLICATE_ADDRESS);
    SetFault(L"recover session start fail not_configured");
    ExpectFailure(MSG_DUPLICATE_ADDRESS);
}

// No route to the server fails at once, but a 7.4 client is run again until four runs.
TEST_F(InitSandbox, NoRouteFailsAtOnceButIsRetriedUntilFourRunsForA74Client)
{
    SetFault(L"recover session start fail no_route");
    ExpectFailure(MSG_NO_SESSION);
    std::string sTrace = NewTrace();
    EXPECT_EQ(CountOf(sTrace, "**** Error : Remote system error - No route to host"), 1u);
    EXPECT_EQ(CountOf(sTrace, "**** Warning : Remote system error - No route to host"), 0u);

    impl.Fini(true);
    ASSERT_TRUE(sandbox::WaitForCount(L"nsrexecd.exe", 0));
    ASSERT_TRUE(sandbox::UseTools(L"bin-7.4"));
    m_nTraceAt = Bytes(CvexTrace().LogPath()).size();
    ExpectFailure(MSG_NO_SESSION);
    sTrace = NewTrace();
    EXPECT_EQ(CountOf(sTrace, "**** Warning : Remote system error - No route to host"), 4u);
    EXPECT_EQ(CountOf(sTrace, "**** Error : Remote system error - No route to host"), 0u);
    EXPECT_EQ(impl.RecoverClientVersion(), L"7.4.5.2");
    impl.Fini(true);
    ASSERT_TRUE(sandbox::WaitForCount(L"nsrexecd.exe", 0));
    EXPECT_TRUE(sandbox::UseTools(L"bin"));
}

TEST_F(InitSandbox, EachNetworkLibraryFailureGivesItsMessage)
{
    const std::pair<const char*, unsigned> cases[] = {
        {"[Library]\r\nFail=GetAdapterList\r\n", 161},
        {"Fail=GetAdapterOperStatus\r\n", 114},
        {"Fail=GetAdaptersIpAddrs\r\n", 113},
        {"Fail=SetAdaptersIpAddrs\r\n", 112},
        {"Fail=SetDefaultGateway\r\n", 115},
        {"Fail=GetAdapterIndex\r\n", 110},
        {"Fail=AddAdapterRoute\r\n", 109},
    };
    for (const auto& [pFail, uiId] : cases) {
        SCOPED_TRACE(pFail);
        std::string sState = std::string(pFail).rfind("[Library]", 0) == 0 ? std::string(pFail) + kOneDhcpAdapter
                                                                           : kOneDhcpAdapter + std::string(pFail);
        testutil::WriteTextFile(kNetState, sState);
        ExpectFailure(uiId);
    }
    // A lease that cannot be released is only traced.
    testutil::WriteTextFile(kNetState, kOneDhcpAdapter + std::string("Fail=ReleaseDhcp\r\n"));
    EXPECT_TRUE(impl.Init(&cred)) << velmora::to_utf8(impl.LastError());
}

TEST_F(InitSandbox, TheHostsAnswerTo192IsTakenAsAbort)
{
    impl.uiAnswerTo = MSG_CONNECTED;
    impl.iAnswer = 1;
    ExpectFailure(MSG_USER_ABORTED);
    EXPECT_TRUE(impl.Logged(MSG_USER_ABORTED));
}

TEST_F(InitSandbox, RefusedCredentialsChangeNothing)
{
    OtherCredentials other;
    EXPECT_FALSE(impl.Init(&other));
    EXPECT_FALSE(impl.Init(nullptr));
    EXPECT_TRUE(impl.messages.empty()) << "credentials of another family get no message";

    const std::string sHosts = Bytes(kHosts);
    cred.m_sServerName = L"nw\"srv";
    ExpectFailure(MSG_UNSAFE_TEXT, L"server name");
    EXPECT_TRUE(Contains(impl.LastError(), L"double quote"));
    EXPECT_TRUE(impl.Logged(MSG_INIT_FAILED));
    EXPECT_TRUE(Has(NewTrace(), "Invalid Server Name"));
    cred.m_sServerName = L"";
    EXPECT_FALSE(impl.Init(&cred));
    EXPECT_EQ(Bytes(kHosts), sHosts) << "a refused server name never reaches the hosts file";

    cred.m_sServerName = L"localhost";
    cred.m_sClientName = L"win\x01"
                         L"client";
    ExpectFailure(MSG_UNSAFE_TEXT, L"client name");
    EXPECT_TRUE(Contains(impl.LastError(), L"control character"));
    EXPECT_TRUE(Has(NewTrace(), "Invalid Client Name"));
    EXPECT_FALSE(impl.HasValidCredentials());
}
