// State of the console engine shared by the caller's thread and the monitoring thread.
// One NetWorker tool runs at a time, so there is one of it per module.
#pragma once
#include "console/line_assembler.h"
#include "console/ring_buffer.h"
#include "support/handle.h"
#include "support/win.h"

#include <atomic>
#include <vector>

// What the monitoring thread needs of the session it watches.
struct MonitorBlock {
    HANDLE* phCommandMutex = nullptr;
    HANDLE hProcess = INVALID_HANDLE_VALUE;
    HANDLE hThread = INVALID_HANDLE_VALUE;
    HANDLE* phConIn = nullptr;
    HANDLE* phStdOutRd = nullptr;
    HANDLE* phStdOutWr = nullptr;
    HANDLE hMutexReady = nullptr; // set once the thread owns the command mutex
};

// How the monitoring thread is started; a seam so that tests can make it fail.
using StartThreadFn = HANDLE (*)(LPTHREAD_START_ROUTINE pProc, LPVOID pArg, DWORD* pdwThreadId);

// How the private console is made and the tool started; seams so that tests can make them fail.
using AllocConsoleFn = BOOL (*)();
using CreateProcessFn = decltype(&CreateProcessA);

struct ConsoleEngineState {
    AllocConsoleFn pfnAllocConsole = [] { return AllocConsole(); };
    CreateProcessFn pfnCreateProcess = &CreateProcessA;
    // Making the console and starting the tool are tried this often, a pause apart, before the
    // command fails: under load the console host of the command that just ended may not have gone.
    unsigned uiStartAttempts = 5;
    DWORD dwStartPauseMs = 200;
    StartThreadFn pfnStartThread = [](LPTHREAD_START_ROUTINE pProc, LPVOID pArg, DWORD* pdwThreadId) {
        return CreateThread(nullptr, 0, pProc, pArg, 0, pdwThreadId);
    };
    std::atomic<bool> bCommandIdle{true};
    std::atomic<bool> bPasswordRequired{false};
    // Pause of the monitoring thread after it saw a password prompt, so that the same prompt
    // is not seen twice before the password is typed.
    std::atomic<DWORD> dwPasswordPauseMs{10000};
    MonitorBlock monitor;
    velmora::unique_handle_null hMonitorThread;
    velmora::unique_handle_null hMutexReady;

    // Output reader.
    ByteRing ring;
    std::vector<unsigned char> readBuffer = std::vector<unsigned char>(ByteRing::kSize);
    size_t nReadAvailable = 0;
    size_t nReadMoved = 0;
    LineAssembler assembler;
    unsigned uiLastProgressAnswer = 0;
    unsigned uiHeartbeatPeriods = 0;

    // Forgets what an earlier command left unread.
    void ResetReader()
    {
        ring.clear();
        nReadAvailable = nReadMoved = 0;
        assembler.reset();
        uiLastProgressAnswer = 0;
        uiHeartbeatPeriods = 0;
    }
};

ConsoleEngineState& Engine();

// Closes one handle of the console session record and marks it closed (all bits set).
// False when CloseHandle failed; the error is traced under the given name.
bool CloseSessionHandle(HANDLE& h, const wchar_t* pFn, const wchar_t* pWhat);
