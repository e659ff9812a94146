// The execution daemon, the port ranges and the certificate import inside a sandbox machine,
// against the simulated client tools and server.
#include "tests/common/test_util.h"
#include "tests/init/sandbox_client.h"

using namespace sandbox;

namespace
{

// The simulated server's log of this machine, where each tool's session names its server.
std::wstring ServerLog()
{
    wchar_t wszName[MAX_PATH] = {};
    GetEnvironmentVariableW(L"CVEX_SANDBOX", wszName, MAX_PATH);
    std::wstring sPath = std::wstring(CVEX_BUILD_DIR_Z) + L"/sandboxes/" + wszName + L"/server.log";
    for (wchar_t& wc : sPath)
        wc = wc == L'/' ? L'\\' : wc;
    return testutil::ReadTextFile(sPath);
}

bool WaitForServerLog(const std::wstring& sText)
{
    for (int i = 0; i < 100; ++i) {
        if (testutil::Contains(ServerLog(), sText))
            return true;
        Sleep(100);
    }
    return false;
}

} // namespace

// The daemon is started detached with its server named after "-s"; Stop ends every copy,
// whatever the case of its name, and nothing to stop is no failure.
TEST_F(ClientSandbox, StartedDaemonIsFoundByNameAndEveryCopyEndedByStop)
{
    testutil::ScratchFolder other(L"daemon_copy");
    std::wstring sUpper = other.file(L"NSREXECD.EXE");
    ASSERT_TRUE(CopyFileW((std::wstring(kBin) + L"nsrexecd.exe").c_str(), sUpper.c_str(), FALSE));
    impl.AcceptServer(L"localhost");
    ASSERT_TRUE(impl.StartNsrExecDaemon());
    ASSERT_TRUE(WaitForCount(L"nsrexecd.exe", 1));
    EXPECT_TRUE(WaitForServerLog(L"session nsrexecd localhost")) << testing::PrintToString(ServerLog());
    Sleep(1000);
    EXPECT_EQ(ProcessesNamed(L"nsrexecd.exe").size(), 1u) << "detached: still running a while later";
    ASSERT_TRUE(impl.StartNsrExecDaemon());
    ASSERT_TRUE(StartDaemonCopy(sUpper));
    ASSERT_TRUE(WaitForCount(L"nsrexecd.exe", 3));
    EXPECT_TRUE(impl.StopNsrExecDaemon());
    EXPECT_TRUE(WaitForCount(L"nsrexecd.exe", 0));
    EXPECT_TRUE(impl.StopNsrExecDaemon());
}

TEST_F(ClientSandbox, PortRangesOfThisHostAndOnlyTracedForAnother)
{
    ASSERT_TRUE(impl.QueryPorts(L"pc1"));
    EXPECT_EQ(impl.ServicePorts(), L"");
    EXPECT_EQ(impl.ConnectionPorts(), L"");
    ASSERT_TRUE(impl.QueryPorts(L""));
    EXPECT_EQ(impl.ServicePorts(), L"7937-9936");
    EXPECT_EQ(impl.ConnectionPorts(), L"0-0");
}

// The import runs the tool with quoted paths after removing a stale marker, and the daemon runs
// again afterwards whether the import worked or not; a path that would break out of its quotes is
// refused before anything runs.
TEST_F(ClientSandbox, CertificateImportRunsTheToolWithQuotedPathsAndRestartsTheDaemon)
{
    testutil::ScratchFolder certs(L"cert dir");
    testutil::WriteTextFile(certs.file(L"client cert.pem"), "CERTIFICATE 1\r\n");
    testutil::WriteTextFile(certs.file(L"client key.pem"), "KEY 1\r\n");
    impl.AcceptServer(L"localhost");
    // Without the res folder there is no IDinitialize to delete either; that is no failure.
    testutil::RemoveTree(std::wstring(kNsr) + L"res");
    EXPECT_FALSE(impl.ImportCertAndPKeyFiles(certs.file(L"client cert.pem"), certs.file(L"missing key.pem")));
    EXPECT_TRUE(WaitForCount(L"nsrexecd.exe", 1));
    EXPECT_FALSE(impl.ImportCertAndPKeyFiles(L"C:\\a\" -p \"C:\\b", certs.file(L"client cert.pem")));

    std::wstring sRes = std::wstring(kNsr) + L"res\\";
    CreateDirectoryW(sRes.c_str(), nullptr);
    testutil::WriteTextFile(sRes + L"IDinitialize", "stale\r\n");
    ASSERT_TRUE(impl.ImportCertAndPKeyFiles(certs.file(L"client cert.pem"), certs.file(L"client key.pem")));
    EXPECT_EQ(testutil::ReadTextFile(sRes + L"nsrcert.pem"), L"CERTIFICATE 1\r\n");
    EXPECT_EQ(testutil::ReadTextFile(sRes + L"nsrkey.pem"), L"KEY 1\r\n");
    EXPECT_EQ(testutil::ReadTextFile(sRes + L"IDinitialize"), L"imported\r\n"); // the stale one was removed
    EXPECT_TRUE(WaitForCount(L"nsrexecd.exe", 1)) << "stopped for the import, one copy runs again";
    EXPECT_TRUE(impl.StopNsrExecDaemon());
    EXPECT_TRUE(WaitForCount(L"nsrexecd.exe", 0));
}
