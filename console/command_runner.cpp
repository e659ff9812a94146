// Running one NetWorker tool in the module's private, hidden console.
#include "console/console_session.h"
#include "console/monitor_job.h"
#include "hostapi/message_ids.h"
#include "support/process_start.h"
#include "support/vstring.h"
#include "trace/trace_scope.h"

namespace
{

const DWORD kAbortExitCode = 12;

} // namespace

std::wstring ToolNameOfCommand(const std::wstring& sCmd)
{
    size_t iStart = sCmd.find_first_not_of(L' ');
    if (iStart == std::wstring::npos)
        return {};
    size_t iEnd;
    if (sCmd[iStart] == L'"') {
        ++iStart;
        iEnd = sCmd.find(L'"', iStart);
    } else {
        iEnd = sCmd.find(L' ', iStart);
    }
    std::wstring sProgram = sCmd.substr(iStart, iEnd == std::wstring::npos ? std::wstring::npos : iEnd - iStart);
    size_t iSlash = sProgram.find_last_of(L"\\/");
    return iSlash == std::wstring::npos ? sProgram : sProgram.substr(iSlash + 1);
}

ConsoleSession::ConsoleSession(EngineHost& host) : m_host(host) {}

ConsoleSession::~ConsoleSession()
{
    Close(L"ConsoleSession::~ConsoleSession");
}

void ConsoleSession::SetTiming(const Timing& timing)
{
    m_timing = timing;
    m_shared.dwPasswordPauseMs = timing.dwPasswordPauseMs;
}

void ConsoleSession::ClearOperationFlags()
{
    m_bUserAborted = false;
    m_bConnectionLost = false;
    m_bAbortTold = false;
}

void ConsoleSession::TellUserAbort()
{
    if (m_bAbortTold)
        return;
    m_bAbortTold = true;
    m_host.LogMessage(ML_ERROR, MSG_USER_ABORTED);
}

ConsoleHandles ConsoleSession::Handles() const
{
    ConsoleHandles h;
    h.hConIn = m_hConIn.get();
    h.hStdOutRd = m_hStdOutRd.get();
    h.hStdOutWr = m_hStdOutWrMirror;
    h.hProcess = m_process ? m_process.get() : INVALID_HANDLE_VALUE;
    h.hThread = m_thread ? m_thread.get() : INVALID_HANDLE_VALUE;
    h.dwPID = m_dwPID;
    return h;
}

// Runs one step of starting a tool until it succeeds, fails for good, or has used its attempts;
// answers ERROR_SUCCESS or the last error. Failures on the way are traced as warnings.
template <typename Step>
DWORD ConsoleSession::TryStartStep(const wchar_t* pFn, const wchar_t* pWarning, Step step, bool bLastingOnly)
{
    for (unsigned uiAttempt = 1;; ++uiAttempt) {
        DWORD dwError = step();
        if (dwError == ERROR_SUCCESS)
            return ERROR_SUCCESS;
        if (uiAttempt >= m_seams.uiStartAttempts || (bLastingOnly && velmora::is_lasting_start_error(dwError)))
            return dwError;
        CvexTrace().Int(TL_WARNING, pFn, pWarning, dwError);
        Sleep(m_seams.dwStartPauseMs);
    }
}

namespace
{

// Closes one handle of the session, tracing a failed close under the call's text.
void CloseTraced(velmora::unique_file& h, const wchar_t* pFn, const wchar_t* pWhat)
{
    if (!h.close()) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(pFn, pWhat, dwError);
    }
}

} // namespace

void ConsoleSession::CloseConsoleHandles(const wchar_t* pFn)
{
    CloseTraced(m_hConIn, pFn, L"CloseHandle(STDIN)");
    CloseTraced(m_hStdOutRd, pFn, L"CloseHandle(STDOUT-RD)");
    CloseTraced(m_hStdOutWr, pFn, L"CloseHandle(STDOUT-WR)");
    m_hStdOutWrMirror = INVALID_HANDLE_VALUE;
}

