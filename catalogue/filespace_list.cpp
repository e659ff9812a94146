// CVEXImpl::GetFilespaceList: what the client's backup holds (filespaces and system-state
// components), the configuration saved with it, and the marks of the Windows volumes.
#include "catalogue/listing.h"
#include "catalogue/mminfo_report.h"
#include "catalogue/saved_config.h"
#include "client/init.h"
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "restore/recover_literals.h"
#include "support/traced/update_reg.h"
#include "trace/trace.h"

namespace
{

const wchar_t kFn[] = L"CVEXImpl::GetFilespaceList";
// The NetWorker trace groups of the listing, its NMM report and the configuration check.
const DWORD kGroupListing = 0x10;
const DWORD kGroupNmm = 0x200000;
const DWORD kGroupConfigCheck = 0x40;

bool Fail(CRPLImpl& impl, const wchar_t* pFn, unsigned uiMessage, const wchar_t* pReason)
{
    impl.LogStdMsg(ML_ERROR, uiMessage);
    CvexTrace().EndFail(pFn, pReason);
    return false;
}

bool HoldsPrompt(const std::wstring& sLine)
{
    return LineHas(sLine, RL_PROMPT);
}

} // namespace

bool CVEXImpl::GetFilespaceList(FileSpaceList* pList)
{
    CvexTrace().Start(kFn);
    if (!pList)
        return Fail(*this, kFn, MSG_FILESPACE_LIST_FAILED, L"Invalid argument");
    if (!m_bValidCredentials)
        return Fail(*this, kFn, MSG_FILESPACE_LIST_FAILED, L"No valid NetWorker credentials");
    MiniNTBodge bodge;
    // A second listing starts afresh, so that no component is counted twice.
    ForgetCatalogue();
    m_Console.ClearOperationFlags();
    LogStdMsg(ML_INFORMATION, MSG_LISTING_SAVESETS);
    const bool bTypePresent = ReportHasTypeColumn();
    if (!bTypePresent) {
        CvexTrace().Line(TL_INFO, kFn,
                         m_usRecoverNetWorkerClientVersionMinor == 4
                             ? L"Recovery Client Version 7.4.x, so no 'Type' present"
                             : L"Recovery Client Version 7.5.x, so no 'Type' present");
    }
    GetConfigDirectory(m_sConfigDir);
    CvexTrace().Str(TL_INFO, kFn, L"m_sConfigDir", m_sConfigDir);
    FileSpaceList found;
    if (!ListTopLevel(found))
        return false;
    if (m_SystemState.empty() && !CheckForNmm(bTypePresent))
        return false;
    catalogue::SortByBackupTime(m_SystemState);
    if (!FindAndFetchConfig(found))
        return false;
    MarkSystemVolumes(found);
    if (!ImportSavedCertificate())
        return false;
    pList->insert(pList->end(), found.begin(), found.end());
    CvexTrace().Int(TL_INFO, kFn, L"Filespaces", static_cast<long long>(found.size()));
    CvexTrace().Int(TL_INFO, kFn, L"System state entries", static_cast<long long>(m_SystemState.size()));
    CvexTrace().End(kFn);
    return true;
}

// After a tool's output ended: an abort ends the tool (the reader has told the host), a lost
// connection is told to the host; both fail the operation.
bool CVEXImpl::EndedAfterAbortOrLoss(const wchar_t* pFn)
{
    if (UserAborted()) {
        Abort();
        CvexTrace().EndFail(pFn, L"User aborted");
        return true;
    }
    if (ConnectionLost()) {
        LogStdMsg(ML_ERROR, MSG_CONNECTION_LOST);
        CvexTrace().EndFail(pFn, L"Connection lost");
        return true;
    }
    return false;
}

