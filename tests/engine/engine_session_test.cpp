// The console engine against a fake tool in the private hidden console.
#include "hostapi/message_ids.h"
#include "support/handle.h"
#include "tests/engine/engine_fixture.h"

using testutil::Contains;
using Lines = std::vector<std::wstring>;

TEST_F(EngineTest, OutputArrivesAsStrippedLinesUntilTheToolEnds)
{
    EXPECT_FALSE(impl.RunCommand(L"", true));
    EXPECT_EQ(impl.Handles().hConIn, INVALID_HANDLE_VALUE) << "an empty command starts nothing";
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"abc\\r\\n  two words  \\r\\nx\\fy\\n\\nlast\""), true));
    EXPECT_EQ(ReadAll(), (Lines{L"abc", L"  two words", L"xy", L""})) << "a last line without its end is dropped";
    EXPECT_EQ(impl.Handles().hStdOutRd, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(impl.RunCommand(Tool(L"crash"), true));
    EXPECT_EQ(ReadAll(), Lines{}) << "a tool that dies mid-line ends the output";
}

TEST_F(EngineTest, AnswersAreTypedIntoTheHiddenConsoleAsKeyPairs)
{
    ASSERT_TRUE(impl.RunCommand(Tool(L"recover"), true));
    std::wstring s;
    ASSERT_TRUE(impl.GetLine(s, true));
    EXPECT_TRUE(Contains(s, L"Current working directory is"));
    ASSERT_TRUE(impl.GetLine(s, true));
    EXPECT_EQ(s, L"recover> ");
    ASSERT_TRUE(impl.SendResponse(L"cd /Data Mixed\r\n", false));
    ASSERT_TRUE(impl.GetLine(s, true));
    EXPECT_EQ(s, L"you said: cd /Data Mixed");
    ASSERT_TRUE(impl.SendResponse(L"EXIT\r\n", false));
    EXPECT_EQ(ReadAll(), Lines{L"recover> "});
    EXPECT_TRUE(impl.Fini(false));

    ASSERT_TRUE(impl.RunCommand(Tool(L"keys 4"), true));
    ASSERT_TRUE(impl.SendResponse(L"Ab", false));
    Lines keys = ReadAll();
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_TRUE(Contains(keys[0], L"down vk=65") && Contains(keys[0], L"char=65 state=16")) << "shift for A";
    EXPECT_TRUE(Contains(keys[1], L"up vk=65"));
    EXPECT_TRUE(Contains(keys[2], L"down vk=66") && Contains(keys[2], L"char=98 state=0"));
    // A character without a key fails the response there; the keys before it were typed.
    ASSERT_TRUE(impl.RunCommand(Tool(L"keys 2"), true));
    EXPECT_FALSE(impl.SendResponse(L"a\u4e2d", false));
    keys = ReadAll();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_TRUE(Contains(keys[0], L"char=97"));
    EXPECT_FALSE(impl.SendResponse(L"", false));
}

TEST_F(EngineTest, PasswordIsAskedOnceTypedUnseenAndReused)
{
    host.sPassword = L"Se3cret!";
    SetEnvironmentVariableW(L"CVEX_FAKE_PASSWORD", L"Se3cret!"); // the tool compares, unseen
    ASSERT_TRUE(impl.RunCommand(Tool(L"password 2"), true));
    Lines said;
    std::wstring s;
    int nRequests = 0;
    while (impl.GetLine(s, true)) {
        // Either an empty output line or a password request: only the latter answers true.
        if (s.empty() && nRequests < 5 && impl.ProvidePassword())
            ++nRequests;
        if (Contains(s, L"password "))
            said.push_back(s);
    }
    EXPECT_EQ(nRequests, 2);
    EXPECT_EQ(host.Count(PK_PASSWORD_REQUEST), 1u);
    EXPECT_EQ(said, Lines(2, L"password accepted"));
    std::wstring sTrace = testutil::ReadTextFile(testutil::ProgramFolder() + L"Logfiles\\CVEX_trace.log");
    EXPECT_TRUE(Contains(sTrace, L"Password required"));
    EXPECT_FALSE(Contains(sTrace, L"Se3cret"));
}

// No password from the host, or no progress callback to ask it through, is an abort.
TEST_F(EngineTest, NoPasswordFromTheHostIsAnAbort)
{
    EXPECT_FALSE(impl.ProvidePassword()); // nothing asked: the host is not bothered
    EXPECT_EQ(host.Count(PK_PASSWORD_REQUEST), 0u);
    for (bool bCallback : {true, false}) {
        SCOPED_TRACE(bCallback ? "empty answer" : "no callback");
        host.messages.clear();
        if (!bCallback)
            impl.SetProgMsgCallbackFn(nullptr, nullptr);
        ASSERT_TRUE(impl.RunCommand(Tool(L"password 1"), true));
        std::wstring s;
        bool bAnswered = true;
        while (bAnswered && impl.GetLine(s, true))
            if (s.empty())
                bAnswered = impl.ProvidePassword();
        EXPECT_FALSE(bAnswered);
        EXPECT_TRUE(impl.UserAborted());
        EXPECT_EQ(host.CountMessage(MSG_USER_ABORTED), 1u);
        impl.Abort();
        EXPECT_EQ(impl.Handles().hConIn, INVALID_HANDLE_VALUE);
    }
}

