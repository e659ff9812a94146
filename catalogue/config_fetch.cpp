// CVEXImpl::GetConfig: the configuration saved with the backup ("QERNCFG" of the Windows volume)
// is fetched, copied into the host's configuration folder and read; RestoreQERNCFG puts the
// folder back onto the restored Windows volume.
#include "catalogue/saved_config.h"
#include "client/init.h"
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "restore/recover_literals.h"
#include "support/secure_wipe.h"
#include "support/traced/update_reg.h"
#include "trace/trace.h"

#include <cwchar>

namespace
{

const wchar_t kFn[] = L"CVEXImpl::GetConfig";
const DWORD kGroupConfig = 0x80;
const DWORD kRetryPauseMs = 5000;

} // namespace

// The configuration message: with a point in time it names it.
bool CVEXImpl::FailConfig(const wchar_t* pFn, const wchar_t* pReason)
{
    if (m_sPointInTime.empty())
        LogStdMsg(ML_ERROR, MSG_EXTRACT_CONFIG_FAILED);
    else
        LogVarMsg(ML_ERROR, MSG_EXTRACT_CONFIG_PIT_FAILED, m_sPointInTime.c_str());
    CvexTrace().EndFail(pFn, pReason);
    return false;
}

bool CVEXImpl::GetConfig(const std::wstring& sConfigDir, const std::wstring& sFilespace)
{
    CvexTrace().Start(kFn);
    CvexTrace().Str(TL_INFO, kFn, L"sConfigDir", sConfigDir);
    CvexTrace().Str(TL_INFO, kFn, L"sFilespace", sFilespace);
    if (sFilespace.empty() || sConfigDir.empty())
        return FailConfig(kFn, L"Invalid argument");
    const std::wstring sStaging = catalogue::StagingFolder(sConfigDir);
    // Both reach recover's command lines; nothing is emptied or fetched before this.
    if (!IsSafeText(sStaging, safetext::Kind::Path, L"configuration folder") ||
        !IsSafeText(sFilespace + L"QERNCFG", safetext::Kind::Filespace, L"configuration path"))
        return FailConfig(kFn, L"Unsafe folder or path");
    m_sConfigDir = sConfigDir;
    if (!FetchConfigItems(sStaging, sFilespace + L"QERNCFG"))
        return false;
    if (!CopyConfig())
        return FailConfig(kFn, L"CopyConfig failed");
    if (m_bUserEditCfg)
        UserEditCfg();
    if (!GetBOOTandSYSTEM()) {
        LogStdMsg(ML_ERROR, MSG_NO_BOOT_SYSTEM_LETTERS);
        CvexTrace().EndFail(kFn, L"GetBOOTandSYSTEM failed");
        return false;
    }
    ReadBackupClientVersion();
    if (catalogue::RecoveryClientTooOld(m_usBackupNetWorkerClientVersionMajor, m_usBackupNetWorkerClientVersionMinor,
                                        m_usRecoverNetWorkerClientVersionMajor,
                                        m_usRecoverNetWorkerClientVersionMinor)) {
        StopNsrExecDaemon();
        LogVarMsg(ML_ERROR, MSG_CLIENT_VERSION_TOO_OLD, m_sRecoverNetWorkerClientVersion.c_str(),
                  m_sBackupNetWorkerClientVersion.c_str());
        CvexTrace().EndFail(kFn, L"Recovery client older than backup client");
        return false;
    }
    if (!QueryPorts(L""))
        CvexTrace().Line(TL_WARNING, kFn, L"QueryPorts failed");
    CvexTrace().End(kFn);
    return true;
}

// Fetches the four items into the emptied staging folder.
bool CVEXImpl::FetchConfigItems(const std::wstring& sStaging, const std::wstring& sSaveset)
{
    CvexTrace().Str(TL_INFO, kFn, L"sStaging", sStaging);
    if (!PrepareConfigFolders(sStaging))
        return FailConfig(kFn, L"Cannot prepare the configuration folders");
    m_Console.ClearOperationFlags();
    for (const wchar_t* pItem : catalogue::kConfigItems) {
        const std::wstring sPath = sSaveset + L"\\" + pItem;
        // The pause keeps the host's heartbeat; its abort there ends the fetch.
        auto pause = [this] {
            if (m_Console.Pause(kRetryPauseMs))
                return true;
            CvexTrace().EndFail(kFn, L"User aborted");
            return false;
        };
        catalogue::FetchResult result =
            catalogue::FetchWithRetries([&] { return FetchConfigItem(sStaging, sPath); }, pause);
        if (result == catalogue::FetchResult::Retry) {
            LogStdMsg(ML_ERROR, MSG_CONNECTION_TIMED_OUT);
            CvexTrace().EndFail(kFn, L"Connection timed out");
            return false;
        }
        if (result == catalogue::FetchResult::Failed)
            return false;
    }
    // The summary is what the recovery is built on: without it there is no configuration.
    if (!catalogue::IsFile(sStaging + L"\\" + catalogue::kConfigItems[0]))
        return FailConfig(kFn, L"disrec.ini not restored");
    return true;
}