// Waits for the previous tool to end. One still running after the grace period is ended; false
// when even that does not end it within another grace period.
bool ConsoleSession::WaitForPreviousCommand()
{
    const ULONGLONG ullStart = GetTickCount64();
    bool bTerminated = false;
    int nSleeps = 0;
    while (!m_shared.bCommandIdle) {
        const ULONGLONG ullWaited = GetTickCount64() - ullStart;
        if (!bTerminated && ullWaited >= m_timing.dwPreviousCommandGraceMs) {
            CvexTrace().Line(TL_WARNING, L"CVEXImpl::RunCommand", L"Previous command still running - terminating it");
            TerminateProcess(m_process.get(), kAbortExitCode);
            bTerminated = true;
        } else if (bTerminated && ullWaited >= 2ull * m_timing.dwPreviousCommandGraceMs) {
            return false;
        }
        // The monitoring thread marks the command idle just before it ends: wake up with it.
        if (m_hMonitorThread)
            WaitForSingleObject(m_hMonitorThread.get(), 1000);
        else
            Sleep(1000);
        if (++nSleeps == 60) {
            CvexTrace().Line(TL_INFO, L"CVEXImpl::RunCommand", L"Waiting for previous command to finish ...");
            nSleeps = 0;
        }
    }
    return true;
}

// Closes what an ended command leaves behind: its process and thread handles, the monitoring
// thread and the command mutex. Only called once the monitoring thread has finished or never ran.
void ConsoleSession::ReleaseEndedCommand(const wchar_t*)
{
    if (m_hMonitorThread) {
        WaitForSingleObject(m_hMonitorThread.get(), INFINITE);
        m_hMonitorThread.reset();
        m_hStdOutWrMirror = INVALID_HANDLE_VALUE; // the thread closed it
    }
    m_hMonitorReady.reset();
    m_hCommandMutex.reset();
    m_process.reset();
    m_thread.reset();
    m_dwPID = 0;
}

bool ConsoleSession::OpenConsoleInput(TraceScope& scope, SECURITY_ATTRIBUTES& sa)
{
    const wchar_t* fn = scope.fn();
    // A console that exists already (error 5) is used.
    auto allocConsole = [this] {
        if (m_seams.pfnAllocConsole())
            return DWORD{ERROR_SUCCESS};
        DWORD dwError = GetLastError();
        return dwError == ERROR_ACCESS_DENIED ? DWORD{ERROR_SUCCESS} : dwError;
    };
    DWORD dwError = TryStartStep(fn, L"AllocConsole failed, trying again; dwLastError", allocConsole, false);
    if (dwError != ERROR_SUCCESS) {
        m_host.LogMessageCode(ML_ERROR, MSG_ALLOC_CONSOLE_FAILED, dwError);
        CvexTrace().ApiFailure(fn, L"AllocConsole", dwError);
        return scope.Fail(L"AllocConsole failed");
    }
    HWND hWnd = GetConsoleWindow();
    if (!hWnd) {
        DWORD dwWindowError = GetLastError();
        m_host.LogMessageCode(ML_WARNING, MSG_GET_CONSOLE_WINDOW_FAILED, dwWindowError);
    } else if (!ShowWindow(hWnd, SW_HIDE)) {
        // ShowWindow answers the previous visibility, not success; only a real error counts.
        DWORD dwShowError = GetLastError();
        if (dwShowError != ERROR_SUCCESS && dwShowError != ERROR_ACCESS_DENIED)
            m_host.LogMessageCode(ML_WARNING, MSG_SHOW_WINDOW_FAILED, dwShowError);
    }
    m_hConIn.reset(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_hConIn) {
        DWORD dwOpenError = GetLastError();
        m_host.LogMessageCode(ML_ERROR, MSG_CREATE_FILE_FAILED, dwOpenError);
        return scope.Fail(L"CreateFile(CONIN) failed");
    }
    DWORD dwMode = 0;
    if (!GetConsoleMode(m_hConIn.get(), &dwMode)) {
        CvexTrace().Line(TL_VERBOSE, fn, L"GetConsoleMode failed");
        return true;
    }
    CvexTrace().Hex(TL_VERBOSE, fn, L"dwMode", dwMode);
    if (!SetConsoleMode(m_hConIn.get(), dwMode ^ ENABLE_ECHO_INPUT)) {
        DWORD dwModeError = GetLastError();
        m_host.LogMessageCode(ML_WARNING, MSG_SET_CONSOLE_MODE_FAILED, dwModeError);
    }
    return true;
}

bool ConsoleSession::OpenOutputPipe(TraceScope& scope, SECURITY_ATTRIBUTES& sa)
{
    HANDLE hRead = INVALID_HANDLE_VALUE, hWrite = INVALID_HANDLE_VALUE;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0x10000)) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(scope.fn(), L"CreatePipe", dwError);
        CloseTraced(m_hConIn, scope.fn(), L"CloseHandle(STDIN)");
        return scope.Fail(L"Create STDOUT pipe failed");
    }
    m_hStdOutRd.reset(hRead);
    m_hStdOutWr.reset(hWrite);
    m_hStdOutWrMirror = hWrite;
    // Only the child writes into the pipe; the read end stays with the module.
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    return true;
}

