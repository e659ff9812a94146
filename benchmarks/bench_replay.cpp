#include "benchmarks/bench_replay.h"
#include "benchmarks/bench_stats.h"
#include "support/handle.h"
#include "support/process_start.h"
#include "support/vstring.h"
#include "support/win.h"

#include <optional>
#include <vector>

namespace bench
{

const wchar_t kTraceCommandKey[] = L"CVEXImpl::RunCommand : sCmd";
const wchar_t kTraceResponseKey[] = L"CVEXImpl::SendResponse : sResponse";

namespace
{

// The value after "KEY = \"" at position i, up to the quote that ends its trace line.
bool ValueAt(const std::wstring& sTrace, size_t i, std::wstring& sValue)
{
    const size_t iEnd = sTrace.find(L"\"\n", i);
    if (iEnd == std::wstring::npos)
        return false;
    sValue = sTrace.substr(i, iEnd - i);
    return true;
}

} // namespace

std::vector<ToolRun> TracedToolRuns(const std::wstring& sTrace)
{
    const std::wstring sCommand = std::wstring(kTraceCommandKey) + L" = \"";
    const std::wstring sResponse = std::wstring(kTraceResponseKey) + L" = \"";
    std::vector<ToolRun> runs;
    size_t i = 0;
    for (;;) {
        const size_t iCommand = sTrace.find(sCommand, i);
        const size_t iResponse = sTrace.find(sResponse, i);
        if (iCommand == std::wstring::npos && iResponse == std::wstring::npos)
            break;
        const bool bCommand = iCommand < iResponse;
        const size_t iValue = bCommand ? iCommand + sCommand.size() : iResponse + sResponse.size();
        std::wstring sValue;
        if (!ValueAt(sTrace, iValue, sValue))
            break;
        if (bCommand)
            runs.push_back({sValue, L""});
        else if (!runs.empty())
            runs.back().sInput += sValue;
        i = iValue + sValue.size();
    }
    return runs;
}

namespace
{

DWORD CreationFlags(ToolConsole console)
{
    switch (console) {
    case ToolConsole::New: return CREATE_NEW_CONSOLE;
    case ToolConsole::None: return DETACHED_PROCESS;
    case ToolConsole::Allocated: return 0; // the tool inherits the caller's console
    case ToolConsole::Hidden: break;
    }
    return CREATE_NO_WINDOW;
}

std::string g_sLastFailure;
bool g_bTimedOut = false;

double Failed(const char* pWhat, bool bTimedOut = false)
{
    const DWORD dwError = GetLastError();
    g_bTimedOut = bTimedOut;
    g_sLastFailure = std::string(pWhat) + " (error " + std::to_string(dwError) + ")";
    return -1;
}

} // namespace

const std::string& LastToolRunFailure()
{
    return g_sLastFailure;
}

bool LastToolRunTimedOut()
{
    return g_bTimedOut;
}

AllocatedConsole::AllocatedConsole()
{
    m_bMade = AllocConsole() != FALSE;
    if (!m_bMade)
        return;
    if (HWND hWnd = GetConsoleWindow())
        ShowWindow(hWnd, SW_HIDE);
    m_input.reset(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
}

AllocatedConsole::~AllocatedConsole()
{
    m_input.close();
    if (m_bMade)
        FreeConsole();
}

namespace
{

// A pipe whose one end (the child's) is inheritable.
bool MakePipe(velmora::unique_file& rd, velmora::unique_file& wr, bool bChildReads)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRd = nullptr, hWr = nullptr;
    if (!CreatePipe(&hRd, &hWr, &sa, 1 << 16))
        return false;
    rd.reset(hRd);
    wr.reset(hWr);
    SetHandleInformation(bChildReads ? hWr : hRd, HANDLE_FLAG_INHERIT, 0);
    return true;
}

// Reads the tool's output to its end with a plain loop (a look every millisecond, as the
// module's reader looks while a tool is busy); false when it has not ended by the deadline.
bool DrainOutput(HANDLE hRead, ULONGLONG ullDeadline)
{
    std::vector<char> buf(1 << 16);
    for (;;) {
        DWORD dwAvailable = 0;
        if (!PeekNamedPipe(hRead, nullptr, 0, nullptr, &dwAvailable, nullptr))
            return true; // every writer has gone: the output has ended
        if (dwAvailable == 0) {
            if (GetTickCount64() > ullDeadline)
                return false;
            SleepEx(1, TRUE);
            continue;
        }
        DWORD dwRead = 0;
        const DWORD dwWanted = dwAvailable < buf.size() ? dwAvailable : static_cast<DWORD>(buf.size());
        if (!ReadFile(hRead, buf.data(), dwWanted, &dwRead, nullptr))
            return true;
    }
}

// Under load Wine now and then fails to make a console (error 1) or to start a process (error
// 1359) although nothing is wrong (docs/wine.md); the module tries such a step up to five times,
// 200 ms apart, and a tool run alone is started the same way. The last error is the step's.
template <typename Step> bool Tried(Step step)
{
    for (int iTry = 1;; ++iTry) {
        if (step())
            return true;
        const DWORD dwError = GetLastError();
        if (iTry == 5 || velmora::is_lasting_start_error(dwError)) {
            SetLastError(dwError);
            return false;
        }
        Sleep(200);
    }
}

} // namespace

double RunToolAlone(const ToolRun& run, unsigned long dwTimeoutMs, unsigned long& dwExitCode, ToolConsole console)
{
    dwExitCode = 0;
    // The console comes first, as in the module: a console host started later would inherit the
    // pipes' ends and keep the output open.
    const long long t0 = NowUs();
    std::optional<AllocatedConsole> allocated;
    const auto allocate = [&] {
        if (allocated.emplace().made())
            return true;
        const DWORD dwError = GetLastError();
        allocated.reset();
        SetLastError(dwError);
        return false;
    };
    if (console == ToolConsole::Allocated && !Tried(allocate))
        return Failed("AllocConsole or CONIN$");
    velmora::unique_file rd, wr;
    if (!MakePipe(rd, wr, true))
        return Failed("CreatePipe");
    // In the module's kind of console the tool's output is read, as the module must read it;
    // otherwise it goes to NUL.
    const bool bReadOutput = console == ToolConsole::Allocated;
    velmora::unique_file outRd, outWr;
    if (bReadOutput && !MakePipe(outRd, outWr, false))
        return Failed("CreatePipe(output)");
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    velmora::unique_file nul(
        CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr));
    if (!nul)
        return Failed("CreateFile(NUL)");
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = rd.get();
    si.hStdOutput = si.hStdError = bReadOutput ? outWr.get() : nul.get();
    PROCESS_INFORMATION pi = {};
    std::wstring sCmd = run.sCommand;
    const auto start = [&] {
        return CreateProcessW(nullptr, sCmd.data(), nullptr, nullptr, TRUE, CreationFlags(console), nullptr, nullptr,
                              &si, &pi) != FALSE;
    };
    if (!Tried(start))
        return Failed("CreateProcess");
    velmora::unique_handle_null process(pi.hProcess), thread(pi.hThread);
    rd.close();
    outWr.close(); // the output ends when the tool's copy goes
    const std::string sInput = velmora::to_utf8(run.sInput);
    DWORD dwWritten = 0;
    if (!sInput.empty())
        WriteFile(wr.get(), sInput.data(), static_cast<DWORD>(sInput.size()), &dwWritten, nullptr);
    wr.close(); // the end of the input, as a tool reading a file sees it
    const bool bDrained = !bReadOutput || DrainOutput(outRd.get(), GetTickCount64() + dwTimeoutMs);
    if (!bDrained || WaitForSingleObject(process.get(), dwTimeoutMs) != WAIT_OBJECT_0) {
        Failed("the tool did not end in time", true);
        TerminateProcess(process.get(), 1);
        return -1;
    }
    allocated.reset();
    const double dSeconds = static_cast<double>(NowUs() - t0) / 1e6;
    DWORD dwExit = 0;
    GetExitCodeProcess(process.get(), &dwExit);
    dwExitCode = dwExit;
    return dSeconds;
}

} // namespace bench
