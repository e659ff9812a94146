#include "credentials/safe_text.h"

#include "support/win.h"

namespace safetext
{

namespace
{

// The characters no kind may hold, with what the refusal says. A quote ends the quoting of an
// argument; the redirections and the pipe are refused with it, as a Windows name never holds
// them. Tools are started without a shell, so "%", "^" and "&" are ordinary characters of a file
// name; host names and times, which never hold them, refuse them too.
struct Forbidden {
    wchar_t wc;
    const wchar_t* pReason;
    bool bNamesOnly; // refused only in host names and points in time
};
constexpr Forbidden kForbidden[] = {
    {L'"', L"holds a double quote", false},      {L'<', L"holds a less-than sign", false},
    {L'>', L"holds a greater-than sign", false}, {L'|', L"holds a vertical bar", false},
    {L'%', L"holds a percent sign", true},       {L'^', L"holds a caret", true},
    {L'&', L"holds an ampersand", true},
};

bool TakesShellCharacters(Kind kind)
{
    return kind == Kind::Filespace || kind == Kind::Path;
}

// Tool command lines are narrow text in the ANSI code page: a name that does not come back the
// same from it would reach the tool as another name (letters turned into "?").
bool CodePageCarries(const std::wstring& s)
{
    const int n = static_cast<int>(s.size());
    BOOL bDefaultUsed = FALSE;
    int nNarrow = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, s.data(), n, nullptr, 0, nullptr, &bDefaultUsed);
    if (nNarrow <= 0 || bDefaultUsed)
        return false;
    std::string sNarrow(static_cast<size_t>(nNarrow), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, s.data(), n, sNarrow.data(), nNarrow, nullptr, &bDefaultUsed);
    int nBack = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, sNarrow.data(), nNarrow, nullptr, 0);
    if (nBack <= 0)
        return false;
    std::wstring sBack(static_cast<size_t>(nBack), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, sNarrow.data(), nNarrow, sBack.data(), nBack);
    return !bDefaultUsed && sBack == s;
}

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
        if (wc == f.wc && !(f.bNamesOnly && TakesShellCharacters(kind)))
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
    if (TakesShellCharacters(kind) && !CodePageCarries(sText))
        return kCodePageRefusal;
    return nullptr;
}

} // namespace safetext
