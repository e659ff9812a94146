#include "simulator/common/datetime.h"

#include "simulator/common/text.h"
#include "support/win.h"

#include <cstdio>
#include <vector>

namespace nwsim
{
namespace
{

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool bLeap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && bLeap ? 29 : days[month - 1];
}

int MonthFromName(const std::string& sName)
{
    if (sName.size() < 3)
        return 0;
    for (int i = 0; i < 12; ++i) {
        if (StartsWithNoCase(kMonths[i], sName))
            return i + 1;
    }
    return 0;
}

// Digit groups of a text, e.g. "22:00:05" -> 22, 0, 5. False when a group is not a number.
bool Groups(const std::string& s, char cSep, std::vector<int>& out)
{
    out.clear();
    for (const std::string& part : Split(s, cSep)) {
        unsigned long long v = 0;
        if (!ParseUnsigned(part, v) || v > 9999)
            return false;
        out.push_back(static_cast<int>(v));
    }
    return true;
}

bool ParseClock(const std::string& s, DateTime& dt)
{
    std::vector<int> g;
    if (!Groups(s, ':', g) || g.size() < 2 || g.size() > 3)
        return false;
    dt.hour = g[0];
    dt.minute = g[1];
    dt.second = g.size() == 3 ? g[2] : 0;
    return true;
}

// Up to three numbers in a fixed format (unused trailing values are ignored by the format).
std::string Numbers(const char* pszFormat, int a, int b, int c)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), pszFormat, a, b, c);
    return buf;
}

int DayOfWeek(const DateTime& dt) // Sakamoto's method
{
    static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int y = dt.year - (dt.month < 3 ? 1 : 0);
    return (y + y / 4 - y / 100 + y / 400 + t[dt.month - 1] + dt.day) % 7;
}

} // namespace

long long DateTime::Key() const
{
    return ((((static_cast<long long>(year) * 13 + month) * 32 + day) * 24 + hour) * 60 + minute) * 60 + second;
}

bool IsValid(const DateTime& dt)
{
    return dt.year >= 1970 && dt.year <= 9999 && dt.month >= 1 && dt.month <= 12 && dt.day >= 1 &&
           dt.day <= DaysInMonth(dt.year, dt.month) && dt.hour < 24 && dt.minute < 60 && dt.second < 60 &&
           dt.hour >= 0 && dt.minute >= 0 && dt.second >= 0;
}

bool ParseStoreTime(const std::string& s, DateTime& dt)
{
    std::vector<std::string> parts = Split(Trim(s), ' ');
    std::vector<int> g;
    if (parts.size() != 2 || !Groups(parts[0], '-', g) || g.size() != 3)
        return false;
    DateTime r;
    r.year = g[0];
    r.month = g[1];
    r.day = g[2];
    if (!ParseClock(parts[1], r) || !IsValid(r))
        return false;
    dt = r;
    return true;
}

bool ParsePointInTime(const std::string& sText, DateTime& dt)
{
    std::string s = Trim(sText);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = Trim(s.substr(1, s.size() - 2));
    DateTime r;
    size_t blank = s.find(' ');
    if (blank == std::string::npos)
        return false;
    std::string sFirst = s.substr(0, blank);
    std::string sRest = Trim(s.substr(blank + 1));
    std::vector<int> g;
    if (Groups(sFirst, '/', g) && g.size() == 3) { // 03/08/2021 22:00
        r.month = g[0];
        r.day = g[1];
        r.year = g[2];
    } else { // June 05,2021 13:45:00
        r.month = MonthFromName(sFirst);
        size_t comma = sRest.find(',');
        if (r.month == 0 || comma == std::string::npos)
            return false;
        std::string sYearAndTime = Trim(sRest.substr(comma + 1));
        blank = sYearAndTime.find(' ');
        if (!Groups(Trim(sRest.substr(0, comma)), '/', g) || g.size() != 1 || blank == std::string::npos)
            return false;
        r.day = g[0];
        if (!Groups(sYearAndTime.substr(0, blank), '/', g) || g.size() != 1)
            return false;
        r.year = g[0];
        sRest = Trim(sYearAndTime.substr(blank + 1));
    }
    if (!ParseClock(sRest, r) || !IsValid(r))
        return false;
    dt = r;
    return true;
}

std::string FormatSlashDate(const DateTime& dt)
{
    return Numbers("%02d/%02d/%04d", dt.month, dt.day, dt.year);
}

std::string FormatHourMinute(const DateTime& dt)
{
    return Numbers("%02d:%02d", dt.hour, dt.minute, 0);
}

std::string FormatClock24(const DateTime& dt)
{
    return Numbers("%02d:%02d:%02d", dt.hour, dt.minute, dt.second);
}

std::string FormatClock12(const DateTime& dt)
{
    int hour12 = dt.hour % 12 == 0 ? 12 : dt.hour % 12;
    char buf[24];
    std::snprintf(buf, sizeof(buf), "%d:%02d:%02d %s", hour12, dt.minute, dt.second, dt.hour < 12 ? "AM" : "PM");
    return buf;
}

std::string FormatCtime(const DateTime& dt)
{
    char buf[40];
    std::snprintf(buf, sizeof(buf), "%s %.3s %2d %02d:%02d:%02d %d", kDays[DayOfWeek(dt)], kMonths[dt.month - 1],
                  dt.day, dt.hour, dt.minute, dt.second, dt.year);
    return buf;
}

std::string FormatLsTime(const DateTime& dt)
{
    char buf[24];
    std::snprintf(buf, sizeof(buf), "%.3s %2d %02d:%02d", kMonths[dt.month - 1], dt.day, dt.hour, dt.minute);
    return buf;
}

DateTime LocalNow()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    DateTime dt;
    dt.year = st.wYear;
    dt.month = st.wMonth;
    dt.day = st.wDay;
    dt.hour = st.wHour;
    dt.minute = st.wMinute;
    dt.second = st.wSecond;
    return dt;
}

} // namespace nwsim
