// Benchmarks of the console engine, driven through the plug-in's own CVEXImpl against the
// benchmark tool beside this program:
//   throughput LINES RUNS   GetLine over LINES lines against a loop blocking in ReadFile over
//                           the same tool, the two in turn
//   prompts COUNT RUNS      how soon an answer typed at a "recover> " prompt reaches the tool
//   passwords COUNT RUNS    how soon a password reaches a tool that switched its console mode off
// Each prints "figure ..." lines (bench_stats.h) for the report.
#include "benchmarks/bench_stats.h"
#include "console/line_assembler.h"
#include "plugin/cvex_impl.h"
#include "support/handle.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

std::wstring Tool(const std::wstring& sArgs)
{
    return L"\"" + bench::ProgramFolder() + L"bench_tool.exe\" " + sArgs;
}

double Seconds()
{
    return static_cast<double>(bench::NowUs()) / 1e6;
}

// The host's side: messages dropped, password requests answered at once.
struct QuietHost {
    static int Log(unsigned, const wchar_t*, void*) { return 0; }
    static unsigned Progress(ProgressRecord* pRecord, void*)
    {
        if (pRecord->uiKind == PK_PASSWORD_REQUEST)
            pRecord->sText2 = L"secret";
        return 0;
    }
};

void Attach(CVEXImpl& impl)
{
    impl.SetLogMsgCallbackFn(&QuietHost::Log, nullptr);
    impl.SetProgMsgCallbackFn(&QuietHost::Progress, nullptr);
}

// Lines per second of a read over the tool: from the tool started (the reading) and from the
// command given (with the start of the tool: for the engine its console). 0 when the tool did
// not run or lines went missing.
struct Rate {
    double dReading = 0;
    double dWhole = 0;
};

Rate RateOf(long long nLines, long long nRead, double t0, double tStarted)
{
    const double t1 = Seconds();
    if (nRead != nLines)
        return {};
    return {static_cast<double>(nLines) / (t1 - tStarted), static_cast<double>(nLines) / (t1 - t0)};
}

Rate EngineLinesPerSecond(long long nLines)
{
    CVEXImpl impl;
    Attach(impl);
    const double t0 = Seconds();
    if (!impl.RunCommand(Tool(L"lines " + std::to_wstring(nLines)), false))
        return {};
    const double tStarted = Seconds();
    long long n = 0;
    std::wstring sLine;
    while (impl.GetLine(sLine, false))
        ++n;
    return RateOf(nLines, n, t0, tStarted);
}

