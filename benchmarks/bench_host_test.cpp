// The benchmark host's parts that its figures rest on: the tool runs read back from the module's
// trace, a tool run alone with its typed input, and the private-bytes sampler.
#include "benchmarks/bench_memory.h"
#include "benchmarks/bench_replay.h"
#include "benchmarks/bench_timeline.h"
#include "tests/common/test_util.h"
#include "trace/trace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

// One trace line as the module writes it: header, function, name, value in quotes.
std::wstring TraceLine(const std::wstring& sBody)
{
    SYSTEMTIME st = {2026, 12, 1, 7, 13, 5, 1, 123};
    return tracefmt::Header(st, 0x2a, 4) + sBody + L"\n";
}

// A trace line at a given time of day (seconds and milliseconds after 13:05).
std::wstring TimedLine(WORD wSecond, WORD wMs, const std::wstring& sBody)
{
    SYSTEMTIME st = {2026, 12, 1, 7, 13, 5, wSecond, wMs};
    return tracefmt::Header(st, 0x1f4, 8) + sBody + L"\n";
}

std::wstring Traced(const std::wstring& sKey, const std::wstring& sValue)
{
    return TraceLine(sKey + L" = \"" + sValue + L"\"");
}

} // namespace

TEST(BenchReplay, ToolRunsComeBackInOrderWithTheirTypedInput)
{
    const std::wstring sCount = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\recover.exe -s \"localhost\" -c \"winclient1\"";
    const std::wstring sRestore =
        L"X:\\PROGRA~1\\Legato\\nsr\\bin\\recover.exe -a -iY -s \"localhost\" -c \"winclient1\" E:\\";
    std::wstring sTrace = Traced(bench::kTraceResponseKey, L"typed before any tool\r\n") +
                          TraceLine(L"CVEXImpl::RunCommand : starting ...") + Traced(bench::kTraceCommandKey, sCount) +
                          Traced(L"CVEXImpl::Other : sCmd", L"not a command line") +
                          Traced(bench::kTraceResponseKey, L"changetime \"03/08/2021 23:59:59\"\r\n") +
                          Traced(bench::kTraceResponseKey, L"add -q E:\\\r\n") +
                          Traced(bench::kTraceResponseKey, L"EXIT\r\n") + Traced(bench::kTraceCommandKey, sRestore) +
                          TraceLine(L"CVEXImpl::RestoreFilespace : uiFilesRestored = 12");
    std::vector<bench::ToolRun> runs = bench::TracedToolRuns(sTrace);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].sCommand, sCount);
    EXPECT_EQ(runs[0].sInput, L"changetime \"03/08/2021 23:59:59\"\r\nadd -q E:\\\r\nEXIT\r\n");
    EXPECT_EQ(runs[1].sCommand, sRestore);
    EXPECT_EQ(runs[1].sInput, L"");
}

TEST(BenchReplay, AValueCutOffAtTheEndOfTheTraceEndsTheReading)
{
    std::wstring sTrace = Traced(bench::kTraceCommandKey, L"mminfo.exe -s x") + TraceLine(L"...") +
                          std::wstring(bench::kTraceCommandKey) + L" = \"recover.exe -s x";
    std::vector<bench::ToolRun> runs = bench::TracedToolRuns(sTrace);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].sCommand, L"mminfo.exe -s x");
    EXPECT_TRUE(bench::TracedToolRuns(L"").empty());
}

TEST(BenchReplay, AToolRunAloneGetsItsWholeInputAndItsEnd)
{
    const std::wstring sTool = L"\"" + testutil::ProgramFolder() + L"bench_tool.exe\" input";
    unsigned long dwExit = 99;
    double d = bench::RunToolAlone({sTool, L"add -q E:\\\r\nlist -l\r\nEXIT\r\n"}, 60000, dwExit);
    EXPECT_GE(d, 0);
    EXPECT_EQ(dwExit, 3u) << "three lines typed";
    // No input at all: the tool sees the end at once instead of waiting for a line.
    d = bench::RunToolAlone({sTool, L""}, 60000, dwExit);
    EXPECT_GE(d, 0);
    EXPECT_EQ(dwExit, 0u);
    EXPECT_LT(bench::RunToolAlone({L"\"" + testutil::ProgramFolder() + L"no such tool.exe\"", L""}, 60000, dwExit), 0);
    // Without any console, in a console of its own and in one the caller made, the tool still
    // reads what was typed.
    for (bench::ToolConsole console :
         {bench::ToolConsole::None, bench::ToolConsole::New, bench::ToolConsole::Allocated}) {
        dwExit = 99;
        EXPECT_GE(bench::RunToolAlone({sTool, L"list -l\r\nEXIT\r\n"}, 60000, dwExit, console), 0)
            << bench::LastToolRunFailure();
        EXPECT_EQ(dwExit, 2u) << "two lines typed, console kind " << static_cast<int>(console);
    }
}

TEST(BenchMemory, TheSamplerSeesMemoryThatCameAndWent)
{
    const size_t nBytes = 48u << 20;
    const unsigned long long ullBefore = bench::PrivateBytesNow();
    ASSERT_GT(ullBefore, 0u);
    bench::PrivateBytesSampler sampler(5);
    {
        std::vector<char> block(nBytes);
        std::memset(block.data(), 1, nBytes);
        Sleep(100); // several samples while the block is held
    }
    const unsigned long long ullPeak = sampler.Stop();
    EXPECT_GE(ullPeak, ullBefore + nBytes - (4u << 20));
    EXPECT_LT(bench::PrivateBytesNow(), ullPeak - (32u << 20)) << "the block was given back";
}

TEST(BenchTimeline, EveryCommandIsSplitAtItsMarksUpToTheNextCommand)
{
    // Two commands; the second misses a mark before the third starts and is left out; the
    // third's last step ends at the last line. A value line continued on a line of its own and
    // a mark that comes again before the next one are not taken for steps.
    std::wstring sTrace = TimedLine(1, 0, L"RunCommand : starting ...") + TimedLine(1, 40, L"RunCommand : dwMode") +
                          L"continued value without a header\n" + TimedLine(1, 45, L"RunCommand : dwMode") +
                          TimedLine(1, 100, L"Thread : dwExitStatus = 0") + TimedLine(2, 10, L"other line") +
                          TimedLine(2, 20, L"RunCommand : starting ...") +
                          TimedLine(2, 30, L"Thread : dwExitStatus = 0") +
                          TimedLine(2, 500, L"RunCommand : starting ...") + TimedLine(3, 0, L"RunCommand : dwMode") +
                          TimedLine(4, 250, L"Thread : dwExitStatus = 1") + TimedLine(4, 260, L"last line");
    const std::vector<bench::TraceEvent> events = bench::TraceEvents(sTrace);
    ASSERT_EQ(events.size(), 11u);
    EXPECT_DOUBLE_EQ(events[0].dMs, (13 * 3600 + 5 * 60 + 1) * 1000.0);
    EXPECT_EQ(events[1].sBody, L"RunCommand : dwMode");
    const auto steps =
        bench::CommandSteps(events, {L"RunCommand : starting", L"RunCommand : dwMode", L"Thread : dwExit"});
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0], (std::vector<double>{40, 60, 920}));
    EXPECT_EQ(steps[1], (std::vector<double>{500, 1250, 10}));
    EXPECT_TRUE(bench::CommandSteps(events, {}).empty());
    EXPECT_TRUE(bench::CommandSteps(bench::TraceEvents(L"no trace at all\n"), {L"RunCommand"}).empty());
}
