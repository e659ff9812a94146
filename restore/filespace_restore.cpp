// CVEXImpl::RestoreFilespace: one filespace of the listing is counted, then restored onto its
// volume by recover, object by object, with the host told of each; recover's failure lines
// become the module's messages.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "restore/filespace_rules.h"
#include "restore/recover_args.h"
#include "support/secure_wipe.h"
#include "support/traced/update_reg.h"
#include "trace/trace_scope.h"

namespace
{
const wchar_t kFn[] = L"CVEXImpl::RestoreFilespace";
const DWORD kGroupRestore = 0x20;

void SendKind(CVEXImpl& impl, ProgressRecord& progress, unsigned uiKind)
{
    progress.uiKind = uiKind;
    impl.SendProgress(progress);
}
} // namespace

bool CVEXImpl::FailRestore(TraceScope& scope, const wchar_t* pReason)
{
    LogStdMsg(ML_ERROR, MSG_RESTORE_FILESPACE_FAILED);
    return scope.Fail(pReason);
}

bool CVEXImpl::RestoreFilespace(FileSpace* pFileSpace)
{
    MiniNTBodge bodge;
    TraceScope scope(kFn);
    if (!pFileSpace)
        return FailRestore(scope, L"Invalid argument");
    const FileSpace& fs = *pFileSpace;
    CvexTrace().Str(TL_INFO, kFn, L"sFsName", fs.sFsName);
    CvexTrace().Str(TL_INFO, kFn, L"sFsPath", fs.sFsPath);
    CvexTrace().Char(TL_INFO, kFn, L"wcFsDriveLetter", fs.wcFsDriveLetter);
    CvexTrace().Int(TL_INFO, kFn, L"ulFsFlags", static_cast<long long>(fs.ulFsFlags));
    if (const wchar_t* pProblem = restorerules::FilespaceProblem(fs))
        return FailRestore(scope, pProblem);
    // The name goes onto recover's command lines and is typed at its prompt.
    if (!IsSafeText(fs.sFsName, safetext::Kind::Filespace, L"filespace name"))
        return FailRestore(scope, L"Unsafe filespace name");
    if (!m_bValidCredentials)
        return FailRestore(scope, L"No valid NetWorker credentials");
    m_Console.ClearOperationFlags();
    const std::wstring sTarget = restorerules::RestoreTarget(fs);
    ProgressRecord progress;
    progress.sText1 = fs.sFsName;
    progress.wcDriveLetter = fs.wcFsDriveLetter;
    if (!CheckDestExists(sTarget, restorerules::IsMountedFolder(fs))) {
        LogVarMsg(ML_WARNING, MSG_VOLUME_NOT_PRESENT, sTarget.c_str());
        if (!SendPassRecord(progress, PK_PASS_START) || !SendPassRecord(progress, PK_PASS_FINISHED))
            return scope.Fail(L"User aborted");
        CvexTrace().Line(TL_WARNING, kFn, L"Volume not present - skipped");
        return scope.End();
    }
    if (!SendPassRecord(progress, PK_PASS_START))
        return scope.Fail(L"User aborted");
    if (!CountFiles(progress, fs.sFsName)) {
        // The abort is what the host hears of: the pass it started is told failed.
        if (UserAborted()) {
            SendKind(*this, progress, PK_PASS_FAILED);
            return scope.Fail(L"User aborted");
        }
        SendKind(*this, progress, PK_PASS_FAILED);
        return FailRestore(scope, L"CountFiles failed");
    }
    const unsigned uiCounted = progress.uiTotalFiles;
    progress.sText1 = fs.sFsName;
    if (!SendPassRecord(progress, PK_PASS_START))
        return scope.Fail(L"User aborted");
    const CvexCredentials& cred = m_NetWorkerCredentials;
    const std::wstring sCmd =
        RestoreCommandLine(m_sRecoverPath, cred.m_sServerName, cred.m_sClientName, m_sPointInTime, fs.sFsName);
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(kGroupRestore)))
        return FailRestore(scope, L"RunCommand failed");
    RestorePass pass;
    ReadPassOutput(kGroupRestore, pass, [&](const std::wstring& sLine) { HandleRestoreLine(sLine, progress, pass); });
    return EndRestore(scope, progress, pass, uiCounted, sTarget);
}

// Follows recover's output to its end, or until the host aborts or a password cannot be given.
void CVEXImpl::ReadPassOutput(DWORD dwGroup, RestorePass& pass, const std::function<void(const std::wstring&)>& handle)
{
    std::wstring sLine;
    while (GetLine(sLine, CvexTrace().TraceOutput(dwGroup))) {
        // The request can be noticed while a line is in hand: answer it, then handle the line.
        if (m_Console.PasswordRequired() && !ProvidePassword()) {
            pass.bFailed = pass.bPasswordFailed = true;
            return;
        }
        if (sLine.empty())
            continue;
        if (pass.bFailed)
            continue; // recover is allowed to finish; nothing it says changes the outcome
        handle(sLine);
        if (UserAborted())
            return;
    }
}

