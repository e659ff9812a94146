#include "catalogue/catalogue_types.h"

#include <cwchar>
#include <tuple>

SYSTEMTIME SystemTimeFromTm(const struct tm& tm)
{
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(tm.tm_year + 1900);
    st.wMonth = static_cast<WORD>(tm.tm_mon + 1);
    st.wDay = static_cast<WORD>(tm.tm_mday);
    st.wHour = static_cast<WORD>(tm.tm_hour);
    st.wMinute = static_cast<WORD>(tm.tm_min);
    st.wSecond = static_cast<WORD>(tm.tm_sec);
    return st;
}

bool EarlierThan(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    return std::tie(a.wYear, a.wMonth, a.wDay, a.wHour, a.wMinute, a.wSecond, a.wMilliseconds) <
           std::tie(b.wYear, b.wMonth, b.wDay, b.wHour, b.wMinute, b.wSecond, b.wMilliseconds);
}

std::wstring DescribeSystemState(const std::vector<SystemStateEntry>& entries)
{
    std::wstring s;
    for (const SystemStateEntry& e : entries) {
        wchar_t wsz[64] = {};
        const SYSTEMTIME& t = e.stBackupTime;
        std::swprintf(wsz, 64, L"%u\t%04u-%02u-%02u %02u:%02u:%02u\n", e.eType, t.wYear, t.wMonth, t.wDay, t.wHour,
                      t.wMinute, t.wSecond);
        s += wsz;
    }
    return s;
}
