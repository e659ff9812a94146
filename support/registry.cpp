// Key and value operations of velmora::Registry. Hive unloading and the registry log live
// in registry_hive.cpp.
#include "support/registry.h"

#include "support/handle.h"

#include <cstring>
#include <utility>

namespace velmora
{

namespace
{

// Reg* functions return their error; leave it where GetLastError() callers look for it.
bool Succeeded(LONG lResult)
{
    if (lResult == ERROR_SUCCESS)
        return true;
    SetLastError(static_cast<DWORD>(lResult));
    return false;
}

bool IsMissing(LONG lResult)
{
    return lResult == ERROR_FILE_NOT_FOUND || lResult == ERROR_PATH_NOT_FOUND;
}

DWORD WideBytes(size_t uiChars)
{
    return static_cast<DWORD>(uiChars * sizeof(wchar_t));
}

} // namespace

std::wstring JoinKeyPath(const std::wstring& sPrefix, const std::wstring& sKey)
{
    std::wstring sPath = sPrefix;
    size_t uiFirst = sKey.find_first_not_of(L'\\');
    if (uiFirst != std::wstring::npos) {
        if (!sPath.empty() && sPath.back() != L'\\')
            sPath += L'\\';
        sPath += sKey.substr(uiFirst);
    }
    while (!sPath.empty() && sPath.back() == L'\\')
        sPath.pop_back();
    return sPath;
}

bool MultiStringData(const std::vector<std::wstring>& list, std::wstring& sData)
{
    std::wstring sResult;
    for (const std::wstring& s : list) {
        if (s.empty() || s.find(L'\0') != std::wstring::npos)
            return false;
        sResult += s;
        sResult += L'\0';
    }
    sResult += L'\0';
    sData = std::move(sResult);
    return true;
}

std::wstring StringFromRegData(const BYTE* pData, DWORD dwBytes)
{
    std::wstring s(dwBytes / sizeof(wchar_t), L'\0');
    if (!s.empty())
        std::memcpy(s.data(), pData, WideBytes(s.size()));
    size_t uiEnd = s.find(L'\0');
    if (uiEnd != std::wstring::npos)
        s.resize(uiEnd);
    return s;
}

Registry::Registry(bool b64BitView, HKEY hRoot, std::wstring sPrefix)
    : m_b64BitView(b64BitView), m_hRoot(hRoot), m_sPrefix(std::move(sPrefix))
{
}

std::wstring Registry::FullPath(const std::wstring& sKey) const
{
    return JoinKeyPath(m_sPrefix, sKey);
}

REGSAM Registry::ReadAccess() const
{
    return KEY_READ | (m_b64BitView ? KEY_WOW64_64KEY : 0);
}

REGSAM Registry::WriteAccess() const
{
    return KEY_READ | KEY_WRITE | (m_b64BitView ? KEY_WOW64_64KEY : 0);
}

LONG Registry::SetValue(const std::wstring& sKey, const std::wstring& sName, DWORD dwType, const void* pData,
                        DWORD dwBytes)
{
    unique_hkey key;
    LONG lResult = RegCreateKeyExW(m_hRoot, FullPath(sKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, WriteAccess(),
                                   nullptr, key.put(), nullptr);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    return RegSetValueExW(key.get(), sName.c_str(), 0, dwType, static_cast<const BYTE*>(pData), dwBytes);
}

bool Registry::Write_To_Location(const std::wstring& sKey)
{
    if (FullPath(sKey) == FullPath(L""))
        return Succeeded(ERROR_INVALID_PARAMETER);
    return Write_String(sKey, L"", L"");
}

bool Registry::Write_String(const std::wstring& sKey, const std::wstring& sName, const std::wstring& sValue)
{
    return Succeeded(SetValue(sKey, sName, REG_SZ, sValue.c_str(), WideBytes(sValue.size() + 1)));
}

bool Registry::Write_DWORD(const std::wstring& sKey, const std::wstring& sName, DWORD dwValue)
{
    return Succeeded(SetValue(sKey, sName, REG_DWORD, &dwValue, sizeof(dwValue)));
}

bool Registry::Write_MultiString(const std::wstring& sKey, const std::wstring& sName,
                                 const std::vector<std::wstring>& list)
{
    std::wstring sData;
    if (!MultiStringData(list, sData))
        return Succeeded(ERROR_INVALID_PARAMETER);
    return Succeeded(SetValue(sKey, sName, REG_MULTI_SZ, sData.data(), WideBytes(sData.size())));
}

LONG Registry::Read_String(const std::wstring& sKey, const std::wstring& sName, std::wstring& sValue) const
{
    unique_hkey key;
    LONG lResult = RegOpenKeyExW(m_hRoot, FullPath(sKey).c_str(), 0, ReadAccess(), key.put());
    if (lResult != ERROR_SUCCESS) {
        Succeeded(lResult);
        return lResult;
    }
    std::vector<BYTE> data(256);
    for (;;) {
        DWORD dwType = 0;
        DWORD dwBytes = static_cast<DWORD>(data.size());
        lResult = RegQueryValueExW(key.get(), sName.c_str(), nullptr, &dwType, data.data(), &dwBytes);
        if (lResult == ERROR_MORE_DATA) {
            // The size is known now, but the value may still grow before the next call.
            data.resize(dwBytes + sizeof(wchar_t));
            continue;
        }
        if (lResult == ERROR_SUCCESS && dwType != REG_SZ)
            lResult = ERROR_UNSUPPORTED_TYPE;
        if (lResult == ERROR_SUCCESS)
            sValue = StringFromRegData(data.data(), dwBytes);
        Succeeded(lResult);
        return lResult;
    }
}

bool Registry::Key_Exists(const std::wstring& sKey) const
{
    unique_hkey key;
    return Succeeded(RegOpenKeyExW(m_hRoot, FullPath(sKey).c_str(), 0, ReadAccess(), key.put()));
}

bool Registry::Delete_Value(const std::wstring& sKey, const std::wstring& sName)
{
    unique_hkey key;
    LONG lResult = RegOpenKeyExW(m_hRoot, FullPath(sKey).c_str(), 0, WriteAccess(), key.put());
    if (lResult == ERROR_SUCCESS)
        lResult = RegDeleteValueW(key.get(), sName.c_str());
    return IsMissing(lResult) || Succeeded(lResult);
}

bool Registry::Delete_Key(const std::wstring& sKey)
{
    std::wstring sPath = FullPath(sKey);
    if (sPath == FullPath(L""))
        return Succeeded(ERROR_INVALID_PARAMETER);
    LONG lResult = RegDeleteKeyExW(m_hRoot, sPath.c_str(), m_b64BitView ? KEY_WOW64_64KEY : 0, 0);
    return IsMissing(lResult) || Succeeded(lResult);
}

Registry_System::Registry_System(bool b64BitView) : Registry(b64BitView, HKEY_LOCAL_MACHINE, kPrefix) {}

Registry_System::~Registry_System()
{
    UnloadHiveIfMounted(kMountKey);
}

Registry_Software::Registry_Software(bool b64BitView) : Registry(b64BitView, HKEY_LOCAL_MACHINE, kPrefix) {}

Registry_Software::~Registry_Software()
{
    UnloadHiveIfMounted(kMountKey);
}

} // namespace velmora
