// The system-state components restored by saveset identifier: the NMM savesets and the
// disaster-recovery ("OSSR_") savesets. The media database names them; each chosen saveset is
// counted and restored by recover -S.
#include "catalogue/mminfo_report.h"
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "restore/recover_literals.h"
#include "system/system_rules.h"
#include "trace/trace_scope.h"

namespace
{
const DWORD kNmmCount = 0x200100;
const DWORD kNmmRestore = 0x200200;
const DWORD kDrCount = 0x100100;
const DWORD kDrRestore = 0x100200;

} // namespace

// Every saveset of the client's media database report whose name holds the target text, then,
// per name, the one the volumes' point in time picks.
bool CVEXImpl::FindSsidSavesets(TraceScope& scope, const std::wstring& sTarget, DWORD dwGroup,
                                std::vector<SsidInfo>& chosen)
{
    const CvexCredentials& cred = m_NetWorkerCredentials;
    std::wstring sCmd = catalogue::MminfoCommandLine(m_sMminfoPath, cred.m_sServerName, cred.m_sClientName);
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(dwGroup)))
        return scope.Fail(L"RunCommand(Mminfo) failed");
    std::vector<SsidInfo> lines;
    std::wstring sLine;
    bool bPasswordAsked = false;
    bool bReset = false; // the tool said the server reset its session: the report is cut short
    while (GetLineNoPassword(sLine, CvexTrace().TraceOutput(dwGroup), bPasswordAsked)) {
        bReset = bReset || LineHas(sLine, RL_FORCIBLY_CLOSED);
        std::vector<SsidInfo> one;
        ParseMminfo(sLine, sTarget, one);
        if (!one.empty())
            lines.push_back(one.front());
    }
    if (bPasswordAsked)
        return scope.Fail(L"mminfo asked for a password");
    const bool bLost = ConnectionLost() || bReset;
    if (UserAborted() || bLost) {
        if (bLost)
            LogStdMsg(ML_ERROR, MSG_CONNECTION_LOST);
        return scope.Fail(UserAborted() ? L"User aborted" : L"Connection lost");
    }
    const SYSTEMTIME* pPit = m_sPointInTime.empty() ? nullptr : &cred.m_Pit;
    chosen = systemrules::ChooseSavesets(lines, pPit);
    for (const SsidInfo& info : chosen)
        CvexTrace().Str(TL_INFO, scope.fn(), L"sSsid", info.sSsid + L" " + info.sName);
    return true;
}

bool CVEXImpl::RestoreNmmSaveset(const std::wstring& sTarget, const SYSTEMTIME& stBackupTime,
                                 unsigned& uiFilesToRestore, unsigned& uiFilesRestored)
{
    TraceScope scope(L"CVEXImpl::RestoreNmmSaveset");
    CvexTrace().Str(TL_INFO, scope.fn(), L"sTarget", sTarget);
    if (sTarget.empty())
        return scope.Fail(L"Invalid argument");
    // The report names "SYSTEM COMPONENTS:\" without the blank that the component's name carries.
    std::wstring sMatch = sTarget;
    while (sMatch.size() > 1 && sMatch.back() == L' ')
        sMatch.pop_back();
    std::vector<SsidInfo> savesets;
    if (!FindSsidSavesets(scope, sMatch, kNmmRestore, savesets))
        return false;
    if (savesets.empty())
        return scope.Fail(L"No NMM savesets found");
    SsidWalk walk{false, L" of NMM savset"};
    for (const SsidInfo& info : savesets)
        if (!RestoreOneSsid(info, L"[NMM] " + info.sName + L" [" + info.sSsid + L"]", stBackupTime, walk))
            return scope.Fail(L"Saveset failed");
    uiFilesToRestore = walk.uiToRestore;
    uiFilesRestored = walk.uiRestored;
    return scope.End();
}

