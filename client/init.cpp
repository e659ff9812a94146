// CVEXImpl::Init: turns the recovery environment into a working NetWorker client of the server
// named in the credentials and proves it with a recover session.
#include "client/init.h"

#include "client/client_files.h"
#include "client/client_rules.h"
#include "client/query_network.h"
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "support/traced/update_reg.h"
#include "trace/trace_scope.h"

namespace
{

const wchar_t kFn[] = L"CVEXImpl::Init";

// The names and the point in time reach command lines and the hosts and servers files: each is
// checked before Init changes anything. A refusal posts message 144, then 203 with the reason,
// which the host reads as the last error.
bool CredentialTextIsSafe(TraceScope& scope, CVEXImpl& impl, const CvexCredentials& cred)
{
    struct Item {
        const std::wstring& sText;
        safetext::Kind kind;
        const wchar_t* pWhat;
        const wchar_t* pReason;
    };
    const std::wstring sPit = initseq::FormatPointInTime(cred.m_Pit);
    const Item items[] = {
        {cred.m_sServerName, safetext::Kind::HostName, L"server name", L"Invalid Server Name"},
        {cred.m_sClientName, safetext::Kind::HostName, L"client name", L"Invalid Client Name"},
        {sPit, safetext::Kind::PointInTime, L"point in time", L"Invalid Point In Time"},
    };
    for (const Item& item : items) {
        if (&item.sText == &sPit && sPit.empty())
            continue; // no point in time: the newest backup
        if (!safetext::Refusal(item.sText, item.kind))
            continue;
        impl.LogStdMsg(ML_ERROR, MSG_INIT_FAILED);
        impl.IsSafeText(item.sText, item.kind, item.pWhat);
        return scope.Fail(item.pReason);
    }
    return true;
}

bool SetCurrentDirectoryWithRetries(const std::wstring& sFolder)
{
    for (int iAttempt = 1; iAttempt <= 4; ++iAttempt) {
        if (SetCurrentDirectoryW(sFolder.c_str()))
            return true;
        DWORD dwError = GetLastError();
        if (dwError == ERROR_SEM_TIMEOUT)
            CvexTrace().Line(TL_WARNING, kFn, L"SetCurrentDirectory : ERROR_SEM_TIMEOUT");
        else if (dwError == ERROR_NETNAME_DELETED)
            CvexTrace().Line(TL_WARNING, kFn, L"SetCurrentDirectory : ERROR_NETNAME_DELETED");
        else
            CvexTrace().ApiFailure(kFn, L"SetCurrentDirectory", dwError);
        if (iAttempt < 4)
            Sleep(1000);
    }
    return false;
}

} // namespace

bool initseq::Fail(TraceScope& scope, CRPLImpl& impl, unsigned uiMessage, const wchar_t* pReason)
{
    impl.LogStdMsg(ML_ERROR, uiMessage);
    return scope.Fail(pReason);
}

bool CVEXImpl::Init(CrplCredentials* pCredentials)
{
    TraceScope scope(kFn);
    auto* pCvex = dynamic_cast<CvexCredentials*>(pCredentials);
    if (!pCvex)
        return scope.Fail(L"Not NW credentials");
    Fini(true);
    // From here on every step reads the credentials from m_NetWorkerCredentials: a copy, as the
    // host's object may change while Init runs. They count as valid once AcceptCredentials ran.
    m_NetWorkerCredentials = *pCvex;
    const CvexCredentials& cred = m_NetWorkerCredentials;
    std::wstring sFolder;
    GetConfigDirectory(sFolder);
    GetLogDirectory(sFolder);
    if (!CredentialTextIsSafe(scope, *this, cred))
        return false;
    if (!InitNameResolution(scope))
        return false;
    if (!GetNetWorkerClientVersion(m_sRecoverNetWorkerClientVersion))
        return initseq::Fail(scope, *this, MSG_INIT_FAILED, L"GetNetWorkerClientVersion failed");
    velmora::string sHostname;
    if (!QueryNetwork().GetHostname(sHostname))
        return initseq::Fail(scope, *this, MSG_NO_HOST_NAME, L"Cannot determine hostname");
    AcceptCredentials();
    if (!InitRegistry(scope, sHostname) || !InitNetworkSettings(scope))
        return false;
    ReadClientRegistration();
    if (!SetNetWorkerClientEnv())
        return initseq::Fail(scope, *this, MSG_INIT_FAILED, L"Can't set environment PATH");
    if (!InitCurrentDirectory(scope))
        return false;
    MiniNTBodge bodge; // hidden for the rest of Init, restored on every way out
    if (!StartNsrExecDaemon())
        return initseq::Fail(scope, *this, MSG_START_DAEMON_FAILED, L"Failed to start nsrexecd");
    // A daemon that cannot run would only show later, as a misleading connection failure: it is
    // watched briefly before the connection test and looked at again after it.
    if (!StartedDaemonKeepsRunning(initseq::kDaemonSettleMs))
        return DaemonEnded(scope);
    LogStdMsg(ML_INFORMATION, MSG_CONNECTING);
    const bool bConnected = ProveConnection(scope);
    if (!UserAborted() && !StartedDaemonKeepsRunning(0))
        return DaemonEnded(scope);
    return bConnected;
}

