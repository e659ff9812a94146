// Dates and times of the listings and reports: a pair either fails with tm all zero or gives
// values in range that, written back in the tool's form, parse to the same tm.
#include "catalogue/date_time.h"
#include "fuzz_support.h"

#include <cstring>

namespace
{

bool AllZero(const struct tm& tm)
{
    static const struct tm kZero = {};
    return std::memcmp(&tm, &kZero, sizeof tm) == 0;
}

bool InRange(const struct tm& tm)
{
    return tm.tm_mon >= 0 && tm.tm_mon <= 11 && tm.tm_mday >= 1 && tm.tm_mday <= 31 && tm.tm_year >= 0 &&
           tm.tm_year <= 9999 - 1900 && tm.tm_hour >= 0 && tm.tm_hour <= 23 && tm.tm_min >= 0 && tm.tm_min <= 59 &&
           tm.tm_sec >= 0 && tm.tm_sec <= 59;
}

bool Same(const struct tm& a, const struct tm& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::wstring Date(const struct tm& tm)
{
    return std::to_wstring(tm.tm_mon + 1) + L"/" + std::to_wstring(tm.tm_mday) + L"/" +
           std::to_wstring(tm.tm_year + 1900);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    // The first line is the date, the second the time, the third an AM/PM token.
    std::vector<std::wstring> lines = fuzzsupport::ToolLines(pData, nSize);
    lines.resize(3);
    const std::wstring& sDate = lines[0];
    const std::wstring& sTime = lines[1];

    struct tm tm3;
    std::memset(&tm3, 0x5A, sizeof tm3);
    if (catalogue::ParseDateTime3(sDate, sTime, tm3)) {
        FUZZ_CHECK(InRange(tm3));
        const std::wstring sBack =
            std::to_wstring(tm3.tm_hour) + L":" + std::to_wstring(tm3.tm_min) + L":" + std::to_wstring(tm3.tm_sec);
        struct tm again = {};
        FUZZ_CHECK(catalogue::ParseDateTime3(Date(tm3), sBack, again) && Same(again, tm3));
        struct tm hours = tm3;
        catalogue::ApplyAmPm(hours, lines[2]);
        FUZZ_CHECK(hours.tm_hour >= 0 && hours.tm_hour <= 23);
        FUZZ_CHECK(hours.tm_min == tm3.tm_min && hours.tm_mday == tm3.tm_mday);
    } else {
        FUZZ_CHECK(AllZero(tm3));
    }

    struct tm tm2;
    std::memset(&tm2, 0x5A, sizeof tm2);
    if (catalogue::ParseDateTime2(sDate, sTime, tm2)) {
        FUZZ_CHECK(InRange(tm2) && tm2.tm_sec == 0);
        const std::wstring sBack = std::to_wstring(tm2.tm_hour) + L":" + std::to_wstring(tm2.tm_min);
        struct tm again = {};
        FUZZ_CHECK(catalogue::ParseDateTime2(Date(tm2), sBack, again) && Same(again, tm2));
        // The same time with seconds added reads the same in the report form.
        struct tm withSeconds = {};
        FUZZ_CHECK(catalogue::ParseDateTime3(sDate, sTime + L":0", withSeconds) && Same(withSeconds, tm2));
    } else {
        FUZZ_CHECK(AllZero(tm2));
    }
    return 0;
}
