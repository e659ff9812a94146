// CVEXImpl::RestoreVssSystemState: one system-state component saved through the writers or as a
// legacy saveset, counted and then restored by recover by its saveset name. Writer files land in
// a staging folder of the Windows volume; the post-steps move them to their places.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "restore/restore_lines.h"
#include "support/handle.h"
#include "support/traced/update_reg.h"
#include "system/system_rules.h"
#include "trace/trace_scope.h"

namespace
{
const wchar_t kFn[] = L"CVEXImpl::RestoreVssSystemState";
const wchar_t kStagingFolder[] = L"\\temp\\nsr_recover";

void SendKind(CVEXImpl& impl, ProgressRecord& progress, unsigned uiKind)
{
    progress.uiKind = uiKind;
    impl.SendProgress(progress);
}

void DeletePendingRenames(const wchar_t* pFn)
{
    if (!UpdateReg::DeletePendingFileRenameOperations())
        CvexTrace().Line(TL_WARNING, pFn, L"DeletePendingFileRenameOperations failed");
}
} // namespace

bool CVEXImpl::RestoreVssSystemState(const std::wstring& sSaveset, const SYSTEMTIME& stBackupTime, DWORD dwCountGroup,
                                     DWORD dwRestoreGroup, unsigned& uiFilesToRestore, unsigned& uiFilesRestored)
{
    TraceScope scope(kFn);
    CvexTrace().Str(TL_INFO, kFn, L"sSaveset", sSaveset);
    if (sSaveset.empty())
        return scope.Fail(L"Invalid argument");
    if (!IsSafeText(sSaveset, safetext::Kind::Filespace, L"saveset name"))
        return scope.Fail(L"Unsafe saveset name");
    std::wstring sTemp;
    if (!GetEnvVar(L"TEMP", sTemp))
        return scope.Fail(L"GetEnvVar(TEMP) failed");
    ProgressRecord progress;
    progress.sText1 = sSaveset;
    progress.wcDriveLetter = L'?';
    if (!SendPassRecord(progress, PK_PASS_START))
        return scope.Fail(L"User aborted");
    if (!CountVssSystemState(progress, sSaveset, dwCountGroup))
        return scope.Fail(L"CountVssSystemState failed");
    DeletePendingRenames(kFn);
    uiFilesToRestore = progress.uiTotalFiles;
    if (!SendPassRecord(progress, PK_PASS_START))
        return scope.Fail(L"User aborted");
    const CvexCredentials& cred = m_NetWorkerCredentials;
    std::wstring sCmd = systemrules::VssCommandLine(m_sRecoverPath, cred.m_sServerName, cred.m_sClientName,
                                                    m_sPointInTime, sSaveset, false);
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(dwRestoreGroup)))
        return scope.Fail(L"RunCommand failed");
    SystemPass sys;
    sys.bInPlace = systemrules::RestoresInPlace(sSaveset);
    sys.bStaged = !sys.bInPlace;
    RestorePass pass;
    ReadPassOutput(dwRestoreGroup, pass,
                   [&](const std::wstring& sLine) { HandleSystemLine(sLine, sys, progress, pass); });
    CvexTrace().Int(TL_INFO, kFn, L"ullBytes", static_cast<long long>(sys.ullBytes));
    if (!EndPass(scope, progress, pass, 0))
        return false;
    if (!FinishSystemRestore(scope, progress, stBackupTime, uiFilesToRestore, uiFilesRestored, L"", sys.bSaidEmpty))
        return false;
    // The host may tell the operator that the post-steps are next.
    const std::wstring sMoving = MessageText(MSG_MOVING_SYSTEM_STATE);
    if (!sMoving.empty()) {
        progress.sText5 = sMoving;
        progress.uiKind = PK_MESSAGE;
        if (SendProgress(progress) != 0) {
            // The component is in place; the walk stops after it.
            m_Console.NoteUserAbort();
            m_Console.TellUserAbort();
        }
    }
    return true;
}

