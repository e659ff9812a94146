// File and process helpers of the NetWorker client set-up (thin Win32 pieces).
#pragma once
#include "support/process_start.h"
#include "support/win.h"

#include <string>
#include <vector>

namespace nwclient
{

// Creates each folder below sBase (which ends in a backslash), in order. A folder that fails is
// traced and the rest are still tried; true when every one exists as a directory afterwards.
bool CreateFolders(const std::wstring& sBase, const std::vector<std::wstring>& folders);

// Whether a file can be created in the folder: it exists, is not marked read-only (Wine lets
// root write into such a folder all the same) and takes a probe file, deleted again at once.
bool FolderIsWritable(const std::wstring& sFolder);

// The identifiers of every running process. The list grows until the call leaves room to spare,
// so that no process is missed however many run. False (with the error) when the list cannot
// be read.
using EnumProcessesFn = BOOL(WINAPI*)(DWORD* pIds, DWORD dwBytes, DWORD* pdwBytesReturned);
bool ListProcessIds(std::vector<DWORD>& ids, DWORD& dwError, EnumProcessesFn pEnum = nullptr);

// The base name of a process's main module; when it cannot be read, the call that failed
// ("OpenProcess(QUERY)" when the process cannot be opened for query) and its error.
struct ProcessName {
    std::wstring sName;
    const wchar_t* pFailedCall = nullptr;
    DWORD dwError = 0;
};
ProcessName ProcessBaseName(DWORD dwPid);

// Starts the execution daemon. CreateProcess fails now and then on a loaded machine right after a
// console was freed (as when an Init follows one that ended early), so a failed start is tried
// again, uiAttempts in all, dwPauseMs apart; a missing or unusable program is not. Answers
// ERROR_SUCCESS or the last error.
DWORD StartDaemonProcess(const velmora::process_start& start, velmora::started_process& started,
                         unsigned uiAttempts = 5, DWORD dwPauseMs = 200);

} // namespace nwclient
