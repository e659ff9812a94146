// Running one NetWorker tool in the module's private, hidden console; watching it; ending it.
#include "console/engine_state.h"
#include "plugin/cvex_impl.h"
#include "plugin/message_ids.h"
#include "support/update_reg.h"
#include "trace/trace.h"

namespace
{

// Errors of CreateProcess that another attempt cannot mend: the program is missing or unusable.
bool IsLastingStartError(DWORD dwError)
{
    switch (dwError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH: return true;
    default: return false;
    }
}

// Runs one step of starting a tool until it succeeds, fails for good, or has used its attempts;
// answers ERROR_SUCCESS or the last error. Failures on the way are traced as warnings.
template <typename Step> DWORD TryStartStep(const wchar_t* pFn, const wchar_t* pWarning, Step step, bool bLastingOnly)
{
    const ConsoleEngineState& engine = Engine();
    for (unsigned uiAttempt = 1;; ++uiAttempt) {
        if (step())
            return ERROR_SUCCESS;
        DWORD dwError = GetLastError();
        if (uiAttempt >= engine.uiStartAttempts || (bLastingOnly && IsLastingStartError(dwError)))
            return dwError;
        CvexTrace().Int(TL_WARNING, pFn, pWarning, dwError);
        Sleep(engine.dwStartPauseMs);
    }
}

const DWORD kAbortExitCode = 12;

// Inheritable security attributes with a null DACL, as the tool's handles need.
struct OpenSecurity {
    SECURITY_DESCRIPTOR sd;
    SECURITY_ATTRIBUTES sa;
    bool Build(const wchar_t* pFn)
    {
        if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION)) {
            CvexTrace().EndFail(pFn, L"InitializeSecurityDescriptor failed");
            return false;
        }
        if (!SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE)) {
            CvexTrace().EndFail(pFn, L"SetSecurityDescriptorDacl failed");
            return false;
        }
        sa.nLength = sizeof(sa);
        sa.lpSecurityDescriptor = &sd;
        sa.bInheritHandle = TRUE;
        return true;
    }
};

} // namespace

void CVEXImpl::SetEngineTimingForTesting(unsigned uiPollsPerHeartbeat, DWORD dwAbortPauseMs, DWORD dwPasswordPauseMs)
{
    m_uiPollsPerHeartbeat = uiPollsPerHeartbeat;
    m_dwAbortPauseMs = dwAbortPauseMs;
    Engine().dwPasswordPauseMs = dwPasswordPauseMs;
}

ConsoleEngineState& Engine()
{
    static ConsoleEngineState state;
    return state;
}

bool CloseSessionHandle(HANDLE& h, const wchar_t* pFn, const wchar_t* pWhat)
{
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
        h = INVALID_HANDLE_VALUE;
        return true;
    }
    BOOL bClosed = CloseHandle(h);
    DWORD dwError = GetLastError();
    h = INVALID_HANDLE_VALUE;
    if (!bClosed)
        CvexTrace().ApiFailure(pFn, pWhat, dwError);
    return bClosed != FALSE;
}

void CVEXImpl::CloseConsoleHandles(const wchar_t* pFn)
{
    CloseSessionHandle(m_Handles.hConIn, pFn, L"CloseHandle(STDIN)");
    CloseSessionHandle(m_Handles.hStdOutRd, pFn, L"CloseHandle(STDOUT-RD)");
    CloseSessionHandle(m_Handles.hStdOutWr, pFn, L"CloseHandle(STDOUT-WR)");
}

void CVEXImpl::WaitForPreviousCommand()
{
    int nSleeps = 0;
    while (!Engine().bCommandIdle) {
        Sleep(1000);
        if (++nSleeps == 60) {
            CvexTrace().Line(TL_INFO, L"CVEXImpl::RunCommand", L"Waiting for previous command to finish ...");
            nSleeps = 0;
        }
    }
}

