#include "support/file_replace.h"

#include "support/handle.h"

#include <algorithm>
#include <atomic>

namespace velmora
{

namespace
{

std::atomic<size_t> g_nWriteLimit{kNoWriteLimit};

// Writes the bytes into a new file and flushes it; false with the error of the failing step.
bool WriteNewFile(const std::wstring& sPath, const std::string& sBytes, DWORD& dwError)
{
    unique_file file(
        CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        dwError = GetLastError();
        return false;
    }
    const size_t nWrite = std::min(sBytes.size(), g_nWriteLimit.load());
    DWORD n = 0;
    if (nWrite > 0 && (!WriteFile(file.get(), sBytes.data(), static_cast<DWORD>(nWrite), &n, nullptr) || n != nWrite)) {
        dwError = GetLastError();
        return false;
    }
    if (nWrite < sBytes.size()) {
        dwError = ERROR_DISK_FULL;
        return false;
    }
    if (!FlushFileBuffers(file.get())) {
        dwError = GetLastError();
        return false;
    }
    return true;
}

} // namespace

std::wstring replacement_path(const std::wstring& sPath)
{
    return sPath + L".cvex-new";
}

DWORD replace_file(const std::wstring& sPath, const std::string& sBytes)
{
    const std::wstring sTemp = replacement_path(sPath);
    DWORD dwError = 0;
    if (!WriteNewFile(sTemp, sBytes, dwError)) {
        DeleteFileW(sTemp.c_str());
        return dwError ? dwError : ERROR_WRITE_FAULT;
    }
    if (!MoveFileExW(sTemp.c_str(), sPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        dwError = GetLastError();
        DeleteFileW(sTemp.c_str());
        return dwError ? dwError : ERROR_WRITE_FAULT;
    }
    return 0;
}

void set_replace_write_limit_for_testing(size_t nBytes)
{
    g_nWriteLimit = nBytes;
}

} // namespace velmora
