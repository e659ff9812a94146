// A machine whose server listens on ::1, run in a network namespace of its own: the tools connect
// over IPv6, the TCP table holds only this machine's connections, and a tool that closes first
// leaves its connection in TIME_WAIT.
#include "simulator/common/text.h"
#include "tests/testbed/sim_process.h"

#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <vector>

using namespace simtest;

namespace
{

const unsigned short kServerPort = 7937;

struct Row {
    DWORD dwState;
    bool bLocalIsServer; // the server's end of a connection (or its listening socket)
};

// The IPv6 rows on the server's port, from either end.
std::vector<Row> ServerPortRows()
{
    std::vector<Row> rows;
    ULONG ulSize = 0;
    GetTcp6Table(nullptr, &ulSize, FALSE);
    std::vector<char> buffer(ulSize + 4096);
    ulSize = static_cast<ULONG>(buffer.size());
    auto* table = reinterpret_cast<MIB_TCP6TABLE*>(buffer.data());
    if (GetTcp6Table(table, &ulSize, FALSE) != NO_ERROR)
        return rows;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCP6ROW& r = table->table[i];
        bool bLocal = ntohs(static_cast<u_short>(r.dwLocalPort)) == kServerPort;
        bool bRemote = ntohs(static_cast<u_short>(r.dwRemotePort)) == kServerPort;
        if (bLocal || bRemote)
            rows.push_back({static_cast<DWORD>(r.State), bLocal});
    }
    return rows;
}

size_t ToolRowsIn(DWORD dwState)
{
    size_t n = 0;
    for (const Row& r : ServerPortRows())
        n += !r.bLocalIsServer && r.dwState == dwState;
    return n;
}

} // namespace

// First in this file: nothing has connected yet, so only the listening socket is there; in the
// machine-wide table of a shared namespace other tests' rows would show.
TEST(SimIpv6, TheTableHoldsOnlyThisMachine)
{
    EXPECT_STREQ(getenv("CVEX_SANDBOX_SERVER"), "::1");
    EXPECT_STREQ(getenv("CVEX_SANDBOX_NETNS"), "1");
    std::vector<Row> rows = ServerPortRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].dwState, static_cast<DWORD>(MIB_TCP_STATE_LISTEN));
    EXPECT_TRUE(rows[0].bLocalIsServer);
}

TEST(SimIpv6, ToolsConnectOverIpv6)
{
    ConsoleTool tool;
    ASSERT_TRUE(tool.Start(L"recover.exe", "-s \"nwsrv\" -c \"winclient1\""));
    ASSERT_TRUE(tool.WaitFor("recover> ", 30000)) << tool.Output();
    EXPECT_EQ(ToolRowsIn(MIB_TCP_STATE_ESTAB), 1u);
    ASSERT_TRUE(tool.Type(L"exit\r\n"));
    DWORD dwExit = 99;
    ASSERT_TRUE(tool.WaitExit(dwExit, 30000));
    EXPECT_EQ(dwExit, 0u);
    ToolResult count = RunTool(L"recover.exe", "-a -n -s \"nwsrv\" -c \"winclient1\" \"D:\\Data\"");
    EXPECT_EQ(count.dwExit, 0u) << count.sOutput;
    EXPECT_NE(count.sOutput.find("D:\\Data\\archive.bin\r\n"), std::string::npos);
}

TEST(SimIpv6, ADropOverIpv6IsSeenByTheTool)
{
    Knobs knobs("[server]\r\ndrop_after_lines = 3\r\n");
    ToolResult r = RunTool(L"recover.exe", "-a -n -s \"nwsrv\" -c \"winclient1\" \"D:\\Data\"");
    EXPECT_EQ(r.dwExit, 1u);
    EXPECT_NE(r.sOutput.find("An existing connection was forcibly closed"), std::string::npos) << r.sOutput;
}

TEST(SimIpv6, AToolThatClosesFirstLeavesTimeWait)
{
    size_t uBefore = ToolRowsIn(MIB_TCP_STATE_TIME_WAIT);
    Knobs knobs("[nwsim]\r\nclose_first = yes\r\n");
    ToolResult r = RunTool(L"nsrports.exe", "");
    ASSERT_EQ(r.dwExit, 0u) << r.sOutput;
    EXPECT_EQ(ToolRowsIn(MIB_TCP_STATE_TIME_WAIT), uBefore + 1);
    EXPECT_EQ(ToolRowsIn(MIB_TCP_STATE_ESTAB), 0u);
}
