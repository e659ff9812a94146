// CVEXImpl's side of the console engine: forwarding to ConsoleSession, the ends of a session that
// also touch the environment (Abort, Fini), and the engine's way to the host.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "support/secure_wipe.h"
#include "support/traced/update_reg.h"
#include "trace/trace_scope.h"

void CVEXImpl::MirrorConsole()
{
    m_Handles = m_Console.Handles();
    m_hCommandMutex = m_Console.CommandMutex();
}

void CVEXImpl::SetEngineTimingForTesting(unsigned uiPollsPerHeartbeat, DWORD dwAbortPauseMs, DWORD dwPasswordPauseMs)
{
    m_Console.SetTiming({uiPollsPerHeartbeat, dwAbortPauseMs, dwPasswordPauseMs});
}

bool CVEXImpl::RunCommand(const std::wstring& sCmd, bool bTrace)
{
    bool bRc = m_Console.RunCommand(sCmd, bTrace);
    MirrorConsole();
    return bRc;
}

bool CVEXImpl::ReadChar(unsigned char* c)
{
    bool bRc = m_Console.ReadChar(c);
    if (!bRc)
        MirrorConsole();
    return bRc;
}

bool CVEXImpl::GetLine(std::wstring& sLine, bool bTrace)
{
    bool bRc = m_Console.GetLine(sLine, bTrace);
    if (!bRc)
        MirrorConsole();
    return bRc;
}

bool CVEXImpl::GetLineNoPassword(std::wstring& sLine, bool bTrace, bool& bPasswordAsked, unsigned uiLevel)
{
    bPasswordAsked = false;
    if (!GetLine(sLine, bTrace))
        return false;
    if (!sLine.empty() || !m_Console.PasswordRequired())
        return true;
    const wchar_t* fn = L"CVEXImpl::GetLineNoPassword";
    CvexTrace().Str(TL_ERROR, fn, L"Password asked for unexpectedly by", m_Console.ToolName());
    bPasswordAsked = true;
    m_Console.StopTool(fn);
    MirrorConsole();
    const std::wstring sText = m_Console.ToolName() + L" asked for a password where none is expected; it was ended";
    LogVarMsg(uiLevel, MSG_NETWORKER_MESSAGE, sText.c_str());
    return false;
}

bool CVEXImpl::CheckNetWorkerConnection4()
{
    return m_Console.CheckNetWorkerConnection4();
}

bool CVEXImpl::CheckNetWorkerConnection6()
{
    return m_Console.CheckNetWorkerConnection6();
}

bool CVEXImpl::SendResponse(const std::wstring& sResponse, bool bSecret)
{
    return m_Console.SendResponse(sResponse, bSecret);
}

bool CVEXImpl::SimulateKeystroke(wchar_t wc, bool bKeyDown, INPUT_RECORD& record)
{
    return ConsoleSession::SimulateKeystroke(wc, bKeyDown, record);
}

bool CVEXImpl::ProvidePassword()
{
    return m_Console.ProvidePassword(m_sPassword);
}

bool CVEXImpl::IgnoreLine(const std::wstring& sLine)
{
    return ConsoleSession::IgnoreLine(sLine);
}

void CVEXImpl::Abort()
{
    TraceScope scope(L"CVEXImpl::Abort");
    if (!m_Console.EndTool(scope)) {
        MirrorConsole();
        return;
    }
    Fini(false);
    m_Console.AbortPause();
}

bool CVEXImpl::Fini(bool bHardReset)
{
    TraceScope scope(L"CVEXImpl::Fini");
    if (!StopNsrExecDaemon())
        CvexTrace().Line(TL_WARNING, scope.fn(), L"Failed to stop nsrexecd");
    if (bHardReset)
        SetLastErrorMsg(L"");
    m_Console.Close(scope.fn());
    MirrorConsole();
    // The password belongs to the session that ends here, also when Abort ends it.
    velmora::wipe(m_sPassword);
    RestoreTempVariables();
    if (bHardReset) {
        CvexTrace().Line(TL_INFO, scope.fn(), L"Hard reset");
        Reset();
    }
    if (!UpdateReg::RenameMiniNT(false))
        return scope.Fail(L"UpdateReg::RenameMiniNT failed");
    if (!m_sCurrentDirectory.empty() && !SetCurrentDirectoryW(m_sCurrentDirectory.c_str())) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(scope.fn(), L"CVEXImpl::Fini : SetCurrentDirectory failed", dwError);
    }
    return scope.End();
}

int CVEXImpl::LogMessage(unsigned uiLevel, unsigned uiId)
{
    return LogStdMsg(uiLevel, uiId);
}

int CVEXImpl::LogMessageCode(unsigned uiLevel, unsigned uiId, DWORD dwCode)
{
    return LogVarMsg(uiLevel, uiId, dwCode);
}

std::wstring CVEXImpl::MessageText(unsigned uiId)
{
    return LoadMessageText(uiId);
}

unsigned CVEXImpl::ReportProgress(ProgressRecord& record)
{
    return SendProgress(record);
}

bool CVEXImpl::CanReportProgress() const
{
    return HasProgressCallback();
}

int CVEXImpl::ServerAddressFamily() const
{
    return m_NetWorkerCredentials.m_ServerIPAddress.family();
}
