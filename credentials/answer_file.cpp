#include "credentials/answer_file.h"

#include "credentials/crpl_credentials.h"

#include <vector>

namespace ansfile
{

std::wstring ReadString(const std::wstring& sPath, const wchar_t* pKey, size_t nMaxChars)
{
    std::vector<wchar_t> buffer(nMaxChars + 1, L'\0');
    DWORD dwChars = GetPrivateProfileStringW(kAnsFileSection, pKey, L"", buffer.data(),
                                             static_cast<DWORD>(buffer.size()), sPath.c_str());
    std::wstring sValue(buffer.data(), dwChars < buffer.size() ? dwChars : nMaxChars);
    // The API stops at an embedded NUL of a damaged file; so does the value.
    sValue.resize(std::wstring(sValue.c_str()).size());
    return sValue;
}

UINT ReadInt(const std::wstring& sPath, const wchar_t* pKey)
{
    return GetPrivateProfileIntW(kAnsFileSection, pKey, 0, sPath.c_str());
}

bool WriteString(const std::wstring& sPath, const wchar_t* pKey, const std::wstring& sValue, DWORD& dwError)
{
    if (WritePrivateProfileStringW(kAnsFileSection, pKey, sValue.c_str(), sPath.c_str()))
        return true;
    dwError = GetLastError();
    return false;
}

bool EmptySection(const std::wstring& sPath, DWORD& dwError)
{
    if (WritePrivateProfileStringW(kAnsFileSection, nullptr, nullptr, sPath.c_str()))
        return true;
    dwError = GetLastError();
    return false;
}

} // namespace ansfile
