// The console engine against a fake tool in the private hidden console.
#include "tests/engine/engine_fixture.h"

#include <psapi.h>

using testutil::Contains;

TEST_F(EngineTest, EmptyCommandFailsWithoutStartingAnything)
{
    EXPECT_FALSE(impl.RunCommand(L"", true));
    EXPECT_EQ(impl.Handles().hConIn, INVALID_HANDLE_VALUE);
}

TEST_F(EngineTest, LinesArriveStrippedAndAFinalLineWithoutEndIsDropped)
{
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"abc\\r\\n  two words  \\r\\nx\\fy\\n\\nlast\""), true));
    std::vector<std::wstring> lines = ReadAll();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], L"abc");
    EXPECT_EQ(lines[1], L"  two words");
    EXPECT_EQ(lines[2], L"xy");
    EXPECT_EQ(lines[3], L"");
    EXPECT_EQ(impl.Handles().hStdOutRd, INVALID_HANDLE_VALUE);
}

TEST_F(EngineTest, ARecoverDialogueIsTypedIntoTheHiddenConsole)
{
    ASSERT_TRUE(impl.RunCommand(Tool(L"recover"), true));
    std::wstring s;
    ASSERT_TRUE(impl.GetLine(s, true));
    EXPECT_TRUE(Contains(s, L"Current working directory is"));
    ASSERT_TRUE(impl.GetLine(s, true));
    EXPECT_EQ(s, L"recover> ");
    ASSERT_TRUE(impl.SendResponse(L"cd /Data Mixed\r\n", false));
    ASSERT_TRUE(impl.GetLine(s, true));
    EXPECT_EQ(s, L"you said: cd /Data Mixed"); // upper case typed with shift
    ASSERT_TRUE(impl.GetLine(s, true));
    EXPECT_EQ(s, L"recover> ");
    ASSERT_TRUE(impl.SendResponse(L"EXIT\r\n", false));
    EXPECT_FALSE(impl.GetLine(s, true));
    EXPECT_TRUE(impl.Fini(false));
}

TEST_F(EngineTest, TypedKeysCarryShiftAndComeInDownUpPairs)
{
    ASSERT_TRUE(impl.RunCommand(Tool(L"keys 4"), true));
    ASSERT_TRUE(impl.SendResponse(L"Ab", false));
    std::vector<std::wstring> lines = ReadAll();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(Contains(lines[0], L"down vk=65")) << testing::PrintToString(lines[0]);
    EXPECT_TRUE(Contains(lines[0], L"char=65 state=16"));
    EXPECT_TRUE(Contains(lines[1], L"up vk=65"));
    EXPECT_TRUE(Contains(lines[2], L"down vk=66"));
    EXPECT_TRUE(Contains(lines[2], L"char=98 state=0"));
}

TEST_F(EngineTest, ACharacterWithoutKeyFailsTheResponseThere)
{
    ASSERT_TRUE(impl.RunCommand(Tool(L"keys 2"), true));
    EXPECT_FALSE(impl.SendResponse(L"a\u4e2d", false));
    std::vector<std::wstring> lines = ReadAll(); // the keys before it were typed
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Contains(lines[0], L"char=97"));
    EXPECT_FALSE(impl.SendResponse(L"", false));
}

TEST_F(EngineTest, PasswordIsAskedOnceTypedUnseenAndReused)
{
    host.sPassword = L"Se3cret!";
    SetEnvironmentVariableW(L"CVEX_FAKE_PASSWORD", L"Se3cret!"); // the tool compares, unseen
    ASSERT_TRUE(impl.RunCommand(Tool(L"password 2"), true));
    std::vector<std::wstring> typed;
    std::wstring s;
    int nRequests = 0;
    while (impl.GetLine(s, true)) {
        if (s.empty() && nRequests < 5) {
            // Either an empty output line or a password request: only the latter answers true.
            if (impl.ProvidePassword())
                ++nRequests;
            continue;
        }
        if (Contains(s, L"password "))
            typed.push_back(s);
    }
    EXPECT_EQ(nRequests, 2);
    EXPECT_EQ(host.Count(PK_PASSWORD_REQUEST), 1u);
    ASSERT_EQ(typed.size(), 2u);
    EXPECT_EQ(typed[0], L"password accepted");
    EXPECT_EQ(typed[1], L"password accepted");
    std::wstring sTrace = testutil::ReadTextFile(testutil::ProgramFolder() + L"Logfiles\\CVEX_trace.log");
    EXPECT_TRUE(Contains(sTrace, L"Password required"));
    EXPECT_FALSE(Contains(sTrace, L"Se3cret"));
}

