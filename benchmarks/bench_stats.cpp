#include "benchmarks/bench_stats.h"

#include "support/win.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace bench
{

Summary Summarize(std::vector<double> values)
{
    Summary s;
    s.nCount = values.size();
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    s.dMin = values.front();
    s.dMax = values.back();
    const size_t n = values.size();
    s.dMedian = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return s;
}

std::vector<double> ValuesOf(const std::vector<std::wstring>& lines, const std::wstring& sKey)
{
    std::vector<double> values;
    const std::wstring sPrefix = sKey + L" ";
    for (const std::wstring& sLine : lines) {
        if (sLine.compare(0, sPrefix.size(), sPrefix) != 0)
            continue;
        const wchar_t* pStart = sLine.c_str() + sPrefix.size();
        wchar_t* pEnd = nullptr;
        double d = std::wcstod(pStart, &pEnd);
        if (pEnd != pStart && *pEnd == L'\0')
            values.push_back(d);
    }
    return values;
}

std::string FigureLine(const std::string& sId, const std::string& sUnit, const Summary& s, const std::string& sNote)
{
    char sz[256];
    std::snprintf(sz, sizeof(sz), "figure %s %s %.6g %.6g %.6g %zu", sId.c_str(), sUnit.c_str(), s.dMin, s.dMedian,
                  s.dMax, s.nCount);
    return sNote.empty() ? std::string(sz) : std::string(sz) + " " + sNote;
}

long long NowUs()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart * 1000000 / freq.QuadPart;
}

std::wstring ProgramFolder()
{
    wchar_t wsz[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, wsz, MAX_PATH);
    std::wstring s = wsz;
    return s.substr(0, s.rfind(L'\\') + 1);
}

} // namespace bench
