// Every fault knob produces its literal at the chosen point of a run.
#include "simulator/common/faults.h"
#include "simulator/common/text.h"
#include "tests/testbed/sim_process.h"

#include <gtest/gtest.h>

#include <utility>

using namespace simtest;

namespace
{

const char kCount[] = "-n -a -iY -s \"nwsrv\" -c \"winclient1\" \"D:\\\"";

// Preset name -> the literal that the restore module looks for in it.
const std::pair<const char*, const char*> kLiterals[] = {
    {"banner", "urrent working directory is"},
    {"recovering_writer", "Recovering Writer"},
    {"no_backups", "No files have been backed up for this client"},
    {"not_configured", "is not properly configured on the NetWorker Server"},
    {"not_configured_address", "is not properly configured on the NetWorker Server"},
    {"ddcl", "Cannot open file via DDCL for save-set"},
    {"secured_data", "Cannot recover secured data to this file system"},
    {"dns_lookup", "SYSTEM warning: DNS lookup failed"},
    {"busy", "failed: busy"},
    {"forcibly_closed", "An existing connection was forcibly closed"},
    {"no_route", "Remote system error - No route to host"},
    {"no_volumes", "No volumes found for recover"},
    {"incorrect_password", "Incorrect password for file"},
    {"port_range", "Failed to get port range from local"},
    {"init_ports", "Failed initialize ports"},
    {"reverse_dns", "SYSTEM warning: Reverse DNS lookup failed"},
    {"rpc_error", "RPC error:"},
    {"stale_rpc", "Stale asynchronous RPC handle"},
    {"timed_out", "352:Remote system error - Connection timed out"},
    {"rpc_call", "RPC cannot make a procedure call"},
    {"rap_error", "RAP error: Service not available"},
    {"skipping_password", "Skipping recover of password protected file"},
    {"threads_failed", "One or more recover threads failed to exit successfully"},
    {"no_response", "A connection attempt failed because the connected party did not properly respond"},
    {"asr", "ASR: "},
    {"simultaneous", "Microsoft recommends simultaneous recovery"},
    {"password_prompt", "Password for file"},
    {"recover_message", ":recover:"},
    {"compressed", "unable to set 'compressed' attribute: The request is not supported."},
    {"file_exists", "file exists, overwriting"},
    {"not_found", "not found"},
};

} // namespace

TEST(SimFaults, EveryPresetProducesItsLiteralBeforeTheChosenObject)
{
    ASSERT_EQ(std::size(kLiterals), nwsim::PresetNames().size()) << "a preset without a literal check";
    std::string sKnobs = "[faults]\r\n";
    for (size_t i = 0; i < std::size(kLiterals); ++i)
        sKnobs.append("p")
            .append(std::to_string(i))
            .append(" = recover count object:3 say ")
            .append(kLiterals[i].first)
            .append("\r\n");
    Knobs knobs(sKnobs);
    ToolResult r = RunTool(L"recover.exe", kCount);
    ASSERT_EQ(r.dwExit, 0u) << r.sOutput;
    size_t before = r.sOutput.find("D:\\Data\\\r\n");          // the second object
    size_t after = r.sOutput.find("D:\\Data\\report.txt\r\n"); // the third
    ASSERT_NE(before, std::string::npos);
    for (const auto& [name, literal] : kLiterals) {
        size_t at = r.sOutput.find(literal, before);
        EXPECT_TRUE(at != std::string::npos && at < after) << name;
    }
    for (const std::string& line : nwsim::Lines(r.sOutput)) {
        bool bError = line.find("Cannot open file via DDCL") != std::string::npos ||
                      line.find("Stale asynchronous") != std::string::npos;
        EXPECT_FALSE(bError && line.find(":\\") != std::string::npos)
            << "an error line with a path is taken for an object";
    }
}

TEST(SimFaults, FailEndsTheRunAndPrintsNothingAfter)
{
    Knobs knobs("[faults]\r\nf = recover count object:2 fail threads_failed\r\n");
    ToolResult r = RunTool(L"recover.exe", kCount);
    EXPECT_EQ(r.dwExit, 1u);
    EXPECT_NE(r.sOutput.find("One or more recover threads failed to exit successfully\r\n"), std::string::npos);
    EXPECT_EQ(r.sOutput.find("D:\\Data\\"), std::string::npos);
}