TEST_F(EngineTest, NoPasswordFromTheHostIsAnAbort)
{
    EXPECT_FALSE(impl.ProvidePassword()); // nothing asked: the host is not bothered
    EXPECT_EQ(host.Count(PK_PASSWORD_REQUEST), 0u);
    host.sPassword = L"";
    ASSERT_TRUE(impl.RunCommand(Tool(L"password 1"), true));
    std::wstring s;
    bool bAnswered = true;
    while (impl.GetLine(s, true)) {
        if (s.empty()) {
            bAnswered = impl.ProvidePassword();
            if (!bAnswered)
                break;
        }
    }
    EXPECT_FALSE(bAnswered);
    EXPECT_TRUE(impl.UserAborted());
    EXPECT_EQ(host.CountMessage(L"User has aborted the operation"), 1u);
    impl.Abort();
    EXPECT_EQ(impl.Handles().hConIn, INVALID_HANDLE_VALUE);
}

TEST_F(EngineTest, HeartbeatAnsweredWithOneEndsTheReadForThatCommandOnly)
{
    host.uiHeartbeatAnswer = 1;
    ASSERT_TRUE(impl.RunCommand(Tool(L"silent 30"), true));
    std::wstring s;
    EXPECT_FALSE(impl.GetLine(s, true));
    EXPECT_GE(host.Count(PK_HEARTBEAT), 1u);
    EXPECT_EQ(host.progress[0].sText1, L"Heartbeat");
    EXPECT_TRUE(impl.UserAborted());
    EXPECT_EQ(host.CountMessage(L"User has aborted the operation"), 1u);
    impl.Abort();
    // The abort belonged to that command: the next one on the same object reads to its end.
    host.uiHeartbeatAnswer = 0;
    ASSERT_TRUE(impl.RunCommand(Tool(L"silent 2"), true));
    EXPECT_EQ(ReadAll(), std::vector<std::wstring>{L"done"});
    EXPECT_FALSE(impl.UserAborted());
}

// A caller that does not answer a password request must not make the reader spin: the request
// is announced once, then the reader waits with heartbeats until the host aborts.
TEST_F(EngineTest, AnUnansweredPasswordRequestIsAnnouncedOnceAndWaitedForIdle)
{
    host.nAbortAtHeartbeat = 4;
    ASSERT_TRUE(impl.RunCommand(Tool(L"password 1"), true));
    const ULONGLONG ullStart = GetTickCount64(), ullCpuStart = testutil::ProcessCpuMs();
    std::wstring s;
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

TEST_F(EngineTest, AbortEndsTheToolAndANewCommandWorks)
{
    ASSERT_TRUE(impl.RunCommand(Tool(L"hang"), true));
    HANDLE hWatch = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, impl.Handles().dwPID);
    ASSERT_NE(hWatch, nullptr);
    impl.Abort();
    EXPECT_EQ(WaitForSingleObject(hWatch, 5000), WAIT_OBJECT_0);
    DWORD dwExit = 0;
    GetExitCodeProcess(hWatch, &dwExit);
    CloseHandle(hWatch);
    EXPECT_EQ(dwExit, 12u);
    EXPECT_EQ(host.CountMessage(L"User has aborted the operation"), 1u);
    EXPECT_EQ(impl.Handles().hConIn, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"after\\n\""), true));
    std::vector<std::wstring> lines = ReadAll();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], L"after");
}