bool CVEXImpl::ListTopLevel(FileSpaceList& found)
{
    const CvexCredentials& cred = m_NetWorkerCredentials;
    std::wstring sCmd = initseq::RecoverCommandLine(m_sRecoverPath, cred.m_sServerName, cred.m_sClientName) +
                        catalogue::PointInTimeOption(m_sPointInTime);
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(kGroupListing)))
        return Fail(*this, kFn, MSG_FILESPACE_LIST_FAILED, L"RunCommand failed");
    // The dialogue: "cd /" at the first prompt, "ll -S" at the next, "EXIT" after the listing.
    enum class Phase { Banner, ChangedDirectory, Listing, Done } phase = Phase::Banner;
    const bool bTrace = CvexTrace().TraceOutput(kGroupListing);
    bool bNoBackups = false;
    bool bDropped = false;       // recover said the server closed its connection
    unsigned uiListingError = 0; // an error line in the answer to the listing command
    bool bCutAnswer = false;     // entries came after the prompt taken as the answer's end
    std::wstring sLine;
    while (GetLine(sLine, bTrace)) {
        bDropped = bDropped || LineHas(sLine, RL_FORCIBLY_CLOSED);
        if (!HoldsPrompt(sLine)) {
            const unsigned uiError = phase == Phase::Listing ? catalogue::ListingErrorMessage(sLine) : 0;
            if (uiError && !uiListingError)
                uiListingError = uiError;
            if (phase == Phase::Listing && !uiError)
                ClassifyListingLine(sLine, found);
            else if (phase == Phase::Done && catalogue::IsListingEntry(sLine))
                bCutAnswer = true;
            else if (phase == Phase::Banner && LineHas(sLine, RL_NO_FILES_BACKED_UP))
                bNoBackups = true;
            else if (phase == Phase::Banner && !IgnoreLine(sLine))
                CvexTrace().Str(TL_INFO, kFn, L"sLine", sLine);
            continue;
        }
        if (phase == Phase::Done)
            continue;
        static const wchar_t* const kCommands[] = {L"cd /\r\n", L"ll -S\r\n", L"EXIT\r\n"};
        if (!SendResponse(kCommands[static_cast<int>(phase)], false)) {
            Abort();
            return Fail(*this, kFn, MSG_FILESPACE_LIST_FAILED, L"SendResponse failed");
        }
        phase = static_cast<Phase>(static_cast<int>(phase) + 1);
    }
    if (EndedAfterAbortOrLoss(kFn))
        return false;
    if (bDropped) {
        LogStdMsg(ML_ERROR, MSG_CONNECTION_LOST);
        CvexTrace().EndFail(kFn, L"Connection lost");
        return false;
    }
    // The answer to the listing broke off or holds a gap: a partial list is no list.
    if (uiListingError) {
        LogStdMsg(ML_ERROR, uiListingError);
        CvexTrace().EndFail(kFn, L"Error in the listing");
        return false;
    }
    if (bNoBackups) {
        LogVarMsg(ML_ERROR, MSG_NO_BACKUPS, cred.m_sClientName.c_str(), cred.m_sServerName.c_str());
        CvexTrace().EndFail(kFn, L"No backups");
        return false;
    }
    // recover ended before the listing was complete: what was seen is not the whole backup.
    if (phase != Phase::Done)
        return Fail(*this, kFn, MSG_FILESPACE_LIST_FAILED, L"Listing incomplete");
    // A prompt inside the answer ended it early: the entries after it were not taken.
    if (bCutAnswer)
        return Fail(*this, kFn, MSG_FILESPACE_LIST_FAILED, L"Listing cut by a prompt");
    return true;
}

void CVEXImpl::ClassifyListingLine(const std::wstring& sLine, FileSpaceList& found)
{
    catalogue::ListingLine line;
    unsigned eType = catalogue::SplitListingLine(sLine, true, line) ? catalogue::SystemStateTypeOf(line.sName) : 0;
    if (eType != 0) {
        SystemStateEntry entry;
        entry.eType = eType;
        if (ParseSystemState(sLine, entry))
            m_SystemState.push_back(entry);
        return;
    }
    if (sLine.find(L":\\") != std::wstring::npos) {
        FileSpace fs;
        if (ParseFilespace(sLine, fs))
            found.push_back(fs);
        return;
    }
    if (!IgnoreLine(sLine))
        CvexTrace().Str(TL_INFO, kFn, L"sLine", sLine);
}

