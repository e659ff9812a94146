#include "tests/abi/abi_host.h"
#include <cstdio>
#include <vector>

namespace abi
{
namespace
{

std::vector<std::string>& Scopes()
{
    static std::vector<std::string> scopes;
    return scopes;
}

int g_nChecks = 0;
int g_nFailures = 0;

bool Record(bool bPassed, const char* pWhat, const std::string& sDetail)
{
    ++g_nChecks;
    if (bPassed)
        return true;
    ++g_nFailures;
    std::string sWhere;
    for (const std::string& s : Scopes())
        sWhere += s + " / ";
    std::printf("FAILED: %s%s%s%s\n", sWhere.c_str(), pWhat, sDetail.empty() ? "" : ": ", sDetail.c_str());
    std::fflush(stdout);
    return false;
}

// A printable excerpt: the length and the start, non-ASCII characters as \uXXXX.
std::string Describe(const std::wstring& s)
{
    const size_t kShown = 60;
    std::string out = std::to_string(s.size()) + " chars \"";
    for (size_t i = 0; i < s.size() && i < kShown; ++i) {
        if (s[i] >= 0x20 && s[i] < 0x7F) {
            out += static_cast<char>(s[i]);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof(buf), "\\u%04X", static_cast<unsigned>(s[i]));
            out += buf;
        }
    }
    return out + (s.size() > kShown ? "...\"" : "\"");
}

size_t FirstDifference(const std::wstring& a, const std::wstring& b)
{
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    return i;
}

} // namespace

Scope::Scope(std::string sName)
{
    Scopes().push_back(std::move(sName));
}

Scope::~Scope()
{
    Scopes().pop_back();
}

bool True(bool bCondition, const char* pWhat)
{
    return Record(bCondition, pWhat, "");
}

bool Equal(unsigned long long ullGot, unsigned long long ullWant, const char* pWhat)
{
    return Record(ullGot == ullWant, pWhat, "got " + std::to_string(ullGot) + ", want " + std::to_string(ullWant));
}

bool Equal(const std::wstring& sGot, const std::wstring& sWant, const char* pWhat)
{
    if (sGot == sWant)
        return Record(true, pWhat, "");
    return Record(false, pWhat,
                  "got " + Describe(sGot) + ", want " + Describe(sWant) + ", first difference at " +
                      std::to_string(FirstDifference(sGot, sWant)));
}

bool StartsWith(const std::wstring& sText, const std::wstring& sPrefix, const char* pWhat)
{
    return Record(sText.compare(0, sPrefix.size(), sPrefix) == 0, pWhat,
                  "got " + Describe(sText) + ", want a start of " + Describe(sPrefix));
}

bool IsReason(const std::wstring& sText, const char* pWhat)
{
    return Record(!sText.empty() && sText != L"No error", pWhat, "got " + Describe(sText));
}

int Checks()
{
    return g_nChecks;
}

int Failures()
{
    return g_nFailures;
}

} // namespace abi