bool CVEXImpl::DaemonEnded(TraceScope& scope)
{
    const std::wstring sLogFolder = std::wstring(nwclient::kClientFolder) + L"applogs";
    if (!nwclient::FolderIsWritable(sLogFolder))
        return initseq::Fail(scope, *this, MSG_APPLOGS_NOT_WRITEABLE, L"nsrexecd cannot write its log folder");
    return initseq::Fail(scope, *this, MSG_START_DAEMON_FAILED, L"nsrexecd ended at once");
}

void CVEXImpl::AcceptCredentials()
{
    m_bValidCredentials = true;
    m_sPointInTime = initseq::FormatPointInTime(m_NetWorkerCredentials.m_Pit);
    CvexTrace().Str(TL_INFO, kFn, L"m_sPointInTime", m_sPointInTime);
}

bool CVEXImpl::InitRegistry(TraceScope& scope, const std::wstring& sHostname)
{
    if (!UpdateReg::ChangeSystemSetupInProgress())
        return initseq::Fail(scope, *this, MSG_INIT_FAILED, L"UpdateReg::ChangeSystemSetupInProgress failed");
    if (!UpdateReg::RenameMiniNT(true))
        return initseq::Fail(scope, *this, MSG_INIT_FAILED, L"UpdateReg::RenameMiniNT failed");
    const std::wstring& sClient = m_NetWorkerCredentials.m_sClientName;
    if (initseq::SameHostName(sHostname, sClient)) {
        CvexTrace().Line(TL_INFO, kFn, L"Host name already matches the client name");
        return true;
    }
    if (!UpdateReg::ChangeHostname(sClient))
        return initseq::Fail(scope, *this, MSG_INIT_FAILED, L"UpdateReg::ChangeHostname failed");
    return true;
}

void CVEXImpl::ReadClientRegistration()
{
    std::wstring sDir, sVersion;
    if (UpdateReg::GetNetWorkerClientDir(sDir))
        m_sRecoverNetWorkerClientDir = sDir;
    else
        CvexTrace().Line(TL_WARNING, kFn, L"UpdateReg::GetNetWorkerClientDir failed");
    if (UpdateReg::GetNetWorkerClientVersion(sVersion))
        m_sRecoverNetWorkerClientVersion = sVersion;
    else
        CvexTrace().Line(TL_WARNING, kFn, L"UpdateReg::GetNetWorkerClientVersion failed");
    initseq::ClientVersion v = initseq::SplitClientVersion(m_sRecoverNetWorkerClientVersion);
    m_usRecoverNetWorkerClientVersionMajor = v.usMajor;
    m_usRecoverNetWorkerClientVersionMinor = v.usMinor;
    m_usRecoverNetWorkerClientVersionSP = v.usSP;
    CvexTrace().Str(TL_INFO, kFn, L"m_sRecoverNetWorkerClientDir", m_sRecoverNetWorkerClientDir);
    CvexTrace().Str(TL_INFO, kFn, L"m_sRecoverNetWorkerClientVersion", m_sRecoverNetWorkerClientVersion);
}

bool CVEXImpl::InitCurrentDirectory(TraceScope& scope)
{
    std::wstring sCurrent(MAX_PATH, L'\0');
    DWORD n = GetCurrentDirectoryW(MAX_PATH, sCurrent.data());
    if (n == 0 || n >= MAX_PATH) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(kFn, L"GetCurrentDirectory", dwError);
    } else {
        m_sCurrentDirectory = sCurrent.substr(0, n);
    }
    CvexTrace().Str(TL_VERBOSE, kFn, L"m_sCurrentDirectory", m_sCurrentDirectory);
    const std::wstring sCdDrive = initseq::FindCdDrive();
    if (sCdDrive.empty())
        return true;
    CvexTrace().Str(TL_INFO, kFn, L"sCdDrive", sCdDrive);
    if (!SetCurrentDirectoryWithRetries(sCdDrive))
        return initseq::Fail(scope, *this, MSG_SET_CURRENT_DIRECTORY_FAILED, L"SetCurrentDirectory failed");
    return true;
}

bool CVEXImpl::ProveConnection(TraceScope& scope)
{
    ConnectionTest test;
    for (int iRun = 1; iRun <= initseq::kMaxConnectionRuns; ++iRun) {
        test.bRepeat = false;
        if (!RunConnectionTest(scope, test))
            return false;
        if (!test.bRepeat)
            break;
    }
    if (test.bFailed)
        return scope.Fail(L"Failed");
    if (!test.bSession)
        return initseq::Fail(scope, *this, MSG_NO_SESSION, L"Session not correctly established");
    if (LogStdMsg(ML_INFORMATION, MSG_CONNECTED) != 0)
        return initseq::Fail(scope, *this, MSG_USER_ABORTED, L"User abort");
    if (!GetNetWorkerServerVersion(m_sRecoverNetWorkerServerVersion)) {
        // Not knowing the server's version is no reason to fail; the host's abort is.
        if (UserAborted())
            return scope.Fail(L"User abort");
        CvexTrace().Line(TL_WARNING, kFn, L"GetNetWorkerServerVersion failed");
    }
    m_bUserEditCfg = GetAdvancedOption(L"UserEditCfg");
    return scope.End();
}

