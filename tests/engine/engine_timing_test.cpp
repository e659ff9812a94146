// The engine's real timing: heartbeat periods of silence and the connection watch. It runs in a
// network namespace of its own, because the TCP table that the connection watch reads is the whole
// machine's under Wine.
#include "hostapi/message_ids.h"
#include "tests/common/loopback_address.h"
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

// A loopback stand-in for the daemon's port: accepts one connection and drops
// it later.
class DroppingListener
{
public:
    DroppingListener(const char* pAddress, DWORD dwDropAfterMs)
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        sockaddr_storage a;
        int iLength = testutil::DaemonPortAddress(pAddress, a);
        m_listen = socket(a.ss_family, SOCK_STREAM, IPPROTO_TCP);
        m_bListening = bind(m_listen, reinterpret_cast<sockaddr*>(&a), iLength) == 0 && listen(m_listen, 1) == 0;
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

// Index of the first "Lost connection" message among the progress records, or the count.
size_t FirstLostMessage(const std::vector<ProgressRecord>& progress)
{
    size_t i = 0;
    while (i < progress.size() && progress[i].uiKind != PK_MESSAGE)
        ++i;
    return i;
}

} // namespace

// Heartbeats come once a period of silence (a quarter of a second here), a warning every fourth, and each
// checks the server connection.
TEST_F(EngineTest, SilenceGivesHeartbeatsAWarningEveryFourthAndAConnectionCheckEach)
{
    impl.SetEngineTimingForTesting(25, 0, 1000); // a quarter of a second
    PrivateTrace trace;
    ASSERT_TRUE(impl.RunCommand(Tool(L"silent 3"), true));
    EXPECT_EQ(ReadAll(), std::vector<std::wstring>{L"done"});
    const size_t nBeats = host.Count(PK_HEARTBEAT);
    EXPECT_GE(nBeats, 8u);
    std::vector<size_t> warnedAt;
    for (size_t i = 0; i < host.messages.size(); ++i)
        if (host.Ids()[i] == MSG_WAITING_FOR_SERVER)
            warnedAt.push_back(host.heartbeatsAtMessage[i]);
    std::vector<size_t> expected;
    for (size_t n = 4; n <= nBeats; n += 4)
        expected.push_back(n);
    EXPECT_EQ(warnedAt, expected) << "a warning at every fourth heartbeat";
    EXPECT_EQ(trace.Count(L"CVEXImpl::CheckNetWorkerConnection4 : starting ..."), nBeats);
}

// A connection dropped while the tool is silent is reported and reading goes on; one left in
// TIME_WAIT by an earlier tool neither hides it nor counts as live; the lost connection belongs
// to that tool only.
TEST_F(EngineTest, ADroppedServerConnectionIsReportedAndReadingGoesOn)
{
    {
        // This tool closes its connection first, so its side stays in TIME_WAIT for a minute.
        DroppingListener earlier("127.0.0.251", 1500);
        ASSERT_TRUE(earlier.listening());
        ASSERT_TRUE(impl.RunCommand(Tool(L"connect 127.0.0.251 1"), true));
        EXPECT_EQ(ReadAll(), std::vector<std::wstring>{L"done"});
    }
    host.progress.clear();
    DroppingListener server("127.0.0.250", 2500);
    ASSERT_TRUE(server.listening());
    ASSERT_TRUE(impl.RunCommand(Tool(L"connect 127.0.0.250 5"), true));
    EXPECT_EQ(ReadAll(), std::vector<std::wstring>{L"done"}) << "heartbeats run while the tool is silent";
    EXPECT_TRUE(impl.ConnectionLost());
    size_t uiFirstLost = FirstLostMessage(host.progress);
    ASSERT_LT(uiFirstLost, host.progress.size());
    EXPECT_EQ(host.progress[uiFirstLost].sText5, L"Lost connection to NetWorker server");
    EXPECT_GE(uiFirstLost, 2u) << "the first heartbeats saw the connection";
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"again\\n\""), true));
    EXPECT_EQ(ReadAll(), std::vector<std::wstring>{L"again"});
    EXPECT_FALSE(impl.ConnectionLost());
}
