#include "credentials/safe_text.h"

namespace safetext
{

namespace
{

// The characters no kind may hold, with what the refusal says. Quotes end the quoting of an
// argument; percent signs, carets and ampersands are what a command shell expands or splits on;
// the redirections and pipe are refused with them, as a Windows name never holds them anyway.
struct Forbidden {
    wchar_t wc;
    const wchar_t* pReason;
};
constexpr Forbidden kForbidden[] = {
    {L'"', L"holds a double quote"}, {L'%', L"holds a percent sign"},   {L'^', L"holds a caret"},
    {L'&', L"holds an ampersand"},   {L'<', L"holds a less-than sign"}, {L'>', L"holds a greater-than sign"},
    {L'|', L"holds a vertical bar"},
};

bool IsLineBreak(wchar_t wc)
{
    return wc == L'\r' || wc == L'\n' || wc == 0x0085 || wc == 0x2028 || wc == 0x2029;
}

bool IsControl(wchar_t wc)
{
    return wc < 0x20 || (wc >= 0x7F && wc < 0xA0);
}

const wchar_t* CharacterRefusal(wchar_t wc, Kind kind)
{
    for (const Forbidden& f : kForbidden)
        if (wc == f.wc)
            return f.pReason;
    if (IsLineBreak(wc))
        return L"holds a line break";
    if (IsControl(wc))
        return L"holds a control character";
    if (kind == Kind::HostName && (wc == L' ' || wc == 0x00A0 || wc == 0x3000))
        return L"holds a blank";
    if (kind == Kind::HostName && wc == L'#')
        return L"holds a number sign";
    if (kind == Kind::Ssid && (wc < L'0' || wc > L'9'))
        return L"holds a character other than a digit";
    return nullptr;
}

} // namespace

size_t MaxLength(Kind kind)
{
    switch (kind) {
    case Kind::HostName: return 255; // the longest DNS name
    case Kind::PointInTime: return 64;
    case Kind::Ssid: return 20; // a 64-bit number
    case Kind::Filespace:
    case Kind::Path: break;
    }
    return 1024;
}

const wchar_t* KindName(Kind kind)
{
    switch (kind) {
    case Kind::HostName: return L"host name";
    case Kind::PointInTime: return L"point in time";
    case Kind::Filespace: return L"filespace name";
    case Kind::Ssid: return L"saveset id";
    case Kind::Path: break;
    }
    return L"path";
}

const wchar_t* Refusal(const std::wstring& sText, Kind kind)
{
    if (sText.empty())
        return L"is empty";
    if (sText.size() > MaxLength(kind))
        return L"is too long";
    for (wchar_t wc : sText)
        if (const wchar_t* pReason = CharacterRefusal(wc, kind))
            return pReason;
    return nullptr;
}

} // namespace safetext
