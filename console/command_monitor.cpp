// The monitoring thread of a running tool, and the ways a session ends: Abort and Fini.
#include "console/engine_state.h"
#include "plugin/cvex_impl.h"
#include "plugin/message_ids.h"
#include "support/update_reg.h"
#include "trace/trace.h"

namespace
{

const DWORD kStillActive = 259;
const DWORD kAbortExitCode = 12;
const DWORD kFiniGraceMs = 60000;

bool BlockIsComplete(const MonitorBlock* p)
{
    return p && p->phCommandMutex && p->phConIn && p->phStdOutRd && p->phStdOutWr;
}

bool BlockHandlesAreOpen(const MonitorBlock* p)
{
    for (HANDLE h : {p->hProcess, p->hThread, *p->phConIn, *p->phStdOutRd, *p->phStdOutWr})
        if (h == INVALID_HANDLE_VALUE || h == nullptr)
            return false;
    return true;
}

// A tool that reads a password unseen switches every console input mode off.
void WatchForPasswordPrompt(const MonitorBlock& block, const wchar_t* pFn)
{
    DWORD dwWait = WaitForSingleObject(block.hProcess, 0);
    if (dwWait == WAIT_FAILED) {
        CvexTrace().ApiFailure(pFn, L"WaitForSingleObject failed", GetLastError());
        return;
    }
    DWORD dwMode = 1;
    if (dwWait == WAIT_TIMEOUT && GetConsoleMode(*block.phConIn, &dwMode) && dwMode == 0) {
        CvexTrace().Line(TL_INFO, pFn, L"Password required");
        Engine().bPasswordRequired = true;
        Sleep(Engine().dwPasswordPauseMs);
    }
}

} // namespace

DWORD WINAPI CVEXImpl::ThreadWaitForProcessTermination(LPVOID pArg)
{
    const wchar_t* fn = L"CVEXImpl::ThreadWaitForProcessTermination";
    CvexTrace().Start(fn);
    MonitorBlock* pBlock = static_cast<MonitorBlock*>(pArg);
    if (!BlockIsComplete(pBlock)) {
        CvexTrace().EndFail(fn, L"NULL argument");
        return 1;
    }
    if (!BlockHandlesAreOpen(pBlock)) {
        CvexTrace().EndFail(fn, L"Invalid argument");
        if (pBlock->hMutexReady)
            SetEvent(pBlock->hMutexReady);
        return 1;
    }
    MonitorBlock& block = *pBlock;
    *block.phCommandMutex = CreateMutexW(nullptr, TRUE, nullptr);
    if (block.hMutexReady)
        SetEvent(block.hMutexReady);
    DWORD dwThreadId = GetCurrentThreadId();
    if (dwThreadId == 0)
        CvexTrace().Line(TL_WARNING, fn, L"GetCurrentThreadId failed");
    else
        CvexTrace().Hex(TL_VERBOSE, fn, L"dwThreadId", dwThreadId);
    CvexTrace().Int(TL_VERBOSE, fn, L"dwPID", GetProcessId(block.hProcess));

    DWORD dwExitStatus = kStillActive;
    unsigned uiPasses = 0;
    for (;;) {
        if (!GetExitCodeProcess(block.hProcess, &dwExitStatus)) {
            CvexTrace().ApiFailure(fn, L"GetExitCodeProcess", GetLastError());
            break;
        }
        // A tool may exit with code 259 itself: the process handle tells for sure.
        if (dwExitStatus != kStillActive || WaitForSingleObject(block.hProcess, 0) == WAIT_OBJECT_0)
            break;
        if (++uiPasses == 300) {
            CvexTrace().Line(TL_INFO, fn, L"Waiting for command to complete");
            uiPasses = 0;
        }
        // Poll quickly at first so short commands end promptly, then once a second.
        Sleep(uiPasses < 20 ? 50 : 1000);
        if (!Engine().bPasswordRequired)
            WatchForPasswordPrompt(block, fn);
    }
    CvexTrace().Int(TL_INFO, fn, L"dwExitStatus", dwExitStatus);
    // With our write end closed the reader sees the end once the pipe is empty.
    CloseSessionHandle(*block.phStdOutWr, fn, L"CloseHandle(STDOUT-WR)");
    FreeConsole();
    Engine().bCommandIdle = true;
    if (*block.phCommandMutex)
        ReleaseMutex(*block.phCommandMutex);
    CvexTrace().End(fn);
    return 0;
}

