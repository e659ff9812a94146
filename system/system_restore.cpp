// CVEXImpl::RestoreSystem (the host's PrepareSystem): after the volumes, every system-state
// component of the listing is restored into the offline installation in backup-time order, each
// with the routine of its kind and its post-steps; then the boot and system files of the saved
// configuration are copied and the program folders get their short names.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "support/traced/update_reg.h"
#include "system/program_folders.h"
#include "system/system_rules.h"
#include "trace/trace_scope.h"

namespace
{
const wchar_t kFn[] = L"CVEXImpl::RestoreSystem";

// The hive capture of the boot component ends on every way out of it, an exception included:
// the thread is stopped and the hives are let go. Both steps do nothing when done already.
class HiveCaptureGuard
{
public:
    HiveCaptureGuard() = default;
    HiveCaptureGuard(const HiveCaptureGuard&) = delete;
    HiveCaptureGuard& operator=(const HiveCaptureGuard&) = delete;
    ~HiveCaptureGuard()
    {
        if (!m_bStarted)
            return;
        try {
            CVEXImpl::StopHiveCapture(hThread);
            CVEXImpl::ReleaseRegistryHives();
        } catch (...) {
        }
    }
    void Started() { m_bStarted = true; }

    velmora::unique_handle_null hThread;

private:
    bool m_bStarted = false;
};
} // namespace

bool CVEXImpl::RestoreSystem()
{
    MiniNTBodge bodge;
    TraceScope scope(kFn);
    CvexTrace().Banner(L"Restoring SystemState savesets");
    m_sShortNameOutcome.clear();
    m_ComponentFailures.clear();
    // Without a listing there is no offline installation to restore into.
    if (m_wcWinBOOT == L'-') {
        LogStdMsg(ML_ERROR, MSG_NO_BOOT_LETTER);
        return scope.Fail(L"No BOOT drive letter");
    }
    m_Console.ClearOperationFlags();
    PointTempAtWindowsVolume();
    if (!StopNsrExecDaemon())
        return scope.Fail(L"Failed to stop nsrexecd");
    if (!StartNsrExecDaemon())
        return scope.Fail(L"Failed to start nsrexecd");
    if (systemrules::NeedsPortQuery(m_usRecoverNetWorkerClientVersionMajor, m_usRecoverNetWorkerClientVersionMinor,
                                    m_usRecoverNetWorkerClientVersionSP)) {
        QueryPorts(m_NetWorkerCredentials.m_sServerName);
        QueryPorts(m_NetWorkerCredentials.m_sClientName);
    }
    Dump();
    unsigned uiFirstFailure = 0;
    for (SystemStateEntry& entry : m_SystemState) {
        if (UserAborted())
            break; // the operator asked to stop: the remaining components are not started
        unsigned uiFailure = RestoreComponent(entry);
        if (!uiFirstFailure)
            uiFirstFailure = uiFailure;
    }
    Dump();
    if (UserAborted()) {
        // The aborted component's failure came after the abort: the host is to read the abort.
        SetLastErrorMsg(LoadMessageText(MSG_USER_ABORTED).c_str());
        return scope.Fail(L"User aborted");
    }
    if (uiFirstFailure) {
        // The components after a failure went on and may have cleared the last error: the host is
        // to read why the preparation failed.
        SetLastErrorMsg(LoadMessageText(uiFirstFailure).c_str());
        return scope.Fail(L"Didn't restore all system state savesets");
    }
    if (!CopyConfigurationFiles(scope))
        return false;
    FixProgramFolderNames();
    Dump();
    return scope.End();
}