TEST(SimFaults, CrashMidOutputAndLastLineWithoutLineEnd)
{
    {
        Knobs knobs("[faults]\r\nf = recover count object:2 crash\r\n");
        ToolResult r = RunTool(L"recover.exe", kCount);
        EXPECT_EQ(r.dwExit, 0xC0000005u);
        EXPECT_NE(r.sOutput.back(), '\n'); // the half line is the last output
    }
    {
        Knobs knobs("[faults]\r\nf = mminfo any end partial \"volume,last line without end\"\r\n");
        ToolResult r = RunTool(L"mminfo.exe", "-v -s \"nwsrv\" -c \"winclient1\" -xc,");
        EXPECT_EQ(r.dwExit, 0u);
        const std::string sLast = "\r\nvolume,last line without end";
        ASSERT_GT(r.sOutput.size(), sLast.size());
        EXPECT_EQ(r.sOutput.substr(r.sOutput.size() - sLast.size()), sLast);
    }
}

TEST(SimFaults, LongLinesFormFeedsAndCarriageReturnOnlyLineEnds)
{
    Knobs knobs("[faults]\r\na = recover count line:2 longline 1500\r\nb = recover count line:3 formfeed\r\n"
                "c = recover count object:1 cronly\r\n");
    ToolResult r = RunTool(L"recover.exe", kCount);
    ASSERT_EQ(r.dwExit, 0u);
    std::vector<std::string> lines = nwsim::Lines(r.sOutput.substr(0, r.sOutput.find("D:\\")));
    bool bLong = false, bFormFeed = false;
    for (const std::string& l : lines) {
        bLong |= l.size() == 1500 && l.substr(l.size() - 4) == " END";
        bFormFeed |= l.find('\f') != std::string::npos;
    }
    EXPECT_TRUE(bLong);
    EXPECT_TRUE(bFormFeed);
    std::string sTail = r.sOutput.substr(r.sOutput.find("D:\\"));
    EXPECT_EQ(sTail.find('\n'), std::string::npos);
    EXPECT_NE(sTail.find("D:\\Data\\\r"), std::string::npos);
}

TEST(SimFaults, HangKeepsTheToolSilentThenGoesOn)
{
    Knobs knobs("[faults]\r\nh = nsrports any start hang 2\r\n");
    ToolResult r = RunTool(L"nsrports.exe", "", {}, 1000);
    EXPECT_TRUE(r.bTimedOut);
    EXPECT_TRUE(r.sOutput.empty());
    ToolResult full = RunTool(L"nsrports.exe", "");
    EXPECT_NE(full.sOutput.find("Service ports: 7937-9936"), std::string::npos);
}

TEST(SimFaults, ServerBusyRefusedDelayedAndDropped)
{
    struct Case {
        const char* pszKnobs;
        const wchar_t* pszTool;
        const char* pszArgs;
        const char* pszExpected;
    };
    const char kSession[] = "-s \"nwsrv\" -c \"winclient1\"";
    const Case kCases[] = {
        {"[server]\r\nbusy = yes\r\n", L"recover.exe", kSession, "failed: busy"},
        {"[server]\r\nrefuse = yes\r\n", L"recover.exe", kSession, "actively refused"},
        {"[nwsim]\r\nconnect_timeout = 1\r\n[server]\r\ndelay_seconds = 3\r\n", L"recover.exe", kSession,
         "did not properly respond"},
        {"[server]\r\ndrop_after_lines = 4\r\n", L"recover.exe", kCount, "An existing connection was forcibly closed"},
        {"[server]\r\ndrop_after_seconds = 1\r\n[faults]\r\nh = recover count object:2 hang 3\r\n", L"recover.exe",
         kCount, "An existing connection was forcibly closed"},
    };
    for (const Case& c : kCases) {
        Knobs knobs(c.pszKnobs);
        ToolResult r = RunTool(c.pszTool, c.pszArgs);
        EXPECT_EQ(r.dwExit, 1u) << c.pszKnobs;
        EXPECT_NE(r.sOutput.find(c.pszExpected), std::string::npos) << c.pszKnobs << r.sOutput;
    }
    Knobs knobs("[faults]\r\nbad = recover whenever start crash\r\n");
    EXPECT_NE(RunTool(L"nsrports.exe", "").sOutput.find("ignoring fault knob bad"), std::string::npos);
}
