// The monitoring thread of a running tool, and the ways a session ends: the engine's parts of
// Abort and Fini.
#include "console/console_session.h"
#include "console/monitor_job.h"
#include "console/password_rearm.h"
#include "hostapi/message_ids.h"
#include "trace/trace_scope.h"

#include <memory>

namespace
{

const DWORD kStillActive = 259;
const DWORD kAbortExitCode = 12;

bool JobHandlesAreOpen(const MonitorJob& job)
{
    for (HANDLE h : {job.hProcess, job.hConIn, job.hStdOutWr.get(), job.hCommandMutex})
        if (h == INVALID_HANDLE_VALUE || h == nullptr)
            return false;
    return true;
}

// A record that readers skip, written once the typed password has been read (password_rearm.h).
bool WriteInputMarker(HANDLE hConIn, const wchar_t* pFn)
{
    INPUT_RECORD record{};
    record.EventType = FOCUS_EVENT;
    record.Event.FocusEvent.bSetFocus = TRUE;
    DWORD dwWritten = 0;
    if (!WriteConsoleInputW(hConIn, &record, 1, &dwWritten)) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(pFn, L"WriteConsoleInput(marker)", dwError);
        return false;
    }
    return dwWritten == 1;
}

RearmPoll PollAfterPrompt(const MonitorJob& job, unsigned uiTypedBefore, ULONGLONG& ullAnsweredAt)
{
    RearmPoll poll;
    // The count of typed passwords grows before the request is cleared.
    poll.bAnswered = !job.shared.bPasswordRequired;
    poll.bTyped = job.shared.uiPasswordsTyped != uiTypedBefore;
    if (poll.bAnswered && ullAnsweredAt == 0)
        ullAnsweredAt = GetTickCount64();
    poll.ullSinceAnswerMs = poll.bAnswered ? GetTickCount64() - ullAnsweredAt : 0;
    poll.bPendingRead = GetNumberOfConsoleInputEvents(job.hConIn, &poll.dwPendingRecords) != FALSE;
    poll.bModeRead = GetConsoleMode(job.hConIn, &poll.dwMode) != FALSE;
    return poll;
}

// After a password prompt: waits until the tool is done with it. True when the tool asks for a
// password again; false when the regular poll takes over or the tool has ended.
bool WaitForPromptToEnd(const MonitorJob& job, unsigned uiTypedBefore, const wchar_t* pFn)
{
    const DWORD kStepMs = 10;
    PasswordRearm rearm(job.shared.dwPasswordPauseMs);
    ULONGLONG ullAnsweredAt = 0;
    for (;;) {
        // The wait ends early when the tool ends (an operation that gave up on it).
        if (WaitForSingleObject(job.hProcess, kStepMs) != WAIT_TIMEOUT)
            return false;
        switch (rearm.Next(PollAfterPrompt(job, uiTypedBefore, ullAnsweredAt))) {
        case RearmAction::Wait: break;
        case RearmAction::WriteMarker:
            if (!WriteInputMarker(job.hConIn, pFn))
                rearm.MarkerFailed();
            break;
        case RearmAction::NewPrompt: return true;
        case RearmAction::Resume: return false;
        }
    }
}

// A tool that reads a password unseen switches every console input mode off.
void WatchForPasswordPrompt(const MonitorJob& job, const wchar_t* pFn)
{
    DWORD dwWait = WaitForSingleObject(job.hProcess, 0);
    if (dwWait == WAIT_FAILED) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(pFn, L"WaitForSingleObject failed", dwError);
        return;
    }
    DWORD dwMode = 1;
    if (dwWait != WAIT_TIMEOUT || !GetConsoleMode(job.hConIn, &dwMode) || dwMode != 0)
        return;
    unsigned uiTypedBefore = 0;
    do {
        CvexTrace().Line(TL_INFO, pFn, L"Password required");
        uiTypedBefore = job.shared.uiPasswordsTyped;
        job.shared.bPasswordRequired = true;
    } while (WaitForPromptToEnd(job, uiTypedBefore, pFn));
}

// Polls the tool until it has ended; answers its exit status.
DWORD WaitForTool(const MonitorJob& job, const wchar_t* pFn)
{
    DWORD dwExitStatus = kStillActive;
    unsigned uiPasses = 0;
    for (;;) {
        if (!GetExitCodeProcess(job.hProcess, &dwExitStatus)) {
            DWORD dwError = GetLastError();
            CvexTrace().ApiFailure(pFn, L"GetExitCodeProcess", dwError);
            return dwExitStatus;
        }
        // A tool may exit with code 259 itself: the process handle tells for sure.
        if (dwExitStatus != kStillActive || WaitForSingleObject(job.hProcess, 0) == WAIT_OBJECT_0)
            return dwExitStatus;
        if (++uiPasses == 300) {
            CvexTrace().Line(TL_INFO, pFn, L"Waiting for command to complete");
            uiPasses = 0;
        }
        // Poll quickly at first (a password prompt is seen soon), then once a second; the
        // wait ends as soon as the tool does.
        WaitForSingleObject(job.hProcess, uiPasses < 20 ? 50 : 1000);
        if (!job.shared.bPasswordRequired)
            WatchForPasswordPrompt(job, pFn);
    }
}

} // namespace

