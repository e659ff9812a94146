// The client's execution daemon nsrexecd, its port ranges and its certificate.
#include "client/client_files.h"
#include "client/client_rules.h"
#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "support/process_start.h"
#include "trace/trace_scope.h"

#include <cwchar>
#include <vector>

namespace
{

// Trace groups of the NetWorker trace mask.
const DWORD kGroupImportCert = 0x80;
const DWORD kGroupQueryPorts = 0x4000000;

// Ends one process found by name.
void TerminateDaemon(const wchar_t* pFn, DWORD dwPid)
{
    velmora::unique_handle_null process(OpenProcess(PROCESS_TERMINATE, FALSE, dwPid));
    if (!process) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(pFn, L"OpenProcess(TERMINATE) failed", dwError);
        return;
    }
    if (!TerminateProcess(process.get(), 0)) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(pFn, L"TerminateProcess failed", dwError);
        return;
    }
    CvexTrace().Int(TL_INFO, pFn, L"Terminated nsrexec daemon", dwPid);
}

// Whether the tool whose output was read to its end exited with 0.
bool EndedCommandSucceeded(const wchar_t* pFn, HANDLE hProcess)
{
    DWORD dwExit = STILL_ACTIVE;
    if (hProcess == nullptr || WaitForSingleObject(hProcess, 5000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(hProcess, &dwExit)) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(pFn, L"GetExitCodeProcess", dwError);
        return false;
    }
    CvexTrace().Int(TL_INFO, pFn, L"dwExitCode", dwExit);
    return dwExit == 0;
}

} // namespace

DWORD nwclient::StartDaemonProcess(const velmora::process_start& start, velmora::started_process& started,
                                   unsigned uiAttempts, DWORD dwPauseMs)
{
    for (unsigned uiAttempt = 1;; ++uiAttempt) {
        DWORD dwError = velmora::start_process(start, started);
        if (dwError == ERROR_SUCCESS || uiAttempt >= uiAttempts || velmora::is_lasting_start_error(dwError))
            return dwError;
        CvexTrace().Int(TL_WARNING, L"nwclient::StartDaemonProcess", L"CreateProcess failed, trying again", dwError);
        Sleep(dwPauseMs);
    }
}

bool CVEXImpl::StartNsrExecDaemon()
{
    TraceScope scope(L"CVEXImpl::StartNsrExecDaemon");
    CTrace& trace = scope.trace();
    if (!m_bValidCredentials)
        return scope.Fail(L"No valid NetWorker credentials");
    const std::wstring& sServer = m_NetWorkerCredentials.m_sServerName;
    if (sServer.empty())
        return scope.Fail(L"NetWorker server name not set");
    velmora::process_start start;
    start.sApplication = m_sNsrexecdPath;
    // The program's own name comes first: the first word of a command line is the program's,
    // and "-s" in its place would leave the server name a stray word.
    start.sCommandLine = nwclient::DaemonCommandLine(m_sNsrexecdPath, sServer);
    start.sCurrentDirectory = kClientBinFolder;
    start.dwCreationFlags = DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP;
    // No handle is inherited: the daemon outlives this module and must not keep its pipes open.
    start.bInheritHandles = false;
    trace.Str(TL_INFO, scope.fn(), L"sArgs", start.sCommandLine);
    velmora::started_process started;
    DWORD dwError = nwclient::StartDaemonProcess(start, started);
    if (dwError != ERROR_SUCCESS) {
        trace.ApiFailure(scope.fn(), L"CreateProcess", dwError);
        return scope.Fail((L"CreateProcess failed with error " + std::to_wstring(dwError)).c_str());
    }
    trace.Line(TL_INFO, scope.fn(), L"Started nsrexecd daemon");
    trace.Int(TL_INFO, scope.fn(), L"dwProcessId", started.dwProcessId);
    trace.Int(TL_INFO, scope.fn(), L"dwThreadId", started.dwThreadId);
    m_hStartedDaemon = std::move(started.process);
    return scope.End();
}

bool CVEXImpl::StartedDaemonKeepsRunning(DWORD dwWaitMs)
{
    TraceScope scope(L"CVEXImpl::StartedDaemonKeepsRunning");
    if (!m_hStartedDaemon)
        return scope.Fail(L"No daemon started");
    if (WaitForSingleObject(m_hStartedDaemon.get(), dwWaitMs) == WAIT_TIMEOUT)
        return scope.End();
    DWORD dwExitCode = 0;
    if (!GetExitCodeProcess(m_hStartedDaemon.get(), &dwExitCode)) {
        DWORD dwError = GetLastError();
        scope.trace().ApiFailure(scope.fn(), L"GetExitCodeProcess", dwError);
    }
    scope.trace().Int(TL_ERROR, scope.fn(), L"dwExitCode", dwExitCode);
    m_hStartedDaemon.reset();
    return scope.Fail((L"nsrexecd ended at once with exit code " + std::to_wstring(dwExitCode)).c_str());
}

