// Benchmarks of the module's operations against the tools they run, inside a sandbox machine
// whose tools are pointed at the backup store STORE (a Windows path) first:
//   restore LABEL STORE FILESPACE RUNS   RestoreFilespace of FILESPACE (its drive emptied before
//                                        every run) against the same count and restore passes of
//                                        recover run alone, in turn; the host's private bytes
//                                        during each restore
//   count LABEL STORE FILESPACE RUNS     the count pass of that restore alone (the host aborts at
//                                        the first restored object): its time and peak memory
//   listing STORE RUNS [COMPONENTS]      GetFilespaceList against the same tools run alone; fails
//                                        when it does not report COMPONENTS system-state
//                                        components; the module's steps per tool from its trace
//   console RUNS                         the Wine primitive the module pays per tool: a console
//                                        allocated and freed (the tools alone run without one)
// The tools' command lines and typed input are read from the module's trace of one run made
// beforehand. Each prints "figure ..." lines (bench_stats.h) for the report.
#include "benchmarks/bench_host.h"
#include "benchmarks/bench_memory.h"
#include "benchmarks/bench_replay.h"
#include "benchmarks/bench_stats.h"
#include "benchmarks/bench_timeline.h"
#include "support/handle.h"
#include "support/vstring.h"
#include "support/win.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace
{

const unsigned long kToolTimeoutMs = 3600 * 1000;
const unsigned long kEmptyDriveSeconds = 900;
const wchar_t kToolsIni[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.ini";

double Seconds()
{
    return static_cast<double>(bench::NowUs()) / 1e6;
}

double MiB(unsigned long long ull)
{
    return static_cast<double>(ull) / (1024.0 * 1024.0);
}

// Prints the error line of a benchmark that cannot go on (with the module's last error).
bool Problem(const char* pWhat, bench::PluginHost* pHost = nullptr)
{
    std::string sError = pHost ? velmora::to_utf8(pHost->Error()) : "";
    std::printf("error %s%s%s\n", pWhat, sError.empty() ? "" : ": ", sError.c_str());
    return false;
}

int Fail(const char* pWhat, bench::PluginHost* pHost = nullptr)
{
    Problem(pWhat, pHost);
    return 1;
}

void PrintRuns(const std::vector<bench::ToolRun>& runs)
{
    for (const bench::ToolRun& r : runs)
        std::printf("tool %s | input %zu characters\n", velmora::to_utf8(r.sCommand).c_str(), r.sInput.size());
}

// The tools run alone, one after another; their seconds together, or a negative value when one
// did not run or failed.
double ToolsAlone(const std::vector<bench::ToolRun>& runs, bool bExitZero,
                  bench::ToolConsole console = bench::ToolConsole::Hidden)
{
    double dSum = 0;
    for (const bench::ToolRun& r : runs) {
        unsigned long dwExit = 0;
        double d = bench::RunToolAlone(r, kToolTimeoutMs, dwExit, console);
        // Under load Wine's AllocConsole fails now and then right after a FreeConsole (the
        // module retries it too): such a run is measured again rather than counted.
        for (int nRetry = 0; d < 0 && !bench::LastToolRunTimedOut() && nRetry < 3; ++nRetry) {
            std::printf("note tool alone again after %s\n", bench::LastToolRunFailure().c_str());
            Sleep(200);
            d = bench::RunToolAlone(r, kToolTimeoutMs, dwExit, console);
        }
        if (d < 0 || (bExitZero && dwExit != 0)) {
            std::printf("error tool alone (exit %lu%s%s): %s\n", dwExit, d < 0 ? ", " : "",
                        d < 0 ? bench::LastToolRunFailure().c_str() : "", velmora::to_utf8(r.sCommand).c_str());
            return -1;
        }
        dSum += d;
    }
    return dSum;
}

void PrintFigure(const std::string& sId, const char* pUnit, const std::vector<double>& values,
                 const std::string& sNote = "")
{
    std::printf("%s\n", bench::FigureLine(sId, pUnit, bench::Summarize(values), sNote).c_str());
    std::fflush(stdout);
}

// The Wine primitive the module pays per tool: a console made as the module makes one (allocated,
// its window hidden, its input opened), then freed. Its seconds; negative when none was made.
double ConsolePair()
{
    const double t0 = Seconds();
    if (!bench::AllocatedConsole().made())
        return -1;
    return Seconds() - t0;
}

// The steps of each tool the module ran, from the timestamps of its trace (bench_timeline.h).
const std::vector<std::wstring> kCommandMarks = {
    L"CVEXImpl::RunCommand : starting",                          // the previous tool's watch released
    L"CVEXImpl::RunCommand : dwMode",                            // console allocated, hidden, its input open
    L"CVEXImpl::RunCommand : m_Handles.dwPID",                   // pipe made, tool started
    L"CVEXImpl::RunCommand : ... ending",                        // monitoring thread running
    L"CVEXImpl::ThreadWaitForProcessTermination : dwExitStatus", // the dialogue: tool ended
    L"CVEXImpl::ThreadWaitForProcessTermination : ... ending",   // output closed, console freed
};
const char* const kStepNames[] = {"console", "process", "monitor", "tool", "free", "next"};

// Prints the median of every step over the traced tools, in milliseconds.
void PrintSteps(const std::wstring& sTraced)
{
    const std::vector<std::vector<double>> commands = bench::CommandSteps(bench::TraceEvents(sTraced), kCommandMarks);
    std::printf("timeline of %zu traced tools (ms; median, min, max):", commands.size());
    for (size_t k = 0; !commands.empty() && k < commands[0].size(); ++k) {
        std::vector<double> values;
        for (const std::vector<double>& steps : commands)
            values.push_back(steps[k]);
        const bench::Summary s = bench::Summarize(values);
        std::printf(" %s %.0f [%.0f-%.0f]", kStepNames[k], s.dMedian, s.dMin, s.dMax);
    }
    std::printf("\n");
}

size_t Occurrences(const std::wstring& sText, const std::wstring& sKey)
{
    size_t n = 0;
    for (size_t i = sText.find(sKey); i != std::wstring::npos; i = sText.find(sKey, i + sKey.size()))
        ++n;
    return n;
}

// The number after the last "KEY" in the trace; -1 when there is none.
long long TracedNumber(const std::wstring& sTrace, const std::wstring& sKey)
{
    const size_t i = sTrace.rfind(sKey);
    return i == std::wstring::npos ? -1 : std::wcstoll(sTrace.c_str() + i + sKey.size(), nullptr, 10);
}

bool FindListed(bench::PluginHost& host, const std::wstring& sName, FileSpace& fs)
{
    FileSpaceList list;
    if (!host.List(list))
        return false;
    for (const FileSpace& f : list)
        if (f.sFsName == sName) {
            fs = f;
            return true;
        }
    return false;
}

// The restore's tools from the trace of a restore that the host aborts at its first object.
bool RestoreTools(const std::wstring& sName, std::vector<bench::ToolRun>& runs)
{
    bench::CommandTrace trace;
    bench::PluginHost host;
    FileSpace fs;
    if (!host.Start() || !FindListed(host, sName, fs))
        return false;
    const std::wstring sBefore = trace.Text();
    host.Restore(fs, true);
    runs = bench::TracedToolRuns(trace.Text().substr(sBefore.size()));
    return runs.size() == 2; // the count pass and the restore pass
}

struct RestoreRun {
    double dPlugin = 0, dTools = 0;
    unsigned long long ullPeak = 0;
    unsigned uiObjects = 0;
};

bool PluginRestore(bench::PluginHost& host, const FileSpace& fs, RestoreRun& run)
{
    if (!bench::EmptyDrive(fs.wcFsDriveLetter, kEmptyDriveSeconds))
        return Problem("the drive could not be emptied");
    bench::PrivateBytesSampler sampler(20);
    const double t0 = Seconds();
    const bool bRestored = host.Restore(fs);
    run.dPlugin = Seconds() - t0;
    run.ullPeak = sampler.Stop();
    run.uiObjects = host.ObjectsRestored();
    if (!bRestored || run.uiObjects == 0 || run.uiObjects != host.ObjectsCounted())
        return Problem("restore", &host);
    return true;
}

bool ToolsRestore(const std::vector<bench::ToolRun>& tools, wchar_t wcLetter, RestoreRun& run)
{
    if (!bench::EmptyDrive(wcLetter, kEmptyDriveSeconds))
        return Problem("the drive could not be emptied");
    run.dTools = ToolsAlone(tools, true);
    return run.dTools > 0;
}

int Restore(const std::string& sLabel, const std::wstring& sName, int nRuns)
{
    std::vector<bench::ToolRun> tools;
    if (!RestoreTools(sName, tools))
        return Fail("the restore's tools were not found in the trace");
    PrintRuns(tools);
    bench::PluginHost host;
    FileSpace fs;
    if (!host.Start() || !FindListed(host, sName, fs))
        return Fail("init and listing", &host);
    const double dBase = MiB(bench::PrivateBytesNow());
    std::vector<double> ratio, plugin, alone, peak;
    unsigned uiObjects = 0;
    for (int i = 0; i < nRuns; ++i) {
        RestoreRun run;
        // The order changes from run to run, so that a drift of the machine weighs on both.
        bool bOk = i % 2 ? PluginRestore(host, fs, run) && ToolsRestore(tools, fs.wcFsDriveLetter, run)
                         : ToolsRestore(tools, fs.wcFsDriveLetter, run) && PluginRestore(host, fs, run);
        if (!bOk)
            return 1;
        std::printf("run %d: module %.2f s, tools alone %.2f s, %u objects, peak %.2f MiB\n", i, run.dPlugin,
                    run.dTools, run.uiObjects, MiB(run.ullPeak));
        std::fflush(stdout);
        ratio.push_back(run.dPlugin / run.dTools);
        plugin.push_back(run.dPlugin);
        alone.push_back(run.dTools);
        peak.push_back(MiB(run.ullPeak));
        uiObjects = run.uiObjects;
    }
    const std::string sNote = std::to_string(uiObjects) + " objects";
    PrintFigure("restore_ratio_" + sLabel, "ratio", ratio, sNote);
    PrintFigure("restore_module_" + sLabel, "s", plugin, sNote);
    PrintFigure("restore_tools_" + sLabel, "s", alone, sNote);
    PrintFigure("memory_peak_" + sLabel, "MiB", peak, sNote);
    PrintFigure("memory_base_" + sLabel, "MiB", {dBase}, "before the first restore");
    return 0;
}

// What nConsoles consoles cost: as many made one after another as the module makes them, their
// median seconds times nConsoles (one console slowed by the machine's load weighs as one of
// many); negative when one could not be made.
double Consoles(size_t nConsoles)
{
    std::vector<double> values;
    for (size_t k = 0; k < nConsoles; ++k) {
        const double d = ConsolePair();
        if (d < 0)
            return -1;
        values.push_back(d);
    }
    return bench::Summarize(values).dMedian * static_cast<double>(nConsoles);
}

// nWantedComponents: the system-state components the listing must report; negative for any number.
int Listing(int nRuns, long long nWantedComponents)
{
    std::vector<bench::ToolRun> tools;
    size_t nListed = 0, nStarted = 0;
    long long nComponents = -1;
    {
        bench::CommandTrace trace;
        bench::PluginHost host;
        if (!host.Start())
            return Fail("init", &host);
        const std::wstring sBefore = trace.Text();
        FileSpaceList list;
        if (!host.List(list))
            return Fail("listing", &host);
        nListed = list.size();
        const std::wstring sTraced = trace.Text().substr(sBefore.size());
        tools = bench::TracedToolRuns(sTraced);
        nComponents = TracedNumber(sTraced, L"CVEXImpl::GetFilespaceList : System state entries = ");
        PrintSteps(sTraced);
        nStarted = Occurrences(sTraced, L"CVEXImpl::RunCommand : m_Handles.dwPID = ");
    }
    if (tools.empty())
        return Fail("the listing's tools were not found in the trace");
    if (nStarted != tools.size()) {
        std::printf("error the module started %zu tools, but the trace has the command lines of %zu\n", nStarted,
                    tools.size());
        return 1;
    }
    if (nWantedComponents >= 0 && nComponents != nWantedComponents) {
        std::printf("error the listing reported %lld system-state components, not %lld\n", nComponents,
                    nWantedComponents);
        return 1;
    }
    PrintRuns(tools);
    bench::PluginHost host;
    if (!host.Start())
        return Fail("init", &host);
    // Every tool the module starts costs it one console, made by the module and inherited by the
    // tool: the Wine primitive. The module's own share is judged against its tools run each in a
    // console made the same way; the consoles made alone, as many as the trace shows tools
    // started, are taken off the module's time as a second view.
    const size_t nConsoles = nStarted;
    std::vector<double> ratio, ratioConsole, ratioOwn, ratioLessConsoles, plugin, alone, aloneConsole, aloneAllocated,
        consoles;
    for (int i = 0; i < nRuns; ++i) {
        double dTools = 0, dConsoleTools = 0, dAllocatedTools = 0, dPlugin = 0, dConsoles = 0;
        for (int k = 0; k < 2; ++k) {
            if ((k == 0) == (i % 2 == 0)) {
                dTools = ToolsAlone(tools, false, bench::ToolConsole::None);
                dConsoleTools = ToolsAlone(tools, false, bench::ToolConsole::New);
                dAllocatedTools = ToolsAlone(tools, false, bench::ToolConsole::Allocated);
                dConsoles = Consoles(nConsoles);
                if (dTools <= 0 || dConsoleTools <= 0 || dAllocatedTools <= 0 || dConsoles < 0)
                    return 1;
                continue;
            }
            FileSpaceList list;
            const double t0 = Seconds();
            if (!host.List(list) || list.size() != nListed)
                return Fail("listing", &host);
            dPlugin = Seconds() - t0;
        }
        std::printf("run %d: module %.2f s, tools alone %.2f s, each in a console %.2f s, each in a console made as "
                    "the module makes it %.2f s, %zu consoles %.2f s\n",
                    i, dPlugin, dTools, dConsoleTools, dAllocatedTools, nConsoles, dConsoles);
        std::fflush(stdout);
        ratio.push_back(dPlugin / dTools);
        ratioConsole.push_back(dPlugin / dConsoleTools);
        ratioOwn.push_back(dPlugin / dAllocatedTools);
        ratioLessConsoles.push_back((dPlugin - dConsoles) / dTools);
        consoles.push_back(dConsoles);
        plugin.push_back(dPlugin);
        alone.push_back(dTools);
        aloneConsole.push_back(dConsoleTools);
        aloneAllocated.push_back(dAllocatedTools);
    }
    const std::string sNote = std::to_string(nListed) + " filespaces, " + std::to_string(nComponents) +
                              " components, " + std::to_string(tools.size()) + " tools";
    PrintFigure("listing_ratio", "ratio", ratio, sNote);
    PrintFigure("listing_module", "s", plugin, sNote);
    PrintFigure("listing_ratio_console", "ratio", ratioConsole, sNote + ", each tool in a console of its own");
    PrintFigure("listing_tools", "s", alone, sNote);
    PrintFigure("listing_tools_console", "s", aloneConsole, sNote + ", each tool in a console of its own");
    PrintFigure("listing_consoles", "s", consoles,
                std::to_string(nConsoles) + " consoles made as the module makes them");
    PrintFigure("listing_tools_allocated", "s", aloneAllocated,
                sNote + ", each in a console made as the module makes it");
    PrintFigure("listing_ratio_less_consoles", "ratio", ratioLessConsoles,
                sNote + ", the module less its consoles, against the tools without a console");
    PrintFigure("listing_ratio_own", "ratio", ratioOwn,
                sNote + ", against the tools each in a console made as the module makes it");
    return 0;
}

// The count pass alone over a large filespace: the host aborts at the first restored object, so
// the module reads every object line of the count and next to none of the restore. Its peak
// memory shows whether the module keeps anything per object while it counts.
int Count(const std::string& sLabel, const std::wstring& sName, int nRuns)
{
    bench::PluginHost host;
    FileSpace fs;
    if (!host.Start() || !FindListed(host, sName, fs))
        return Fail("init and listing", &host);
    std::vector<double> seconds, peak;
    unsigned uiCounted = 0;
    for (int i = 0; i < nRuns; ++i) {
        if (!bench::EmptyDrive(fs.wcFsDriveLetter, kEmptyDriveSeconds))
            return Fail("the drive could not be emptied");
        bench::PrivateBytesSampler sampler(20);
        const double t0 = Seconds();
        host.Restore(fs, true);
        const double dt = Seconds() - t0;
        const unsigned long long ullPeak = sampler.Stop();
        uiCounted = host.ObjectsCounted();
        if (uiCounted == 0)
            return Fail("count", &host);
        std::printf("run %d: count %.2f s, %u objects, peak %.2f MiB\n", i, dt, uiCounted, MiB(ullPeak));
        std::fflush(stdout);
        seconds.push_back(dt);
        peak.push_back(MiB(ullPeak));
    }
    const std::string sNote = std::to_string(uiCounted) + " objects counted";
    PrintFigure("count_module_" + sLabel, "s", seconds, sNote);
    PrintFigure("memory_peak_count_" + sLabel, "MiB", peak, sNote);
    return 0;
}

// Ten consoles a run, made as the module makes one for a tool. Each value is one console, in
// milliseconds.
int ConsolePairs(int nRuns)
{
    std::vector<double> pairs;
    for (int i = 0; i < nRuns * 10; ++i) {
        const double d = ConsolePair();
        if (d < 0)
            return Fail("AllocConsole");
        pairs.push_back(d * 1000.0);
    }
    PrintFigure("console_pair", "ms", pairs, "AllocConsole, window hidden, CONIN$ opened, FreeConsole");
    return 0;
}

// The C runtime's heap, which the module and this host share. On Windows it is the process heap,
// with the low-fragmentation front end on by default; Wine's ucrtbase keeps a private heap without
// it, on which a 20,000-object restore took the module about a third longer (docs/performance.md).
// The front end is turned on here so that the module is measured on the heap a Windows host has.
extern "C" __declspec(dllimport) intptr_t __cdecl _get_heap_handle(void);

void UseWindowsHeapMode()
{
    ULONG ulLowFragmentation = 2;
    HeapSetInformation(reinterpret_cast<HANDLE>(_get_heap_handle()), HeapCompatibilityInformation, &ulLowFragmentation,
                       sizeof(ulLowFragmentation));
}

} // namespace

int main(int argc, char** argv)
{
    // As the host: no console of its own, the runtime's heap as on Windows.
    FreeConsole();
    UseWindowsHeapMode();
    const std::string sWhat = argc > 1 ? argv[1] : "";
    const bool bRestore = (sWhat == "restore" || sWhat == "count") && argc == 6 && std::atoi(argv[5]) > 0;
    const bool bListing = sWhat == "listing" && (argc == 4 || argc == 5) && std::atoi(argv[3]) > 0;
    if (sWhat == "console" && argc == 3 && std::atoi(argv[2]) > 0)
        return ConsolePairs(std::atoi(argv[2]));
    if (!bRestore && !bListing) {
        std::printf("usage: bench_host restore|count LABEL STORE FILESPACE RUNS | listing STORE RUNS [COMPONENTS] | "
                    "console RUNS\n");
        return 2;
    }
    // The timed runs trace as the module does by default; the machine's trace.ini asks for every
    // Verbose line, which costs the listing about a third more under Wine.
    bench::TraceSettings shipped(bench::kShippedTraceIni);
    const std::wstring sStore = velmora::widen(bRestore ? argv[3] : argv[2]);
    if (!WritePrivateProfileStringW(L"nwsim", L"store", sStore.c_str(), kToolsIni))
        return Fail("the tools' nwsim.ini cannot be written");
    if (bRestore && sWhat == "count")
        return Count(argv[2], velmora::widen(argv[4]), std::atoi(argv[5]));
    if (bRestore)
        return Restore(argv[2], velmora::widen(argv[4]), std::atoi(argv[5]));
    return Listing(std::atoi(argv[3]), argc == 5 ? std::atoll(argv[4]) : -1);
}
