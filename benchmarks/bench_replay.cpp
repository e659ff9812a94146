#include "benchmarks/bench_replay.h"

#include "benchmarks/bench_stats.h"
#include "support/handle.h"
#include "support/vstring.h"
#include "support/win.h"

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

double RunToolAlone(const ToolRun& run, unsigned long dwTimeoutMs, unsigned long& dwExitCode, ToolConsole console)
{
    dwExitCode = 0;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRd = nullptr, hWr = nullptr;
    if (!CreatePipe(&hRd, &hWr, &sa, 1 << 16))
        return -1;
    velmora::unique_file rd(hRd), wr(hWr);
    SetHandleInformation(hWr, HANDLE_FLAG_INHERIT, 0);
    velmora::unique_file nul(
        CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr));
    if (!nul)
        return -1;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = rd.get();
    si.hStdOutput = si.hStdError = nul.get();
    PROCESS_INFORMATION pi = {};
    std::wstring sCmd = run.sCommand;
    const long long t0 = NowUs();
    const DWORD dwFlags = console == ToolConsole::New    ? CREATE_NEW_CONSOLE
                          : console == ToolConsole::None ? DETACHED_PROCESS
                                                         : CREATE_NO_WINDOW;
    if (!CreateProcessW(nullptr, sCmd.data(), nullptr, nullptr, TRUE, dwFlags, nullptr, nullptr, &si, &pi))
        return -1;
    velmora::unique_handle_null process(pi.hProcess), thread(pi.hThread);
    rd.close();
    const std::string sInput = velmora::to_utf8(run.sInput);
    DWORD dwWritten = 0;
    if (!sInput.empty())
        WriteFile(wr.get(), sInput.data(), static_cast<DWORD>(sInput.size()), &dwWritten, nullptr);
    wr.close(); // the end of the input, as a tool reading a file sees it
    if (WaitForSingleObject(process.get(), dwTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        return -1;
    }
    const double dSeconds = static_cast<double>(NowUs() - t0) / 1e6;
    DWORD dwExit = 0;
    GetExitCodeProcess(process.get(), &dwExit);
    dwExitCode = dwExit;
    return dSeconds;
}

} // namespace bench