// The limit the engine is judged against: the same tool read by a loop that blocks in ReadFile
// with a large buffer, over a pipe of the size the engine makes, and only counts line ends.
Rate BlockingLinesPerSecond(long long nLines)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRd = nullptr, hWr = nullptr;
    if (!CreatePipe(&hRd, &hWr, &sa, 0x10000))
        return {};
    velmora::unique_file rd(hRd), wr(hWr);
    SetHandleInformation(hRd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = hWr;
    si.hStdInput = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION pi = {};
    std::wstring sCmd = Tool(L"lines " + std::to_wstring(nLines));
    const double t0 = Seconds();
    if (!CreateProcessW(nullptr, sCmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return {};
    const double tStarted = Seconds();
    velmora::unique_handle_null process(pi.hProcess), thread(pi.hThread);
    wr.close();
    std::vector<char> buf(1 << 20);
    long long n = 0;
    DWORD dwRead = 0;
    while (ReadFile(rd.get(), buf.data(), static_cast<DWORD>(buf.size()), &dwRead, nullptr) && dwRead > 0)
        for (DWORD i = 0; i < dwRead; ++i)
            n += buf[i] == '\n';
    const Rate rate = RateOf(nLines, n, t0, tStarted);
    WaitForSingleObject(process.get(), INFINITE);
    return rate;
}

// The engine's reading is judged against the blocking loop's; the console the engine makes for
// its tool (a fixed cost per tool, measured on its own by bench_host's steps) shows in the whole.
int Throughput(long long nLines, int nRuns)
{
    std::vector<double> engine, blocking, ratio, ratioWhole;
    for (int i = 0; i < nRuns; ++i) {
        const Rate e = EngineLinesPerSecond(nLines);
        const Rate b = BlockingLinesPerSecond(nLines);
        if (e.dReading == 0 || b.dReading == 0) {
            std::printf("error throughput run %d: engine %g blocking %g lines/s\n", i, e.dReading, b.dReading);
            return 1;
        }
        engine.push_back(e.dReading);
        blocking.push_back(b.dReading);
        ratio.push_back(e.dReading / b.dReading);
        ratioWhole.push_back(e.dWhole / b.dWhole);
    }
    const std::string sNote = std::to_string(nLines) + " lines";
    std::printf("%s\n", bench::FigureLine("throughput_engine", "lines/s", bench::Summarize(engine), sNote).c_str());
    std::printf("%s\n", bench::FigureLine("throughput_blocking", "lines/s", bench::Summarize(blocking), sNote).c_str());
    std::printf("%s\n", bench::FigureLine("throughput_ratio", "ratio", bench::Summarize(ratio), sNote).c_str());
    std::printf("%s\n", bench::FigureLine("throughput_ratio_whole", "ratio", bench::Summarize(ratioWhole),
                                          sNote + ", the engine's console and start included")
                            .c_str());
    return 0;
}

// Runs the tool in a role that the host answers (prompts with a word, password requests with the
// password) and returns every line it printed.
bool RunAnswered(const std::wstring& sArgs, std::vector<std::wstring>& lines)
{
    CVEXImpl impl;
    Attach(impl);
    if (!impl.RunCommand(Tool(sArgs), false))
        return false;
    std::wstring sLine;
    while (impl.GetLine(sLine, false)) {
        if (StartsWithRecoverPrompt(sLine))
            impl.SendResponse(L"go\r\n", false);
        else if (sLine.empty())
            impl.ProvidePassword();
        else
            lines.push_back(sLine);
    }
    return true;
}

int Answered(const char* pRole, const wchar_t* pRole16, const wchar_t* pKey, const char* pFigure, int nCount, int nRuns)
{
    std::vector<double> ms;
    for (int i = 0; i < nRuns; ++i) {
        std::vector<std::wstring> lines;
        if (!RunAnswered(std::wstring(pRole16) + L" " + std::to_wstring(nCount), lines)) {
            std::printf("error %s: the tool did not start\n", pRole);
            return 1;
        }
        std::vector<double> us = bench::ValuesOf(lines, pKey);
        if (us.size() != static_cast<size_t>(nCount)) {
            std::printf("error %s run %d: %zu of %d answers arrived\n", pRole, i, us.size(), nCount);
            return 1;
        }
        for (double v : us)
            ms.push_back(v / 1000.0);
    }
    std::printf("%s\n", bench::FigureLine(pFigure, "ms", bench::Summarize(ms)).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // As the host: no console of its own; message texts come from the loaded DLL.
    FreeConsole();
    LoadLibraryW(L"CVEX.DLL");
    std::string sWhat = argc > 1 ? argv[1] : "";
    long long n = argc > 2 ? std::atoll(argv[2]) : 0;
    int nRuns = argc > 3 ? std::atoi(argv[3]) : 3;
    if (n <= 0 || nRuns <= 0) {
        std::printf("usage: bench_engine throughput|prompts|passwords COUNT [RUNS]\n");
        return 2;
    }
    if (sWhat == "throughput")
        return Throughput(n, nRuns);
    if (sWhat == "prompts")
        return Answered("prompts", L"prompts", L"latency_us", "prompt_latency", static_cast<int>(n), nRuns);
    if (sWhat == "passwords")
        return Answered("passwords", L"passwords", L"password_us", "password_round_trip", static_cast<int>(n), nRuns);
    std::printf("unknown benchmark %s\n", sWhat.c_str());
    return 2;
}