// The host's abort at a heartbeat ends the read for that command only; an unanswered password
// request is announced once and waited for idle until then.
TEST_F(EngineTest, HeartbeatAnsweredWithOneEndsTheReadForThatCommandOnly)
{
    host.uiHeartbeatAnswer = 1;
    ASSERT_TRUE(impl.RunCommand(Tool(L"silent 30"), true));
    std::wstring s;
    EXPECT_FALSE(impl.GetLine(s, true));
    ASSERT_GE(host.Count(PK_HEARTBEAT), 1u);
    EXPECT_EQ(host.progress[0].sText1, L"Heartbeat");
    EXPECT_TRUE(impl.UserAborted());
    EXPECT_EQ(host.CountMessage(MSG_USER_ABORTED), 1u);
    impl.Abort();
    host.uiHeartbeatAnswer = 0;
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"next\\n\""), true));
    EXPECT_EQ(ReadAll(), Lines{L"next"});
    EXPECT_FALSE(impl.UserAborted());

    host.progress.clear();
    host.nAbortAtHeartbeat = 4;
    impl.SetEngineTimingForTesting(25, 0, 1000); // a heartbeat about every quarter of a second
    ASSERT_TRUE(impl.RunCommand(Tool(L"password 1"), true));
    const ULONGLONG ullStart = GetTickCount64(), ullCpuStart = testutil::ProcessCpuMs();
    size_t nEmpty = 0;
    while (impl.GetLine(s, true))
        nEmpty += s.empty();
    const ULONGLONG ullElapsed = GetTickCount64() - ullStart, ullCpu = testutil::ProcessCpuMs() - ullCpuStart;
    EXPECT_EQ(nEmpty, 1u);
    EXPECT_TRUE(impl.UserAborted());
    EXPECT_GE(host.Count(PK_HEARTBEAT), 4u);
    EXPECT_LT(ullCpu * 2, ullElapsed) << "cpu " << ullCpu << " ms over " << ullElapsed << " ms";
    impl.Abort();
    EXPECT_TRUE(testutil::ProcessesNamed(L"engine_fake_tool.exe").empty());
}

// Abort ends the tool (exit code 12) and tells the host once per command; an Abort with nothing
// running harms nothing; the next command works.
TEST_F(EngineTest, AbortEndsTheToolOnceAndANewCommandWorks)
{
    impl.Abort();
    ASSERT_TRUE(impl.RunCommand(Tool(L"silent 0"), true));
    velmora::unique_handle_null watch(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, impl.Handles().dwPID));
    ASSERT_TRUE(watch);
    impl.Abort();
    impl.Abort();
    ASSERT_EQ(WaitForSingleObject(watch.get(), 5000), WAIT_OBJECT_0) << "the tool ended";
    DWORD dwExit = 0;
    GetExitCodeProcess(watch.get(), &dwExit);
    EXPECT_EQ(dwExit, 12u);
    // Once for the Abort with nothing running, once for the tool: the second Abort adds nothing.
    EXPECT_EQ(host.CountMessage(MSG_USER_ABORTED), 2u);
    EXPECT_EQ(impl.Handles().hConIn, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"after\\n\""), true));
    EXPECT_EQ(ReadAll(), Lines{L"after"});
}

// A second command waits for the first, reads none of its output, and ends a tool that never
// ends after the grace period.
TEST_F(EngineTest, ASecondCommandWaitsForTheFirstOrEndsItAfterTheGracePeriod)
{
    impl.Console().SetTiming({100, 0, 1000, 1500});
    ASSERT_TRUE(impl.RunCommand(Tool(L"silent 1"), true));
    ULONGLONG ullStart = GetTickCount64();
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"second\\n\""), true));
    EXPECT_GE(GetTickCount64() - ullStart, 900u);
    EXPECT_EQ(ReadAll(), Lines{L"second"}) << "the first command's unread \"done\" is not the second's";

    ASSERT_TRUE(impl.RunCommand(Tool(L"silent 0"), true));
    velmora::unique_handle_null watch(OpenProcess(SYNCHRONIZE, FALSE, impl.Handles().dwPID));
    ASSERT_TRUE(watch);
    ullStart = GetTickCount64();
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"next\\n\""), true));
    EXPECT_GE(GetTickCount64() - ullStart, 1500u);
    EXPECT_EQ(WaitForSingleObject(watch.get(), 0), WAIT_OBJECT_0) << "the hanging tool was ended";
    EXPECT_EQ(ReadAll(), Lines{L"next"});
}