// The process's TEMP and TMP point at the Windows volume's TEMP folder from now on, so that the
// daemon started next stages there; Fini puts the old values back.
void CVEXImpl::PointTempAtWindowsVolume()
{
    const std::wstring sTemp = std::wstring(1, m_wcWinBOOT) + L":\\TEMP";
    if (!CreateDirectoryW(sTemp.c_str(), nullptr)) {
        DWORD dwError = GetLastError();
        if (dwError != ERROR_ALREADY_EXISTS)
            CvexTrace().ApiFailure(kFn, L"CreateDirectory failed", dwError);
    }
    if (!m_bTempSaved) {
        m_bTempSaved = true;
        m_bHadTemp = GetEnvVar(L"TEMP", m_sSavedTemp);
        m_bHadTmp = GetEnvVar(L"TMP", m_sSavedTmp);
    }
    for (const wchar_t* pName : {L"TEMP", L"TMP"})
        if (!SetEnvironmentVariableW(pName, sTemp.c_str()))
            CvexTrace().ApiFailure(kFn, L"SetEnvironmentVariable failed", GetLastError());
}

void CVEXImpl::RestoreTempVariables()
{
    if (!m_bTempSaved)
        return;
    SetEnvironmentVariableW(L"TEMP", m_bHadTemp ? m_sSavedTemp.c_str() : nullptr);
    SetEnvironmentVariableW(L"TMP", m_bHadTmp ? m_sSavedTmp.c_str() : nullptr);
    m_bTempSaved = false;
}

// One entry of the walk: its restore routine, then its post-steps. A failure logs the row's
// message and returns it (0 when the component is restored or skipped); the walk goes on.
unsigned CVEXImpl::RestoreComponent(SystemStateEntry& entry)
{
    const systemrules::ComponentRow& row = systemrules::FindComponent(entry.eType);
    CvexTrace().Int(TL_INFO, kFn, L"eType", entry.eType);
    entry.uiFilesToRestore = entry.uiFilesRestored = 0;
    if (row.routine == systemrules::Routine::Skip)
        return 0;
    m_sComponentFailure.clear();
    HiveCaptureGuard capture;
    bool bRestored = false;
    if (entry.eType == SST_VSS_SYSTEM_BOOT && !PreVssSystemBoot(capture.hThread)) {
        CvexTrace().Line(TL_ERROR, kFn, L"PreVssSystemBoot failed");
    } else {
        if (capture.hThread)
            capture.Started();
        bRestored = RunComponentRestore(row, entry);
        // The hives must all have come back before anything is moved into place.
        if (bRestored && capture.hThread && !CapturedHivesComplete(capture.hThread)) {
            TellComponentFailed(row);
            bRestored = false;
        }
    }
    if (!bRestored)
        return FailComponent(row, row.uiRestoreFailed); // the guard lets the hives go, nothing is moved
    if (!RunPostSteps(row, capture.hThread)) {
        TellComponentFailed(row);
        return FailComponent(row, row.uiPostFailed);
    }
    WarnIfIncomplete(row, entry);
    return 0;
}

// The host heard the component end well (kind 4); what came after failed it: a kind 3 record
// under its title corrects that.
void CVEXImpl::TellComponentFailed(const systemrules::ComponentRow& row)
{
    ProgressRecord progress;
    progress.sText1 = row.pSaveset;
    progress.wcDriveLetter = L'?';
    progress.uiKind = PK_PASS_FAILED;
    SendProgress(progress);
}

// The component's message, and its line for the summary file.
unsigned CVEXImpl::FailComponent(const systemrules::ComponentRow& row, unsigned uiMessage)
{
    LogStdMsg(ML_ERROR, uiMessage);
    std::wstring sLine = LoadMessageText(uiMessage);
    if (!m_sComponentFailure.empty())
        sLine += L" (" + m_sComponentFailure + L")";
    m_ComponentFailures.push_back(sLine);
    CvexTrace().Str(TL_ERROR, kFn, row.pSaveset, sLine);
    return uiMessage;
}

// Stops the capture and looks at the hives it was to hold: each one there and not empty.
bool CVEXImpl::CapturedHivesComplete(velmora::unique_handle_null& hThread)
{
    StopHiveCapture(hThread);
    const std::vector<std::wstring> problems = MissingOrEmptyHives(RepairRegistryFolder());
    if (problems.empty())
        return true;
    m_sComponentFailure = L"hives missing or empty: ";
    for (size_t i = 0; i < problems.size(); ++i)
        m_sComponentFailure += (i ? L", " : L"") + problems[i];
    CvexTrace().Line(TL_ERROR, kFn, m_sComponentFailure.c_str());
    return false;
}