// The common end of a system-state restore that worked: the counters, the point-in-time rule and
// the host told. False (kind 3) when nothing came back although it should have.
bool CVEXImpl::FinishSystemRestore(TraceScope& scope, ProgressRecord& progress, const SYSTEMTIME& stBackupTime,
                                   unsigned& uiFilesToRestore, unsigned& uiFilesRestored, const wchar_t* pOf,
                                   bool bSaidEmpty)
{
    uiFilesRestored = progress.uiFilesRestored;
    CvexTrace().Int(TL_INFO, scope.fn(), L"uiFilesRestored", uiFilesRestored);
    if (!m_sPointInTime.empty() && EarlierThan(m_NetWorkerCredentials.m_Pit, stBackupTime)) {
        CvexTrace().Line(TL_WARNING, scope.fn(), (std::wstring(L"Point-in-Time is before backup time") + pOf).c_str());
    } else if (uiFilesRestored == 0 && uiFilesToRestore == 0 && bSaidEmpty) {
        // recover said the saveset holds no objects: it is restored in full. Silence is no such word.
        CvexTrace().Line(TL_WARNING, scope.fn(), L"The saveset holds no objects");
    } else if (uiFilesRestored == 0) {
        SendKind(*this, progress, PK_PASS_FAILED);
        return scope.Fail(L"No files were restored");
    }
    if (uiFilesRestored < uiFilesToRestore)
        CvexTrace().Line(TL_WARNING, scope.fn(), L"Not all files were restored");
    else
        uiFilesToRestore = uiFilesRestored;
    // Aborted at the last record: the component fails, its post-steps do not run, and what came
    // back stays where recover put it.
    if (!SendPassRecord(progress, PK_PASS_FINISHED))
        return scope.Fail(L"User aborted");
    return scope.End();
}

bool CVEXImpl::CountVssSystemState(ProgressRecord& progress, const std::wstring& sSaveset, DWORD dwCountGroup)
{
    const wchar_t* fn = L"CVEXImpl::CountVssSystemState";
    TraceScope scope(fn);
    if (sSaveset.empty())
        return scope.Fail(L"Invalid saveset argument");
    DeletePendingRenames(fn);
    const CvexCredentials& cred = m_NetWorkerCredentials;
    std::wstring sCmd = systemrules::VssCommandLine(m_sRecoverPath, cred.m_sServerName, cred.m_sClientName,
                                                    m_sPointInTime, sSaveset, true);
    return RunSystemCount(scope, sCmd, dwCountGroup, progress);
}

// The count pass of every kind: each object line counts; the failure lines of the restore
// fail it too.
bool CVEXImpl::RunSystemCount(TraceScope& scope, const std::wstring& sCmd, DWORD dwGroup, ProgressRecord& progress)
{
    progress.uiTotalFiles = 0;
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(dwGroup)))
        return scope.Fail(L"RunCommand failed");
    const std::wstring sCounting = MessageText(MSG_COUNTING_OBJECTS);
    RestorePass pass;
    ReadPassOutput(dwGroup, pass, [&](const std::wstring& sLine) {
        const systemrules::SystemLine eLine = systemrules::ClassifySystemLine(sLine);
        if (eLine == systemrules::SystemLine::NoSession)
            NoteNoSession(sLine, pass);
        else if (eLine == systemrules::SystemLine::NoSaveset)
            NoteNoSaveset(sLine, pass);
        if (eLine != systemrules::SystemLine::Restore)
            return;
        RestoreLine kind = ClassifyRestoreLine(sLine, m_NetWorkerCredentials.m_sClientName);
        if (NoteFailureLine(kind, pass) || kind != RestoreLine::Object)
            return;
        ++progress.uiTotalFiles;
        if (sCounting.empty())
            return;
        progress.sText5 = sCounting;
        progress.uiKind = PK_MESSAGE;
        if (SendProgress(progress) != 0) {
            m_Console.NoteUserAbort();
            pass.bAbortAnswered = true;
        }
    });
    CvexTrace().Int(TL_INFO, scope.fn(), L"uiTotalFiles", progress.uiTotalFiles);
    return EndPass(scope, progress, pass, 0) && scope.End();
}

// recover says it has no session with the server: the pass fails with the reason.
void CVEXImpl::NoteNoSession(const std::wstring& sLine, RestorePass& pass)
{
    CvexTrace().Str(TL_ERROR, kFn, L"No session", sLine);
    LogStdMsg(ML_ERROR, systemrules::NoSessionMessage(sLine));
    pass.bFailed = true;
}