// One recover run for one item; every failure has posted its message.
catalogue::FetchResult CVEXImpl::FetchConfigItem(const std::wstring& sStaging, const std::wstring& sPath)
{
    const CvexCredentials& cred = m_NetWorkerCredentials;
    const std::wstring sCmd = catalogue::FetchCommandLine(m_sRecoverPath, cred.m_sServerName, cred.m_sClientName,
                                                          m_sPointInTime, sStaging, sPath);
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(kGroupConfig))) {
        FailConfig(kFn, L"RunCommand failed");
        return catalogue::FetchResult::Failed;
    }
    catalogue::FetchResult result = catalogue::FetchResult::Done;
    bool bDecided = false; // a failure or a retry is noted: the rest is read and discarded
    std::wstring sLine;
    while (GetLine(sLine, CvexTrace().TraceOutput(kGroupConfig))) {
        if (!AnswerPasswordRequest(kFn)) {
            FailConfig(kFn, L"ProvidePassword failed");
            return catalogue::FetchResult::Failed;
        }
        if (sLine.empty() || UserAborted() || bDecided)
            continue;
        catalogue::FetchLine kind = catalogue::ClassifyFetchLine(sLine);
        if (unsigned uiMessage = catalogue::FetchFailureMessage(kind)) {
            LogStdMsg(ML_ERROR, uiMessage);
            result = catalogue::FetchResult::Failed;
            bDecided = true;
        } else if (kind == catalogue::FetchLine::TimedOut) {
            LogStdMsg(ML_WARNING, MSG_CONNECTION_RETRYING);
            result = catalogue::FetchResult::Retry;
            bDecided = true;
        } else if (kind == catalogue::FetchLine::IncorrectPassword) {
            velmora::wipe(m_sPassword); // the host is asked again at the next prompt
        } else if (kind == catalogue::FetchLine::SkippedProtected) {
            CvexTrace().Str(TL_WARNING, kFn, L"Skipped protected file", sLine);
        } else if (kind == catalogue::FetchLine::RecoverMessage) {
            std::wstring sText;
            if (ParseRecoverMsg(sLine, sText))
                LogVarMsg(ML_WARNING, MSG_NETWORKER_MESSAGE, sText.c_str());
        }
    }
    if (EndedAfterAbortOrLoss(kFn))
        return catalogue::FetchResult::Failed;
    if (result == catalogue::FetchResult::Failed)
        CvexTrace().EndFail(kFn, L"recover failed");
    return result;
}

void CVEXImpl::ReadBackupClientVersion()
{
    std::wstring sVersion, sDir;
    if (UpdateReg::LoadNwInfo(m_sConfigDir) && UpdateReg::GetOrigNetWorkerClientVersion(sVersion) &&
        !sVersion.empty()) {
        if (UpdateReg::GetOrigNetWorkerClientDir(sDir))
            m_sBackupNetWorkerClientDir = sDir;
    } else {
        CvexTrace().Line(TL_INFO, kFn, L"NWInfo not present or can't be loaded ... trying disrec.ini");
        const std::wstring sIni = m_sConfigDir + L"\\disrec.ini";
        catalogue::ForgetProfileCache(sIni);
        wchar_t wsz[64] = {};
        GetPrivateProfileStringW(L"Main", L"NwClientVersion", L"", wsz, 64, sIni.c_str());
        sVersion = wsz;
    }
    m_sBackupNetWorkerClientVersion = sVersion;
    initseq::ClientVersion v = initseq::SplitClientVersion(sVersion);
    m_usBackupNetWorkerClientVersionMajor = v.usMajor;
    m_usBackupNetWorkerClientVersionMinor = v.usMinor;
    m_usBackupNetWorkerClientVersionSP = v.usSP;
    CvexTrace().Str(TL_INFO, kFn, L"m_sBackupNetWorkerClientVersion", m_sBackupNetWorkerClientVersion);
}