// Closes what an ended command leaves behind: its process and thread handles, the
// monitoring thread and its mutex. Only called once the monitoring thread has finished.
void CVEXImpl::ReleaseEndedCommand(const wchar_t* pFn)
{
    ConsoleEngineState& engine = Engine();
    if (engine.hMonitorThread) {
        WaitForSingleObject(engine.hMonitorThread.get(), INFINITE);
        engine.hMonitorThread.reset();
    }
    if (m_hCommandMutex) {
        CloseHandle(m_hCommandMutex);
        m_hCommandMutex = nullptr;
    }
    CloseSessionHandle(m_Handles.hProcess, pFn, L"CloseHandle(PROCESS)");
    CloseSessionHandle(m_Handles.hThread, pFn, L"CloseHandle(THREAD)");
}

bool CVEXImpl::OpenConsoleInput(const wchar_t* pFn, SECURITY_ATTRIBUTES& sa)
{
    // A console that exists already (error 5) is used.
    auto allocConsole = [] { return Engine().pfnAllocConsole() || GetLastError() == ERROR_ACCESS_DENIED; };
    DWORD dwError = TryStartStep(pFn, L"AllocConsole failed, trying again; dwLastError", allocConsole, false);
    if (dwError != ERROR_SUCCESS) {
        LogVarMsg(ML_ERROR, MSG_ALLOC_CONSOLE_FAILED, dwError);
        CvexTrace().ApiFailure(pFn, L"AllocConsole", dwError);
        CvexTrace().EndFail(pFn, L"AllocConsole failed");
        return false;
    }
    HWND hWnd = GetConsoleWindow();
    if (!hWnd) {
        LogVarMsg(ML_WARNING, MSG_GET_CONSOLE_WINDOW_FAILED, GetLastError());
    } else if (!ShowWindow(hWnd, SW_HIDE)) {
        // ShowWindow answers the previous visibility, not success; only a real error counts.
        DWORD dwError = GetLastError();
        if (dwError != ERROR_SUCCESS && dwError != ERROR_ACCESS_DENIED)
            LogVarMsg(ML_WARNING, MSG_SHOW_WINDOW_FAILED, dwError);
    }
    m_Handles.hConIn = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_Handles.hConIn == INVALID_HANDLE_VALUE) {
        DWORD dwError = GetLastError();
        LogVarMsg(ML_ERROR, MSG_CREATE_FILE_FAILED, dwError);
        CvexTrace().EndFail(pFn, L"CreateFile(CONIN) failed");
        return false;
    }
    DWORD dwMode = 0;
    if (!GetConsoleMode(m_Handles.hConIn, &dwMode)) {
        CvexTrace().Line(TL_VERBOSE, pFn, L"GetConsoleMode failed");
        return true;
    }
    CvexTrace().Hex(TL_VERBOSE, pFn, L"dwMode", dwMode);
    if (!SetConsoleMode(m_Handles.hConIn, dwMode ^ ENABLE_ECHO_INPUT))
        LogVarMsg(ML_WARNING, MSG_SET_CONSOLE_MODE_FAILED, GetLastError());
    return true;
}

bool CVEXImpl::StartChild(const wchar_t* pFn, const std::wstring& sCmd, SECURITY_ATTRIBUTES& sa)
{
    std::string sNarrow = velmora::narrow(sCmd);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = m_Handles.hConIn;
    si.hStdOutput = m_Handles.hStdOutWr;
    si.hStdError = m_Handles.hStdOutWr;
    PROCESS_INFORMATION pi = {};
    auto createProcess = [&] {
        return Engine().pfnCreateProcess(nullptr, sNarrow.data(), &sa, &sa, TRUE, CREATE_NEW_PROCESS_GROUP, nullptr,
                                         nullptr, &si, &pi) != FALSE;
    };
    DWORD dwError = TryStartStep(pFn, L"CreateProcess failed, trying again; dwLastError", createProcess, true);
    if (dwError != ERROR_SUCCESS) {
        CloseConsoleHandles(pFn);
        CvexTrace().ApiFailure(pFn, L"CreateProcess", dwError);
        CvexTrace().EndFail(pFn, L"CreateProcess failed");
        return false;
    }
    m_Handles.hProcess = pi.hProcess;
    m_Handles.hThread = pi.hThread;
    m_Handles.dwPID = pi.dwProcessId;
    CvexTrace().Int(TL_VERBOSE, pFn, L"m_Handles.dwPID", m_Handles.dwPID);
    return true;
}

