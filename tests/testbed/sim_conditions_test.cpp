// Fault knobs that act on one run only, once, or for one saveset, path or SSID of the command line.
#include "tests/testbed/sim_process.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace
{

const std::string kClient = "-s \"nwsrv\" -c \"winclient1\"";
const wchar_t kFetched[] = L"X:\\tmp-fetch\\report.txt";

void ForgetCounts()
{
    DeleteFileW((std::wstring(kToolFolder) + L"nwsim.state").c_str());
}

ToolResult Fetch(const std::string& sPath)
{
    return RunTool(L"recover.exe", "-a -iY " + kClient + " -d \"X:\\tmp-fetch\" \"" + sPath + "\"");
}

bool TimedOut(const ToolResult& r)
{
    return r.dwExit == 1 && r.sOutput.find("352:Remote system error - Connection timed out") != std::string::npos;
}

} // namespace

// The configuration fetch that times out on its first try and works on the second; another
// path's fetch neither fails nor uses up the fault.
TEST(SimConditions, OnceForOnePathThenNeverAgain)
{
    ForgetCounts();
    Knobs knobs("[faults]\r\nt = once for:\"D:\\Data\\report.txt\" recover restore start fail timed_out\r\n");
    DeleteFileW(kFetched);
    ToolResult other = Fetch("D:\\Data\\empty.txt");
    EXPECT_EQ(other.dwExit, 0u) << other.sOutput;
    ToolResult first = Fetch("D:\\Data\\report.txt");
    EXPECT_TRUE(TimedOut(first)) << first.sOutput;
    EXPECT_EQ(GetFileAttributesW(kFetched), INVALID_FILE_ATTRIBUTES);
    ToolResult second = Fetch("D:\\Data\\report.txt");
    EXPECT_EQ(second.dwExit, 0u) << second.sOutput;
    EXPECT_EQ(ReadFileBytes(kFetched), "report of backup 2\r\n");
    EXPECT_EQ(Fetch("D:\\Data\\report.txt").dwExit, 0u);
}

TEST(SimConditions, OnlyTheChosenRunsAndCountingAnew)
{
    ForgetCounts();
    Knobs knobs("[faults]\r\nr = run:2-3 nsrports any start fail rap_error\r\nlate = run:5- nsrports any end say "
                "\"fifth or later\"\r\n");
    std::string sSeen;
    for (int i = 0; i < 6; ++i) {
        ToolResult r = RunTool(L"nsrports.exe", "");
        bool bLate = r.sOutput.find("fifth or later") != std::string::npos;
        sSeen += r.dwExit == 0 ? (bLate ? 'L' : '.') : r.sOutput.find("RAP error") != std::string::npos ? 'F' : '?';
    }
    EXPECT_EQ(sSeen, ".FF.LL");
    ForgetCounts();
    EXPECT_EQ(RunTool(L"nsrports.exe", "").dwExit, 0u);
    EXPECT_EQ(RunTool(L"nsrports.exe", "").dwExit, 1u) << "the second run after the state file went";
}

TEST(SimConditions, OnlyForTheNamedSavesetOrSsid)
{
    ForgetCounts();
    // SSIDs in build order: 4200001003 is the first backup of "D:\Data\Mount 1", 4200001006 the second.
    Knobs knobs("[faults]\r\nn = for:\"d:\\data\\mount 1\" recover count object:1 fail ddcl\r\n"
                "s = for:4200001003 recover count object:1 fail stale_rpc\r\n");
    ToolResult named = RunTool(L"recover.exe", "-a -n " + kClient + " -N\"D:\\Data\\Mount 1\"");
    EXPECT_EQ(named.dwExit, 1u);
    EXPECT_NE(named.sOutput.find("Cannot open file via DDCL"), std::string::npos) << named.sOutput;
    ToolResult ssid = RunTool(L"recover.exe", "-a -n " + kClient + " -S 4200001003");
    EXPECT_EQ(ssid.dwExit, 1u);
    EXPECT_NE(ssid.sOutput.find("Stale asynchronous RPC handle"), std::string::npos) << ssid.sOutput;
    ToolResult otherSsid = RunTool(L"recover.exe", "-a -n " + kClient + " -S 4200001006");
    EXPECT_EQ(otherSsid.dwExit, 0u) << otherSsid.sOutput;
    EXPECT_NE(otherSsid.sOutput.find("D:\\Data\\Mount 1\\inside mount.txt\r\n"), std::string::npos);
    ToolResult otherPath = RunTool(L"recover.exe", "-a -n " + kClient + " \"D:\\Data\"");
    EXPECT_EQ(otherPath.dwExit, 0u) << otherPath.sOutput;
}