bool CVEXImpl::RunConnectionTest(TraceScope& scope, ConnectionTest& test)
{
    const CvexCredentials& cred = m_NetWorkerCredentials;
    const std::wstring sCmd = initseq::RecoverCommandLine(m_sRecoverPath, cred.m_sServerName, cred.m_sClientName);
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(initseq::kTraceGroup)))
        return initseq::Fail(scope, *this, MSG_INIT_FAILED, L"RunCommand failed");
    const bool bTraceOutput = CvexTrace().TraceOutput(initseq::kTraceGroup);
    bool bDecided = false; // a failure or a repeat is noted: the rest is read and discarded
    bool bPasswordAsked = false;
    std::wstring sLine;
    while (GetLineNoPassword(sLine, bTraceOutput, bPasswordAsked)) {
        const initseq::RecoverLine kind = initseq::ClassifyRecoverLine(sLine);
        // Every prompt is answered, also after a failure: a recover that prints an error and
        // prompts again would otherwise wait for ever.
        if (kind == initseq::RecoverLine::Prompt) {
            if (!SendResponse(L"EXIT\r\n", false)) {
                // The session is up but cannot be closed; the host still learns why Init failed.
                return initseq::Fail(scope, *this, MSG_NO_SESSION, L"SendResponse( EXIT ) failed");
            }
            return true;
        }
        if (bDecided)
            continue;
        switch (kind) {
        case initseq::RecoverLine::SessionOpen:
            CvexTrace().Line(TL_INFO, kFn, L"Session established");
            test.bSession = true;
            break;
        case initseq::RecoverLine::Other: IgnoreLine(sLine); break;
        default:
            NoteConnectionFailure(sLine, test);
            bDecided = true;
            break;
        }
    }
    if (bPasswordAsked) {
        test.bFailed = true; // message 169 is posted
        test.bRepeat = false;
    } else if (m_Console.UserAborted()) {
        // Message 197 is posted; the tool would wait for its next command for ever.
        m_Console.StopTool(kFn);
        MirrorConsole();
        return scope.Fail(L"User abort");
    }
    return true;
}

void CVEXImpl::NoteConnectionFailure(const std::wstring& sLine, ConnectionTest& test)
{
    const CvexCredentials& cred = m_NetWorkerCredentials;
    test.bFailed = true;
    switch (initseq::ClassifyRecoverLine(sLine)) {
    case initseq::RecoverLine::NoRoute:
        if (m_usRecoverNetWorkerClientVersionMajor == 7 && m_usRecoverNetWorkerClientVersionMinor == 4) {
            CvexTrace().Line(TL_WARNING, kFn, L"**** Warning : Remote system error - No route to host");
            Sleep(1000);
            test.bFailed = false;
            test.bRepeat = true;
        } else {
            CvexTrace().Line(TL_ERROR, kFn, L"**** Error : Remote system error - No route to host");
            LogStdMsg(ML_ERROR, MSG_NO_SESSION); // otherwise the host would get false without a reason
        }
        break;
    case initseq::RecoverLine::NoBackups:
        LogVarMsg(ML_ERROR, MSG_NO_BACKUPS, cred.m_sClientName.c_str(), cred.m_sServerName.c_str());
        break;
    case initseq::RecoverLine::ThreadsFailed: LogStdMsg(ML_ERROR, MSG_RECOVER_THREADS_FAILED); break;
    case initseq::RecoverLine::TimedOut: LogStdMsg(ML_ERROR, MSG_CONNECTION_TIMED_OUT); break;
    case initseq::RecoverLine::RpcCannotCall:
        if (QueryNetwork().CheckDuplicateAddress(cred.m_ClientIPAddress))
            LogStdMsg(ML_ERROR, MSG_DUPLICATE_ADDRESS);
        else {
            LogStdMsg(ML_ERROR, MSG_SERVER_NOT_CONTACTED);
            CvexTrace().Line(TL_ERROR, kFn, L"An invalid server name was specified");
        }
        break;
    case initseq::RecoverLine::NotConfigured:
        if (QueryNetwork().CheckDuplicateAddress(cred.m_ClientIPAddress))
            LogStdMsg(ML_ERROR, MSG_DUPLICATE_ADDRESS);
        else
            LogVarMsg(ML_ERROR, initseq::NotConfiguredMessage(sLine, cred.m_sClientName), cred.m_sServerName.c_str());
        break;
    case initseq::RecoverLine::ForciblyClosed: LogStdMsg(ML_ERROR, MSG_CONNECTION_FORCIBLY_CLOSED); break;
    default: break;
    }
}