bool CVEXImpl::StartMonitor(const wchar_t* pFn)
{
    ConsoleEngineState& engine = Engine();
    engine.hMutexReady.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    engine.monitor =
        MonitorBlock{&m_hCommandMutex,     m_Handles.hProcess,   m_Handles.hThread,       &m_Handles.hConIn,
                     &m_Handles.hStdOutRd, &m_Handles.hStdOutWr, engine.hMutexReady.get()};
    engine.bCommandIdle = false;
    DWORD dwThreadId = 0;
    if (engine.hMutexReady)
        engine.hMonitorThread.reset(
            engine.pfnStartThread(&CVEXImpl::ThreadWaitForProcessTermination, &engine.monitor, &dwThreadId));
    if (!engine.hMonitorThread) {
        // No child may run unwatched: end it and close the session so the next command can start.
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(pFn, L"CreateThread", dwError);
        TerminateProcess(m_Handles.hProcess, kAbortExitCode);
        WaitForSingleObject(m_Handles.hProcess, 5000);
        CloseConsoleHandles(pFn);
        CloseSessionHandle(m_Handles.hProcess, pFn, L"CloseHandle(PROCESS)");
        CloseSessionHandle(m_Handles.hThread, pFn, L"CloseHandle(THREAD)");
        m_Handles.dwPID = 0;
        engine.bCommandIdle = true;
        CvexTrace().EndFail(pFn, L"Failed to create monitoring thread");
        return false;
    }
    // Fini waits on the command mutex: do not return before the thread owns it.
    HANDLE waits[2] = {engine.hMutexReady.get(), engine.hMonitorThread.get()};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    CvexTrace().Hex(TL_VERBOSE, pFn, L"dwThreadId", dwThreadId);
    return true;
}

bool CVEXImpl::RunCommand(const std::wstring& sCmd, bool bTrace)
{
    const wchar_t* fn = L"CVEXImpl::RunCommand";
    CvexTrace().Start(fn);
    if (sCmd.empty()) {
        CvexTrace().EndFail(fn, L"Invalid command");
        return false;
    }
    WaitForPreviousCommand();
    ReleaseEndedCommand(fn);
    // What an earlier command left behind belongs to it, not to this one.
    CloseConsoleHandles(fn);
    Engine().ResetReader();
    Engine().bPasswordRequired = false;

    OpenSecurity consoleSecurity;
    if (!consoleSecurity.Build(fn) || !OpenConsoleInput(fn, consoleSecurity.sa))
        return false;
    OpenSecurity pipeSecurity;
    if (!pipeSecurity.Build(fn)) {
        CloseSessionHandle(m_Handles.hConIn, fn, L"CloseHandle(STDIN)");
        return false;
    }
    if (!CreatePipe(&m_Handles.hStdOutRd, &m_Handles.hStdOutWr, &pipeSecurity.sa, 0x10000)) {
        CvexTrace().ApiFailure(fn, L"CreatePipe", GetLastError());
        m_Handles.hStdOutRd = m_Handles.hStdOutWr = INVALID_HANDLE_VALUE;
        CloseSessionHandle(m_Handles.hConIn, fn, L"CloseHandle(STDIN)");
        CvexTrace().EndFail(fn, L"Create STDOUT pipe failed");
        return false;
    }
    // Only the child writes into the pipe; the read end stays with the module.
    SetHandleInformation(m_Handles.hStdOutRd, HANDLE_FLAG_INHERIT, 0);
    if (bTrace)
        CvexTrace().Str(TL_INFO, fn, L"sCmd", sCmd);
    if (!StartChild(fn, sCmd, pipeSecurity.sa) || !StartMonitor(fn))
        return false;
    CvexTrace().End(fn);
    return true;
}
