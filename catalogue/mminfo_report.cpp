#include "catalogue/mminfo_report.h"

#include "catalogue/date_time.h"
#include "restore/recover_literals.h"

#include <algorithm>

namespace
{

const wchar_t kOssrPrefix[] = L"OSSR_";

// Cuts the text before the next comma off sRest; false when there is no comma.
bool CutColumn(std::wstring& sRest, std::wstring& sColumn)
{
    size_t comma = sRest.find(L',');
    if (comma == std::wstring::npos)
        return false;
    sColumn = sRest.substr(0, comma);
    sRest.erase(0, comma + 1);
    return true;
}

bool Holds(const std::wstring& s, const wchar_t* pPart)
{
    return s.find(pPart) != std::wstring::npos;
}

// The text before the first blank and the text after it (all of it when there is no blank).
void SplitAtBlank(const std::wstring& s, std::wstring& sFirst, std::wstring& sRest)
{
    size_t blank = s.find(L' ');
    sFirst = s.substr(0, blank);
    sRest = blank == std::wstring::npos ? std::wstring() : s.substr(blank + 1);
}

void SplitDateTime(const std::wstring& sColumn, catalogue::MminfoLine& out)
{
    std::wstring sRest;
    SplitAtBlank(sColumn, out.sDate, sRest);
    size_t blank = sRest.find(L' ');
    out.sTime = sRest.substr(0, blank);
    out.sAmPm = blank == std::wstring::npos ? out.sTime : sRest.substr(blank + 1);
}

// The NMM saveset names. "SYSTEM COMPONENTS:\ " ends in a blank that the line reader strips
// from the end of a line, so it is looked for without it.
bool IsNmmName(const std::wstring& sName)
{
    for (const wchar_t* pName : {L"SYSTEM COMPONENTS:\\", L"VSS:/", L"APPLICATIONS:\\"}) {
        if (sName.rfind(pName, 0) == 0)
            return true;
    }
    return false;
}

} // namespace

namespace catalogue
{

std::wstring MminfoCommandLine(const std::wstring& sMminfoPath, const std::wstring& sServer,
                               const std::wstring& sClient)
{
    return sMminfoPath + L" -v -s \"" + sServer + L"\" -c \"" + sClient + L"\" -xc,";
}

ReportLine SplitMminfoLine(const std::wstring& sLine, bool bTypePresent, MminfoLine& out, const wchar_t*& pReason)
{
    out = MminfoLine();
    pReason = nullptr;
    if (sLine.empty()) {
        pReason = L"Blank line";
        return ReportLine::Skipped;
    }
    if (LineHas(sLine, RL_RPC_ERROR)) {
        pReason = L"RPC error";
        return ReportLine::Rejected;
    }
    if (LineHas(sLine, RL_DNS_LOOKUP_FAILED) || LineHas(sLine, RL_REVERSE_DNS_FAILED)) {
        pReason = L"DNS warning";
        return ReportLine::Skipped;
    }
    std::wstring sRest = sLine;
    if (!CutColumn(sRest, out.sVolume)) {
        pReason = L"Scrambled line [Volume]";
        return ReportLine::Rejected;
    }
    if (out.sVolume == L"volume") {
        pReason = L"Title line";
        return ReportLine::Skipped;
    }
    std::wstring sDateTime, sSize;
    struct Column {
        std::wstring* pText;
        const wchar_t* pReason;
    };
    const Column columns[] = {
        {bTypePresent ? &out.sType : nullptr, L"Scrambled line [Type]"},
        {&out.sClient, L"Scrambled line [Client]"},
        {&sDateTime, L"Scrambled line [Date-Time]"},
        {&sSize, L"Scrambled line [Sum-Size]"},
        {&out.sSsid, L"Scrambled line [SSID]"},
        {&out.sFlags, L"Scrambled line [Flags]"},
        {&out.sLevel, L"Scrambled line [Level]"},
    };
    for (const Column& c : columns) {
        if (c.pText && !CutColumn(sRest, *c.pText)) {
            pReason = c.pReason;
            return ReportLine::Rejected;
        }
    }
    out.sName = sRest;
    SplitDateTime(sDateTime, out);
    SplitAtBlank(sSize, out.sSizeNumber, out.sSizeUnit);
    return ReportLine::Used;
}

struct tm SaveTime(const MminfoLine& line)
{
    struct tm tm = {};
    if (ParseDateTime3(line.sDate, line.sTime, tm))
        ApplyAmPm(tm, line.sAmPm);
    return tm;
}

ReportLine ParseMminfoCatalogue(const std::wstring& sLine, bool bTypePresent, std::vector<SystemStateEntry>& entries,
                                const wchar_t*& pReason)
{
    MminfoLine line;
    ReportLine result = SplitMminfoLine(sLine, bTypePresent, line, pReason);
    if (result != ReportLine::Used)
        return result;
    if (!IsNmmName(line.sName)) {
        pReason = L"Not NMM APPLICATIONS / SYSTEM COMPONENTS / VSS name";
        return ReportLine::Skipped;
    }
    SystemStateEntry entry;
    entry.stBackupTime = SystemTimeFromTm(SaveTime(line));
    for (unsigned eType : {SST_NMM_APPLICATIONS, SST_NMM_SYSTEM_COMPONENTS, SST_NMM_VSS}) {
        auto same = [eType](const SystemStateEntry& e) { return e.eType == eType; };
        if (std::none_of(entries.begin(), entries.end(), same)) {
            entry.eType = eType;
            entries.push_back(entry);
        }
    }
    return ReportLine::Used;
}

bool OssrTarget(const std::wstring& sName, std::wstring& sTarget)
{
    size_t at = sName.find(kOssrPrefix);
    if (at == std::wstring::npos)
        return false;
    std::wstring s = sName;
    s.erase(at, wcslen(kOssrPrefix));
    if (s.size() == 1) {
        sTarget = s + L":\\";
        return true;
    }
    size_t underscore = s.find(L'_');
    if (underscore == std::wstring::npos)
        return false;
    sTarget = s.replace(underscore, 1, L":\\");
    return true;
}

ReportLine ParseMminfoTarget(const std::wstring& sLine, const std::wstring& sTarget, std::vector<SsidInfo>& savesets,
                             const wchar_t*& pReason, bool bTypePresent)
{
    if (sTarget.empty()) {
        pReason = L"Invalid argument [target]";
        return ReportLine::Rejected;
    }
    MminfoLine line;
    ReportLine result = SplitMminfoLine(sLine, bTypePresent, line, pReason);
    if (result != ReportLine::Used)
        return result;
    if (Holds(line.sVolume, L".RO")) {
        pReason = L"Read-Only volume";
        return ReportLine::Skipped;
    }
    if (!Holds(line.sName, sTarget.c_str())) {
        pReason = L"Saveset name doesn't match target";
        return ReportLine::Skipped;
    }
    SsidInfo info;
    info.sSsid = line.sSsid;
    info.sName = line.sName;
    info.tmSaveTime = SaveTime(line);
    if (sTarget == kOssrPrefix && !OssrTarget(line.sName, info.sTarget)) {
        pReason = L"No OSSR_ prefix in name";
        return ReportLine::Skipped;
    }
    auto same = [&info](const SsidInfo& s) { return s.sName == info.sName; };
    auto found = std::find_if(savesets.begin(), savesets.end(), same);
    if (found != savesets.end())
        *found = info;
    else
        savesets.push_back(info);
    return ReportLine::Used;
}

} // namespace catalogue
