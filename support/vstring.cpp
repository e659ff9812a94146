#include "support/vstring.h"

#include "support/win.h"

namespace velmora
{

std::wstring widen(const std::string& s)
{
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring(s.size(), L'?');
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

static std::string to_code_page(const std::wstring& s, UINT cp)
{
    if (s.empty())
        return {};
    const char* pDefault = cp == CP_UTF8 ? nullptr : "?";
    int n = WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, pDefault, nullptr);
    if (n <= 0)
        return std::string(s.size(), '?');
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), out.data(), n, pDefault, nullptr);
    return out;
}

std::string narrow(const std::wstring& s)
{
    return to_code_page(s, CP_ACP);
}
std::string to_utf8(const std::wstring& s)
{
    return to_code_page(s, CP_UTF8);
}

} // namespace velmora