bool CVEXImpl::StopNsrExecDaemon()
{
    const wchar_t* fn = L"CVEXImpl::StopNsrExecDaemon";
    CTrace& trace = CvexTrace();
    TraceScope scope(fn);
    std::vector<DWORD> ids;
    DWORD dwError = 0;
    if (!nwclient::ListProcessIds(ids, dwError)) {
        trace.ApiFailure(fn, L"EnumProcesses", dwError);
        return scope.Fail(L"EnumProcesses failed");
    }
    trace.Int(TL_VERBOSE, fn, L"dwProcesses", static_cast<long long>(ids.size()));
    for (DWORD dwPid : ids) {
        nwclient::ProcessName name = nwclient::ProcessBaseName(dwPid);
        if (name.pFailedCall) {
            // System processes cannot be opened; they are not the daemon.
            if (trace.IsOn(TL_VERBOSE))
                trace.Int(TL_VERBOSE, fn, (std::wstring(name.pFailedCall) + L" failed").c_str(), name.dwError);
            continue;
        }
        if (_wcsicmp(name.sName.c_str(), nwclient::kDaemonName) == 0)
            TerminateDaemon(fn, dwPid);
    }
    return scope.End();
}

bool CVEXImpl::QueryPorts(const std::wstring& sHost)
{
    const wchar_t* fn = L"CVEXImpl::QueryPorts";
    CVEXTrace& trace = CvexTrace();
    TraceScope scope(fn);
    trace.Str(TL_VERBOSE, fn, L"sHost", sHost);
    if (!RunCommand(nwclient::PortsCommandLine(m_sNsrportsPath, sHost), trace.TraceCommands(kGroupQueryPorts)))
        return scope.Fail(L"RunCommand failed");
    std::wstring sLine;
    bool bPasswordAsked = false;
    while (GetLineNoPassword(sLine, trace.TraceOutput(kGroupQueryPorts), bPasswordAsked)) {
        if (sHost.empty() && nwclient::PortRange(sLine, L"Service ports:", m_sServicePortRange))
            trace.Str(TL_INFO, fn, L"m_sServicePortRange", m_sServicePortRange);
        else if (sHost.empty() && nwclient::PortRange(sLine, L"Connection ports:", m_sConnectionPortRange))
            trace.Str(TL_INFO, fn, L"m_sConnectionPortRange", m_sConnectionPortRange);
        else
            trace.Str(TL_INFO, fn, L"sLine", sLine);
    }
    if (bPasswordAsked)
        return scope.Fail(L"nsrports asked for a password");
    return scope.End();
}

bool CVEXImpl::ImportCertAndPKeyFiles(const std::wstring& sCertFile, const std::wstring& sPKeyFile)
{
    const wchar_t* fn = L"CVEXImpl::ImportCertAndPKeyFiles";
    CVEXTrace& trace = CvexTrace();
    TraceScope scope(fn);
    trace.Str(TL_INFO, fn, L"sCertFile", sCertFile);
    trace.Str(TL_INFO, fn, L"sPKeyFile", sPKeyFile);
    // Each path stands in double quotes on the command line.
    if (!IsSafeText(sCertFile, safetext::Kind::Path, L"certificate file") ||
        !IsSafeText(sPKeyFile, safetext::Kind::Path, L"private key file"))
        return scope.Fail(L"Invalid file path");
    if (!StopNsrExecDaemon())
        return scope.Fail(L"Can't stop nsrexecd");
    std::wstring sMarker = std::wstring(nwclient::kClientFolder) + L"res\\" + L"IDinitialize";
    if (!DeleteFileW(sMarker.c_str())) {
        DWORD dwError = GetLastError();
        // Neither the file nor its folder being there is what the deletion wants.
        if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND) {
            trace.ApiFailure(fn, L"DeleteFile", dwError);
            return scope.Fail(L"DeleteFile(IDinitialize) failed");
        }
    }
    std::wstring sCmd = nwclient::CertificateCommandLine(m_sNwinstcreatePath, sCertFile, sPKeyFile);
    if (!RunCommand(sCmd, trace.TraceCommands(kGroupImportCert)))
        return scope.Fail(L"RunCommand failed");
    // The output is only traced; the tool's exit code tells whether the import worked.
    std::wstring sLine;
    bool bPasswordAsked = false;
    while (GetLineNoPassword(sLine, trace.TraceOutput(kGroupImportCert), bPasswordAsked))
        trace.Str(TL_INFO, fn, L"sLine", sLine);
    bool bImported = !bPasswordAsked && EndedCommandSucceeded(fn, m_Console.ToolProcess());
    // The daemon runs again whatever became of the import.
    if (!StartNsrExecDaemon())
        return scope.Fail(L"Can't restart nsrexecd");
    if (bPasswordAsked)
        return scope.Fail(L"nwinstcreate asked for a password");
    if (!bImported)
        return scope.Fail(L"nwinstcreate failed");
    return scope.End();
}
