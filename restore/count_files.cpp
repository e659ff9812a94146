// CVEXImpl::CountFiles: before a filespace is restored, an interactive recover session lists it
// ("add" and "list -l") so that the host can show progress against the number of objects and
// bytes to come.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "restore/filespace_rules.h"
#include "restore/recover_args.h"
#include "trace/trace_scope.h"

namespace
{
const wchar_t kFn[] = L"CVEXImpl::CountFiles";
const DWORD kGroupCount = 0x4;
} // namespace

bool CVEXImpl::CountFiles(ProgressRecord& progress, const std::wstring& sName)
{
    TraceScope scope(kFn);
    CvexTrace().Str(TL_INFO, kFn, L"sName", sName);
    if (sName.empty())
        return scope.Fail(L"Invalid argument");
    const CvexCredentials& cred = m_NetWorkerCredentials;
    const std::wstring sCmd = CountCommandLine(m_sRecoverPath, cred.m_sServerName, cred.m_sClientName);
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(kGroupCount))) {
        LogStdMsg(ML_ERROR, MSG_INIT_FAILED);
        return scope.Fail(L"RunCommand failed");
    }
    const std::wstring sCounting = MessageText(MSG_COUNTING_OBJECTS);
    bool bRequested = false;
    bool bStopped = false;       // the host asked to abort, or the password could not be given
    bool bAbortAnswered = false; // the abort came as the host's answer to a progress record
    std::wstring sLine;
    while (!bStopped && GetLine(sLine, CvexTrace().TraceOutput(kGroupCount))) {
        // The request can be noticed while a line is in hand: answer it, then handle the line.
        if (m_Console.PasswordRequired() && !ProvidePassword()) {
            bStopped = true;
            continue;
        }
        ListedObject object;
        CountLine kind = ClassifyCountLine(sLine, object);
        if (kind == CountLine::Banner && !bRequested) {
            for (const std::wstring& sCommand : restorerules::CountCommands(m_sPointInTime, sName))
                SendResponse(sCommand, false);
            bRequested = true;
            continue;
        }
        if (!bRequested || (kind != CountLine::File && kind != CountLine::Directory))
            continue;
        progress.ullCurrentSize = progress.ullCurrentSize2 = object.ullSize;
        ++progress.uiTotalFiles;
        progress.ullTotalBytes += object.ullSize;
        progress.sText5 = sCounting;
        progress.uiKind = PK_MESSAGE;
        if (SendProgress(progress) != 0) {
            m_Console.NoteUserAbort();
            bAbortAnswered = true;
        }
        bStopped = UserAborted();
    }
    CvexTrace().Int(TL_INFO, kFn, L"uiTotalFiles", progress.uiTotalFiles);
    CvexTrace().Int(TL_INFO, kFn, L"ullTotalBytes", static_cast<long long>(progress.ullTotalBytes));
    if (UserAborted()) {
        EndAbortedTool(kFn, bAbortAnswered);
        return scope.Fail(L"User aborted");
    }
    if (bStopped)
        EndAbortedTool(kFn, false);
    if (ConnectionLost()) {
        LogStdMsg(ML_ERROR, MSG_CONNECTION_LOST);
        return scope.Fail(L"Connection lost");
    }
    if (bStopped)
        return scope.Fail(L"ProvidePassword failed");
    if (!bRequested)
        return scope.Fail(L"The session never opened");
    return scope.End();
}

// After an abort the tool is ended. Abort tells the host; when the engine or the password
// request has told it already, the tool is ended quietly so that the host hears it once.
void CVEXImpl::EndAbortedTool(const wchar_t* pFn, bool bTellHost)
{
    if (bTellHost) {
        Abort();
        return;
    }
    m_Console.StopTool(pFn);
    MirrorConsole();
}