// recover cannot find the saveset: the component is not in the backup as the listing said.
void CVEXImpl::NoteNoSaveset(const std::wstring& sLine, RestorePass& pass)
{
    CvexTrace().Str(TL_ERROR, kFn, L"Saveset not found", sLine);
    m_sComponentFailure = L"saveset not found";
    pass.bFailed = true;
}

void CVEXImpl::HandleSystemLine(const std::wstring& sLine, SystemPass& sys, ProgressRecord& progress, RestorePass& pass)
{
    switch (systemrules::ClassifySystemLine(sLine)) {
    case systemrules::SystemLine::Writer:
        if (sys.bStaged && sys.sStaging.empty())
            GetTempDir(sys.sStaging);
        return;
    case systemrules::SystemLine::Ignored: return;
    case systemrules::SystemLine::NoSession: NoteNoSession(sLine, pass); return;
    case systemrules::SystemLine::NoSaveset: NoteNoSaveset(sLine, pass); return;
    case systemrules::SystemLine::NoObjects: sys.bSaidEmpty = true; return;
    case systemrules::SystemLine::Restore: break;
    }
    RestoreLine kind = ClassifyRestoreLine(sLine, m_NetWorkerCredentials.m_sClientName);
    if (NoteFailureLine(kind, pass))
        return;
    if (kind != RestoreLine::Object) {
        NoteReportLine(kind, sLine, pass);
        return;
    }
    progress.sText1 = sLine;
    ++progress.uiFilesRestored;
    progress.uiKind = PK_OBJECT_RESTORED;
    progress.ullCurrentSize = progress.ullCurrentSize2 = 0;
    if (sLine.back() != L'\\') {
        std::wstring sSized = sys.bInPlace ? sLine : systemrules::StagedCopy(sLine, sys.sStaging);
        if (!sSized.empty() && (sys.bInPlace || !sys.sStaging.empty()))
            sys.ullBytes += SizeRestoredFile(sSized, progress);
    }
    if (SendProgress(progress) != 0) {
        m_Console.NoteUserAbort();
        pass.bAbortAnswered = true;
    }
}

unsigned long long CVEXImpl::SizeRestoredFile(const std::wstring& sPath, ProgressRecord& progress)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(sPath.c_str(), GetFileExInfoStandard, &data)) {
        DWORD dwError = GetLastError();
        if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND)
            CvexTrace().ApiFailure(kFn, L"GetFileAttributesEx failed", dwError);
        return 0;
    }
    progress.ullCurrentSize = progress.ullCurrentSize2 =
        (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return progress.ullCurrentSize;
}

bool CVEXImpl::GetTempDir(std::wstring& sDir)
{
    const wchar_t* fn = L"CVEXImpl::GetTempDir";
    TraceScope scope(fn);
    sDir.clear();
    const std::wstring sSearched = std::wstring(1, m_wcWinBOOT) + L":" + kStagingFolder;
    WIN32_FIND_DATAW data = {};
    velmora::unique_find hFind(FindFirstFileW((sSearched + L"\\*").c_str(), &data));
    if (!hFind) {
        DWORD dwError = GetLastError();
        if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
            return scope.End(); // "No files found": nothing staged
        LogVarMsg(ML_ERROR, MSG_FIND_FIRST_FILE_FAILED, dwError);
        return scope.Fail(L"FindFirstFile failed");
    }
    std::wstring sNewest;
    ULARGE_INTEGER newest = {};
    do {
        std::wstring sName = data.cFileName;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || sName == L"." || sName == L"..")
            continue;
        ULARGE_INTEGER created = {{data.ftCreationTime.dwLowDateTime, data.ftCreationTime.dwHighDateTime}};
        if (created.QuadPart != 0 && created.QuadPart > newest.QuadPart) {
            newest = created;
            sNewest = sName;
        }
    } while (FindNextFileW(hFind.get(), &data));
    if (sNewest.empty())
        return scope.Fail(L"No staging folder");
    sDir = sSearched + L"\\" + sNewest + L"\\";
    CvexTrace().Str(TL_INFO, fn, L"sDir", sDir);
    return scope.End();
}
