// The client operations against simulated tools that ask for a password where none is expected:
// each fails within a bound with its message, the process stays idle, and no tool is left.
#include "tests/common/test_util.h"
#include "tests/init/sandbox_client.h"

using namespace sandbox;

namespace
{

const wchar_t kNwsimIni[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.ini";

void SetFault(const wchar_t* pSpec)
{
    WritePrivateProfileStringW(L"faults", nullptr, nullptr, kNwsimIni);
    if (pSpec)
        WritePrivateProfileStringW(L"faults", L"hostile_test", pSpec, kNwsimIni);
}

class HostileSandbox : public ClientSandbox
{
protected:
    void SetUp() override
    {
        ClientSandbox::SetUp();
        impl.AcceptServer(L"localhost");
        impl.SetEngineTimingForTesting(100, 0, 10000); // heartbeats every second, the real prompt pause
    }
    void TearDown() override
    {
        SetFault(nullptr);
        ClientSandbox::TearDown();
    }
    // Runs the operation with the fault set; it must fail in time, idle, with the tool named.
    template <typename Op> void ExpectRefused(const wchar_t* pFault, const wchar_t* pTool, Op op)
    {
        SetFault(pFault);
        const ULONGLONG ullStart = GetTickCount64(), ullCpuStart = testutil::ProcessCpuMs();
        EXPECT_FALSE(op());
        const ULONGLONG ullElapsed = GetTickCount64() - ullStart, ullCpu = testutil::ProcessCpuMs() - ullCpuStart;
        EXPECT_LT(ullElapsed, 60000u);
        EXPECT_LT(ullCpu, 1000 + ullElapsed / 2) << "cpu " << ullCpu << " ms over " << ullElapsed << " ms";
        const std::wstring sExpected = FormatMessageTextV(
            impl.Text(169).c_str(),
            (std::wstring(pTool) + L" asked for a password where none is expected; it was ended").c_str());
        ASSERT_FALSE(impl.messages.empty());
        EXPECT_EQ(impl.messages.back(), sExpected);
        EXPECT_TRUE(WaitForCount(pTool, 0)) << "the tool was ended";
    }
};

} // namespace

TEST_F(HostileSandbox, ThePortQueryEndsNsrportsAndFails)
{
    ExpectRefused(L"nsrports any start password", L"nsrports.exe", [&] { return impl.QueryPorts(L""); });
    EXPECT_EQ(impl.ServicePorts(), L"");
}

TEST_F(HostileSandbox, TheServerVersionQueryEndsNsradminAndFails)
{
    std::wstring sVersion = L"unchanged";
    ExpectRefused(L"nsradmin any start password", L"nsradmin.exe",
                  [&] { return impl.GetNetWorkerServerVersion(sVersion); });
    EXPECT_EQ(sVersion, L"unchanged");
}

TEST_F(HostileSandbox, TheCertificateImportEndsNwinstcreateAndFailsButTheDaemonRunsAgain)
{
    testutil::ScratchFolder certs(L"hostile_certs");
    testutil::WriteTextFile(certs.file(L"cert.pem"), "CERTIFICATE\r\n");
    testutil::WriteTextFile(certs.file(L"key.pem"), "KEY\r\n");
    ExpectRefused(L"nwinstcreate any start password", L"nwinstcreate.exe",
                  [&] { return impl.ImportCertAndPKeyFiles(certs.file(L"cert.pem"), certs.file(L"key.pem")); });
    EXPECT_TRUE(WaitForCount(L"nsrexecd.exe", 1));
    EXPECT_TRUE(impl.StopNsrExecDaemon());
}
