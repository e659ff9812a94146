// velmora::string: the module's own wide string type. A distinct type (not an alias of
// std::wstring) so that the trace facility can tell it apart, as the host's code does.
#pragma once
#include <string>

namespace velmora
{

class string : public std::wstring
{
public:
    using std::wstring::wstring;
    string() = default;
    string(const std::wstring& s) : std::wstring(s) {}
    string(std::wstring&& s) noexcept : std::wstring(std::move(s)) {}
};

// Narrow text (tool output, resolver names) to wide: each byte is taken in the ANSI code
// page; characters that cannot be converted become "?".
std::wstring widen(const std::string& s);
// Wide to narrow in the ANSI code page; unconvertible characters become "?".
std::string narrow(const std::wstring& s);
// Wide to UTF-8.
std::string to_utf8(const std::wstring& s);

} // namespace velmora
