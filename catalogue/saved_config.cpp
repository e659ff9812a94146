#include "catalogue/saved_config.h"

#include "hostapi/message_ids.h"
#include "restore/recover_literals.h"
#include "support/win.h"

#include <cwchar>
#include <cwctype>

namespace
{

const wchar_t kMissing[] = L"\x01missing";

std::wstring Profile(const std::wstring& sIni, const wchar_t* pSection, const wchar_t* pKey,
                     const wchar_t* pDefault = L"")
{
    wchar_t wsz[MAX_PATH] = {};
    GetPrivateProfileStringW(pSection, pKey, pDefault, wsz, MAX_PATH, sIni.c_str());
    return wsz;
}

bool Present(const std::wstring& sIni, const wchar_t* pSection, const wchar_t* pKey)
{
    return Profile(sIni, pSection, pKey, kMissing) != kMissing;
}

// The upper-cased first character of a value when it is a letter A to Z, else "-".
wchar_t LetterOf(const std::wstring& sValue)
{
    wchar_t wc = sValue.empty() ? L'-' : static_cast<wchar_t>(std::towupper(sValue[0]));
    return wc >= L'A' && wc <= L'Z' ? wc : L'-';
}

catalogue::SavedMachine& Fail(catalogue::SavedMachine& m, unsigned uiMessage, const wchar_t* pNote)
{
    m.uiError = uiMessage;
    m.sNote = pNote;
    return m;
}

// The boot manager's volume of an MBR disk: "BootDriveLetter", else the letter of partition
// "BootPartition" of the Windows disk; without one the system files are not copied.
void ReadMbrSystemVolume(const std::wstring& sIni, const std::wstring& sDisk, catalogue::SavedMachine& m)
{
    m.wcSystem = LetterOf(Profile(sIni, L"WinDir", L"BootDriveLetter", L"-:"));
    if (m.wcSystem != L'-')
        return;
    if (!Present(sIni, L"WinDir", L"BootPartition")) {
        Fail(m, MSG_NO_SYSTEM_LETTER, L"No BootPartition");
        return;
    }
    UINT uiPartition = GetPrivateProfileIntW(L"WinDir", L"BootPartition", 0, sIni.c_str());
    std::wstring sKey = L"DriveLetter" + std::to_wstring(uiPartition);
    m.wcSystem = LetterOf(Profile(sIni, sDisk.c_str(), sKey.c_str()));
    if (m.wcSystem == L'-') {
        m.uiWarning = MSG_NO_SYSTEM_LETTER;
        m.sNote = L"No SYSTEM drive letter: SYSTEM files are not copied";
        m.bCopySystem = false;
    }
}

} // namespace

