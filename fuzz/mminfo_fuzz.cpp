// The media database report in both modes, line by line as the catalogue reads it: the lists
// it builds keep their promises whatever the lines hold.
#include "catalogue/mminfo_report.h"
#include "fuzz_support.h"

#include <set>

namespace
{

// A save time that could not be read is all zero; any other is in range.
bool ValidTime(const struct tm& tm)
{
    if (tm.tm_mday == 0)
        return tm.tm_year == 0 && tm.tm_mon == 0 && tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0;
    return tm.tm_mon >= 0 && tm.tm_mon <= 11 && tm.tm_mday >= 1 && tm.tm_mday <= 31 && tm.tm_hour >= 0 &&
           tm.tm_hour <= 23 && tm.tm_min >= 0 && tm.tm_min <= 59 && tm.tm_sec >= 0 && tm.tm_sec <= 59;
}

// A split line: columns without commas, the volume first and the name last, a readable time.
void CheckSplit(const std::wstring& sLine, bool bTypePresent)
{
    catalogue::MminfoLine line;
    const wchar_t* pReason = L"unset";
    catalogue::ReportLine result = catalogue::SplitMminfoLine(sLine, bTypePresent, line, pReason);
    if (result != catalogue::ReportLine::Used) {
        FUZZ_CHECK(pReason != nullptr);
        return;
    }
    FUZZ_CHECK(pReason == nullptr);
    for (const std::wstring* p : {&line.sVolume, &line.sType, &line.sClient, &line.sSsid, &line.sFlags, &line.sLevel})
        FUZZ_CHECK(p->find(L',') == std::wstring::npos);
    FUZZ_CHECK(bTypePresent || line.sType.empty());
    FUZZ_CHECK(sLine.compare(0, line.sVolume.size() + 1, line.sVolume + L",") == 0);
    FUZZ_CHECK(sLine.size() >= line.sName.size() &&
               sLine.compare(sLine.size() - line.sName.size(), line.sName.size(), line.sName) == 0);
    FUZZ_CHECK(ValidTime(catalogue::SaveTime(line)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    // The first byte chooses the report layout (with or without the type column) and the target.
    const bool bTypePresent = (pData[0] & 1) != 0;
    static const wchar_t* const kTargets[] = {L"OSSR_", L"DISASTER_RECOVERY:\\", L"VSS:/", L"SYSTEM COMPONENTS:\\"};
    const std::wstring sTarget = kTargets[(pData[0] >> 1) % 4];
    std::vector<SystemStateEntry> entries;
    std::vector<SsidInfo> savesets;
    for (const std::wstring& sLine : fuzzsupport::ToolLines(pData + 1, nSize - 1)) {
        CheckSplit(sLine, bTypePresent);
        const wchar_t* pReason = nullptr;
        const size_t nBefore = entries.size();
        catalogue::ReportLine result = catalogue::ParseMminfoCatalogue(sLine, bTypePresent, entries, pReason);
        FUZZ_CHECK(result == catalogue::ReportLine::Used || entries.size() == nBefore);
        const size_t nSavesets = savesets.size();
        result = catalogue::ParseMminfoTarget(sLine, sTarget, savesets, pReason, bTypePresent);
        FUZZ_CHECK(savesets.size() == nSavesets + (result == catalogue::ReportLine::Used ? 1 : 0) ||
                   (result == catalogue::ReportLine::Used && savesets.size() == nSavesets));
    }
    // Each NMM component once, the three of them or none.
    std::set<unsigned> types;
    for (const SystemStateEntry& e : entries) {
        FUZZ_CHECK(e.eType == SST_NMM_APPLICATIONS || e.eType == SST_NMM_SYSTEM_COMPONENTS || e.eType == SST_NMM_VSS);
        FUZZ_CHECK(e.stBackupTime.wDayOfWeek == 0 && e.stBackupTime.wMilliseconds == 0);
        types.insert(e.eType);
    }
    FUZZ_CHECK(types.size() == entries.size() && (entries.empty() || entries.size() == 3));
    // One saveset per name, each holding the target; "OSSR_" ones carry their drive path.
    std::set<std::wstring> names;
    for (const SsidInfo& info : savesets) {
        FUZZ_CHECK(info.sName.find(sTarget) != std::wstring::npos);
        FUZZ_CHECK(ValidTime(info.tmSaveTime));
        FUZZ_CHECK(sTarget != L"OSSR_" ||
                   (info.sTarget.size() >= 3 && info.sTarget.find(L":\\") != std::wstring::npos));
        names.insert(info.sName);
    }
    FUZZ_CHECK(names.size() == savesets.size());
    return 0;
}