void CVEXImpl::Abort()
{
    const wchar_t* fn = L"CVEXImpl::Abort";
    CvexTrace().Start(fn);
    LogStdMsg(ML_ERROR, MSG_USER_ABORTED);
    // With no command the closed handle's value is that of the current process, and a break
    // for process group 0 reaches every process of the console: neither may hit the host.
    bool bCommand = m_Handles.hProcess != INVALID_HANDLE_VALUE && m_Handles.hProcess != nullptr;
    if (!bCommand) {
        CvexTrace().Line(TL_INFO, fn, L"No command to end");
    } else if (!TerminateProcess(m_Handles.hProcess, kAbortExitCode)) {
        CvexTrace().ApiFailure(fn, L"TerminateProcess failed", GetLastError());
        CvexTrace().Int(TL_ERROR, fn, L"m_Handles.dwPID", m_Handles.dwPID);
        if (m_Handles.dwPID == 0 || !GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, m_Handles.dwPID)) {
            CvexTrace().EndFail(fn, L"GenerateConsoleCtrlEvent failed");
            return;
        }
        CvexTrace().Line(TL_INFO, fn, L"Sent CTRL-BREAK to process");
    }
    std::wstring sLine;
    while (GetLine(sLine, false)) {
    }
    Fini(false);
    Sleep(m_dwAbortPauseMs);
    CvexTrace().End(fn);
}

// Waits for the monitoring thread to finish with the command. A command still running after
// a grace period is ended, so that closing the session never hangs on a stuck tool.
void CVEXImpl::WaitForCommandMutex(const wchar_t* pFn)
{
    if (!m_hCommandMutex)
        return;
    DWORD dwWait = WaitForSingleObject(m_hCommandMutex, kFiniGraceMs);
    if (dwWait == WAIT_TIMEOUT) {
        CvexTrace().Line(TL_WARNING, pFn, L"Command still running - terminating it");
        TerminateProcess(m_Handles.hProcess, kAbortExitCode);
        dwWait = WaitForSingleObject(m_hCommandMutex, INFINITE);
    }
    if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED)
        ReleaseMutex(m_hCommandMutex);
    ReleaseEndedCommand(pFn);
}

bool CVEXImpl::Fini(bool bHardReset)
{
    const wchar_t* fn = L"CVEXImpl::Fini";
    CvexTrace().Start(fn);
    if (!StopNsrExecDaemon())
        CvexTrace().Line(TL_WARNING, fn, L"Failed to stop nsrexecd");
    if (bHardReset)
        SetLastErrorMsg(L"");
    WaitForCommandMutex(fn);
    if (m_Handles.hConIn != INVALID_HANDLE_VALUE) {
        DWORD dwMode = 0;
        if (GetConsoleMode(m_Handles.hConIn, &dwMode))
            SetConsoleMode(m_Handles.hConIn, dwMode | ENABLE_ECHO_INPUT);
    }
    CloseConsoleHandles(fn);
    if (bHardReset) {
        CvexTrace().Line(TL_INFO, fn, L"Hard reset");
        Reset();
    }
    if (!UpdateReg::RenameMiniNT(false)) {
        CvexTrace().EndFail(fn, L"UpdateReg::RenameMiniNT failed");
        return false;
    }
    if (!m_sCurrentDirectory.empty() && !SetCurrentDirectoryW(m_sCurrentDirectory.c_str()))
        CvexTrace().ApiFailure(fn, L"CVEXImpl::Fini : SetCurrentDirectory failed", GetLastError());
    CvexTrace().End(fn);
    return true;
}