void CVEXImpl::HandleRestoreLine(const std::wstring& sLine, ProgressRecord& progress, RestorePass& pass)
{
    RestoreLine kind = ClassifyRestoreLine(sLine, m_NetWorkerCredentials.m_sClientName);
    // A piece of an over-long line is no path: neither an object nor a file recover accounts for.
    if (LineWasPiece() && (kind == RestoreLine::Object || kind == RestoreLine::PerFileError)) {
        CvexTrace().Line(TL_WARNING, kFn, L"A line too long to be a path");
        pass.bUnreadableLine = true;
        return;
    }
    if (NoteFailureLine(kind, pass))
        return;
    if (!pass.uiSessionLossMessage)
        pass.uiSessionLossMessage = restorerules::SessionLossMessage(sLine);
    if (kind == RestoreLine::Object)
        ReportRestoredObject(sLine, progress, pass);
    else
        NoteReportLine(kind, sLine, pass);
}

// A line that fails the pass: its message, and the pass marked failed.
bool CVEXImpl::NoteFailureLine(RestoreLine kind, RestorePass& pass)
{
    unsigned uiMessage = restorerules::FailureMessage(kind);
    if (!uiMessage)
        return false;
    if (uiMessage == MSG_CLIENT_NAME_NOT_REGISTERED || uiMessage == MSG_CLIENT_ADDRESS_NOT_REGISTERED)
        LogVarMsg(ML_ERROR, uiMessage, m_NetWorkerCredentials.m_sServerName.c_str());
    else if (uiMessage != MSG_CONNECTION_LOST) // said once, at the end
        LogStdMsg(ML_ERROR, uiMessage);
    if (kind == RestoreLine::ConnectionClosed)
        pass.bConnectionClosed = true;
    pass.bFailed = true;
    return true;
}

// Lines that neither fail the pass nor are objects: a wrong password, per-file errors, messages.
void CVEXImpl::NoteReportLine(RestoreLine kind, const std::wstring& sLine, RestorePass& pass)
{
    std::wstring sText;
    switch (kind) {
    case RestoreLine::IncorrectPassword:
        CvexTrace().Line(TL_WARNING, kFn, L"Wrong password entered");
        velmora::wipe(m_sPassword);
        break;
    case RestoreLine::PerFileError:
        // A file that did not come back is not restored, whatever recover prints after it.
        ++pass.uiFileErrors;
        LogVarMsg(ML_WARNING, MSG_NETWORKER_MESSAGE, (L" " + sLine).c_str());
        break;
    case RestoreLine::RecoverMessage:
        if (ParseRecoverMsg(sLine, sText))
            LogVarMsg(ML_WARNING, MSG_NETWORKER_MESSAGE, sText.c_str());
        break;
    default: break;
    }
}

void CVEXImpl::ReportRestoredObject(const std::wstring& sPath, ProgressRecord& progress, RestorePass& pass)
{
    progress.sText1 = sPath;
    ++progress.uiFilesRestored;
    progress.uiKind = PK_OBJECT_RESTORED;
    progress.ullCurrentSize = progress.ullCurrentSize2 = 0;
    if (sPath.back() != L'\\') {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (GetFileAttributesExW(sPath.c_str(), GetFileExInfoStandard, &data)) {
            progress.ullCurrentSize = progress.ullCurrentSize2 =
                (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        } else {
            DWORD dwError = GetLastError();
            if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND)
                CvexTrace().ApiFailure(kFn, L"GetFileAttributesEx failed", dwError);
        }
    }
    if (SendProgress(progress) != 0) {
        m_Console.NoteUserAbort();
        pass.bAbortAnswered = true;
    }
}

// The outcome once recover's output has ended (or reading stopped). True only when every counted
// object came back or recover named each one that did not in a per-file failure line.
bool CVEXImpl::EndRestore(TraceScope& scope, ProgressRecord& progress, RestorePass& pass, unsigned uiCounted,
                          const std::wstring& sTarget)
{
    const unsigned uiRestored = progress.uiFilesRestored;
    CvexTrace().Int(TL_INFO, kFn, L"uiFilesRestored", uiRestored);
    CvexTrace().Int(TL_INFO, kFn, L"uiFileErrors", pass.uiFileErrors);
    unsigned uiUnaccounted = restorerules::UnaccountedObjects(uiCounted, uiRestored, pass.uiFileErrors);
    if (pass.bUnreadableLine && uiUnaccounted == 0 && uiRestored < uiCounted)
        uiUnaccounted = 1; // the long line may have named a file that did not come back
    // A failure line has its own message, and the pass failed whatever came back; a closed
    // connection is told with the counts.
    if (uiUnaccounted && !UserAborted() && (!pass.bFailed || pass.bConnectionClosed))
        return FailShortRestore(scope, progress, pass, uiCounted, sTarget);
    if (!EndPass(scope, progress, pass, MSG_RESTORE_FILESPACE_FAILED))
        return false;
    if (uiRestored != uiCounted) {
        CvexTrace().Line(TL_WARNING, kFn, L"Not all files were restored");
        if (uiRestored < uiCounted)
            LogVarMsg(ML_WARNING, MSG_RESTORE_INCOMPLETE, uiRestored, uiCounted, sTarget.c_str());
    }
    // An abort answered to the last record still fails the call: the host must not take an
    // operation it aborted for a success. What was restored stays on the volume.
    if (!SendPassRecord(progress, PK_PASS_FINISHED))
        return scope.Fail(L"User aborted");
    return scope.End();
}

