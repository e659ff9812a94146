#include "simulator/common/text.h"

#include "support/win.h"

#include <algorithm>

namespace nwsim
{

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return s;
}

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    return Lower(a) == Lower(b);
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix)
{
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::vector<std::string> Split(const std::string& s, char cSep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t pos = s.find(cSep, start);
        parts.push_back(s.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (pos == std::string::npos)
            return parts;
        start = pos + 1;
    }
}

std::vector<std::string> Lines(const std::string& sText)
{
    std::vector<std::string> lines = Split(sText, '\n');
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    for (std::string& line : lines) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    }
    return lines;
}

bool ParseUnsigned(const std::string& s, unsigned long long& ullValue)
{
    if (s.empty() || s.size() > 19)
        return false;
    unsigned long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    ullValue = v;
    return true;
}

std::wstring Wide(const std::string& sUtf8)
{
    if (sUtf8.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, sUtf8.data(), static_cast<int>(sUtf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, sUtf8.data(), static_cast<int>(sUtf8.size()), out.data(), n);
    return out;
}

std::string Utf8(const std::wstring& s)
{
    if (s.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

} // namespace nwsim
