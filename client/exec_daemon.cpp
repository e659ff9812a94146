// The client's execution daemon nsrexecd, its port ranges and its certificate.
#include "client/client_files.h"
#include "client/client_rules.h"
#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "trace/trace.h"

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
    if (hProcess == INVALID_HANDLE_VALUE || WaitForSingleObject(hProcess, 5000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(hProcess, &dwExit)) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(pFn, L"GetExitCodeProcess", dwError);
        return false;
    }
    CvexTrace().Int(TL_INFO, pFn, L"dwExitCode", dwExit);
    return dwExit == 0;
}

} // namespace

bool CVEXImpl::StartNsrExecDaemon()
{
    const wchar_t* fn = L"CVEXImpl::StartNsrExecDaemon";
    CTrace& trace = CvexTrace();
    trace.Start(fn);
    if (!m_bValidCredentials) {
        trace.EndFail(fn, L"No valid NetWorker credentials");
        return false;
    }
    const std::wstring& sServer = m_NetWorkerCredentials.m_sServerName;
    if (sServer.empty()) {
        trace.EndFail(fn, L"NetWorker server name not set");
        return false;
    }
    // The program's own name comes first: the first word of a command line is the program's,
    // and "-s" in its place would leave the server name a stray word.
    std::string sCmd = velmora::narrow(nwclient::DaemonCommandLine(m_sNsrexecdPath, sServer));
    trace.Str(TL_INFO, fn, L"sArgs", sCmd);
    SECURITY_DESCRIPTOR sd;
    if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE)) {
        DWORD dwError = GetLastError();
        trace.ApiFailure(fn, L"InitializeSecurityDescriptor", dwError);
        trace.EndFail(fn, L"Security descriptor failed");
        return false;
    }
    SECURITY_ATTRIBUTES sa{sizeof(sa), &sd, TRUE};
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    std::string sApp = velmora::narrow(m_sNsrexecdPath);
    std::string sDir = velmora::narrow(kClientBinFolder);
    // No handle is inherited: the daemon outlives this module and must not keep its pipes open.
    if (!CreateProcessA(sApp.c_str(), sCmd.data(), &sa, &sa, FALSE, DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP,
                        nullptr, sDir.c_str(), &si, &pi)) {
        DWORD dwError = GetLastError();
        trace.ApiFailure(fn, L"CreateProcess", dwError);
        trace.EndFail(fn, L"CreateProcess failed");
        return false;
    }
    velmora::unique_handle_null process(pi.hProcess), thread(pi.hThread);
    trace.Line(TL_INFO, fn, L"Started nsrexecd daemon");
    trace.Int(TL_INFO, fn, L"dwProcessId", pi.dwProcessId);
    trace.Int(TL_INFO, fn, L"dwThreadId", pi.dwThreadId);
    trace.End(fn);
    return true;
}

bool CVEXImpl::StopNsrExecDaemon()
{
    const wchar_t* fn = L"CVEXImpl::StopNsrExecDaemon";
    CTrace& trace = CvexTrace();
    trace.Start(fn);
    std::vector<DWORD> ids;
    DWORD dwError = 0;
    if (!nwclient::ListProcessIds(ids, dwError)) {
        trace.ApiFailure(fn, L"EnumProcesses", dwError);
        trace.EndFail(fn, L"EnumProcesses failed");
        return false;
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
    trace.End(fn);
    return true;
}

bool CVEXImpl::QueryPorts(const std::wstring& sHost)
{
    const wchar_t* fn = L"CVEXImpl::QueryPorts";
    CVEXTrace& trace = CvexTrace();
    trace.Start(fn);
    trace.Str(TL_VERBOSE, fn, L"sHost", sHost);
    if (!RunCommand(nwclient::PortsCommandLine(m_sNsrportsPath, sHost), trace.TraceCommands(kGroupQueryPorts))) {
        trace.EndFail(fn, L"RunCommand failed");
        return false;
    }
    std::wstring sLine;
    while (GetLine(sLine, trace.TraceOutput(kGroupQueryPorts))) {
        if (sHost.empty() && nwclient::PortRange(sLine, L"Service ports:", m_sServicePortRange))
            trace.Str(TL_INFO, fn, L"m_sServicePortRange", m_sServicePortRange);
        else if (sHost.empty() && nwclient::PortRange(sLine, L"Connection ports:", m_sConnectionPortRange))
            trace.Str(TL_INFO, fn, L"m_sConnectionPortRange", m_sConnectionPortRange);
        else
            trace.Str(TL_INFO, fn, L"sLine", sLine);
    }
    trace.End(fn);
    return true;
}

bool CVEXImpl::ImportCertAndPKeyFiles(const std::wstring& sCertFile, const std::wstring& sPKeyFile)
{
    const wchar_t* fn = L"CVEXImpl::ImportCertAndPKeyFiles";
    CVEXTrace& trace = CvexTrace();
    trace.Start(fn);
    trace.Str(TL_INFO, fn, L"sCertFile", sCertFile);
    trace.Str(TL_INFO, fn, L"sPKeyFile", sPKeyFile);
    // Each path stands in double quotes on the command line.
    if (HasInvalidNameCharacter(sCertFile) || HasInvalidNameCharacter(sPKeyFile)) {
        trace.EndFail(fn, L"Invalid file path");
        return false;
    }
    if (!StopNsrExecDaemon()) {
        trace.EndFail(fn, L"Can't stop nsrexecd");
        return false;
    }
    std::wstring sMarker = std::wstring(nwclient::kClientFolder) + L"res\\" + L"IDinitialize";
    if (!DeleteFileW(sMarker.c_str())) {
        DWORD dwError = GetLastError();
        // Neither the file nor its folder being there is what the deletion wants.
        if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND) {
            trace.ApiFailure(fn, L"DeleteFile", dwError);
            trace.EndFail(fn, L"DeleteFile(IDinitialize) failed");
            return false;
        }
    }
    std::wstring sCmd = nwclient::CertificateCommandLine(m_sNwinstcreatePath, sCertFile, sPKeyFile);
    if (!RunCommand(sCmd, trace.TraceCommands(kGroupImportCert))) {
        trace.EndFail(fn, L"RunCommand failed");
        return false;
    }
    // The output is only traced; the tool's exit code tells whether the import worked.
    std::wstring sLine;
    while (GetLine(sLine, trace.TraceOutput(kGroupImportCert)))
        trace.Str(TL_INFO, fn, L"sLine", sLine);
    bool bImported = EndedCommandSucceeded(fn, m_Handles.hProcess);
    // The daemon runs again whatever became of the import.
    if (!StartNsrExecDaemon()) {
        trace.EndFail(fn, L"Can't restart nsrexecd");
        return false;
    }
    if (!bImported) {
        trace.EndFail(fn, L"nwinstcreate failed");
        return false;
    }
    trace.End(fn);
    return true;
}
