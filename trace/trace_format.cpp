// Pure text pieces of the trace line formats.
#include "trace/trace.h"

#include <cwchar>
#include <cwctype>
#include <vector>

namespace tracefmt
{

std::wstring Header(const SYSTEMTIME& st, DWORD dwThreadId, DWORD dwLevel)
{
    wchar_t wsz[80];
    _snwprintf(wsz, 80, L"[%4.4u-%2.2u-%2.2u %2.2u:%2.2u:%2.2u.%3.3u]:%4.4lX", st.wYear, st.wMonth, st.wDay, st.wHour,
               st.wMinute, st.wSecond, st.wMilliseconds, dwThreadId);
    wsz[79] = L'\0';
    std::wstring s = wsz;
    switch (dwLevel) {
    case TL_ERROR: s += L":[E]: "; break;
    case TL_WARNING: s += L":[W]: "; break;
    case TL_INFO: s += L":[I]: "; break;
    default: s += L":[V]: "; break;
    }
    return s;
}

std::wstring CharText(wchar_t wc)
{
    switch (wc) {
    case L'\0': return L"<NULL>";
    case L'\n': return L"<LF>";
    case L'\r': return L"<CR>";
    default: return std::wstring(1, wc);
    }
}

std::wstring HexBytes(const void* pData, DWORD dwLength)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    const unsigned char* p = static_cast<const unsigned char*>(pData);
    std::wstring s;
    if (dwLength > 32)
        s += L"\n";
    for (DWORD i = 0; i < dwLength; ++i) {
        if (i > 0)
            s += (i % 32 == 0) ? L"\n" : L" ";
        s += kDigits[p[i] >> 4];
        s += kDigits[p[i] & 15];
    }
    return s;
}

static bool SplitGroups(const std::wstring& s, std::vector<std::wstring>& groups)
{
    if (s.empty())
        return true;
    size_t i = 0;
    for (;;) {
        size_t j = s.find(L':', i);
        std::wstring part = s.substr(i, j == std::wstring::npos ? std::wstring::npos : j - i);
        if (part.empty() || part.size() > 4 || part.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos)
            return false;
        groups.push_back(part);
        if (j == std::wstring::npos)
            return true;
        i = j + 1;
    }
}

// Eight groups of four lower-case hex digits; empty when the text is no IPv6 address.
std::wstring ExpandIPv6(const std::wstring& sAddress)
{
    if (sAddress.find(L':') == std::wstring::npos)
        return {};
    size_t gap = sAddress.find(L"::");
    std::vector<std::wstring> head, tail;
    if (gap == std::wstring::npos) {
        if (!SplitGroups(sAddress, head) || head.size() != 8)
            return {};
    } else {
        if (sAddress.find(L"::", gap + 1) != std::wstring::npos)
            return {};
        if (!SplitGroups(sAddress.substr(0, gap), head) || !SplitGroups(sAddress.substr(gap + 2), tail) ||
            head.size() + tail.size() > 7)
            return {};
        head.insert(head.end(), 8 - head.size() - tail.size(), L"0");
        head.insert(head.end(), tail.begin(), tail.end());
    }
    std::wstring out;
    for (size_t g = 0; g < head.size(); ++g) {
        if (g)
            out += L':';
        out += std::wstring(4 - head[g].size(), L'0');
        for (wchar_t c : head[g])
            out += static_cast<wchar_t>(towlower(c));
    }
    return out;
}

std::wstring OldLogPath(const std::wstring& sLogPath)
{
    size_t dot = sLogPath.rfind(L'.');
    size_t slash = sLogPath.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return sLogPath + L".old";
    return sLogPath.substr(0, dot) + L".old";
}

DWORD MaskForLevel(int iLevel, DWORD dwCurrent)
{
    switch (iLevel) {
    case 0: return 0;
    case 1: return 1;
    case 2: return 3;
    case 3: return 7;
    case 4: return 15;
    default: return dwCurrent;
    }
}

} // namespace tracefmt
