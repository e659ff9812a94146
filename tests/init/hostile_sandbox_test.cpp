// The client operations against simulated tools that ask for a password where none is expected:
// each fails within a bound with its message, the process stays idle, and no tool is left.
#include "tests/common/test_util.h"
#include "tests/init/sandbox_client.h"

#include <functional>

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

} // namespace

// Each client operation against a tool that asks for a password where none is expected fails in
// time, idle, with message 169 naming the tool, and the tool is ended; the certificate import
// starts the daemon again.
TEST_F(ClientSandbox, AToolThatAsksForAPasswordIsEndedAndItsOperationFails)
{
    impl.AcceptServer(L"localhost");
    impl.SetEngineTimingForTesting(100, 0, 10000); // heartbeats every second, the real prompt pause
    testutil::ScratchFolder certs(L"hostile_certs");
    testutil::WriteTextFile(certs.file(L"cert.pem"), "CERTIFICATE\r\n");
    testutil::WriteTextFile(certs.file(L"key.pem"), "KEY\r\n");
    std::wstring sVersion = L"unchanged";
    struct Case {
        const wchar_t* pTool;
        std::function<bool()> op;
    };
    const Case kCases[] = {
        {L"nsrports", [&] { return impl.QueryPorts(L""); }},
        {L"nsradmin", [&] { return impl.GetNetWorkerServerVersion(sVersion); }},
        {L"nwinstcreate", [&] { return impl.ImportCertAndPKeyFiles(certs.file(L"cert.pem"), certs.file(L"key.pem")); }},
    };
    for (const Case& c : kCases) {
        const std::wstring sTool = std::wstring(c.pTool) + L".exe";
        SCOPED_TRACE(velmora::to_utf8(sTool));
        SetFault((std::wstring(c.pTool) + L" any start password").c_str());
        impl.messages.clear();
        const ULONGLONG ullStart = GetTickCount64(), ullCpuStart = testutil::ProcessCpuMs();
        EXPECT_FALSE(c.op());
        const ULONGLONG ullElapsed = GetTickCount64() - ullStart, ullCpu = testutil::ProcessCpuMs() - ullCpuStart;
        EXPECT_LT(ullElapsed, 60000u);
        EXPECT_LT(ullCpu, 1000 + ullElapsed / 2) << "cpu " << ullCpu << " ms over " << ullElapsed << " ms";
        EXPECT_EQ(impl.Ids(), std::vector<unsigned>{169});
        EXPECT_TRUE(!impl.messages.empty() &&
                    testutil::Contains(impl.messages.back().sText,
                                       sTool + L" asked for a password where none is expected; it was ended"));
        EXPECT_TRUE(WaitForCount(sTool, 0)) << "the tool was ended";
    }
    SetFault(nullptr);
    EXPECT_EQ(impl.ServicePorts(), L"");
    EXPECT_EQ(sVersion, L"unchanged");
    EXPECT_TRUE(WaitForCount(L"nsrexecd.exe", 1));
    EXPECT_TRUE(impl.StopNsrExecDaemon());
}