bool CVEXImpl::CheckForNmm(bool bTypePresent)
{
    const CvexCredentials& cred = m_NetWorkerCredentials;
    std::wstring sCmd = catalogue::MminfoCommandLine(m_sMminfoPath, cred.m_sServerName, cred.m_sClientName);
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(kGroupNmm)))
        return Fail(*this, kFn, MSG_FILESPACE_LIST_FAILED, L"RunCommand(Mminfo) failed");
    bool bAllParsed = true;
    bool bDropped = false; // the report says the server closed its connection
    bool bPasswordAsked = false;
    std::wstring sLine;
    while (GetLineNoPassword(sLine, CvexTrace().TraceOutput(kGroupNmm), bPasswordAsked)) {
        bDropped = bDropped || LineHas(sLine, RL_FORCIBLY_CLOSED);
        if (!ParseMminfo(sLine, bTypePresent, m_SystemState))
            bAllParsed = false;
    }
    if (!bAllParsed)
        CvexTrace().Line(TL_WARNING, kFn, L"Check for NMM module failed");
    if (EndedAfterAbortOrLoss(kFn))
        return false;
    if (bPasswordAsked) {
        CvexTrace().EndFail(kFn, L"mminfo asked for a password");
        return false;
    }
    if (bDropped) {
        LogStdMsg(ML_ERROR, MSG_CONNECTION_LOST);
        CvexTrace().EndFail(kFn, L"Connection lost");
        return false;
    }
    return true;
}

bool CVEXImpl::FindAndFetchConfig(const FileSpaceList& found)
{
    for (const FileSpace& fs : found) {
        if (fs.ulFsFlags & FS_MOUNTED_FOLDER)
            continue;
        const ConfigCheck check = CheckConfigFilespace(fs.sFsName);
        if (check == ConfigCheck::Aborted) {
            m_Console.TellUserAbort();
            CvexTrace().EndFail(kFn, L"User aborted");
            return false;
        }
        // The check could not say: "no configuration" would blame the backup.
        if (check == ConfigCheck::Lost) {
            LogStdMsg(ML_ERROR, MSG_CONNECTION_LOST);
            CvexTrace().EndFail(kFn, L"Connection lost");
            return false;
        }
        if (check == ConfigCheck::Failed) {
            CvexTrace().EndFail(kFn, L"CheckIfConfigFilespace failed");
            return false;
        }
        if (check == ConfigCheck::Absent)
            continue;
        CvexTrace().Str(TL_INFO, kFn, L"Found config filespace", fs.sFsName);
        if (GetConfig(m_sConfigDir, fs.sFsName))
            return true;
        CvexTrace().EndFail(kFn, L"GetConfig() failed");
        return false;
    }
    return FailConfig(kFn, L"No config found");
}

void CVEXImpl::MarkSystemVolumes(FileSpaceList& found)
{
    catalogue::SystemLetters letters;
    letters.wcBoot = m_wcWinBOOT;
    letters.wcSystem = m_wcWinSYSTEM;
    letters.wcEfi = m_wcWinEFI;
    letters.bEfi = m_bEFI;
    catalogue::SystemFilespaces names;
    catalogue::MarkSystemVolumes(found, letters, names);
    m_sBootFilespace = names.sBoot;
    m_sEFIFilespace = names.sEfi;
    m_sSystemFilespace = names.sSystem;
    CvexTrace().Str(TL_INFO, kFn, L"m_sBootFilespace", m_sBootFilespace);
    CvexTrace().Str(TL_INFO, kFn, L"m_sEFIFilespace", m_sEFIFilespace);
    CvexTrace().Str(TL_INFO, kFn, L"m_sSystemFilespace", m_sSystemFilespace);
    const std::wstring sIni = m_sConfigDir + L"\\disrec.ini";
    catalogue::ForgetProfileCache(sIni);
    for (FileSpace& fs : found) {
        if (fs.ulFsFlags & FS_MOUNTED_FOLDER)
            continue;
        wchar_t wszKey[2] = {fs.wcFsDriveLetter, 0};
        wchar_t wszType[33] = {};
        GetPrivateProfileStringW(L"Volume Info", wszKey, L"", wszType, 33, sIni.c_str());
        fs.sFsType = wszType;
    }
}

