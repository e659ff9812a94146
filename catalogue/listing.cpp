#include "catalogue/listing.h"

#include "catalogue/date_time.h"
#include "hostapi/message_ids.h"
#include "restore/recover_literals.h"

#include <algorithm>
#include <cwctype>
#include <sstream>

namespace
{

// System-state saveset names in the order they are tried.
const struct {
    const wchar_t* pName;
    unsigned eType;
} kSystemStateNames[] = {
    {L"VSS ASR DISK:\\", SST_VSS_ASR_DISK},
    {L"VSS OTHER:\\", SST_VSS_OTHER},
    {L"VSS SYSTEM BOOT:\\", SST_VSS_SYSTEM_BOOT},
    {L"VSS SYSTEM FILESET:\\", SST_VSS_SYSTEM_FILESET},
    {L"VSS SYSTEM SERVICES:\\", SST_VSS_SYSTEM_SERVICES},
    {L"VSS USER DATA:\\", SST_VSS_USER_DATA},
    {L"SHAREPOINT ", SST_SHAREPOINT},
    {L"ASR", SST_ASR},
    {L"SYSTEM DB", SST_SYSTEM_DB},
    {L"SYSTEM FILES", SST_SYSTEM_FILES},
    {L"SYSTEM STATE", SST_SYSTEM_STATE},
    {L"DISASTER_RECOVERY:\\", SST_DISASTER_RECOVERY},
    {L"WINDOWS ROLES AND FEATURES:\\", SST_WINDOWS_ROLES_FEATURES},
};

// The name starts with the saveset name; one without its own ":" ("ASR", "SYSTEM DB") must be
// the whole name or be followed by one ("ASR:\"), so that "ASR IMAGES" is not taken for it.
bool IsSavesetName(const std::wstring& sName, const std::wstring& sSaveset)
{
    if (sName.compare(0, sSaveset.size(), sSaveset) != 0)
        return false;
    if (sSaveset.find(L':') != std::wstring::npos || sSaveset.back() == L' ')
        return true;
    return sName.size() == sSaveset.size() || sName[sSaveset.size()] == L':';
}

bool IsDriveLetter(wchar_t wc)
{
    return (wc >= L'A' && wc <= L'Z') || (wc >= L'a' && wc <= L'z');
}

} // namespace

