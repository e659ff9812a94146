// ConsoleSession: the console engine. Runs one NetWorker tool at a time in the module's private,
// hidden console, reads its output line by line while it watches the connection and passes the
// host's abort on, and types answers at its prompts. It owns every handle of the session, the
// reader's buffers and the monitoring thread of the running tool.
#pragma once
#include "console/console_handles.h"
#include "console/engine_host.h"
#include "console/line_assembler.h"
#include "console/poll_pace.h"
#include "console/ring_buffer.h"
#include "support/handle.h"
#include "support/process_start.h"
#include "support/win.h"

#include <atomic>
#include <string>
#include <vector>

class TraceScope;

// The file name of the program a command line starts: its first word (quoted or not) without
// its folder.
std::wstring ToolNameOfCommand(const std::wstring& sCmd);

class ConsoleSession
{
public:
    // How the console is made, the tool started and the monitoring thread created; tests make
    // them fail. Making the console and starting the tool are tried uiStartAttempts times, a
    // pause apart: under load the console host of the command that just ended may not have gone.
    using AllocConsoleFn = BOOL (*)();
    using StartThreadFn = HANDLE (*)(LPTHREAD_START_ROUTINE pProc, LPVOID pArg, DWORD* pdwThreadId);
    struct Seams {
        AllocConsoleFn pfnAllocConsole = [] { return AllocConsole(); };
        velmora::create_process_fn pfnCreateProcess = &CreateProcessA;
        StartThreadFn pfnStartThread = [](LPTHREAD_START_ROUTINE pProc, LPVOID pArg, DWORD* pdwThreadId) {
            return CreateThread(nullptr, 0, pProc, pArg, 0, pdwThreadId);
        };
        unsigned uiStartAttempts = 5;
        DWORD dwStartPauseMs = 200;
    };
    // Heartbeat period in 10 ms polls, Abort's closing pause, the longest the monitoring thread
    // waits, once a password prompt was answered, for proof that the tool has read the answer
    // before it looks for the next prompt (so that one prompt is not asked for twice),
    // how long RunCommand waits for a previous tool that is still running before it ends it, and
    // how long Fini waits for a running tool before it ends it. Shortened only by tests.
    struct Timing {
        unsigned uiPollsPerHeartbeat = 1000;
        DWORD dwAbortPauseMs = 5000;
        DWORD dwPasswordPauseMs = 10000;
        DWORD dwPreviousCommandGraceMs = 60000;
        DWORD dwFiniGraceMs = 60000;
    };

    explicit ConsoleSession(EngineHost& host);
    ~ConsoleSession();
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    // Starts sCmd (program path first) with its input from the private console and its output
    // into a pipe; true when the tool runs watched by its monitoring thread.
    bool RunCommand(const std::wstring& sCmd, bool bTrace);
    // The next output byte; true without a byte while a password is awaited; false at the end of
    // the output, on a pipe error or when the user aborted (the read end is then closed).
    bool ReadChar(unsigned char* c);
    // One output line (CR, LF and trailing blanks stripped) or the "recover> " prompt; an empty
    // line at once while a password is awaited; false when the output has ended.
    bool GetLine(std::wstring& sLine, bool bTrace);
    // The last line GetLine gave is a piece of a line longer than the reader keeps whole.
    bool LastLineWasPiece() const { return m_bLastPiece; }
    bool SendResponse(const std::wstring& sResponse, bool bSecret);
    static bool SimulateKeystroke(wchar_t wc, bool bKeyDown, INPUT_RECORD& record);
    // Types the password the tool asks for. sPassword is the one remembered by the owner; when it
    // is empty the host is asked once through a kind 6 progress record and it is filled.
    bool ProvidePassword(std::wstring& sPassword);
    static bool IgnoreLine(const std::wstring& sLine);
    bool CheckNetWorkerConnection4();
    bool CheckNetWorkerConnection6();

    // Abort's part in the engine: posts "User has aborted the operation", ends the tool and
    // drains its output. False when the tool could not be ended.
    bool EndTool(TraceScope& scope);
    // Ends the running tool without a message and closes the session, its unread output dropped:
    // an operation gives up on a tool (one that asks for a password nobody expected, an abort).
    void StopTool(const wchar_t* pFn);
    // The file name of the tool of the last RunCommand ("nsrports.exe").
    const std::wstring& ToolName() const { return m_sToolName; }
    void AbortPause() const;
    // Waits between two tools as the reader waits for output: the host hears a heartbeat at the
    // start and after each heartbeat period, and its abort there ends the wait (message 197).
    // False when the host aborted.
    bool Pause(DWORD dwMs);
    // Fini's part: waits for the monitoring thread (ending a tool that outlives a grace period),
    // gives the console its echo back and closes every handle of the session.
    void Close(const wchar_t* pFn);
    bool IsOpen() const { return static_cast<bool>(m_hConIn); }

