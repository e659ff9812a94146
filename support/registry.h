// velmora::Registry: keys of the running system's registry, addressed relative to a root key
// and a path prefix. Registry_System and Registry_Software also guard a mount key at which an
// offline hive may be loaded: destroying them unloads whatever hive is mounted there.
//
// Every operation reports failure by its result and never throws. On failure the Windows
// error code is also left in GetLastError(), so callers can trace it on the next line.
#pragma once
#include "support/noncopyable.h"
#include "support/win.h"

#include <string>
#include <vector>

namespace velmora
{

class Registry : nonassignable
{
public:
    explicit Registry(bool b64BitView = false, HKEY hRoot = HKEY_LOCAL_MACHINE, std::wstring sPrefix = L"");
    virtual ~Registry() = default;

    // Creates the key and sets its unnamed default value to an empty string.
    bool Write_To_Location(const std::wstring& sKey);
    // Create or open the key, then write one value.
    bool Write_String(const std::wstring& sKey, const std::wstring& sName, const std::wstring& sValue);
    bool Write_DWORD(const std::wstring& sKey, const std::wstring& sName, DWORD dwValue);
    // An empty list is written as an empty REG_MULTI_SZ; a list holding an empty string or an
    // embedded NUL cannot be represented and is refused (ERROR_INVALID_PARAMETER).
    bool Write_MultiString(const std::wstring& sKey, const std::wstring& sName, const std::vector<std::wstring>& list);
    // Reads a REG_SZ value; returns the Windows error code, 0 on success. A value of another
    // type gives ERROR_UNSUPPORTED_TYPE. On failure sValue is unchanged.
    LONG Read_String(const std::wstring& sKey, const std::wstring& sName, std::wstring& sValue) const;
    // Whether the key opens for reading.
    bool Key_Exists(const std::wstring& sKey) const;
    // Deletes one named value. A value (or key) that is not there counts as deleted.
    bool Delete_Value(const std::wstring& sKey, const std::wstring& sName);
    // Deletes a key without subkeys. A key that is not there counts as deleted. An empty key
    // is refused, so that a mistake can never delete the prefix key itself.
    bool Delete_Key(const std::wstring& sKey);

    HKEY Root() const { return m_hRoot; }
    const std::wstring& Prefix() const { return m_sPrefix; }
    bool Uses64BitView() const { return m_b64BitView; }
    // Full path below the root for a key given relative to the prefix.
    std::wstring FullPath(const std::wstring& sKey) const;

    // Access masks: reading KEY_READ, creating and writing KEY_READ | KEY_WRITE, each with
    // KEY_WOW64_64KEY added when the 64-bit view is asked for.
    REGSAM ReadAccess() const;
    REGSAM WriteAccess() const;

private:
    LONG SetValue(const std::wstring& sKey, const std::wstring& sName, DWORD dwType, const void* pData, DWORD dwBytes);

    bool m_b64BitView;
    HKEY m_hRoot;
    std::wstring m_sPrefix;
};

class Registry_System : public Registry
{
public:
    static constexpr const wchar_t* kPrefix = L"SYSTEM\\";
    static constexpr const wchar_t* kMountKey = L"{D0B3D3F4-05F2-4671-80D5-B569ABD77343}\\";

    explicit Registry_System(bool b64BitView = false);
    ~Registry_System() override;
};

class Registry_Software : public Registry
{
public:
    static constexpr const wchar_t* kPrefix = L"SOFTWARE\\";
    static constexpr const wchar_t* kMountKey = L"{72000DEF-16EA-418f-99F7-40C42BBC5C22}\\";

    explicit Registry_Software(bool b64BitView = false);
    ~Registry_Software() override;
};

// Joins prefix and key with one backslash between them and none at the end.
std::wstring JoinKeyPath(const std::wstring& sPrefix, const std::wstring& sKey);
// The bytes of a REG_MULTI_SZ value: each string with its NUL, then the closing NUL. False
// when a string is empty or holds a NUL (it would end the list early).
bool MultiStringData(const std::vector<std::wstring>& list, std::wstring& sData);
// The text of a REG_SZ value from its raw bytes: up to the first NUL, a missing terminator
// tolerated, an odd trailing byte ignored.
std::wstring StringFromRegData(const BYTE* pData, DWORD dwBytes);

// Unloads the hive mounted at HKEY_LOCAL_MACHINE\<sMountKey>, if the key opens. Each step
// (privileges, RegUnLoadKeyW) is written to the registry log.
void UnloadHiveIfMounted(const std::wstring& sMountKey);

// The registry log: a narrow text file opened for appending for each entry. Writing never
// fails the caller. The path can be moved (tests); an empty path restores the default.
void WriteRegistryLog(const std::string& sEntry);
void SetRegistryLogPath(const std::wstring& sPath);
std::wstring RegistryLogPath();

} // namespace velmora
