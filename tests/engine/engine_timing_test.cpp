// The engine's real timing: heartbeat periods of silence, the connection watch, and a long
// series of commands. Slow by nature. It runs in a network namespace of its own, because the
// TCP table that the connection watch reads is the whole machine's under Wine.
#include "tests/engine/engine_fixture.h"
#include "trace/trace.h"

#include <thread>

using testutil::Contains;

namespace
{

// The trace of this test alone: other test programs write into the shared log at the same time.
struct PrivateTrace {
    testutil::ScratchFolder folder{L"engine_timing_trace"};
    std::wstring sSharedFolder;
    PrivateTrace()
    {
        CvexTrace().GetLogFolder(sSharedFolder);
        CvexTrace().SetLogFolder(folder.path());
    }
    ~PrivateTrace() { CvexTrace().SetLogFolder(sSharedFolder); }
    std::wstring Text() const { return testutil::ReadTextFile(folder.file(L"CVEX_trace.log")); }
    // The end of the trace, to show with a failure.
    std::string Tail() const
    {
        std::wstring s = Text();
        s = s.substr(s.size() > 3000 ? s.size() - 3000 : 0);
        return std::string(s.begin(), s.end());
    }
    size_t Count(const std::wstring& sText) const
    {
        std::wstring s = Text();
        size_t n = 0;
        for (size_t i = s.find(sText); i != std::wstring::npos; i = s.find(sText, i + 1))
            ++n;
        return n;
    }
};

// A loopback stand-in for the daemon's port: accepts one connection and drops it later.
class DroppingListener
{
public:
    DroppingListener(const char* pAddress, DWORD dwDropAfterMs)
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(7937);
        inet_pton(AF_INET, pAddress, &a.sin_addr);
        m_bListening = bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 && listen(m_listen, 1) == 0;
        m_thread = std::thread([this, dwDropAfterMs] {
            SOCKET s = accept(m_listen, nullptr, nullptr);
            if (s == INVALID_SOCKET)
                return;
            Sleep(dwDropAfterMs);
            closesocket(s);
        });
    }
    ~DroppingListener()
    {
        closesocket(m_listen);
        m_thread.join();
    }
    bool listening() const { return m_bListening; }

private:
    SOCKET m_listen = INVALID_SOCKET;
    bool m_bListening = false;
    std::thread m_thread;
};

} // namespace

TEST_F(EngineTest, FortySilentSecondsGiveFourHeartbeatsOneWarningAndFourChecks)
{
    impl.SetEngineTimingForTesting(1000, 0, 10000); // the real ten-second period
    PrivateTrace trace;
    ASSERT_TRUE(impl.RunCommand(Tool(L"silent 43"), true));
    std::vector<std::wstring> lines = ReadAll();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], L"done");
    EXPECT_EQ(host.Count(PK_HEARTBEAT), 4u);
    EXPECT_EQ(host.CountMessage(L"Waiting for response from NetWorker server ..."), 1u);
    EXPECT_EQ(trace.Count(L"CVEXImpl::CheckNetWorkerConnection4 : starting ..."), 4u);
}

TEST_F(EngineTest, ADroppedServerConnectionIsReportedAndReadingGoesOn)
{
    DroppingListener server("127.0.0.250", 2500);
    ASSERT_TRUE(server.listening());
    ASSERT_TRUE(impl.RunCommand(Tool(L"connect 127.0.0.250 8"), true));
    std::wstring s;
    ASSERT_TRUE(impl.GetLine(s, true)); // heartbeats run while the tool is silent
    EXPECT_EQ(s, L"done");
    EXPECT_TRUE(impl.ConnectionLost());
    ASSERT_GE(host.Count(PK_MESSAGE), 1u);
    size_t uiFirstLost = 0;
    while (host.progress[uiFirstLost].uiKind != PK_MESSAGE)
        ++uiFirstLost;
    EXPECT_EQ(host.progress[uiFirstLost].sText5, L"Lost connection to NetWorker server");
    EXPECT_GE(uiFirstLost, 2u); // the first heartbeats saw the connection
    EXPECT_FALSE(impl.GetLine(s, true));
}

namespace
{

// The engine object on its own, for a host that answers nothing.
struct QuietHost : EngineHost {
    int LogMessage(unsigned, unsigned) override { return 0; }
    int LogMessageCode(unsigned, unsigned, DWORD) override { return 0; }
    std::wstring MessageText(unsigned) override { return {}; }
    unsigned ReportProgress(ProgressRecord&) override { return 0; }
    bool CanReportProgress() const override { return false; }
    int ServerAddressFamily() const override { return AF_INET; }
};

} // namespace

TEST(ConsoleSessionTest, TwoHundredToolsInARowLeaveTheHandleCountFlat)
{
    PrivateTrace trace;
    QuietHost host;
    ConsoleSession session(host);
    session.SetTiming({100, 0, 1000});
    DWORD dwBefore = 0;
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(session.RunCommand(EngineTest::Tool(L"lines \"x\\n\""), false)) << i << "\n" << trace.Tail();
        std::vector<std::wstring> lines;
        std::wstring s;
        while (session.GetLine(s, false))
            lines.push_back(s);
        ASSERT_EQ(lines, std::vector<std::wstring>{L"x"}) << i;
        if (i == 9) { // after the first commands have set up what stays for the process
            session.Close(L"ConsoleSessionTest");
            ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &dwBefore));
        }
    }
    session.Close(L"ConsoleSessionTest");
    EXPECT_FALSE(session.IsOpen());
    DWORD dwAfter = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &dwAfter));
    EXPECT_LE(dwAfter, dwBefore + 2) << "before " << dwBefore << ", after " << dwAfter;
}