bool ConsoleSession::StartChild(TraceScope& scope, const std::wstring& sCmd)
{
    velmora::process_start start;
    start.sCommandLine = sCmd;
    start.bInheritHandles = true;
    start.dwCreationFlags = CREATE_NEW_PROCESS_GROUP; // Abort can send CTRL-BREAK to it alone
    start.hStdInput = m_hConIn.get();
    start.hStdOutput = start.hStdError = m_hStdOutWr.get();
    start.pfnCreateProcess = m_seams.pfnCreateProcess;
    velmora::started_process started;
    auto createProcess = [&] { return velmora::start_process(start, started); };
    DWORD dwError = TryStartStep(scope.fn(), L"CreateProcess failed, trying again; dwLastError", createProcess, true);
    if (dwError != ERROR_SUCCESS) {
        CloseConsoleHandles(scope.fn());
        CvexTrace().ApiFailure(scope.fn(), L"CreateProcess", dwError);
        return scope.Fail(L"CreateProcess failed");
    }
    m_process = std::move(started.process);
    m_thread = std::move(started.thread);
    m_dwPID = started.dwProcessId;
    CvexTrace().Int(TL_VERBOSE, scope.fn(), L"m_Handles.dwPID", m_dwPID);
    return true;
}

bool ConsoleSession::RunCommand(const std::wstring& sCmd, bool bTrace)
{
    TraceScope scope(L"CVEXImpl::RunCommand");
    if (sCmd.empty())
        return scope.Fail(L"Invalid command");
    if (!WaitForPreviousCommand())
        return scope.Fail(L"Previous command does not end");
    ReleaseEndedCommand(scope.fn());
    // What an earlier command left behind belongs to it, not to this one.
    CloseConsoleHandles(scope.fn());
    ResetReader();
    m_shared.bPasswordRequired = false;
    m_bPasswordAnnounced = false;
    // An abort or a dropped connection belongs to the tool it happened with.
    ClearOperationFlags();
    m_sToolName = ToolNameOfCommand(sCmd);

    velmora::open_security security;
    if (!security.build()) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(scope.fn(), security.failed_call(), dwError);
        const std::wstring sReason = std::wstring(security.failed_call()) + L" failed";
        return scope.Fail(sReason.c_str());
    }
    if (!OpenConsoleInput(scope, *security.get()) || !OpenOutputPipe(scope, *security.get()))
        return false;
    if (bTrace)
        CvexTrace().Str(TL_INFO, scope.fn(), L"sCmd", sCmd);
    if (!StartChild(scope, sCmd) || !StartMonitor(scope))
        return false;
    return scope.End();
}

// Starts the monitoring thread with its job. No tool may run unwatched: when the thread cannot
// be made, the tool is ended and the session closed so that the next command can start.
bool ConsoleSession::StartMonitor(TraceScope& scope)
{
    m_hMonitorReady.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_hCommandMutex.reset(CreateMutexW(nullptr, FALSE, nullptr));
    m_shared.bCommandIdle = false;
    DWORD dwThreadId = 0;
    if (m_hMonitorReady && m_hCommandMutex) {
        auto* pJob = new MonitorJob{m_process.get(),       m_hConIn.get(),        std::move(m_hStdOutWr),
                                    m_hCommandMutex.get(), m_hMonitorReady.get(), m_shared};
        m_hMonitorThread.reset(
            m_seams.pfnStartThread(&ConsoleSession::ThreadWaitForProcessTermination, pJob, &dwThreadId));
        if (!m_hMonitorThread) {
            DWORD dwError = GetLastError();
            m_hStdOutWr = std::move(pJob->hStdOutWr);
            delete pJob;
            SetLastError(dwError);
        }
    }
    if (!m_hMonitorThread) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(scope.fn(), L"CreateThread", dwError);
        TerminateProcess(m_process.get(), kAbortExitCode);
        WaitForSingleObject(m_process.get(), 5000);
        CloseConsoleHandles(scope.fn());
        ReleaseEndedCommand(scope.fn());
        m_shared.bCommandIdle = true;
        return scope.Fail(L"Failed to create monitoring thread");
    }
    // Fini waits on the command mutex: do not return before the thread owns it.
    HANDLE waits[2] = {m_hMonitorReady.get(), m_hMonitorThread.get()};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    CvexTrace().Hex(TL_VERBOSE, scope.fn(), L"dwThreadId", dwThreadId);
    return true;
}