namespace catalogue
{

const wchar_t* const kConfigItems[4] = {L"disrec.ini", L"NWInfo", L"NWCert", L"NWPKey"};

std::wstring StagingFolder(const std::wstring& sConfigDir)
{
    std::wstring s = sConfigDir;
    while (!s.empty() && s.back() == L'\\')
        s.pop_back();
    size_t slash = s.rfind(L'\\');
    std::wstring sParent = slash == std::wstring::npos ? s : s.substr(0, slash);
    return sParent + L"\\QERNCFG";
}

std::wstring PointInTimeOption(const std::wstring& sPointInTime)
{
    return sPointInTime.empty() ? std::wstring() : L" -t \"" + sPointInTime + L"\"";
}

std::wstring FetchCommandLine(const std::wstring& sRecoverPath, const std::wstring& sServer,
                              const std::wstring& sClient, const std::wstring& sPointInTime,
                              const std::wstring& sStaging, const std::wstring& sPath)
{
    std::wstring sTo = sStaging.empty() ? std::wstring() : L" -d\"" + sStaging + L"\"";
    return sRecoverPath + L" -a -iY -s \"" + sServer + L"\" -c \"" + sClient + L"\"" + PointInTimeOption(sPointInTime) +
           sTo + L" \"" + sPath + L"\"";
}

FetchLine ClassifyFetchLine(const std::wstring& sLine)
{
    static const std::pair<RecoverLiteral, FetchLine> kTexts[] = {
        {RL_SKIPPING_PROTECTED_FILE, FetchLine::SkippedProtected},
        {RL_INCORRECT_PASSWORD, FetchLine::IncorrectPassword},
        {RL_PASSWORD_FOR_FILE, FetchLine::PasswordPrompt},
        {RL_DDCL_OPEN_FAILED, FetchLine::Ddcl},
        {RL_FAILED_BUSY, FetchLine::Busy},
        {RL_FORCIBLY_CLOSED, FetchLine::ForciblyClosed},
        {RL_NO_VOLUMES_FOUND, FetchLine::NoVolumes},
        {RL_STALE_RPC_HANDLE, FetchLine::StaleRpc},
        {RL_CONNECTION_TIMED_OUT, FetchLine::TimedOut},
        {RL_RECOVER_THREADS_FAILED, FetchLine::ThreadsFailed},
        {RL_COMPRESSED_ATTRIBUTE, FetchLine::Compressed},
        {RL_RECOVER_MESSAGE, FetchLine::RecoverMessage},
    };
    for (const auto& [literal, kind] : kTexts) {
        if (LineHas(sLine, literal))
            return kind;
    }
    return FetchLine::Other;
}

unsigned FetchFailureMessage(FetchLine kind)
{
    switch (kind) {
    case FetchLine::Ddcl: return MSG_DDCL_OPEN_FAILED;
    case FetchLine::Busy: return MSG_SERVER_BUSY;
    case FetchLine::ForciblyClosed: return MSG_CONNECTION_FORCIBLY_CLOSED;
    case FetchLine::NoVolumes: return MSG_NO_VOLUMES;
    case FetchLine::StaleRpc: return MSG_STALE_RPC_HANDLE;
    case FetchLine::ThreadsFailed: return MSG_RECOVER_THREADS_FAILED;
    case FetchLine::Compressed: return MSG_CONFIG_COMPRESSED;
    default: return 0;
    }
}

unsigned RestoreConfigFailureMessage(FetchLine kind)
{
    return kind == FetchLine::TimedOut ? MSG_CONNECTION_TIMED_OUT : FetchFailureMessage(kind);
}

FetchResult FetchWithRetries(const std::function<FetchResult()>& fetch, const std::function<bool()>& pause)
{
    FetchResult result = FetchResult::Retry;
    for (int iTry = 1; iTry <= kMaxFetchTries; ++iTry) {
        if (iTry > 1 && !pause())
            return FetchResult::Failed;
        result = fetch();
        if (result != FetchResult::Retry)
            break;
    }
    return result;
}

bool RecoveryClientTooOld(unsigned short usBackupMajor, unsigned short usBackupMinor, unsigned short usRecoverMajor,
                          unsigned short usRecoverMinor)
{
    if (usBackupMajor == 0 || usRecoverMajor == 0)
        return false;
    return usRecoverMajor < usBackupMajor || (usRecoverMajor == usBackupMajor && usRecoverMinor < usBackupMinor);
}

void ForgetProfileCache(const std::wstring& sIniPath)
{
    // All three texts null: the documented flush of the profile cache.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, sIniPath.c_str());
}

bool IsFile(const std::wstring& sPath)
{
    DWORD dw = GetFileAttributesW(sPath.c_str());
    return dw != INVALID_FILE_ATTRIBUTES && !(dw & FILE_ATTRIBUTE_DIRECTORY);
}

SavedMachine ReadSavedMachine(const std::wstring& sIni)
{
    SavedMachine m;
    ForgetProfileCache(sIni);
    const wchar_t* ini = sIni.c_str();
    m.bVistaOrLater = GetPrivateProfileIntW(L"WinDir", L"OSVersion", 0, ini) >= 6;
    m.bIsCore = GetPrivateProfileIntW(L"WinDir", L"OSisCore", 0, ini) == 1;
    std::wstring sArch = Profile(sIni, L"WinDir", L"OSArchitecture");
    m.bIs64Bit = _wcsicmp(sArch.c_str(), L"AMD64") == 0 || _wcsicmp(sArch.c_str(), L"IA64") == 0;
    m.sComputerName = Profile(sIni, L"ComputerName", L"ComputerName");
    m.wcBoot = LetterOf(Profile(sIni, L"WinDir", L"DriveLetter"));
    if (m.wcBoot == L'-')
        return Fail(m, MSG_NO_BOOT_LETTER, L"No BOOT drive letter");
    if (!Present(sIni, L"WinDir", L"PhysicalDrive"))
        return Fail(m, MSG_NO_SYSTEM_LETTER, L"No PhysicalDrive");
    if (!Present(sIni, L"WinDir", L"Directory"))
        return Fail(m, MSG_NO_WINDOWS_DIRECTORY, L"No Windows directory");
    m.sWinDir = Profile(sIni, L"WinDir", L"Directory");
    UINT uiDisk = GetPrivateProfileIntW(L"WinDir", L"PhysicalDrive", 0, ini);
    std::wstring sDisk = L"PhysicalDrive" + std::to_wstring(uiDisk);
    if (GetPrivateProfileIntW(sDisk.c_str(), L"PartitionStyle", 0, ini) != 1) {
        ReadMbrSystemVolume(sIni, sDisk, m);
        return m;
    }
    m.bEfi = true;
    m.bCopySystem = false;
    m.wcEfi = LetterOf(Profile(sIni, L"WinDir", L"EFIDriveLetter"));
    if (m.wcEfi == L'-')
        return Fail(m, MSG_NO_SYSTEM_RESERVED_LETTER, L"No EFI drive letter");
    return m;
}

} // namespace catalogue