bool CVEXImpl::GetBOOTandSYSTEM()
{
    const wchar_t* fn = L"CVEXImpl::GetBOOTandSYSTEM";
    CvexTrace().Start(fn);
    const std::wstring sIni = m_sConfigDir + L"\\disrec.ini";
    catalogue::SavedMachine m = catalogue::ReadSavedMachine(sIni);
    m_bVistaOrLater = m.bVistaOrLater;
    m_bIsCore = m.bIsCore;
    m_bIs64Bit = m.bIs64Bit;
    if (m.uiError != 0) {
        LogStdMsg(ML_ERROR, m.uiError);
        CvexTrace().EndFail(fn, m.sNote.c_str());
        return false;
    }
    m_wcWinBOOT = m.wcBoot;
    m_wcWinSYSTEM = m.wcSystem;
    m_wcWinEFI = m.wcEfi;
    m_bEFI = m.bEfi;
    m_sWinDir = m.sWinDir;
    if (!m.bCopySystem)
        m_bCopySYSTEM = false;
    if (m.bEfi)
        CvexTrace().Line(TL_INFO, fn, L"Windows SYSTEM on a GPT disk");
    if (m.uiWarning != 0) {
        LogStdMsg(ML_WARNING, m.uiWarning);
        CvexTrace().Line(TL_WARNING, fn, m.sNote.c_str());
    }
    CvexTrace().Char(TL_INFO, fn, L"m_wcWinBOOT", m_wcWinBOOT);
    CvexTrace().Char(TL_INFO, fn, L"m_wcWinSYSTEM", m_wcWinSYSTEM);
    CvexTrace().Char(TL_INFO, fn, L"m_wcWinEFI", m_wcWinEFI);
    CvexTrace().Str(TL_INFO, fn, L"m_sWinDir", m_sWinDir);
    const std::wstring& sClient = m_NetWorkerCredentials.m_sClientName;
    if (!m.sComputerName.empty() && !initseq::SameHostName(m.sComputerName, sClient)) {
        CvexTrace().Line(TL_INFO, fn, L"Hostname in configuration doesn't match user supplied hostname ... adjusting");
        WritePrivateProfileStringW(L"ComputerName", L"ComputerName", sClient.c_str(), sIni.c_str());
    }
    CvexTrace().End(fn);
    return true;
}

// Answers a password request of the running tool. False when no password can be given: the tool
// is ended then, for it would wait at its prompt for ever.
bool CVEXImpl::AnswerPasswordRequest(const wchar_t* pFn)
{
    if (!m_Console.PasswordRequired() || ProvidePassword())
        return true;
    CvexTrace().Line(TL_ERROR, pFn, L"No password given: the tool is ended");
    m_Console.StopTool(pFn);
    MirrorConsole();
    return false;
}

bool CVEXImpl::RestoreQERNCFG()
{
    const wchar_t* fn = L"CVEXImpl::RestoreQERNCFG";
    CvexTrace().Start(fn);
    CvexTrace().Line(TL_INFO, fn, L"Restoring QERNCFG folder");
    if (m_sBootFilespace.empty())
        return FailConfig(fn, L"No BOOT filespace");
    if (!IsSafeText(m_sBootFilespace + L"QERNCFG", safetext::Kind::Filespace, L"configuration path"))
        return FailConfig(fn, L"Unsafe path");
    const CvexCredentials& cred = m_NetWorkerCredentials;
    const std::wstring sCmd = catalogue::FetchCommandLine(m_sRecoverPath, cred.m_sServerName, cred.m_sClientName,
                                                          m_sPointInTime, L"", m_sBootFilespace + L"QERNCFG");
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(kGroupConfig)))
        return FailConfig(fn, L"RunCommand failed");
    // The first failure line decides; the rest is read so that recover can finish.
    unsigned uiMessage = 0;
    bool bNotConfigured = false;
    std::wstring sLine;
    while (GetLine(sLine, CvexTrace().TraceOutput(kGroupConfig))) {
        if (!AnswerPasswordRequest(fn))
            return CvexTrace().EndFail(fn, L"ProvidePassword failed"), false;
        if (sLine.empty() || uiMessage != 0)
            continue;
        if (LineHas(sLine, RL_NOT_PROPERLY_CONFIGURED)) {
            uiMessage = initseq::NotConfiguredMessage(sLine, cred.m_sClientName);
            bNotConfigured = true;
        } else {
            uiMessage = catalogue::RestoreConfigFailureMessage(catalogue::ClassifyFetchLine(sLine));
        }
    }
    if (uiMessage != 0) {
        if (bNotConfigured)
            LogVarMsg(ML_ERROR, uiMessage, cred.m_sServerName.c_str());
        else
            LogStdMsg(ML_ERROR, uiMessage);
        CvexTrace().EndFail(fn, L"recover failed");
        return false;
    }
    if (EndedAfterAbortOrLoss(fn))
        return false;
    // A crashed recover has not put the whole folder back, however its output ended.
    if (RecoverCrashed(fn, 0)) {
        CvexTrace().EndFail(fn, L"recover crashed");
        return false;
    }
    CvexTrace().End(fn);
    return true;
}