TEST_F(EngineTest, ASecondCommandWaitsForTheFirst)
{
    ASSERT_TRUE(impl.RunCommand(Tool(L"silent 2"), true));
    ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"second\\n\""), true));
    EXPECT_GE(GetTickCount64() - start, 1000u);
    std::vector<std::wstring> lines = ReadAll();
    ASSERT_EQ(lines.size(), 1u); // the first command's unread "done" is not the second's output
    EXPECT_EQ(lines[0], L"second");
}

TEST_F(EngineTest, APreviousToolThatNeverEndsIsEndedAfterTheGracePeriod)
{
    impl.Console().SetTiming({100, 0, 1000, 3000});
    ASSERT_TRUE(impl.RunCommand(Tool(L"hang"), true));
    HANDLE hWatch = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, impl.Handles().dwPID);
    ASSERT_NE(hWatch, nullptr);
    const ULONGLONG ullStart = GetTickCount64();
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"next\\n\""), true));
    EXPECT_GE(GetTickCount64() - ullStart, 3000u);
    EXPECT_EQ(WaitForSingleObject(hWatch, 0), WAIT_OBJECT_0) << "the hanging tool was ended";
    CloseHandle(hWatch);
    EXPECT_EQ(ReadAll(), std::vector<std::wstring>{L"next"});
}

TEST_F(EngineTest, AToolThatDiesMidLineEndsTheOutput)
{
    ASSERT_TRUE(impl.RunCommand(Tool(L"crash"), true));
    std::wstring s;
    EXPECT_FALSE(impl.GetLine(s, true));
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

TEST_F(EngineTest, WithoutAMonitoringThreadNoToolRunsUnwatched)
{
    ConsoleSession::Seams& seams = impl.Console().TestSeams();
    ConsoleSession::StartThreadFn pfnReal = seams.pfnStartThread;
    seams.pfnStartThread = [](LPTHREAD_START_ROUTINE, LPVOID, DWORD*) -> HANDLE {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    };
    bool bStarted = impl.RunCommand(Tool(L"hang"), true);
    seams.pfnStartThread = pfnReal;
    EXPECT_FALSE(bStarted);
    EXPECT_TRUE(testutil::ProcessesNamed(L"engine_fake_tool.exe").empty());
    const ConsoleHandles& h = impl.Handles();
    for (HANDLE x : {h.hConIn, h.hStdOutRd, h.hStdOutWr, h.hProcess, h.hThread})
        EXPECT_EQ(x, INVALID_HANDLE_VALUE);
    // The next command neither waits for ever nor reads anything of the failed one.
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"next\\n\""), true));
    std::vector<std::wstring> lines = ReadAll();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], L"next");
}

namespace
{

// Makes the console and the tool start fail a given number of times with a given error.
struct FlakyStart {
    static inline unsigned s_uiCalls = 0, s_uiFailures = 0;
    static inline DWORD s_dwError = 0;
    ConsoleSession::Seams& seams;
    ConsoleSession::AllocConsoleFn pfnAlloc = seams.pfnAllocConsole;
    velmora::create_process_fn pfnCreate = seams.pfnCreateProcess;
    explicit FlakyStart(ConsoleSession& session) : seams(session.TestSeams()) { seams.dwStartPauseMs = 10; }
    ~FlakyStart()
    {
        seams.pfnAllocConsole = pfnAlloc;
        seams.pfnCreateProcess = pfnCreate;
        seams.dwStartPauseMs = 200;
    }
    static bool Fail()
    {
        if (++s_uiCalls > s_uiFailures)
            return false;
        SetLastError(s_dwError);
        return true;
    }
    void Arm(unsigned uiFailures, DWORD dwError)
    {
        s_uiCalls = 0;
        s_uiFailures = uiFailures;
        s_dwError = dwError;
    }
    void Console(unsigned uiFailures, DWORD dwError)
    {
        Arm(uiFailures, dwError);
        seams.pfnCreateProcess = pfnCreate;
        seams.pfnAllocConsole = [] { return Fail() ? FALSE : AllocConsole(); };
    }
    void Process(unsigned uiFailures, DWORD dwError)
    {
        Arm(uiFailures, dwError);
        seams.pfnAllocConsole = pfnAlloc;
        seams.pfnCreateProcess = [](LPCSTR a, LPSTR b, LPSECURITY_ATTRIBUTES c, LPSECURITY_ATTRIBUTES d, BOOL e,
                                    DWORD f, LPVOID g, LPCSTR h, LPSTARTUPINFOA i, LPPROCESS_INFORMATION j) {
            return Fail() ? FALSE : CreateProcessA(a, b, c, d, e, f, g, h, i, j);
        };
    }
};

} // namespace