// Objects are missing that recover did not account for: the restore fails with a message that
// names both counts and why recover stopped short.
bool CVEXImpl::FailShortRestore(TraceScope& scope, ProgressRecord& progress, RestorePass& pass, unsigned uiCounted,
                                const std::wstring& sTarget)
{
    restorerules::PassEnd end;
    end.bConnectionLost = ConnectionLost() || pass.bConnectionClosed;
    end.uiSessionLossMessage = pass.uiSessionLossMessage;
    end.bUnreadableLine = pass.bUnreadableLine;
    end.bExitKnown = ToolExitCode(kFn, end.ulExitCode);
    if (end.bConnectionLost)
        LogStdMsg(ML_ERROR, MSG_CONNECTION_LOST);
    const unsigned uiLoss = end.uiSessionLossMessage;
    const std::wstring sReason = restorerules::ShortfallReason(end, uiLoss ? MessageText(uiLoss) : std::wstring());
    LogVarMsg(ML_ERROR, MSG_RESTORE_SHORT, sTarget.c_str(), progress.uiFilesRestored, uiCounted, sReason.c_str());
    SendKind(*this, progress, PK_PASS_FAILED);
    return scope.Fail(L"Not all objects came back");
}

bool CVEXImpl::SendPassRecord(ProgressRecord& progress, unsigned uiKind)
{
    progress.uiKind = uiKind;
    if (SendProgress(progress) == 0)
        return true;
    CvexTrace().Int(TL_INFO, L"CVEXImpl::SendPassRecord", L"Abort answered to record kind", uiKind);
    m_Console.NoteUserAbort();
    m_Console.TellUserAbort();
    SendKind(*this, progress, PK_PASS_FAILED);
    return false;
}

// Whether a pass of recover ended well: a lost connection, an abort, a password that could not be
// given, a failure line or a crash end the scope (the record told, kind 3) and give false.
bool CVEXImpl::EndPass(TraceScope& scope, ProgressRecord& progress, RestorePass& pass, unsigned uiCrashMessage)
{
    const bool bLost = ConnectionLost() || pass.bConnectionClosed;
    if (bLost)
        LogStdMsg(ML_ERROR, MSG_CONNECTION_LOST);
    if (UserAborted()) {
        SendKind(*this, progress, PK_PASS_FAILED);
        EndAbortedTool(scope.fn(), pass.bAbortAnswered);
        return scope.Fail(L"User aborted");
    }
    if (pass.bPasswordFailed)
        EndAbortedTool(scope.fn(), false);
    else if (!pass.bFailed && !bLost && RecoverCrashed(scope.fn(), uiCrashMessage))
        pass.bFailed = true;
    if (pass.bFailed || bLost) {
        SendKind(*this, progress, PK_PASS_FAILED);
        return scope.Fail(pass.bPasswordFailed ? L"ProvidePassword failed" : L"recover failed");
    }
    return true;
}

bool CVEXImpl::ToolExitCode(const wchar_t* pFn, unsigned long& ulExitCode)
{
    DWORD dwExitCode = 0;
    HANDLE hProcess = m_Console.ToolProcess();
    if (!hProcess || WaitForSingleObject(hProcess, 5000) != WAIT_OBJECT_0 || !GetExitCodeProcess(hProcess, &dwExitCode))
        return false;
    CvexTrace().Int(TL_INFO, pFn, L"dwExitCode", static_cast<long long>(dwExitCode));
    ulExitCode = dwExitCode;
    return true;
}

// A recover that crashed has not restored what it was asked for, however its output ended.
bool CVEXImpl::RecoverCrashed(const wchar_t* pFn, unsigned uiMessage)
{
    unsigned long ulExitCode = 0;
    if (!ToolExitCode(pFn, ulExitCode) || !restorerules::ToolCrashed(ulExitCode))
        return false;
    if (uiMessage)
        LogStdMsg(ML_ERROR, uiMessage);
    CvexTrace().Line(TL_ERROR, pFn, L"recover ended abnormally");
    return true;
}
