#include "host/restore_job.h"

#include "host/abort_watch.h"
#include "host/host_output.h"
#include "host/verify_drives.h"
#include "support/vstring.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>

namespace refhost
{
namespace
{

std::wstring Lower(std::wstring s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t wc) { return static_cast<wchar_t>(std::towlower(wc)); });
    return s;
}

// What the callbacks work on while one filespace is restored.
struct RestoreSession {
    ProgressView view{StdoutIsTerminal(), &WriteText};
    FilespaceOutcome* pCurrent = nullptr;
    PathSet* pRestoredPaths = nullptr; // collects the objects restored, when set
    std::wstring sPassword;
};

int RestoreLogCallback(unsigned uiLevel, const wchar_t* pText, void* pContext)
{
    auto* session = static_cast<RestoreSession*>(pContext);
    std::wstring sText = pText ? pText : L"";
    if (session->pCurrent)
        session->pCurrent->messages.push_back({uiLevel, sText});
    NoteMessage(uiLevel, sText);
    session->view.Message(L"[" + LevelName(uiLevel) + L"] " + sText);
    return 0;
}

unsigned RestoreProgressCallback(ProgressRecord* pRecord, void* pContext)
{
    if (!pRecord)
        return 0;
    auto* session = static_cast<RestoreSession*>(pContext);
    if (pRecord->uiKind == PK_PASSWORD_REQUEST) {
        session->view.Message(session->sPassword.empty() ? L"[host] a password was asked for; none was given"
                                                         : L"[host] a password was asked for and given");
        pRecord->sText2 = session->sPassword;
        return 0;
    }
    if (pRecord->uiKind == PK_OBJECT_RESTORED && session->pRestoredPaths)
        session->pRestoredPaths->insert(Lower(pRecord->sText1));
    session->view.OnRecord(*pRecord, NowSeconds());
    return AbortAnswer();
}

FilespaceOutcome RestoreOne(CRPL& plugin, const FileSpace& fs, RestoreSession& session)
{
    FilespaceOutcome outcome;
    outcome.sName = fs.sFsName;
    outcome.wcTarget = TargetLetter(fs);
    session.pCurrent = &outcome;
    Print(L"Restore: " + fs.sFsName + L" ...");
    double dStart = NowSeconds();
    session.view.Start(fs.sFsName, dStart);
    FileSpace copy = fs;
    outcome.bResult = plugin.RestoreFilespace(&copy);
    double dEnd = NowSeconds();
    session.view.Finish(dEnd);
    session.pCurrent = nullptr;
    const ProgressState& state = session.view.State();
    outcome.uiCounted = state.uiCounted;
    outcome.uiRestored = state.uiRestored;
    outcome.ullBytes = state.ullRestoredBytes;
    outcome.dSeconds = dEnd - dStart;
    std::wstring sResult = ResultName(Decide(outcome));
    if (!outcome.bResult) {
        std::wstring sError;
        plugin.GetLastErrorMsg(sError);
        if (!sError.empty())
            sResult += L" (" + sError + L")";
    }
    Print(L"Restore: " + fs.sFsName + L": " + sResult);
    return outcome;
}

} // namespace

wchar_t TargetLetter(const FileSpace& fs)
{
    wchar_t wc = fs.wcFsDriveLetter;
    if ((fs.ulFsFlags & FS_MOUNTED_FOLDER) && !fs.sFsPath.empty())
        wc = fs.sFsPath[0];
    return static_cast<wchar_t>(std::towupper(wc));
}

RestoreOptions ParseRestoreOptions(const std::vector<std::wstring>& args)
{
    RestoreOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--restore") {
            options.bRestore = true;
            while (i + 1 < args.size() && args[i + 1].rfind(L"--", 0) != 0)
                options.names.push_back(args[++i]);
        } else if (args[i] == L"--password" && i + 1 < args.size()) {
            options.bPasswordGiven = true;
            options.sPassword = args[++i];
        } else if (args[i] == L"--verify") {
            options.bVerify = true;
        }
    }
    if (options.names.size() == 1 && Lower(options.names[0]) == L"all") {
        options.bAll = true;
        options.names.clear();
    }
    return options;
}

std::vector<FileSpace> ChooseFilespaces(const FileSpaceList& listing, const RestoreOptions& options,
                                        std::vector<std::wstring>& missing)
{
    missing.clear();
    std::vector<FileSpace> chosen;
    std::vector<std::wstring> wanted;
    for (const std::wstring& sName : options.names)
        wanted.push_back(Lower(sName));
    for (const FileSpace& fs : listing)
        if (options.bAll || std::find(wanted.begin(), wanted.end(), Lower(fs.sFsName)) != wanted.end())
            chosen.push_back(fs);
    for (size_t i = 0; i < wanted.size(); ++i) {
        bool bFound = std::any_of(listing.begin(), listing.end(),
                                  [&](const FileSpace& fs) { return Lower(fs.sFsName) == wanted[i]; });
        if (!bFound)
            missing.push_back(options.names[i]);
    }
    return chosen;
}

