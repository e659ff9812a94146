// Operations that do not expect a password, run against a tool that asks for one anyway: each
// fails within a bound with its message, the process stays idle meanwhile, and no tool is left.
#include "hostapi/message_ids.h"
#include "tests/engine/engine_fixture.h"
#include "trace/trace_scope.h"

#include <functional>

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

const wchar_t kInserted[] = L"engine_fake_tool.exe asked for a password where none is expected; it was ended";

} // namespace

// Each operation fails within a bound, idle, with message 169 naming the tool at its level; the
// host is not asked and no tool is left; only an error becomes the last error.
TEST_F(EngineTest, AnOperationThatExpectsNoPasswordEndsTheToolAndFails)
{
    PasswordToolImpl tool{Tool(L"password 1")};
    tool.SetLogMsgCallbackFn(&HostRecorder::Log, &host);
    tool.SetProgMsgCallbackFn(&HostRecorder::Progress, &host);
    tool.SetEngineTimingForTesting(100, 0, 10000); // the real pause after a prompt
    std::wstring sVersion = L"unchanged";
    struct Case {
        const char* pName;
        std::function<bool()> op;
        unsigned uiLevel;
    };
    const Case kCases[] = {
        {"connection test", [&] { return !tool.ConnectionTestFails(); }, ML_ERROR},
        {"port query", [&] { return tool.QueryPorts(L""); }, ML_ERROR},
        {"server version", [&] { return tool.GetNetWorkerServerVersion(sVersion); }, ML_WARNING},
        {"certificate import", [&] { return tool.ImportCertAndPKeyFiles(L"C:\\cert.pem", L"C:\\key.pem"); }, ML_ERROR},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pName);
        host.messages.clear();
        tool.SetLastErrorMsg(L"");
        const ULONGLONG ullStart = GetTickCount64(), ullCpuStart = testutil::ProcessCpuMs();
        EXPECT_FALSE(c.op());
        const ULONGLONG ullElapsed = GetTickCount64() - ullStart, ullCpu = testutil::ProcessCpuMs() - ullCpuStart;
        EXPECT_LT(ullElapsed, 30000u);
        EXPECT_LT(ullCpu, 1000 + ullElapsed / 2) << "cpu " << ullCpu << " ms over " << ullElapsed << " ms";
        ASSERT_FALSE(host.messages.empty());
        EXPECT_EQ(host.Ids().back(), unsigned{MSG_NETWORKER_MESSAGE});
        EXPECT_EQ(host.messages.back().uiLevel, c.uiLevel);
        EXPECT_TRUE(Contains(host.messages.back().sText, kInserted)) << velmora::to_utf8(host.messages.back().sText);
        EXPECT_EQ(host.Count(PK_PASSWORD_REQUEST), 0u) << "the host is not asked";
        EXPECT_TRUE(testutil::ProcessesNamed(L"engine_fake_tool.exe").empty());
        std::wstring sLastError;
        tool.GetLastErrorMsg(sLastError);
        EXPECT_EQ(sLastError == host.messages.back().sText, c.uiLevel == ML_ERROR);
    }
    EXPECT_EQ(sVersion, L"unchanged");
}
