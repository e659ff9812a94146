#include "netlib/state_store.h"

#include "support/handle.h"
#include "support/vstring.h"

namespace halvo_nm
{

namespace
{

const DWORD kMaxStateBytes = 1024 * 1024;
const DWORD kLockTimeoutMs = 10000;

std::wstring FolderOfThisModule()
{
    HMODULE hSelf = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&FolderOfThisModule), &hSelf))
        return {};
    wchar_t wsz[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(hSelf, wsz, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    std::wstring s(wsz, n);
    return s.substr(0, s.rfind(L'\\') + 1);
}

// Reads the whole file; false with dwError when it cannot be opened or read.
bool ReadBytes(const std::wstring& sPath, std::string& data, DWORD& dwError)
{
    velmora::unique_file file(CreateFileW(sPath.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        dwError = GetLastError();
        return false;
    }
    char buf[16384];
    DWORD n = 0;
    for (;;) {
        if (!ReadFile(file.get(), buf, sizeof(buf), &n, nullptr)) {
            dwError = GetLastError();
            return false;
        }
        if (n == 0)
            return true;
        data.append(buf, n);
        if (data.size() > kMaxStateBytes) {
            dwError = ERROR_FILE_TOO_LARGE;
            return false;
        }
    }
}

// Strict UTF-8: a byte sequence that is not UTF-8 makes the file corrupt rather than misread.
bool DecodeUtf8(const std::string& data, std::wstring& text)
{
    text.clear();
    if (data.empty())
        return true;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, data.data(), static_cast<int>(data.size()), nullptr, 0);
    if (n <= 0)
        return false;
    text.resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, data.data(), static_cast<int>(data.size()), text.data(), n);
    return true;
}

bool WriteAll(const std::wstring& sPath, const std::string& data)
{
    velmora::unique_file file(
        CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD n = 0;
    if (!WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &n, nullptr) || n != data.size())
        return false;
    return FlushFileBuffers(file.get()) != FALSE;
}

struct MutexReleaser {
    HANDLE hMutex;
    void operator()() const { ReleaseMutex(hMutex); }
};

} // namespace

std::wstring StateFilePath()
{
    wchar_t wsz[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(kStateEnvVar, wsz, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        return std::wstring(wsz, n);
    return FolderOfThisModule() + kStateFileName;
}

LoadedState LoadState(const std::wstring& sPath)
{
    LoadedState loaded;
    std::string data;
    DWORD dwError = 0;
    if (!ReadBytes(sPath, data, dwError)) {
        bool bMissing = dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND;
        loaded.status = bMissing ? LoadStatus::kMissing : LoadStatus::kCorrupt;
        loaded.sError = L"cannot read the file, error " + std::to_wstring(dwError);
        return loaded;
    }
    std::wstring text;
    if (!DecodeUtf8(data, text)) {
        loaded.status = LoadStatus::kCorrupt;
        loaded.sError = L"the file is not UTF-8 text";
        return loaded;
    }
    ParseResult parsed = ParseNetState(text);
    if (!parsed.bOk) {
        loaded.status = LoadStatus::kCorrupt;
        loaded.sError = parsed.sError;
        return loaded;
    }
    loaded.status = LoadStatus::kLoaded;
    loaded.state = std::move(parsed.state);
    return loaded;
}

bool SaveState(const std::wstring& sPath, const NetState& state)
{
    std::wstring sTemp = sPath + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    if (!WriteAll(sTemp, velmora::to_utf8(FormatNetState(state)))) {
        DeleteFileW(sTemp.c_str());
        return false;
    }
    if (!MoveFileExW(sTemp.c_str(), sPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD dwError = GetLastError();
        DeleteFileW(sTemp.c_str());
        SetLastError(dwError);
        return false;
    }
    return true;
}

bool ChangeState(const std::wstring& sPath, const std::function<bool(NetState&)>& change)
{
    velmora::unique_handle_null mutex(CreateMutexW(nullptr, FALSE, L"Local\\halvo_nm_state"));
    if (!mutex)
        return false;
    DWORD dwWait = WaitForSingleObject(mutex.get(), kLockTimeoutMs);
    if (dwWait != WAIT_OBJECT_0 && dwWait != WAIT_ABANDONED)
        return false;
    velmora::scope_exit<MutexReleaser> unlock(MutexReleaser{mutex.get()});
    LoadedState loaded = LoadState(sPath);
    if (loaded.status != LoadStatus::kLoaded) {
        SetLastError(ERROR_NOT_FOUND);
        return false;
    }
    if (!change(loaded.state))
        return false;
    return SaveState(sPath, loaded.state);
}

} // namespace halvo_nm
