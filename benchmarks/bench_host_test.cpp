// The benchmark host's parts that its figures rest on: the tool runs read back from the module's
// trace, a tool run alone with its typed input, and the private-bytes sampler.
#include "benchmarks/bench_memory.h"
#include "benchmarks/bench_replay.h"
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
