#include "system/system_rules.h"

#include "hostapi/message_ids.h"
#include "restore/recover_literals.h"
#include "restore/restore_lines.h"

#include <algorithm>
#include <ctime>

namespace systemrules
{
namespace
{

const ComponentRow kComponents[] = {
    {SST_SHAREPOINT, Routine::Vss, L"SHAREPOINT ", 0x500, 0x600, MSG_RESTORE_SHAREPOINT_FAILED, 0, 0},
    {SST_SYSTEM_DB, Routine::Vss, L"SYSTEM DB", 0x900, 0xA00, MSG_RESTORE_SYSTEM_DB_FAILED, 0, 0},
    {SST_SYSTEM_FILES, Routine::Vss, L"SYSTEM FILES", 0x1100, 0x1200, MSG_RESTORE_SYSTEM_FILES_FAILED, 0, 0},
    {SST_SYSTEM_STATE, Routine::Vss, L"SYSTEM STATE", 0x2100, 0x2200, MSG_RESTORE_SYSTEM_STATE_FAILED,
     POST_MOVE_NSR_HIVES, MSG_MOVE_REGISTRY_FILES_FAILED},
    {SST_VSS_OTHER, Routine::Vss, L"VSS OTHER:\\", 0x8100, 0x8200, MSG_RESTORE_VSS_OTHER_FAILED, POST_MOVE_SYSTEM_FILES,
     MSG_MOVE_VSS_OTHER_FAILED},
    {SST_VSS_SYSTEM_BOOT, Routine::Vss, L"VSS SYSTEM BOOT:\\", 0x10100, 0x10200, MSG_RESTORE_VSS_SYSTEM_BOOT_FAILED,
     POST_BOOT | POST_MOVE_SYSTEM_FILES, MSG_MOVE_VSS_SYSTEM_BOOT_FAILED},
    {SST_VSS_SYSTEM_FILESET, Routine::Vss, L"VSS SYSTEM FILESET:\\", 0x20100, 0x20200,
     MSG_RESTORE_VSS_SYSTEM_FILESET_FAILED, POST_FILESET | POST_MOVE_SYSTEM_FILES, MSG_MOVE_VSS_SYSTEM_FILESET_FAILED},
    {SST_VSS_SYSTEM_SERVICES, Routine::Vss, L"VSS SYSTEM SERVICES:\\", 0x40100, 0x40200,
     MSG_RESTORE_VSS_SYSTEM_SERVICES_FAILED, POST_MOVE_SYSTEM_FILES, MSG_MOVE_VSS_SYSTEM_SERVICES_FAILED},
    {SST_VSS_USER_DATA, Routine::Vss, L"VSS USER DATA:\\", 0x80100, 0x80200, MSG_RESTORE_VSS_USER_DATA_FAILED,
     POST_MOVE_SYSTEM_FILES, MSG_MOVE_VSS_USER_DATA_FAILED},
    {SST_DISASTER_RECOVERY, Routine::DisasterRecovery, L"OSSR_", 0x100100, 0x100200,
     MSG_RESTORE_DISASTER_RECOVERY_FAILED, 0, 0},
    {SST_NMM_APPLICATIONS, Routine::Nmm, L"APPLICATIONS:\\", 0x200100, 0x200200, MSG_RESTORE_NMM_APPLICATIONS_FAILED, 0,
     0},
    {SST_NMM_SYSTEM_COMPONENTS, Routine::Nmm, L"SYSTEM COMPONENTS:\\ ", 0x200100, 0x200200,
     MSG_RESTORE_NMM_SYSTEM_COMPONENTS_FAILED, 0, 0},
    {SST_NMM_VSS, Routine::Nmm, L"VSS:/", 0x200100, 0x200200, MSG_RESTORE_NMM_VSS_FAILED, 0, 0},
};
const ComponentRow kSkipped = {0, Routine::Skip, L"", 0, 0, 0, 0, 0};

const wchar_t* const kDumpLabels[] = {
    L"??? Restored                     : ", L"SHAREPOINT Restored              : ",
    L"SYSTEM ASR Restored              : ", L"SYSTEM DB Restored               : ",
    L"SYSTEM FILES Restored            : ", L"SYSTEM STATE Restored            : ",
    L"VSS ASR DISK Restored            : ", L"VSS OTHER Restored               : ",
    L"VSS SYSTEM BOOT Restored         : ", L"VSS SYSTEM FILESET Restored      : ",
    L"VSS SYSTEM SERVICES Restored     : ", L"VSS USER DATA Restored           : ",
    L"DISASTER RECOVERY Restored       : ", L"(NMM) APPLICATIONS Restored      : ",
    L"(NMM) SYSTEM COMPONENTS Restored : ", L"(NMM) VSS Restored               : ",
    L"WINDOWS ROLES AND FEATURES       : ",
};

std::wstring InQuotes(const std::wstring& s)
{
    return L"\"" + s + L"\"";
}

bool StartsWithNoCase(const std::wstring& s, const std::wstring& sPrefix)
{
    return s.size() >= sPrefix.size() && _wcsnicmp(s.c_str(), sPrefix.c_str(), sPrefix.size()) == 0;
}

bool NotAfter(const struct tm& t, const SYSTEMTIME& pit)
{
    SYSTEMTIME st = SystemTimeFromTm(t);
    return !EarlierThan(pit, st);
}

bool Newer(const struct tm& a, const struct tm& b)
{
    SYSTEMTIME sa = SystemTimeFromTm(a);
    SYSTEMTIME sb = SystemTimeFromTm(b);
    return EarlierThan(sb, sa);
}

} // namespace

const ComponentRow& FindComponent(unsigned eType)
{
    for (const ComponentRow& row : kComponents)
        if (row.eType == eType)
            return row;
    return kSkipped;
}

const wchar_t* DumpLabel(unsigned eType)
{
    return eType >= 1 && eType <= 16 ? kDumpLabels[eType] : kDumpLabels[0];
}

bool NeedsPortQuery(unsigned short usMajor, unsigned short usMinor, unsigned short usSP)
{
    if (usMajor != 8)
        return usMajor > 8;
    return usMinor > 2 || (usMinor == 2 && usSP >= 2);
}

std::wstring VssCommandLine(const std::wstring& sRecoverPath, const std::wstring& sServer, const std::wstring& sClient,
                            const std::wstring& sPointInTime, const std::wstring& sSaveset, bool bCount)
{
    std::wstring s =
        sRecoverPath + (bCount ? L" -n" : L"") + L" -a -iY -s " + InQuotes(sServer) + L" -c " + InQuotes(sClient);
    if (!sPointInTime.empty())
        s += L" -t " + InQuotes(sPointInTime);
    return s + L" -N" + InQuotes(sSaveset);
}

std::wstring SsidCommandLine(const std::wstring& sRecoverPath, const std::wstring& sServer, const std::wstring& sSsid,
                             const std::wstring& sTarget, bool bCount)
{
    std::wstring s = sRecoverPath + (bCount ? L" -n" : L"") + L" -a -iY -s " + InQuotes(sServer) + L" -S " + sSsid;
    if (!sTarget.empty())
        s += L" -d " + InQuotes(ParentOfTarget(sTarget));
    return s;
}

std::wstring ParentOfTarget(const std::wstring& sTarget)
{
    return sTarget + (!sTarget.empty() && sTarget.back() == L'\\' ? L".." : L"\\..");
}

// Windows' own text for a connection the server refused.
const wchar_t kConnectionRefused[] = L"No connection could be made because the target machine actively refused it";

// recover's words for a saveset it cannot find, and for one without objects.
const wchar_t* const kNoSaveset[] = {L"no save set named", L"no save set with ssid"};
const wchar_t* const kNoObjects[] = {L"Requesting 0 file(s)", L"Recovering 0 file(s)"};

bool HoldsAny(const std::wstring& sLine, const wchar_t* const (&texts)[2])
{
    for (const wchar_t* p : texts)
        if (sLine.find(p) != std::wstring::npos)
            return true;
    return false;
}

SystemLine ClassifySystemLine(const std::wstring& sLine)
{
    if (LineHas(sLine, RL_RECOVERING_WRITER))
        return SystemLine::Writer;
    if (!IsObjectPath(sLine) && HoldsAny(sLine, kNoSaveset))
        return SystemLine::NoSaveset;
    if (!IsObjectPath(sLine) && HoldsAny(sLine, kNoObjects))
        return SystemLine::NoObjects;
    // Without a session recover finds nothing: its pass must not pass for an empty saveset.
    if (!IsObjectPath(sLine) && NoSessionMessage(sLine))
        return SystemLine::NoSession;
    if (sLine.find(L"ASR: ") != std::wstring::npos || LineHas(sLine, RL_COMPRESSED_ATTRIBUTE) ||
        LineHas(sLine, RL_SIMULTANEOUS_RECOVERY))
        return SystemLine::Ignored;
    return SystemLine::Restore;
}

unsigned NoSessionMessage(const std::wstring& sLine)
{
    if (LineHas(sLine, RL_FAILED_BUSY))
        return MSG_SERVER_BUSY;
    if (LineHas(sLine, RL_CONNECTION_ATTEMPT_FAILED))
        return MSG_CONNECTION_TIMED_OUT;
    if (LineHas(sLine, RL_RPC_CANNOT_CALL))
        return MSG_SERVER_NOT_CONTACTED;
    if (LineHas(sLine, RL_NO_ROUTE_TO_HOST) || sLine.find(kConnectionRefused) != std::wstring::npos)
        return MSG_NO_SESSION;
    return 0;
}

std::wstring StagedCopy(const std::wstring& sLine, const std::wstring& sStaging)
{
    size_t at = sLine.find(L":\\");
    if (at == std::wstring::npos)
        return {};
    return sStaging + sLine.substr(at + 2);
}

bool RestoresInPlace(const std::wstring& sSaveset)
{
    return sSaveset == L"SYSTEM DB" || sSaveset == L"SYSTEM FILES" || sSaveset == L"SYSTEM STATE";
}

bool StagedFolderDestination(const std::wstring& sStagingRoot, const std::wstring& sFolder, wchar_t wcLetter,
                             std::wstring& sDestination)
{
    std::wstring sRoot = sStagingRoot;
    if (!sRoot.empty() && sRoot.back() != L'\\')
        sRoot += L'\\';
    if (!StartsWithNoCase(sFolder, sRoot) || sFolder.size() == sRoot.size())
        return false;
    size_t next = sFolder.find(L'\\', sRoot.size());
    std::wstring sRest = next == std::wstring::npos ? L"\\" : sFolder.substr(next);
    if (sRest.size() > 1 && sRest.back() == L'\\')
        sRest.pop_back();
    sDestination = std::wstring(1, wcLetter) + L":" + sRest;
    return true;
}

bool WithoutNsrSuffix(const std::wstring& sPath, std::wstring& sWithout)
{
    size_t at = sPath.find(L"_NSR");
    if (at == std::wstring::npos)
        return false;
    sWithout = sPath;
    sWithout.erase(at, 4);
    return true;
}

bool ConfigFileDestination(const std::wstring& sPath, const wchar_t* pMarker, wchar_t wcLetter,
                           std::wstring& sDestination)
{
    std::wstring sUpper = sPath;
    for (wchar_t& c : sUpper)
        c = towupper(c);
    size_t at = sUpper.find(pMarker);
    if (at == std::wstring::npos)
        return false;
    // The marker's own trailing backslash starts the path on the volume.
    size_t from = at + wcslen(pMarker) - 1;
    sDestination = std::wstring(1, wcLetter) + L":" + sPath.substr(from);
    return true;
}

std::vector<SsidInfo> ChooseSavesets(const std::vector<SsidInfo>& lines, const SYSTEMTIME* pPit)
{
    std::vector<SsidInfo> chosen;
    for (const SsidInfo& line : lines) {
        if (pPit && !NotAfter(line.tmSaveTime, *pPit))
            continue;
        auto same = [&line](const SsidInfo& s) { return s.sName == line.sName; };
        auto found = std::find_if(chosen.begin(), chosen.end(), same);
        if (found == chosen.end())
            chosen.push_back(line);
        else if (!Newer(found->tmSaveTime, line.tmSaveTime))
            *found = line; // on equal times the later line of the report wins, as before
    }
    return chosen;
}

} // namespace systemrules