// A console or a tool start that fails now and then (seen under load) costs a pause, not the
// command; one that keeps failing, or a missing program, fails the command and starts nothing.
TEST_F(EngineTest, StartingFailuresAreTriedAgainThenReported)
{
    FlakyStart flaky(impl.Console());
    const unsigned uiAttempts = impl.Console().TestSeams().uiStartAttempts;
    struct Case {
        bool bConsole;
        unsigned uiFailures;
        DWORD dwError;
        bool bRuns;
        unsigned uiCalls;
    };
    const Case kCases[] = {
        {true, 2, ERROR_INVALID_FUNCTION, true, 3},    {true, 1000, ERROR_INVALID_FUNCTION, false, uiAttempts},
        {false, 2, ERROR_INTERNAL_ERROR, true, 3},     {false, 1000, ERROR_INTERNAL_ERROR, false, uiAttempts},
        {false, 1000, ERROR_FILE_NOT_FOUND, false, 1},
    };
    for (const Case& c : kCases) {
        c.bConsole ? flaky.Console(c.uiFailures, c.dwError) : flaky.Process(c.uiFailures, c.dwError);
        bool bRan = impl.RunCommand(Tool(L"lines \"after\\n\""), true);
        std::vector<std::wstring> lines = bRan ? ReadAll() : std::vector<std::wstring>{};
        unsigned uiCalls = FlakyStart::s_uiCalls;
        SCOPED_TRACE(testing::Message() << "console " << c.bConsole << ", error " << c.dwError);
        EXPECT_EQ(bRan, c.bRuns);
        EXPECT_EQ(uiCalls, c.uiCalls);
        EXPECT_EQ(lines, c.bRuns ? std::vector<std::wstring>{L"after"} : std::vector<std::wstring>{});
        const ConsoleHandles& h = impl.Handles();
        for (HANDLE x : {h.hConIn, h.hStdOutRd, h.hStdOutWr, h.hProcess})
            EXPECT_TRUE(c.bRuns || x == INVALID_HANDLE_VALUE); // a failed start leaves nothing open
    }
    EXPECT_EQ(host.CountMessage(L"AllocConsole() failed with error 1"), 1u);
    EXPECT_TRUE(testutil::ProcessesNamed(L"engine_fake_tool.exe").empty());
    flaky.Arm(0, 0);
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"next\\n\""), true));
    EXPECT_EQ(ReadAll(), std::vector<std::wstring>{L"next"});
}

TEST_F(EngineTest, NoProgressCallbackMeansNoPasswordAndAnAbort)
{
    impl.SetProgMsgCallbackFn(nullptr, nullptr);
    ASSERT_TRUE(impl.RunCommand(Tool(L"password 1"), true));
    std::wstring s;
    bool bAnswered = true;
    while (bAnswered && impl.GetLine(s, true))
        if (s.empty())
            bAnswered = impl.ProvidePassword();
    EXPECT_FALSE(bAnswered);
    EXPECT_TRUE(impl.UserAborted());
    EXPECT_EQ(host.CountMessage(L"User has aborted the operation"), 1u);
    impl.Abort();
}

TEST_F(EngineTest, AbortWithoutACommandEndsNothingButTheSession)
{
    impl.Abort(); // nothing ever ran: the test program itself must survive
    ASSERT_TRUE(impl.RunCommand(Tool(L"hang"), true));
    impl.Abort();
    impl.Abort(); // the command is gone and its handles are closed
    // The host hears of an abort once per command: the second Abort of the same one adds nothing.
    EXPECT_EQ(host.CountMessage(L"User has aborted the operation"), 2u);
    ASSERT_TRUE(impl.RunCommand(Tool(L"lines \"alive\\n\""), true));
    std::vector<std::wstring> lines = ReadAll();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], L"alive");
}