bool CVEXImpl::RunComponentRestore(const systemrules::ComponentRow& row, SystemStateEntry& entry)
{
    switch (row.routine) {
    case systemrules::Routine::Vss:
        return RestoreVssSystemState(row.pSaveset, entry.stBackupTime, row.dwCountGroup, row.dwRestoreGroup,
                                     entry.uiFilesToRestore, entry.uiFilesRestored);
    case systemrules::Routine::Nmm:
        return RestoreNmmSaveset(row.pSaveset, entry.stBackupTime, entry.uiFilesToRestore, entry.uiFilesRestored);
    case systemrules::Routine::DisasterRecovery:
        return RestoreDisasterRecovery(entry.stBackupTime, entry.uiFilesToRestore, entry.uiFilesRestored);
    case systemrules::Routine::Skip: break;
    }
    return true;
}

bool CVEXImpl::RunPostSteps(const systemrules::ComponentRow& row, velmora::unique_handle_null& hMonitor)
{
    using namespace systemrules;
    if ((row.uiPostSteps & POST_MOVE_NSR_HIVES) && !MoveRegistryFilesNSR())
        return CvexTrace().Line(TL_ERROR, kFn, L"MoveRegistryFilesNSR failed"), false;
    if ((row.uiPostSteps & POST_BOOT) && !PostVssSystemBoot(hMonitor))
        return CvexTrace().Line(TL_ERROR, kFn, L"PostVssSystemBoot failed"), false;
    if ((row.uiPostSteps & POST_FILESET) && !PostVssSystemFileset())
        return CvexTrace().Line(TL_ERROR, kFn, L"PostVssSystemFileset failed"), false;
    if ((row.uiPostSteps & POST_MOVE_SYSTEM_FILES) && !MoveSystemFiles())
        return CvexTrace().Line(TL_ERROR, kFn, L"MoveSystemFiles failed"), false;
    return true;
}

// A component that brought back fewer objects than its count found is not a silent success.
void CVEXImpl::WarnIfIncomplete(const systemrules::ComponentRow& row, const SystemStateEntry& entry)
{
    if (entry.uiFilesRestored >= entry.uiFilesToRestore)
        return;
    std::wstring sName = row.routine == systemrules::Routine::DisasterRecovery ? L"DISASTER_RECOVERY:\\" : row.pSaveset;
    LogVarMsg(ML_WARNING, MSG_COMPONENT_INCOMPLETE, sName.c_str(), entry.uiFilesRestored, entry.uiFilesToRestore);
}

// The boot and system files of the saved configuration, once every component is in place.
bool CVEXImpl::CopyConfigurationFiles(TraceScope& scope)
{
    if (!RestoreQERNCFG()) {
        LogStdMsg(ML_ERROR, MSG_RESTORE_BOOT_SYSTEM_FAILED);
        return scope.Fail(L"RestoreQERNCFG failed");
    }
    if (m_bCopyBOOT && !CopyBOOT()) {
        LogStdMsg(ML_ERROR, MSG_COPY_BOOT_FILES_FAILED);
        return scope.Fail(L"CopyBOOT failed");
    }
    if (m_bCopySYSTEM && !CopySYSTEM()) {
        LogStdMsg(ML_ERROR, MSG_COPY_SYSTEM_FILES_FAILED);
        return scope.Fail(L"CopySYSTEM failed");
    }
    return true;
}

void CVEXImpl::FixProgramFolderNames()
{
    ShortNameOutcome outcome = ShortNameOutcome::Failed;
    Win32ShortNames seam;
    if (!CorrectProgramFilesDirs(m_wcWinBOOT, seam, outcome)) {
        CvexTrace().Line(TL_WARNING, kFn, L"CorrectProgramFilesDirs failed");
        if (outcome == ShortNameOutcome::SecondPassUndone || outcome == ShortNameOutcome::Failed)
            LogVarMsg(ML_WARNING, MSG_SHORT_NAMES_NOT_CORRECTED, (std::wstring(1, m_wcWinBOOT) + L":").c_str());
    }
    m_sShortNameOutcome = ShortNameOutcomeText(outcome);
}
