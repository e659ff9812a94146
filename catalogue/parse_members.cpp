// The parsers of the catalogue as members of the implementation object: each traces what it
// was given and why a line was passed over, and leaves the decision to the plain functions.
#include "catalogue/date_time.h"
#include "catalogue/listing.h"
#include "catalogue/mminfo_report.h"
#include "plugin/cvex_impl.h"
#include "trace/trace.h"

namespace
{

// Traces a passed-over line with its reason.
void TraceLine(const wchar_t* pFn, DWORD dwLevel, const wchar_t* pReason, const std::wstring& sLine)
{
    CvexTrace().Str(dwLevel, pFn, pReason ? pReason : L"sLine", sLine);
}

} // namespace

bool CVEXImpl::ParseMminfo(const std::wstring& sLine, bool bTypePresent, std::vector<SystemStateEntry>& entries)
{
    const wchar_t* fn = L"CVEXImpl::ParseMminfo";
    const wchar_t* pReason = nullptr;
    catalogue::ReportLine result = catalogue::ParseMminfoCatalogue(sLine, bTypePresent, entries, pReason);
    if (result == catalogue::ReportLine::Rejected)
        TraceLine(fn, TL_WARNING, pReason, sLine);
    else if (result == catalogue::ReportLine::Skipped)
        TraceLine(fn, TL_VERBOSE, pReason, sLine);
    return result != catalogue::ReportLine::Rejected;
}

void CVEXImpl::ParseMminfo(const std::wstring& sLine, const std::wstring& sTarget, std::vector<SsidInfo>& savesets)
{
    const wchar_t* fn = L"CVEXImpl::ParseMminfo";
    const wchar_t* pReason = nullptr;
    if (catalogue::ParseMminfoTarget(sLine, sTarget, savesets, pReason, ReportHasTypeColumn()) !=
        catalogue::ReportLine::Used)
        TraceLine(fn, TL_VERBOSE, pReason, sLine);
}

// Recovery clients 7.4 and 7.5 print the media database report without its type column.
bool CVEXImpl::ReportHasTypeColumn() const
{
    return !(m_usRecoverNetWorkerClientVersionMajor == 7 &&
             (m_usRecoverNetWorkerClientVersionMinor == 4 || m_usRecoverNetWorkerClientVersionMinor == 5));
}

bool CVEXImpl::ParseDateTime3(const std::wstring& sDate, const std::wstring& sTime, struct tm& tm)
{
    if (catalogue::ParseDateTime3(sDate, sTime, tm))
        return true;
    CvexTrace().Str(TL_WARNING, L"CVEXImpl::ParseDateTime3", L"Mangled date/time", sDate + L" " + sTime);
    return false;
}

bool CVEXImpl::ParseDateTime2(const std::wstring& sDate, const std::wstring& sTime, struct tm& tm)
{
    if (catalogue::ParseDateTime2(sDate, sTime, tm))
        return true;
    CvexTrace().Str(TL_WARNING, L"CVEXImpl::ParseDateTime2", L"Mangled date/time", sDate + L" " + sTime);
    return false;
}

bool CVEXImpl::ParseSystemState(const std::wstring& sLine, SystemStateEntry& entry)
{
    const wchar_t* pReason = nullptr;
    if (catalogue::ParseSystemState(sLine, entry, pReason))
        return true;
    TraceLine(L"CVEXImpl::ParseSystemState", TL_WARNING, pReason, sLine);
    return false;
}

bool CVEXImpl::ParseFilespace(const std::wstring& sLine, FileSpace& fs)
{
    const wchar_t* pReason = nullptr;
    if (catalogue::ParseFilespace(sLine, fs, pReason)) {
        if (!fs.bFsTimeValid)
            TraceLine(L"CVEXImpl::ParseFilespace", TL_WARNING, L"Bad backup date/time", sLine);
        return true;
    }
    TraceLine(L"CVEXImpl::ParseFilespace", TL_WARNING, pReason, sLine);
    return false;
}
