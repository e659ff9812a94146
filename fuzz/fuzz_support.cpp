#include "fuzz_support.h"

#include "profile_model.h"
#include "support/win.h"

namespace fuzzsupport
{

std::wstring ToolText(const std::string& sBytes)
{
    const int n = static_cast<int>(sBytes.size());
    int nWide = n == 0 ? 0 : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, sBytes.data(), n, nullptr, 0);
    if (nWide > 0) {
        std::wstring s(static_cast<size_t>(nWide), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, sBytes.data(), n, s.data(), nWide);
        return s;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(sBytes.data());
    return std::wstring(p, p + sBytes.size());
}

std::vector<std::wstring> ToolLines(const uint8_t* pData, size_t nSize)
{
    std::vector<std::wstring> lines;
    std::string sLine;
    for (size_t i = 0; i <= nSize; ++i) {
        if (i == nSize || pData[i] == '\n') {
            if (!sLine.empty() && sLine.back() == '\r')
                sLine.pop_back();
            if (i < nSize || !sLine.empty())
                lines.push_back(ToolText(sLine));
            sLine.clear();
        } else {
            sLine += static_cast<char>(pData[i]);
        }
    }
    return lines;
}

std::string Ascii(const std::wstring& s)
{
    std::string out;
    for (wchar_t wc : s)
        out += wc > 0 && wc < 0x7F ? static_cast<char>(wc) : '?';
    return out;
}

} // namespace fuzzsupport

namespace fuzzsupport
{

void SetProfileText(const std::wstring& sPath, const uint8_t* pData, size_t nSize)
{
    fuzzshim::SetFile(L"", "");
    fuzzshim::SetFile(sPath, std::string(reinterpret_cast<const char*>(pData), nSize));
}

} // namespace fuzzsupport