DWORD WINAPI ConsoleSession::ThreadWaitForProcessTermination(LPVOID pArg)
{
    TraceScope scope(L"CVEXImpl::ThreadWaitForProcessTermination");
    std::unique_ptr<MonitorJob> job(static_cast<MonitorJob*>(pArg));
    if (!job) {
        scope.Fail(L"NULL argument");
        return 1;
    }
    if (!JobHandlesAreOpen(*job)) {
        scope.Fail(L"Invalid argument");
        job->shared.bCommandIdle = true; // nothing is watched: the next command must not wait
        if (job->hReady)
            SetEvent(job->hReady);
        return 1;
    }
    WaitForSingleObject(job->hCommandMutex, INFINITE);
    SetEvent(job->hReady);
    DWORD dwThreadId = GetCurrentThreadId();
    if (dwThreadId == 0)
        CvexTrace().Line(TL_WARNING, scope.fn(), L"GetCurrentThreadId failed");
    else
        CvexTrace().Hex(TL_VERBOSE, scope.fn(), L"dwThreadId", dwThreadId);
    CvexTrace().Int(TL_VERBOSE, scope.fn(), L"dwPID", GetProcessId(job->hProcess));

    DWORD dwExitStatus = WaitForTool(*job, scope.fn());
    CvexTrace().Int(TL_INFO, scope.fn(), L"dwExitStatus", dwExitStatus);
    // With our write end closed the reader sees the end once the pipe is empty.
    if (!job->hStdOutWr.close()) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(scope.fn(), L"CloseHandle(STDOUT-WR)", dwError);
    }
    FreeConsole();
    job->shared.bCommandIdle = true;
    ReleaseMutex(job->hCommandMutex);
    return 0;
}

bool ConsoleSession::EndTool(TraceScope& scope)
{
    // Said once: when the reader or the password request met the abort, the host knows already.
    TellUserAbort();
    // With no command the closed handle's value is that of the current process, and a break
    // for process group 0 reaches every process of the console: neither may hit the host.
    if (!m_process) {
        CvexTrace().Line(TL_INFO, scope.fn(), L"No command to end");
    } else if (!TerminateProcess(m_process.get(), kAbortExitCode)) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(scope.fn(), L"TerminateProcess failed", dwError);
        CvexTrace().Int(TL_ERROR, scope.fn(), L"m_Handles.dwPID", m_dwPID);
        if (m_dwPID == 0 || !GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, m_dwPID))
            return scope.Fail(L"GenerateConsoleCtrlEvent failed");
        CvexTrace().Line(TL_INFO, scope.fn(), L"Sent CTRL-BREAK to process");
    }
    std::wstring sLine;
    while (GetLine(sLine, false)) {
    }
    return true;
}

void ConsoleSession::StopTool(const wchar_t* pFn)
{
    if (m_process && !TerminateProcess(m_process.get(), kAbortExitCode)) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(pFn, L"TerminateProcess failed", dwError);
    }
    // What the tool printed is of no use any more; Close waits (bounded) for the monitoring thread.
    Close(pFn);
}

void ConsoleSession::AbortPause() const
{
    Sleep(m_timing.dwAbortPauseMs);
}

// Waits for the monitoring thread to finish with the command. A command still running after
// a grace period is ended, so that closing the session never hangs on a stuck tool.
void ConsoleSession::WaitForCommandMutex(const wchar_t* pFn)
{
    if (!m_hCommandMutex)
        return;
    DWORD dwWait = WaitForSingleObject(m_hCommandMutex.get(), m_timing.dwFiniGraceMs);
    if (dwWait == WAIT_TIMEOUT) {
        CvexTrace().Line(TL_WARNING, pFn, L"Command still running - terminating it");
        TerminateProcess(m_process.get(), kAbortExitCode);
        dwWait = WaitForSingleObject(m_hCommandMutex.get(), INFINITE);
    }
    if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED)
        ReleaseMutex(m_hCommandMutex.get());
    ReleaseEndedCommand(pFn);
}

void ConsoleSession::Close(const wchar_t* pFn)
{
    WaitForCommandMutex(pFn);
    if (m_hConIn) {
        DWORD dwMode = 0;
        if (GetConsoleMode(m_hConIn.get(), &dwMode))
            SetConsoleMode(m_hConIn.get(), dwMode | ENABLE_ECHO_INPUT);
    }
    CloseConsoleHandles(pFn);
}
