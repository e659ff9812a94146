// The console session record of the exported class layout: the handles of the running tool as
// plain values. ConsoleSession owns the handles; this record only mirrors them.
#pragma once
#include "support/win.h"

// Closed handles hold INVALID_HANDLE_VALUE.
struct ConsoleHandles {
    HANDLE hConIn = INVALID_HANDLE_VALUE;
    HANDLE hStdOutRd = INVALID_HANDLE_VALUE;
    HANDLE hStdOutWr = INVALID_HANDLE_VALUE;
    HANDLE hProcess = INVALID_HANDLE_VALUE;
    HANDLE hThread = INVALID_HANDLE_VALUE;
    DWORD dwPID = 0;
};