bool CVEXImpl::RestoreDisasterRecovery(const SYSTEMTIME& stBackupTime, unsigned& uiFilesToRestore,
                                       unsigned& uiFilesRestored)
{
    TraceScope scope(L"CVEXImpl::RestoreDisasterRecovery");
    std::vector<SsidInfo> savesets;
    if (!FindSsidSavesets(scope, L"OSSR_", kDrRestore, savesets))
        return false;
    if (savesets.empty())
        return scope.Fail(L"No OSSR_x savesets found");
    SsidWalk walk{true, L" of DISASTER_RECOVERY"};
    for (const SsidInfo& info : savesets) {
        if (!CheckDestExists(info.sTarget, false)) {
            CvexTrace().Str(TL_WARNING, scope.fn(), L"Target missing", info.sTarget);
            continue;
        }
        if (!RestoreOneSsid(info, L"DISASTER_RECOVERY:\\ [" + info.sSsid + L"]", stBackupTime, walk))
            return scope.Fail(L"Saveset failed");
    }
    uiFilesToRestore = walk.uiToRestore;
    uiFilesRestored = walk.uiRestored;
    return scope.End();
}

// Counts and restores one saveset by its SSID; its counters are added to the walk's.
bool CVEXImpl::RestoreOneSsid(const SsidInfo& info, const std::wstring& sTitle, const SYSTEMTIME& stBackupTime,
                              SsidWalk& walk)
{
    TraceScope scope(walk.bDisasterRecovery ? L"CVEXImpl::RestoreDisasterRecoverySsid" : L"CVEXImpl::RestoreNmmSsid");
    // The id and the target come from the media database report and go onto recover's command line.
    if (!IsSafeText(info.sSsid, safetext::Kind::Ssid, L"saveset id") ||
        (walk.bDisasterRecovery && !IsSafeText(info.sTarget, safetext::Kind::Path, L"restore target")))
        return scope.Fail(L"Unsafe saveset id or target");
    ProgressRecord progress;
    progress.wcDriveLetter = L'?';
    progress.sText1 = sTitle;
    if (!SendPassRecord(progress, PK_PASS_START))
        return scope.Fail(L"User aborted");
    const bool bCountOk =
        walk.bDisasterRecovery ? CountDisasterRecovery(info, progress) : CountNmmSaveset(info, progress);
    if (!bCountOk)
        return scope.Fail(walk.bDisasterRecovery ? L"CountDisasterRecovery failed" : L"CountNmmSaveset failed");
    unsigned uiToRestore = progress.uiTotalFiles;
    if (!SendPassRecord(progress, PK_PASS_START))
        return scope.Fail(L"User aborted");
    const std::wstring sTarget = walk.bDisasterRecovery ? info.sTarget : std::wstring();
    std::wstring sCmd =
        systemrules::SsidCommandLine(m_sRecoverPath, m_NetWorkerCredentials.m_sServerName, info.sSsid, sTarget, false);
    const DWORD dwGroup = walk.bDisasterRecovery ? kDrRestore : kNmmRestore;
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(dwGroup)))
        return scope.Fail(L"RunCommand(Recover) failed");
    SystemPass sys;
    sys.bInPlace = true;
    RestorePass pass;
    ReadPassOutput(dwGroup, pass, [&](const std::wstring& sLine) { HandleSystemLine(sLine, sys, progress, pass); });
    if (!EndPass(scope, progress, pass, 0))
        return false;
    unsigned uiRestored = 0;
    if (!FinishSystemRestore(scope, progress, stBackupTime, uiToRestore, uiRestored, walk.pPitWarning, sys.bSaidEmpty))
        return false;
    walk.uiToRestore += uiToRestore;
    walk.uiRestored += uiRestored;
    return true;
}

bool CVEXImpl::CountNmmSaveset(const SsidInfo& info, ProgressRecord& progress)
{
    TraceScope scope(L"CVEXImpl::CountNmmSaveset");
    std::wstring sCmd =
        systemrules::SsidCommandLine(m_sRecoverPath, m_NetWorkerCredentials.m_sServerName, info.sSsid, L"", true);
    return RunSystemCount(scope, sCmd, kNmmCount, progress);
}

bool CVEXImpl::CountDisasterRecovery(const SsidInfo& info, ProgressRecord& progress)
{
    TraceScope scope(L"CVEXImpl::CountDisasterRecovery");
    std::wstring sCmd = systemrules::SsidCommandLine(m_sRecoverPath, m_NetWorkerCredentials.m_sServerName, info.sSsid,
                                                     info.sTarget, true);
    return RunSystemCount(scope, sCmd, kDrCount, progress);
}
