// Models of the Win32 calls of support/win.h for the native fuzz build.
#include "profile_model.h"
#include "support/win.h"

#include <cstring>
#include <ctime>
#include <cwctype>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

// Code points of UTF-8 text; false at the first malformed sequence (overlong forms, surrogates
// and values beyond U+10FFFF included) when bStrict, otherwise such a sequence gives U+FFFD.
bool DecodeUtf8(const unsigned char* p, size_t n, bool bStrict, std::vector<char32_t>& out)
{
    size_t i = 0;
    while (i < n) {
        unsigned char c = p[i];
        size_t nMore = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 4;
        char32_t cp = nMore == 0 ? c : nMore == 1 ? (c & 0x1F) : nMore == 2 ? (c & 0x0F) : (c & 0x07);
        bool bGood = nMore < 4;
        size_t j = 1;
        for (; bGood && j <= nMore; ++j) {
            if (i + j >= n || (p[i + j] & 0xC0) != 0x80) {
                bGood = false;
                break;
            }
            cp = (cp << 6) | (p[i + j] & 0x3F);
        }
        static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (bGood && (cp < kMin[nMore] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            bGood = false;
        if (!bGood) {
            if (bStrict)
                return false;
            out.push_back(0xFFFD);
            i += j; // the lead byte and the continuation bytes that were good
            continue;
        }
        out.push_back(cp);
        i += nMore + 1;
    }
    return true;
}

void AppendUtf16(char32_t cp, std::wstring& s)
{
    if (cp < 0x10000) {
        s += static_cast<wchar_t>(cp);
        return;
    }
    cp -= 0x10000;
    s += static_cast<wchar_t>(0xD800 + (cp >> 10));
    s += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
}

void AppendUtf8(char32_t cp, std::string& s)
{
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Copies the result out the way both conversions do: only the length when nOut is 0, 0 when it
// does not fit.
template <typename S, typename C> int CopyOut(const S& s, C* pOut, int nOut)
{
    if (nOut == 0)
        return static_cast<int>(s.size());
    if (static_cast<size_t>(nOut) < s.size())
        return 0;
    std::copy(s.begin(), s.end(), pOut);
    return static_cast<int>(s.size());
}

std::map<std::wstring, std::wstring>& Files()
{
    static std::map<std::wstring, std::wstring> files;
    return files;
}

std::wstring Trim(const std::wstring& s)
{
    size_t b = s.find_first_not_of(L" \t\r");
    if (b == std::wstring::npos)
        return {};
    size_t e = s.find_last_not_of(L" \t\r");
    return s.substr(b, e - b + 1);
}

bool SameText(const std::wstring& a, const wchar_t* b)
{
    return _wcsicmp(a.c_str(), b) == 0 && a.size() == std::wcslen(b);
}

// The value of a key: the first section of that name (any case), then its first key of that
// name; the value is trimmed and loses one pair of enclosing quotes.
bool FindValue(const std::wstring& sText, const wchar_t* pSection, const wchar_t* pKey, std::wstring& sValue)
{
    bool bInSection = false, bSectionSeen = false;
    size_t i = 0;
    while (i <= sText.size()) {
        size_t e = sText.find(L'\n', i);
        std::wstring sLine = Trim(sText.substr(i, e == std::wstring::npos ? std::wstring::npos : e - i));
        i = e == std::wstring::npos ? sText.size() + 1 : e + 1;
        if (!sLine.empty() && sLine[0] == L'[') {
            if (bSectionSeen && bInSection)
                return false;
            size_t close = sLine.find(L']');
            bInSection =
                SameText(Trim(sLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1)), pSection);
            bSectionSeen = bSectionSeen || bInSection;
            continue;
        }
        if (!bInSection || sLine.empty() || sLine[0] == L';')
            continue;
        size_t eq = sLine.find(L'=');
        if (!SameText(Trim(sLine.substr(0, eq)), pKey))
            continue;
        sValue = eq == std::wstring::npos ? std::wstring() : Trim(sLine.substr(eq + 1));
        if (sValue.size() >= 2 && (sValue[0] == L'"' || sValue[0] == L'\'') && sValue.back() == sValue[0])
            sValue = sValue.substr(1, sValue.size() - 2);
        return true;
    }
    return false;
}

DWORD g_dwLastError = 0;

} // namespace

int MultiByteToWideChar(UINT uiCodePage, DWORD dwFlags, const char* pText, int nBytes, wchar_t* pOut, int nOut)
{
    size_t n = nBytes < 0 ? std::strlen(pText) + 1 : static_cast<size_t>(nBytes);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pText);
    std::wstring s;
    if (uiCodePage == CP_UTF8) {
        std::vector<char32_t> cps;
        if (!DecodeUtf8(p, n, (dwFlags & MB_ERR_INVALID_CHARS) != 0, cps))
            return 0;
        for (char32_t cp : cps)
            AppendUtf16(cp, s);
    } else {
        s.assign(p, p + n);
    }
    return CopyOut(s, pOut, nOut);
}

