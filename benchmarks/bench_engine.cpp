// Benchmarks of the console engine, driven through the plug-in's own CVEXImpl against the
// benchmark tool beside this program:
//   throughput LINES RUNS   GetLine over LINES lines against a loop blocking in ReadFile over
//                           the same tool, the two in turn
//   prompts COUNT RUNS      how soon an answer typed at a "recover> " prompt reaches the tool
//   passwords COUNT RUNS    how soon a password reaches a tool that switched its console mode off
//   steps COUNT RUNS        the fixed cost of a tool: a tool that only stamps its start and end,
//                           run COUNT times a run by the engine and by the plainest code that
//                           gives it a console as the engine does (the Wine primitives)
// Each prints "figure ..." lines (bench_stats.h) for the report.
#include "benchmarks/bench_replay.h"
#include "benchmarks/bench_stats.h"
#include "console/line_assembler.h"
#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "support/vstring.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
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

// Starts the tool with its output (and errors) into a new pipe of the engine's size, whose read
// end is rd; false when the pipe or the process could not be made.
bool StartPiped(const std::wstring& sArgs, HANDLE hStdInput, DWORD dwFlags, velmora::unique_file& rd,
                velmora::unique_handle_null& process)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRd = nullptr, hWr = nullptr;
    if (!CreatePipe(&hRd, &hWr, &sa, 0x10000))
        return false;
    rd.reset(hRd);
    velmora::unique_file wr(hWr);
    SetHandleInformation(hRd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = hWr;
    si.hStdInput = hStdInput;
    PROCESS_INFORMATION pi = {};
    std::wstring sCmd = Tool(sArgs);
    if (!CreateProcessW(nullptr, sCmd.data(), nullptr, nullptr, TRUE, dwFlags, nullptr, nullptr, &si, &pi))
        return false;
    process.reset(pi.hProcess);
    velmora::unique_handle_null thread(pi.hThread);
    return true; // the write end closes here: the output ends when the tool's copy goes
}

// The limit the engine is judged against: the same tool read by a loop that blocks in ReadFile
// with a large buffer, over a pipe of the size the engine makes, and only counts line ends.
Rate BlockingLinesPerSecond(long long nLines)
{
    velmora::unique_file rd;
    velmora::unique_handle_null process;
    const double t0 = Seconds();
    if (!StartPiped(L"lines " + std::to_wstring(nLines), INVALID_HANDLE_VALUE, CREATE_NO_WINDOW, rd, process))
        return {};
    const double tStarted = Seconds();
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
// its tool (a fixed cost per tool, measured on its own by "steps") shows in the whole.
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

// One run of the stamping tool: from the command given to the tool's first stamp (console,
// process start), and from its last stamp to the reader seeing the output end (process end,
// console freed, the end noticed). Microseconds; negative when the run failed.
struct ToolSteps {
    double dStartUs = -1;
    double dEndUs = -1;
};

ToolSteps StepsOf(const std::vector<std::string>& lines, long long t0, long long t1)
{
    ToolSteps steps;
    for (const std::string& s : lines) {
        if (s.rfind("start_us ", 0) == 0)
            steps.dStartUs = static_cast<double>(std::atoll(s.c_str() + 9) - t0);
        if (s.rfind("end_us ", 0) == 0)
            steps.dEndUs = static_cast<double>(t1 - std::atoll(s.c_str() + 7));
    }
    return steps;
}

ToolSteps EngineSteps()
{
    CVEXImpl impl;
    Attach(impl);
    const long long t0 = bench::NowUs();
    if (!impl.RunCommand(Tool(L"stamps"), false))
        return {};
    std::vector<std::string> lines;
    std::wstring sLine;
    while (impl.GetLine(sLine, false))
        lines.push_back(velmora::to_utf8(sLine));
    return StepsOf(lines, t0, bench::NowUs());
}

// What Wine itself costs for the same: a console allocated as the engine allocates one, a pipe,
// the process started in that console, its output read by a blocking loop to the end, the
// console freed.
ToolSteps PrimitiveSteps()
{
    const long long t0 = bench::NowUs();
    std::optional<bench::AllocatedConsole> console;
    if (!console.emplace().made())
        return {};
    velmora::unique_file rd;
    velmora::unique_handle_null process;
    if (!StartPiped(L"stamps", GetStdHandle(STD_INPUT_HANDLE), 0, rd, process))
        return {};
    std::string sOut;
    char buf[4096];
    DWORD dwRead = 0;
    while (ReadFile(rd.get(), buf, sizeof buf, &dwRead, nullptr) && dwRead > 0)
        sOut.append(buf, dwRead);
    WaitForSingleObject(process.get(), INFINITE);
    console.reset();
    const long long t1 = bench::NowUs();
    std::vector<std::string> lines;
    for (size_t i = 0, j; i < sOut.size(); i = j + 1) {
        j = sOut.find('\n', i);
        if (j == std::string::npos)
            j = sOut.size();
        lines.push_back(sOut.substr(i, j - i));
    }
    return StepsOf(lines, t0, t1);
}

int Steps(int nTools, int nRuns)
{
    std::vector<double> startEngine, endEngine, startWine, endWine, own;
    for (int i = 0; i < nRuns * nTools; ++i) {
        // The order changes from tool to tool, so that a drift of the machine weighs on both.
        ToolSteps e, w;
        if (i % 2) {
            e = EngineSteps();
            w = PrimitiveSteps();
        } else {
            w = PrimitiveSteps();
            e = EngineSteps();
        }
        if (e.dStartUs < 0 || e.dEndUs < 0 || w.dStartUs < 0 || w.dEndUs < 0) {
            std::printf("error steps run %d: engine %g/%g us, primitives %g/%g us\n", i, e.dStartUs, e.dEndUs,
                        w.dStartUs, w.dEndUs);
            return 1;
        }
        startEngine.push_back(e.dStartUs / 1000);
        endEngine.push_back(e.dEndUs / 1000);
        startWine.push_back(w.dStartUs / 1000);
        endWine.push_back(w.dEndUs / 1000);
        own.push_back((e.dStartUs + e.dEndUs - w.dStartUs - w.dEndUs) / 1000);
    }
    const auto print = [](const char* pId, const std::vector<double>& v, const char* pNote) {
        std::printf("%s\n", bench::FigureLine(pId, "ms", bench::Summarize(v), pNote).c_str());
    };
    print("tool_start_engine", startEngine, "RunCommand to the tool's first line of code");
    print("tool_start_wine", startWine, "console allocated, pipe, CreateProcess, to the tool's first line of code");
    print("tool_end_engine", endEngine, "the tool's last line of code to GetLine's false");
    print("tool_end_wine", endWine, "the tool's last line of code to a blocking read's end, process and console gone");
    print("tool_fixed_own", own, "the engine's start and end less Wine's, per tool");
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
        std::printf("usage: bench_engine throughput|prompts|passwords|steps COUNT [RUNS]\n");
        return 2;
    }
    if (sWhat == "throughput")
        return Throughput(n, nRuns);
    if (sWhat == "prompts")
        return Answered("prompts", L"prompts", L"latency_us", "prompt_latency", static_cast<int>(n), nRuns);
    if (sWhat == "steps")
        return Steps(static_cast<int>(n), nRuns);
    if (sWhat == "passwords")
        return Answered("passwords", L"passwords", L"password_us", "password_round_trip", static_cast<int>(n), nRuns);
    std::printf("unknown benchmark %s\n", sWhat.c_str());
    return 2;
}