    bool UserAborted() const { return m_bUserAborted; }
    bool ConnectionLost() const { return m_bConnectionLost; }
    bool PasswordRequired() const { return m_shared.bPasswordRequired; }
    // The host asked to abort in its answer to a progress record of the operation.
    void NoteUserAbort() { m_bUserAborted = true; }
    // Posts "User has aborted the operation" unless it was posted for this abort already: the reader, the password
    // request, Abort and the operation that gives up may each meet the same abort, and the host is to hear of it once.
    void TellUserAbort();
    // Forgets an abort or a lost connection of an earlier operation.
    void ClearOperationFlags();

    // The handles as plain values, for the exported layout's mirror and for tests.
    ConsoleHandles Handles() const;
    HANDLE CommandMutex() const { return m_hCommandMutex.get(); }
    // The process of the last tool, open until the next command or Close (its exit code).
    HANDLE ToolProcess() const { return m_process.get(); }

    Seams& TestSeams() { return m_seams; }
    void SetTiming(const Timing& timing);

    // The monitoring thread's procedure; its argument is a MonitorJob, which it owns. Returns 0,
    // or 1 when the argument is missing or its handles are not open.
    static DWORD WINAPI ThreadWaitForProcessTermination(LPVOID pJob);

    // What the monitoring thread shares with the caller's thread.
    struct Shared {
        std::atomic<bool> bCommandIdle{true};
        std::atomic<bool> bPasswordRequired{false};
        std::atomic<DWORD> dwPasswordPauseMs{10000};
        // Passwords typed so far; grows before the password-required flag is cleared.
        std::atomic<unsigned> uiPasswordsTyped{0};
    };

private:
    bool WaitForPreviousCommand();
    void ReleaseEndedCommand(const wchar_t* pFn);
    void CloseConsoleHandles(const wchar_t* pFn);
    bool OpenConsoleInput(TraceScope& scope, SECURITY_ATTRIBUTES& sa);
    bool OpenOutputPipe(TraceScope& scope, SECURITY_ATTRIBUTES& sa);
    bool StartChild(TraceScope& scope, const std::wstring& sCmd);
    bool StartMonitor(TraceScope& scope);
    void ResetReader();
    bool ReadByte(unsigned char& c, bool& bGotByte);
    bool AnnouncePasswordRequest();
    bool FillReadBuffer(const wchar_t* pFn, bool& bGotData);
    void Heartbeat();
    bool AbortRead();
    void CloseOutputPipe();
    void WaitForCommandMutex(const wchar_t* pFn);
    template <typename Step> DWORD TryStartStep(const wchar_t* pFn, const wchar_t* pWarning, Step step, bool bLasting);

    EngineHost& m_host;
    Seams m_seams;
    Timing m_timing;
    Shared m_shared;

    velmora::unique_file m_hConIn;
    velmora::unique_file m_hStdOutRd;
    // The write end until the monitoring thread takes it; then only its value, for the mirror.
    velmora::unique_file m_hStdOutWr;
    HANDLE m_hStdOutWrMirror = INVALID_HANDLE_VALUE;
    velmora::unique_handle_null m_process;
    velmora::unique_handle_null m_thread;
    DWORD m_dwPID = 0;
    std::wstring m_sToolName;
    velmora::unique_handle_null m_hCommandMutex;
    velmora::unique_handle_null m_hMonitorThread;
    velmora::unique_handle_null m_hMonitorReady;

    bool m_bUserAborted = false;
    bool m_bConnectionLost = false;
    bool m_bAbortTold = false;
    bool m_bPasswordAnnounced = false;

    // Output reader.
    ByteRing m_ring;
    std::vector<unsigned char> m_readBuffer = std::vector<unsigned char>(ByteRing::kSize);
    size_t m_nReadAvailable = 0;
    size_t m_nReadMoved = 0;
    LineAssembler m_assembler;
    bool m_bLastPiece = false;
    unsigned m_uiLastProgressAnswer = 0;
    unsigned m_uiHeartbeatPeriods = 0;
    PollPace m_pace;
};