int WideCharToMultiByte(UINT uiCodePage, DWORD, const wchar_t* pText, int nChars, char* pOut, int nOut,
                        const char* pDefault, BOOL* pUsedDefault)
{
    size_t n = nChars < 0 ? std::wcslen(pText) + 1 : static_cast<size_t>(nChars);
    std::string s;
    bool bUsedDefault = false;
    for (size_t i = 0; i < n; ++i) {
        char32_t c = static_cast<char32_t>(pText[i]);
        if (uiCodePage == CP_UTF8) {
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && pText[i + 1] >= 0xDC00 && pText[i + 1] <= 0xDFFF)
                c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(pText[++i]) - 0xDC00);
            else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
                c = 0xFFFD;
            AppendUtf8(c, s);
        } else if (c <= 0xFF) {
            s += static_cast<char>(c);
        } else {
            s += pDefault ? pDefault : "?";
            bUsedDefault = true;
        }
    }
    if (pUsedDefault)
        *pUsedDefault = bUsedDefault;
    return CopyOut(s, pOut, nOut);
}

DWORD GetPrivateProfileStringW(LPCWSTR pSection, LPCWSTR pKey, LPCWSTR pDefault, LPWSTR pOut, DWORD nSize,
                               LPCWSTR pFile)
{
    if (nSize == 0 || !pOut)
        return 0;
    std::wstring sValue;
    auto file = Files().find(pFile ? pFile : L"");
    bool bFound = pSection && pKey && file != Files().end() && FindValue(file->second, pSection, pKey, sValue);
    if (!bFound) {
        sValue = pDefault ? pDefault : L"";
        sValue.erase(sValue.find_last_not_of(L' ') + 1); // the default loses its trailing blanks
    }
    size_t n = sValue.size() < nSize ? sValue.size() : nSize - 1;
    std::copy(sValue.begin(), sValue.begin() + static_cast<long>(n), pOut);
    pOut[n] = L'\0';
    return static_cast<DWORD>(n);
}

UINT GetPrivateProfileIntW(LPCWSTR pSection, LPCWSTR pKey, int iDefault, LPCWSTR pFile)
{
    wchar_t wsz[32] = {};
    GetPrivateProfileStringW(pSection, pKey, L"", wsz, 32, pFile);
    const wchar_t* p = wsz;
    while (*p == L' ' || *p == L'\t')
        ++p;
    if (!*p)
        return static_cast<UINT>(iDefault);
    bool bNegative = *p == L'-';
    if (*p == L'-' || *p == L'+')
        ++p;
    UINT uiValue = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p)
        uiValue = uiValue * 10u + static_cast<UINT>(*p - L'0');
    return bNegative ? 0u - uiValue : uiValue;
}

BOOL WritePrivateProfileStringW(LPCWSTR pSection, LPCWSTR pKey, LPCWSTR pValue, LPCWSTR)
{
    // Only the flush of the cache (all three null) is modelled; the files here are never cached.
    if (!pSection && !pKey && !pValue)
        return 1;
    g_dwLastError = 5;
    return 0;
}

DWORD GetFileAttributesW(LPCWSTR pPath)
{
    return Files().count(pPath) ? FILE_ATTRIBUTE_NORMAL : INVALID_FILE_ATTRIBUTES;
}

DWORD GetLastError()
{
    return g_dwLastError;
}

void SetLastError(DWORD dwError)
{
    g_dwLastError = dwError;
}

DWORD GetLogicalDrives()
{
    return 0;
}

UINT GetDriveTypeW(LPCWSTR)
{
    return DRIVE_NO_ROOT_DIR;
}

BOOL SetThreadErrorMode(DWORD dwNewMode, DWORD* pOldMode)
{
    static thread_local DWORD dwMode = 0;
    if (pOldMode)
        *pOldMode = dwMode;
    dwMode = dwNewMode;
    return 1;
}

DWORD GetCurrentProcessId()
{
    return static_cast<DWORD>(getpid());
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* pCount)
{
    timespec ts = {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    pCount->QuadPart = static_cast<LONGLONG>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    return 1;
}

int _wcsicmp(const wchar_t* a, const wchar_t* b)
{
    return _wcsnicmp(a, b, static_cast<size_t>(-1));
}

int _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t n)
{
    for (; n > 0; --n, ++a, ++b) {
        wint_t ca = std::towlower(static_cast<wint_t>(*a)), cb = std::towlower(static_cast<wint_t>(*b));
        if (ca != cb || !ca)
            return static_cast<int>(ca) - static_cast<int>(cb);
    }
    return 0;
}

namespace fuzzshim
{

void SetFile(const std::wstring& sPath, const std::string& sBytes)
{
    if (sPath.empty()) {
        Files().clear();
        return;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(sBytes.data());
    Files()[sPath] = std::wstring(p, p + sBytes.size());
}

} // namespace fuzzshim
