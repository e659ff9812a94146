// CVEXImpl::CountFiles: before a filespace is restored, an interactive recover session lists it
// ("add" and "list -l") so that the host can show progress against the number of objects and
// bytes to come. The restore's verdict rests on that number, so a session cut short is no count:
// it is counted once more, and a second cut fails the restore.
// Listing asks for no password: a tool that asks for one anyway is ended and the count fails.
// Each command is typed at its own prompt, so that no typed-ahead command can be taken as the
// answer to such a prompt (which would leave recover waiting for an EXIT it already read).
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "restore/filespace_rules.h"
#include "restore/recover_args.h"
#include "restore/recover_literals.h"
#include "trace/trace_scope.h"

namespace
{
const wchar_t kFn[] = L"CVEXImpl::CountFiles";
const DWORD kGroupCount = 0x4;
const unsigned kCountAttempts = 2;
const wchar_t kUnexpectedPassword[] = L" asked for a password where none is expected; it was ended";

// recover's "Password for file ..." that is not an object of the listing: it waits for a password.
bool AsksForPassword(const std::wstring& sLine)
{
    ListedObject object;
    return LineHas(sLine, RL_PASSWORD_FOR_FILE) && ClassifyCountLine(sLine, object) == CountLine::Other;
}
} // namespace

struct CVEXImpl::CountSession {
    bool bRequested = false; // the banner came: each prompt after it takes the next command
    unsigned uiPrompts = 0;  // prompts after the banner: one per command
    restorerules::PassEnd end;
    std::wstring sCutShort; // empty: the count is whole
    std::wstring sCounting; // the text of the counting record
};

bool CVEXImpl::CountFiles(ProgressRecord& progress, const std::wstring& sName)
{
    TraceScope scope(kFn);
    CvexTrace().Str(TL_INFO, kFn, L"sName", sName);
    if (sName.empty())
        return scope.Fail(L"Invalid argument");
    std::wstring sCutShort;
    bool bLost = false;
    for (unsigned uiAttempt = 1; uiAttempt <= kCountAttempts; ++uiAttempt) {
        progress.uiTotalFiles = 0;
        progress.ullTotalBytes = 0;
        CountSession count;
        if (!RunCount(scope, progress, sName, count))
            return false;
        sCutShort = count.sCutShort;
        bLost = count.end.bConnectionLost;
        if (sCutShort.empty())
            return scope.End();
        CvexTrace().Str(TL_WARNING, kFn, L"Count cut short", sCutShort);
    }
    if (bLost)
        LogStdMsg(ML_ERROR, MSG_CONNECTION_LOST);
    LogVarMsg(ML_ERROR, MSG_COUNT_CUT_SHORT, sName.c_str(), sCutShort.c_str());
    return scope.Fail(L"Count cut short");
}

// One count session. False (the scope ended) when it cannot go on at all: recover does not start,
// the host aborts, recover asks for a password. Otherwise true, with count.sCutShort saying why
// the total cannot be trusted (empty when it can).
bool CVEXImpl::RunCount(TraceScope& scope, ProgressRecord& progress, const std::wstring& sName, CountSession& count)
{
    const CvexCredentials& cred = m_NetWorkerCredentials;
    const std::wstring sCmd = CountCommandLine(m_sRecoverPath, cred.m_sServerName, cred.m_sClientName);
    m_Console.ClearOperationFlags();
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(kGroupCount))) {
        LogStdMsg(ML_ERROR, MSG_INIT_FAILED);
        return scope.Fail(L"RunCommand failed");
    }
    const std::vector<std::wstring> commands = restorerules::CountCommands(m_sPointInTime, sName);
    bool bStopped = false;       // the host asked to abort
    bool bAbortAnswered = false; // the abort came as the host's answer to a progress record
    bool bPasswordAsked = false; // recover asked for a password: it was ended
    std::wstring sLine;
    while (!bStopped && GetLineNoPassword(sLine, CvexTrace().TraceOutput(kGroupCount), bPasswordAsked)) {
        // The prompt's text can come before the console shows the wait, or without it.
        if (AsksForPassword(sLine)) {
            CvexTrace().Str(TL_ERROR, kFn, L"Password asked for unexpectedly by", m_Console.ToolName());
            m_Console.StopTool(kFn);
            MirrorConsole();
            LogVarMsg(ML_ERROR, MSG_NETWORKER_MESSAGE, (m_Console.ToolName() + kUnexpectedPassword).c_str());
            bPasswordAsked = true;
            break;
        }
        if (!NoteCountLine(sLine, commands, progress, count))
            continue;
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
    if (bPasswordAsked)
        return scope.Fail(L"Password asked for unexpectedly");
    count.end.bConnectionLost = count.end.bConnectionLost || ConnectionLost();
    count.end.bExitKnown = ToolExitCode(kFn, count.end.ulExitCode);
    const unsigned uiLoss = count.end.uiSessionLossMessage;
    count.sCutShort = restorerules::CountCutShortReason(count.end, count.uiPrompts,
                                                        count.bRequested ? static_cast<unsigned>(commands.size()) : 1,
                                                        uiLoss ? MessageText(uiLoss) : std::wstring());
    return true;
}

// One line of the count's session: the banner opens it, each prompt sends the next command, an object
// adds to the totals (true: the record is to be sent). A piece of an over-long line is never one.
bool CVEXImpl::NoteCountLine(const std::wstring& sLine, const std::vector<std::wstring>& commands,
                             ProgressRecord& progress, CountSession& count)
{
    ListedObject object;
    CountLine kind = ClassifyCountLine(sLine, object);
    if (kind == CountLine::Banner && !count.bRequested) {
        count.bRequested = true;
        return false;
    }
    if (!count.bRequested)
        return false;
    if (kind == CountLine::Prompt) {
        if (count.uiPrompts < commands.size())
            SendResponse(commands[count.uiPrompts], false);
        ++count.uiPrompts;
        return false;
    }
    if (LineHas(sLine, RL_FORCIBLY_CLOSED))
        count.end.bConnectionLost = true;
    if (unsigned uiLoss = restorerules::SessionLossMessage(sLine); uiLoss && !count.end.uiSessionLossMessage)
        count.end.uiSessionLossMessage = uiLoss;
    if (kind != CountLine::File && kind != CountLine::Directory)
        return false;
    if (LineWasPiece()) {
        count.end.bUnreadableLine = true;
        return false;
    }
    progress.ullCurrentSize = progress.ullCurrentSize2 = object.ullSize;
    ++progress.uiTotalFiles;
    progress.ullTotalBytes += object.ullSize;
    if (count.sCounting.empty())
        count.sCounting = MessageText(MSG_COUNTING_OBJECTS);
    progress.sText5 = count.sCounting;
    progress.uiKind = PK_MESSAGE;
    return true;
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
