// Unloading a hive left mounted at a Registry_System / Registry_Software mount key, and the
// registry log that records each step.
#include "support/handle.h"
#include "support/registry.h"

#include <mutex>
#include <string>

namespace velmora
{

namespace
{

const wchar_t* const kDefaultRegistryLog = L"X:\\Program Files\\velmora\\HALVO\\Logfiles\\registry.log";

std::mutex& LogPathMutex()
{
    static std::mutex m;
    return m;
}

std::wstring& LogPathOverride()
{
    static std::wstring s;
    return s;
}

// One privilege enabled for as long as needed; Restore() puts back the state it had before.
class PrivilegeChange
{
public:
    // Logs "<step>() failed <code>" for the step that failed.
    bool Enable(const wchar_t* pName)
    {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, m_token.put())) {
            DWORD dwError = GetLastError();
            WriteRegistryLog("OpenProcessToken() failed " + std::to_string(dwError));
            return false;
        }
        TOKEN_PRIVILEGES tp = {};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!LookupPrivilegeValueW(nullptr, pName, &tp.Privileges[0].Luid)) {
            DWORD dwError = GetLastError();
            WriteRegistryLog("LookupPrivilegeValue() failed " + std::to_string(dwError));
            return false;
        }
        DWORD dwPreviousBytes = sizeof(m_previous);
        BOOL bAdjusted = AdjustTokenPrivileges(m_token.get(), FALSE, &tp, sizeof(tp), &m_previous, &dwPreviousBytes);
        DWORD dwError = GetLastError();
        // Success with ERROR_NOT_ALL_ASSIGNED means the token does not hold the privilege.
        if (!bAdjusted || dwError != ERROR_SUCCESS) {
            WriteRegistryLog("AdjustTokenPrivileges() failed " + std::to_string(dwError));
            return false;
        }
        m_bEnabled = true;
        return true;
    }

    // Puts back the state saved by Enable (a privilege that was already on stays on).
    bool Restore()
    {
        if (!m_bEnabled)
            return false;
        m_bEnabled = false;
        return AdjustTokenPrivileges(m_token.get(), FALSE, &m_previous, 0, nullptr, nullptr) &&
               GetLastError() == ERROR_SUCCESS;
    }

private:
    unique_handle_null m_token;
    TOKEN_PRIVILEGES m_previous = {};
    bool m_bEnabled = false;
};

} // namespace

void WriteRegistryLog(const std::string& sEntry)
{
    std::wstring sPath = RegistryLogPath();
    unique_file file(CreateFileW(sPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    std::string sLine = sEntry + "\r\n";
    DWORD dwWritten = 0;
    WriteFile(file.get(), sLine.data(), static_cast<DWORD>(sLine.size()), &dwWritten, nullptr);
}

void SetRegistryLogPath(const std::wstring& sPath)
{
    std::lock_guard<std::mutex> guard(LogPathMutex());
    LogPathOverride() = sPath;
}

std::wstring RegistryLogPath()
{
    std::lock_guard<std::mutex> guard(LogPathMutex());
    return LogPathOverride().empty() ? std::wstring(kDefaultRegistryLog) : LogPathOverride();
}

void UnloadHiveIfMounted(const std::wstring& sMountKey)
{
    std::wstring sKey = JoinKeyPath(L"", sMountKey);
    if (sKey.empty() || !Registry().Key_Exists(sKey))
        return;
    PrivilegeChange restore;
    if (!restore.Enable(SE_RESTORE_NAME)) {
        WriteRegistryLog("Enable_Privilege(SE_RESTORE_NAME) failed");
        return;
    }
    PrivilegeChange backup;
    if (!backup.Enable(SE_BACKUP_NAME)) {
        WriteRegistryLog("Enable_Privilege(SE_BACKUP_NAME) failed");
        restore.Restore();
        return;
    }
    LONG lResult = RegUnLoadKeyW(HKEY_LOCAL_MACHINE, sKey.c_str());
    WriteRegistryLog("RegUnLoadKeyW returned " + std::to_string(lResult));
    bool bRestore = restore.Restore();
    bool bBackup = backup.Restore();
    WriteRegistryLog("Disable_Privilege(SE_RESTORE_NAME) returned " + std::to_string(bRestore));
    WriteRegistryLog("Disable_Privilege(SE_BACKUP_NAME) returned " + std::to_string(bBackup));
}

} // namespace velmora