namespace catalogue
{

bool SplitListingLine(const std::wstring& sLine, bool bTimeAlways, ListingLine& out)
{
    out = ListingLine();
    std::wistringstream in(sLine);
    std::wstring sCount, sKind, sSize;
    if (!(in >> sCount >> sKind >> sSize >> out.sDate))
        return false;
    if (bTimeAlways || std::count(sLine.begin(), sLine.end(), L':') >= 2) {
        if (!(in >> out.sTime))
            return false;
    }
    std::wstring sWord;
    while (in >> sWord)
        out.sName += (out.sName.empty() ? L"" : L" ") + sWord;
    return true;
}

unsigned SystemStateTypeOf(const std::wstring& sName)
{
    if (IsDrivePath(sName))
        return 0;
    for (const auto& n : kSystemStateNames) {
        if (IsSavesetName(sName, n.pName))
            return n.eType;
    }
    return 0;
}

bool IsDrivePath(const std::wstring& sName)
{
    return sName.size() >= 3 && IsDriveLetter(sName[0]) && sName[1] == L':' && sName[2] == L'\\';
}

bool ParseFilespace(const std::wstring& sLine, FileSpace& fs, const wchar_t*& pReason)
{
    ListingLine line;
    if (sLine.empty() || !SplitListingLine(sLine, false, line)) {
        pReason = L"Bad line";
        return false;
    }
    // A name that is not a drive path would name no volume to restore onto.
    if (!IsDrivePath(line.sName)) {
        pReason = L"Bad filespace";
        return false;
    }
    if (line.sTime.empty())
        line.sTime = L"00:00";
    fs.ulFsFlags = 0;
    fs.sFsName = line.sName;
    if (line.sName.size() <= 3) {
        fs.wcFsDriveLetter = static_cast<wchar_t>(std::towupper(line.sName[0]));
    } else {
        fs.sFsPath = line.sName;
        fs.ulFsFlags |= FS_MOUNTED_FOLDER;
    }
    fs.bFsTimeValid = ParseDateTime2(line.sDate, line.sTime, fs.tmFsTime);
    return true;
}

bool ParseSystemState(const std::wstring& sLine, SystemStateEntry& entry, const wchar_t*& pReason)
{
    ListingLine line;
    if (sLine.empty() || !SplitListingLine(sLine, true, line)) {
        pReason = L"Bad line";
        return false;
    }
    struct tm tm = {};
    if (!ParseDateTime2(line.sDate, line.sTime, tm)) {
        pReason = L"Failed to parse backup date/time";
        return false;
    }
    entry.stBackupTime = SystemTimeFromTm(tm);
    entry.uiFilesToRestore = 0;
    entry.uiFilesRestored = 0;
    return true;
}

void SortByBackupTime(std::vector<SystemStateEntry>& entries)
{
    std::stable_sort(entries.begin(), entries.end(), [](const SystemStateEntry& a, const SystemStateEntry& b) {
        return EarlierThan(a.stBackupTime, b.stBackupTime);
    });
}

void MarkSystemVolumes(FileSpaceList& list, const SystemLetters& letters, SystemFilespaces& names)
{
    for (FileSpace& fs : list) {
        if (fs.ulFsFlags & FS_MOUNTED_FOLDER)
            continue;
        if (fs.wcFsDriveLetter == letters.wcBoot) {
            fs.ulFsFlags |= FS_NEEDED_TO_START | FS_BOOT_VOLUME;
            names.sBoot = fs.sFsName;
        }
        wchar_t wcSystem = letters.bEfi ? letters.wcEfi : letters.wcSystem;
        if (fs.wcFsDriveLetter == wcSystem) {
            fs.ulFsFlags |= FS_NEEDED_TO_START | FS_SYSTEM_VOLUME;
            (letters.bEfi ? names.sEfi : names.sSystem) = fs.sFsName;
        }
    }
}

std::wstring ConfigFolderQuery(const std::wstring& sFilespace)
{
    return L"ls -l " + sFilespace + L"QERNCFG\r\n";
}

unsigned ListingErrorMessage(const std::wstring& sLine)
{
    ListingLine entry;
    if (SplitListingLine(sLine, false, entry) && IsDrivePath(entry.sName))
        return 0;
    static const std::pair<RecoverLiteral, unsigned> kErrors[] = {
        {RL_FORCIBLY_CLOSED, MSG_CONNECTION_LOST},
        {RL_FAILED_BUSY, MSG_SERVER_BUSY},
        {RL_STALE_RPC_HANDLE, MSG_STALE_RPC_HANDLE},
        {RL_CONNECTION_TIMED_OUT, MSG_CONNECTION_TIMED_OUT},
        {RL_CONNECTION_ATTEMPT_FAILED, MSG_CONNECTION_TIMED_OUT},
        {RL_RPC_ERROR, MSG_SERVER_NOT_CONTACTED},
        {RL_RPC_CANNOT_CALL, MSG_SERVER_NOT_CONTACTED},
        {RL_NO_ROUTE_TO_HOST, MSG_NO_SESSION},
    };
    for (const auto& [literal, uiMessage] : kErrors)
        if (LineHas(sLine, literal))
            return uiMessage;
    return 0;
}

bool IsListingEntry(const std::wstring& sLine)
{
    ListingLine entry;
    return SplitListingLine(sLine, false, entry) && (IsDrivePath(entry.sName) || SystemStateTypeOf(entry.sName));
}

ConfigAnswer ClassifyConfigAnswer(const std::wstring& sLine)
{
    if (LineHas(sLine, RL_PROMPT))
        return ConfigAnswer::Prompt;
    if (LineHas(sLine, RL_NOT_FOUND))
        return ConfigAnswer::NotFound;
    if ((!sLine.empty() && sLine[0] == L'-') || (sLine.size() > 1 && sLine[1] == L'-'))
        return ConfigAnswer::Entry;
    return ConfigAnswer::Other;
}

} // namespace catalogue
