#include "catalogue/date_time.h"

#include <vector>

namespace
{

// Numbers are capped so that a long run of digits cannot overflow; the cap is out of every range.
const long long kCap = 1000000;

// The numbers of a text: digits build the current one, any other character starts the next.
std::vector<long long> Numbers(const std::wstring& s)
{
    std::vector<long long> numbers;
    if (s.empty())
        return numbers;
    numbers.push_back(0);
    for (wchar_t wc : s) {
        if (wc >= L'0' && wc <= L'9') {
            long long& n = numbers.back();
            n = n >= kCap ? kCap : n * 10 + (wc - L'0');
        } else {
            numbers.push_back(0);
        }
    }
    return numbers;
}

bool InRange(long long v, long long lo, long long hi)
{
    return v >= lo && v <= hi;
}

// Fills tm from three date numbers (month, day, year) and hour, minute, second.
bool Fill(const std::vector<long long>& date, long long h, long long m, long long s, struct tm& tm)
{
    tm = {};
    if (date.size() != 3 || !InRange(date[0], 1, 12) || !InRange(date[1], 1, 31) || !InRange(date[2], 1900, 9999) ||
        !InRange(h, 0, 23) || !InRange(m, 0, 59) || !InRange(s, 0, 59))
        return false;
    tm.tm_mon = static_cast<int>(date[0] - 1);
    tm.tm_mday = static_cast<int>(date[1]);
    tm.tm_year = static_cast<int>(date[2] - 1900);
    tm.tm_hour = static_cast<int>(h);
    tm.tm_min = static_cast<int>(m);
    tm.tm_sec = static_cast<int>(s);
    return true;
}

} // namespace

namespace catalogue
{

bool ParseDateTime3(const std::wstring& sDate, const std::wstring& sTime, struct tm& tm)
{
    std::vector<long long> time = Numbers(sTime);
    if (time.size() != 3) {
        tm = {};
        return false;
    }
    return Fill(Numbers(sDate), time[0], time[1], time[2], tm);
}

bool ParseDateTime2(const std::wstring& sDate, const std::wstring& sTime, struct tm& tm)
{
    std::vector<long long> time = Numbers(sTime);
    if (time.size() != 2) {
        tm = {};
        return false;
    }
    return Fill(Numbers(sDate), time[0], time[1], 0, tm);
}

void ApplyAmPm(struct tm& tm, const std::wstring& sToken)
{
    if (sToken == L"AM" && tm.tm_hour == 12)
        tm.tm_hour = 0;
    else if (sToken == L"PM" && tm.tm_hour < 12)
        tm.tm_hour += 12;
}

} // namespace catalogue