TEST_F(EngineTest, DestroyingTheObjectClosesAnOpenSession)
{
    auto* p = new CVEXImpl();
    ASSERT_TRUE(p->RunCommand(Tool(L"lines \"x\\n\""), false));
    std::wstring s;
    while (p->GetLine(s, false)) {
    }
    EXPECT_NE(p->Handles().hConIn, INVALID_HANDLE_VALUE);
    delete p; // closes the session through Fini(true); must not hang
}

namespace
{

// Makes the console, the tool or the monitoring thread start fail a given number of times.
struct FlakyStart {
    static inline unsigned s_uiCalls = 0, s_uiFailures = 0;
    static inline DWORD s_dwError = 0;
    ConsoleSession::Seams& seams;
    const ConsoleSession::Seams saved = seams;
    explicit FlakyStart(ConsoleSession& session) : seams(session.TestSeams()) { seams.dwStartPauseMs = 10; }
    ~FlakyStart() { seams = saved; }
    static bool Fail()
    {
        if (++s_uiCalls > s_uiFailures)
            return false;
        SetLastError(s_dwError);
        return true;
    }
    enum What { Console, Process, Thread };
    void Arm(What what, unsigned uiFailures, DWORD dwError)
    {
        s_uiCalls = 0;
        s_uiFailures = uiFailures;
        s_dwError = dwError;
        seams = saved;
        seams.dwStartPauseMs = 10;
        if (what == Console)
            seams.pfnAllocConsole = [] { return Fail() ? FALSE : AllocConsole(); };
        if (what == Process)
            seams.pfnCreateProcess = [](LPCSTR a, LPSTR b, LPSECURITY_ATTRIBUTES c, LPSECURITY_ATTRIBUTES d, BOOL e,
                                        DWORD f, LPVOID g, LPCSTR h, LPSTARTUPINFOA i, LPPROCESS_INFORMATION j) {
                return Fail() ? FALSE : CreateProcessA(a, b, c, d, e, f, g, h, i, j);
            };
        if (what == Thread)
            seams.pfnStartThread = [](LPTHREAD_START_ROUTINE, LPVOID, DWORD*) -> HANDLE {
                ++s_uiCalls;
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            };
    }
};

} // namespace

// A console or a tool start that fails now and then (seen under load) costs a pause, not the
// command; one that keeps failing, a missing program or no monitoring thread fails the command,
// leaves no tool running and nothing open, and the next command neither waits nor reads it.
TEST_F(EngineTest, StartingFailuresAreTriedAgainThenReported)
{
    FlakyStart flaky(impl.Console());
    const unsigned uiAttempts = impl.Console().TestSeams().uiStartAttempts;
    struct Case {
        FlakyStart::What what;
        unsigned uiFailures;
        DWORD dwError;
        bool bRuns;
        unsigned uiCalls;
    };
    const Case kCases[] = {
        {FlakyStart::Console, 2, ERROR_INVALID_FUNCTION, true, 3},
        {FlakyStart::Console, 1000, ERROR_INVALID_FUNCTION, false, uiAttempts},
        {FlakyStart::Process, 2, ERROR_INTERNAL_ERROR, true, 3},
        {FlakyStart::Process, 1000, ERROR_INTERNAL_ERROR, false, uiAttempts},
        {FlakyStart::Process, 1000, ERROR_FILE_NOT_FOUND, false, 1},
        {FlakyStart::Thread, 0, 0, false, 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "seam " << c.what << ", error " << c.dwError);
        flaky.Arm(c.what, c.uiFailures, c.dwError);
        bool bRan = impl.RunCommand(Tool(c.what == FlakyStart::Thread ? L"silent 0" : L"lines \"after\\n\""), true);
        EXPECT_EQ(FlakyStart::s_uiCalls, c.uiCalls);
        EXPECT_EQ(bRan, c.bRuns);
        EXPECT_EQ(bRan ? ReadAll() : Lines{}, c.bRuns ? Lines{L"after"} : Lines{});
        const ConsoleHandles& h = impl.Handles();
        for (HANDLE x : {h.hConIn, h.hStdOutRd, h.hStdOutWr, h.hProcess, h.hThread})
            EXPECT_TRUE(c.bRuns || x == INVALID_HANDLE_VALUE); // a failed start leaves nothing open
        EXPECT_TRUE(testutil::ProcessesNamed(L"engine_fake_tool.exe").empty());
    }
    std::vector<unsigned> ids = host.Ids();
    ASSERT_EQ(std::count(ids.begin(), ids.end(), unsigned{MSG_ALLOC_CONSOLE_FAILED}), 1);
    const std::wstring& sAlloc = host.messages[std::find(ids.begin(), ids.end(), 101u) - ids.begin()].sText;
    EXPECT_EQ(sAlloc.substr(sAlloc.size() - 2), L" 1") << "the error is inserted";
    flaky.Arm(FlakyStart::Process, 0, 0);
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"next\\n\""), true));
    EXPECT_EQ(ReadAll(), Lines{L"next"});
}
