// Operations that do not expect a password, run against a tool that asks for one anyway: each
// fails within a bound with its message, the process stays idle meanwhile, and no tool is left.
#include "tests/engine/engine_fixture.h"
#include "trace/trace_scope.h"

using testutil::Contains;

namespace
{

// A CVEXImpl whose client tools are all the fake tool in its password role.
class PasswordToolImpl : public CVEXImpl
{
public:
    explicit PasswordToolImpl(const std::wstring& sTool)
    {
        m_sRecoverPath = m_sNsrportsPath = m_sNsradminPath = m_sNwinstcreatePath = sTool;
        m_bValidCredentials = true; // the daemon start after the import then fails: no daemon here
        m_NetWorkerCredentials.m_sServerName = L"nwsrv";
        m_NetWorkerCredentials.m_sClientName = L"winclient1";
    }
    // Init's connection test on its own; true when it ended with a failure noted.
    bool ConnectionTestFails()
    {
        TraceScope scope(L"CVEXImpl::Init");
        ConnectionTest test;
        return !RunConnectionTest(scope, test) || test.bFailed;
    }
};

const wchar_t kExpected[] = L"NetWorker Message :engine_fake_tool.exe asked for a password where none is expected; "
                            L"it was ended";

struct UnexpectedPassword : EngineTest {
    PasswordToolImpl tool{Tool(L"password 1")};
    void SetUp() override
    {
        EngineTest::SetUp();
        tool.SetLogMsgCallbackFn(&HostRecorder::Log, &host);
        tool.SetProgMsgCallbackFn(&HostRecorder::Progress, &host);
        tool.SetEngineTimingForTesting(100, 0, 10000); // the real pause after a prompt
    }
    // Runs the operation; checks the bound, the idle wait, the message and that no tool is left.
    template <typename Op> void Expect(Op op, unsigned uiLevel)
    {
        const ULONGLONG ullStart = GetTickCount64(), ullCpuStart = testutil::ProcessCpuMs();
        EXPECT_FALSE(op());
        const ULONGLONG ullElapsed = GetTickCount64() - ullStart, ullCpu = testutil::ProcessCpuMs() - ullCpuStart;
        EXPECT_LT(ullElapsed, 30000u);
        EXPECT_LT(ullCpu, 1000 + ullElapsed / 2) << "cpu " << ullCpu << " ms over " << ullElapsed << " ms";
        ASSERT_FALSE(host.messages.empty());
        EXPECT_EQ(host.messages.back(), (std::pair<unsigned, std::wstring>{uiLevel, kExpected}));
        EXPECT_EQ(host.Count(PK_PASSWORD_REQUEST), 0u) << "the host is not asked";
        EXPECT_TRUE(testutil::ProcessesNamed(L"engine_fake_tool.exe").empty());
        std::wstring sLastError;
        tool.GetLastErrorMsg(sLastError);
        EXPECT_EQ(sLastError == kExpected, uiLevel == ML_ERROR) << "only an error becomes the last error";
    }
};

} // namespace

TEST_F(UnexpectedPassword, InitsConnectionTestFails)
{
    Expect([&] { return !tool.ConnectionTestFails(); }, ML_ERROR);
}

TEST_F(UnexpectedPassword, ThePortQueryFails)
{
    Expect([&] { return tool.QueryPorts(L""); }, ML_ERROR);
}

TEST_F(UnexpectedPassword, TheServerVersionQueryFailsWithAWarning)
{
    std::wstring sVersion = L"unchanged";
    Expect([&] { return tool.GetNetWorkerServerVersion(sVersion); }, ML_WARNING);
    EXPECT_EQ(sVersion, L"unchanged");
}

TEST_F(UnexpectedPassword, TheCertificateImportFails)
{
    Expect([&] { return tool.ImportCertAndPKeyFiles(L"C:\\cert.pem", L"C:\\key.pem"); }, ML_ERROR);
}
