// Registry hive capture: while "VSS SYSTEM BOOT:\" is restored, a monitoring thread opens each
// hive file of the repair folder as soon as it appears and holds it with read-only sharing, so
// that nothing can delete or rewrite it before it is moved into system32\config.
#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "trace/trace_scope.h"

#include <atomic>

namespace
{

struct RegistryHandle {
    const wchar_t* pName;
    velmora::unique_file hFile;
};

// The five hives, process-wide. The thread opens, the caller releases only after the thread has
// ended, so the two never touch the table at the same time.
RegistryHandle RegistryHandles[] = {
    {L"default", {}}, {L"SAM", {}}, {L"security", {}}, {L"software", {}}, {L"system", {}},
};

// True while the monitoring thread is to keep watching.
std::atomic<bool> g_bMonitor{false};
// The folder the thread watches, written before it starts.
std::wstring g_sRegistryDirectory;

// How a held hive is closed; replaced only by tests.
CVEXImpl::CloseHiveFn g_pfnCloseHive = nullptr;

const DWORD kWaitMs = 1000;
const unsigned kHives = 5;

} // namespace

DWORD WINAPI CVEXImpl::ThreadMonitorDirectoryChanges(LPVOID pThreadArg)
{
    const wchar_t* fn = L"CVEXImpl::ThreadMonitorDirectoryChanges";
    TraceScope scope(fn);
    const std::wstring* pDirectory = static_cast<const std::wstring*>(pThreadArg);
    if (!pDirectory)
        return scope.Fail(L"NULL argument"), 1;
    if (pDirectory->empty())
        return scope.Fail(L"NULL directory"), 1;
    velmora::unique_change_notification hChange(
        FindFirstChangeNotificationW(pDirectory->c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME));
    if (!hChange) {
        CvexTrace().ApiFailure(fn, L"FindFirstChangeNotification failed", GetLastError());
        return scope.Fail(L"FindFirstChangeNotification failed"), 1;
    }
    // Files that were there before the watch began are picked up at once.
    ProcessDirectoryChange(*pDirectory);
    while (g_bMonitor) {
        DWORD dwWait = WaitForSingleObject(hChange.get(), kWaitMs);
        if (dwWait == WAIT_TIMEOUT) {
            // A hive that was still open for writing at its notification gets no second one:
            // it is tried again once per wait period.
            if (HeldRegistryHives() < kHives)
                ProcessDirectoryChange(*pDirectory);
            continue;
        }
        if (dwWait != WAIT_OBJECT_0) {
            CvexTrace().Int(TL_ERROR, fn, L"WaitForSingleObject unhandled condition", dwWait);
            Sleep(kWaitMs / 10);
            continue;
        }
        if (!ProcessDirectoryChange(*pDirectory))
            return scope.Fail(L"ProcessDirectoryChange failed"), 1;
        if (!FindNextChangeNotification(hChange.get())) {
            CvexTrace().ApiFailure(fn, L"FindNextChangeNotification failed", GetLastError());
            return scope.Fail(L"FindNextChangeNotification failed"), 1;
        }
    }
    scope.End();
    return 0;
}

bool CVEXImpl::ProcessDirectoryChange(const std::wstring& sDirectory)
{
    const wchar_t* fn = L"CVEXImpl::ProcessDirectoryChange";
    if (sDirectory.empty())
        return CvexTrace().EndFail(fn, L"NULL directory"), false;
    WIN32_FIND_DATAW data = {};
    velmora::unique_find hFind(FindFirstFileW((sDirectory + L"\\*").c_str(), &data));
    if (!hFind)
        return false; // the folder is empty or gone for a moment; the next change tries again
    do {
        // The hive files have no extension: logs and backup copies carry one.
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || wcschr(data.cFileName, L'.'))
            continue;
        if (!GrabRegistryHives(sDirectory, data))
            CvexTrace().Line(TL_WARNING, fn, L"GrabRegistryHives failed");
    } while (FindNextFileW(hFind.get(), &data));
    return true;
}