bool CVEXImpl::ImportSavedCertificate()
{
    const std::wstring sCert = m_sConfigDir + L"\\NWCert";
    const std::wstring sKey = m_sConfigDir + L"\\NWPKey";
    if (!catalogue::IsFile(sCert) || !catalogue::IsFile(sKey)) {
        CvexTrace().Line(TL_INFO, kFn, L"No saved certificate");
        return true;
    }
    if (!ImportCertAndPKeyFiles(sCert, sKey))
        return Fail(*this, kFn, MSG_CERTIFICATE_IMPORT_FAILED, L"ImportCertAndPKeyFiles failed");
    return true;
}

bool CVEXImpl::CheckIfConfigFilespace(const std::wstring& sFilespace)
{
    return CheckConfigFilespace(sFilespace) == ConfigCheck::Found;
}

CVEXImpl::ConfigCheck CVEXImpl::CheckConfigFilespace(const std::wstring& sFilespace)
{
    const wchar_t* fn = L"CVEXImpl::CheckIfConfigFilespace";
    CvexTrace().Start(fn);
    if (sFilespace.empty()) {
        CvexTrace().EndFail(fn, L"Invalid argument");
        return ConfigCheck::Absent;
    }
    const CvexCredentials& cred = m_NetWorkerCredentials;
    std::wstring sCmd = initseq::RecoverCommandLine(m_sRecoverPath, cred.m_sServerName, cred.m_sClientName) +
                        catalogue::PointInTimeOption(m_sPointInTime);
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(kGroupConfigCheck))) {
        CvexTrace().EndFail(fn, L"RunCommand failed");
        return ConfigCheck::Absent;
    }
    enum class Phase { Banner, Answer, Done } phase = Phase::Banner;
    bool bFound = false;
    bool bDropped = false;
    bool bPasswordAsked = false;
    std::wstring sLine;
    while (GetLineNoPassword(sLine, CvexTrace().TraceOutput(kGroupConfigCheck), bPasswordAsked)) {
        bDropped = bDropped || LineHas(sLine, RL_FORCIBLY_CLOSED);
        if (phase == Phase::Done)
            continue;
        catalogue::ConfigAnswer answer = catalogue::ClassifyConfigAnswer(sLine);
        if (answer == catalogue::ConfigAnswer::Prompt) {
            const std::wstring sSend =
                phase == Phase::Banner ? catalogue::ConfigFolderQuery(sFilespace) : std::wstring(L"EXIT\r\n");
            if (!SendResponse(sSend, false)) {
                Abort();
                CvexTrace().EndFail(fn, L"SendResponse failed");
                return ConfigCheck::Failed;
            }
            phase = phase == Phase::Banner ? Phase::Answer : Phase::Done;
        } else if (phase == Phase::Answer && answer == catalogue::ConfigAnswer::NotFound) {
            bFound = false;
        } else if (phase == Phase::Answer && answer == catalogue::ConfigAnswer::Entry) {
            bFound = true;
        } else {
            IgnoreLine(sLine);
        }
    }
    if (UserAborted()) {
        Abort();
        CvexTrace().EndFail(fn, L"User aborted");
        return ConfigCheck::Aborted;
    }
    if (bPasswordAsked) {
        CvexTrace().EndFail(fn, L"Password asked for");
        return ConfigCheck::Failed;
    }
    if (ConnectionLost() || bDropped) {
        CvexTrace().EndFail(fn, L"Connection lost");
        return ConfigCheck::Lost;
    }
    bFound = bFound && phase == Phase::Done;
    CvexTrace().Bool(TL_INFO, fn, L"bFound", bFound);
    CvexTrace().End(fn);
    return bFound ? ConfigCheck::Found : ConfigCheck::Absent;
}