bool IsVolumeAbsentMessage(const std::wstring& sText)
{
    return sText.find(L"will be skipped as volume is not present") != std::wstring::npos;
}

bool IsIncompleteMessage(const std::wstring& sText)
{
    return sText.rfind(L"Only ", 0) == 0 && sText.find(L" objects counted were restored to ") != std::wstring::npos;
}

RestoreResult Decide(const FilespaceOutcome& o)
{
    if (!o.bInListing)
        return RestoreResult::NotInBackup;
    if (!o.bResult)
        return RestoreResult::Failed;
    auto has = [&](bool (*pTest)(const std::wstring&)) {
        return std::any_of(o.messages.begin(), o.messages.end(),
                           [&](const LoggedMessage& m) { return pTest(m.sText); });
    };
    if (has(&IsIncompleteMessage) || o.uiRestored < o.uiCounted)
        return RestoreResult::Incomplete;
    if (has(&IsVolumeAbsentMessage))
        return RestoreResult::Skipped;
    return RestoreResult::Restored;
}

std::wstring ResultName(RestoreResult enResult)
{
    switch (enResult) {
    case RestoreResult::Restored: return L"restored";
    case RestoreResult::Skipped: return L"skipped (volume absent)";
    case RestoreResult::Incomplete: return L"incomplete";
    case RestoreResult::Failed: return L"failed";
    default: return L"not in the backup";
    }
}

std::vector<std::wstring> FormatSummary(const std::vector<FilespaceOutcome>& outcomes)
{
    std::vector<std::wstring> lines;
    lines.push_back(L"Summary: " + std::to_wstring(outcomes.size()) + L" filespaces");
    lines.push_back(L"  " + Pad(L"Filespace", 24) + Pad(L"Counted", 8) + Pad(L"Restored", 8) + Pad(L"Bytes", 10) +
                    Pad(L"Time", 8) + Pad(L"Result", 24) + L"Messages");
    for (const FilespaceOutcome& o : outcomes) {
        size_t uiWarnings = 0, uiErrors = 0;
        for (const LoggedMessage& m : o.messages) {
            uiErrors += m.uiLevel == ML_ERROR;
            uiWarnings += m.uiLevel == ML_WARNING;
        }
        lines.push_back(L"  " + Pad(o.sName, 24) + Pad(std::to_wstring(o.uiCounted), 8) +
                        Pad(std::to_wstring(o.uiRestored), 8) + Pad(std::to_wstring(o.ullBytes), 10) +
                        Pad(FormatDuration(o.dSeconds), 8) + Pad(ResultName(Decide(o)), 24) +
                        std::to_wstring(o.messages.size()) + L" (" + std::to_wstring(uiErrors) + L" errors, " +
                        std::to_wstring(uiWarnings) + L" warnings)");
        for (const LoggedMessage& m : o.messages)
            lines.push_back(L"      [" + LevelName(m.uiLevel) + L"] " + m.sText);
    }
    return lines;
}

int RestoreExitCode(const std::vector<FilespaceOutcome>& outcomes)
{
    for (const FilespaceOutcome& o : outcomes) {
        RestoreResult enResult = Decide(o);
        if (enResult != RestoreResult::Restored && enResult != RestoreResult::Skipped)
            return 1;
    }
    return 0;
}

RestoreRun RunRestores(CRPL& plugin, const FileSpaceList& listing, const RestoreOptions& options)
{
    std::vector<std::wstring> missing;
    std::vector<FileSpace> chosen = ChooseFilespaces(listing, options, missing);
    RestoreRun run;
    std::vector<FilespaceOutcome>& outcomes = run.outcomes;
    bool bSnapshotTaken = false;
    RestoreSession session;
    session.sPassword = options.sPassword;
    plugin.SetLogMsgCallbackFn(&RestoreLogCallback, &session);
    plugin.SetProgMsgCallbackFn(&RestoreProgressCallback, &session);
    for (const FileSpace& fs : chosen) {
        // C: holds Wine's files too: what was there before is told apart from what came back.
        bool bOnC = TargetLetter(fs) == L'C';
        if (options.bVerify && bOnC && !bSnapshotTaken) {
            run.cBefore = ListTree(L"C:\\");
            bSnapshotTaken = true;
        }
        session.pRestoredPaths = bOnC ? &run.cRestored : nullptr;
        outcomes.push_back(RestoreOne(plugin, fs, session));
    }
    plugin.SetLogMsgCallbackFn(&LogCallback, nullptr);
    plugin.SetProgMsgCallbackFn(&ProgressCallback, nullptr);
    for (const std::wstring& sName : missing) {
        FilespaceOutcome outcome;
        outcome.sName = sName;
        outcome.bInListing = false;
        outcomes.push_back(outcome);
    }
    return run;
}

} // namespace refhost