bool CVEXImpl::GrabRegistryHives(const std::wstring& sDirectory, const WIN32_FIND_DATAW& data)
{
    const wchar_t* fn = L"CVEXImpl::GrabRegistryHives";
    if (sDirectory.empty())
        return false;
    for (RegistryHandle& row : RegistryHandles) {
        if (_wcsicmp(row.pName, data.cFileName) != 0 || row.hFile)
            continue;
        std::wstring sPath = sDirectory;
        if (sPath.back() != L'\\')
            sPath += L'\\';
        sPath += row.pName;
        row.hFile.reset(CreateFileW(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (row.hFile) {
            CvexTrace().Str(TL_INFO, fn, L"Holding", sPath);
            return true;
        }
        DWORD dwError = GetLastError();
        if (dwError == ERROR_SHARING_VIOLATION)
            return true; // still being written: the next notification tries again
        CvexTrace().ApiFailure(fn, L"CreateFile failed", dwError);
        return false;
    }
    return true;
}

bool CVEXImpl::ReleaseRegistryHives()
{
    TraceScope scope(L"CVEXImpl::ReleaseRegistryHives");
    bool bAllClosed = true;
    for (RegistryHandle& row : RegistryHandles) {
        if (!row.hFile)
            continue; // never held
        // The row is unheld afterwards whatever the close says: a second close would not help.
        HANDLE hFile = row.hFile.release();
        if (g_pfnCloseHive ? g_pfnCloseHive(hFile) : CloseHandle(hFile))
            continue;
        const DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(scope.fn(), (std::wstring(L"CloseHandle failed: ") + row.pName).c_str(), dwError);
        bAllClosed = false;
    }
    if (!bAllClosed)
        return scope.Fail(L"One of more handles weren't closed");
    return scope.End();
}

void CVEXImpl::SetHiveCloseForTesting(CloseHiveFn pfnClose)
{
    g_pfnCloseHive = pfnClose;
}

std::vector<std::wstring> CVEXImpl::MissingOrEmptyHives(const std::wstring& sFolder)
{
    std::wstring sBase = sFolder;
    if (!sBase.empty() && sBase.back() != L'\\')
        sBase += L'\\';
    std::vector<std::wstring> problems;
    for (const RegistryHandle& row : RegistryHandles) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (!GetFileAttributesExW((sBase + row.pName).c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            problems.push_back(std::wstring(row.pName) + L" missing");
        else if (data.nFileSizeHigh == 0 && data.nFileSizeLow == 0)
            problems.push_back(std::wstring(row.pName) + L" empty");
    }
    return problems;
}

unsigned CVEXImpl::HeldRegistryHives()
{
    unsigned n = 0;
    for (const RegistryHandle& row : RegistryHandles)
        n += row.hFile ? 1 : 0;
    return n;
}

bool CVEXImpl::StartHiveCapture(const std::wstring& sDirectory, velmora::unique_handle_null& hThread)
{
    g_sRegistryDirectory = sDirectory;
    while (!g_sRegistryDirectory.empty() && g_sRegistryDirectory.back() == L'\\')
        g_sRegistryDirectory.pop_back();
    g_bMonitor = true;
    hThread.reset(CreateThread(nullptr, 0, ThreadMonitorDirectoryChanges, &g_sRegistryDirectory, 0, nullptr));
    if (!hThread) {
        CvexTrace().ApiFailure(L"CVEXImpl::StartHiveCapture", L"CreateThread failed", GetLastError());
        g_bMonitor = false;
        return false;
    }
    return true;
}

// Clears the flag and waits for the thread, which notices within one wait period.
void CVEXImpl::StopHiveCapture(velmora::unique_handle_null& hThread)
{
    g_bMonitor = false;
    if (!hThread)
        return;
    // The thread never blocks for longer than one wait period, so this ends; the table may only be
    // released once it has.
    if (WaitForSingleObject(hThread.get(), 10 * kWaitMs) != WAIT_OBJECT_0) {
        CvexTrace().Line(TL_ERROR, L"CVEXImpl::StopHiveCapture", L"Monitoring thread is slow to end");
        WaitForSingleObject(hThread.get(), INFINITE);
    }
    DWORD dwExit = 0;
    if (GetExitCodeThread(hThread.get(), &dwExit))
        CvexTrace().Int(TL_INFO, L"CVEXImpl::StopHiveCapture", L"dwExitCode", dwExit);
    hThread.reset();
}
