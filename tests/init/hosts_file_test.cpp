// The hosts file as a value: read from bytes, an entry mapped, the bytes to write back.
#include "client/hosts_file.h"
#include "tests/credentials/cred_test_util.h"

#include <gtest/gtest.h>

using credtest::Addr;
using hostsfile::Table;

// Each row: the file's bytes, the name mapped and its address, whether an entry was replaced
// (otherwise one is appended), and the bytes to write back. Entries are found by name in any case
// and whatever their address, never inside a comment; rewritten lines end in CR LF, untouched ones
// keep their bytes (also those the code page cannot carry) and their lone CRs.
TEST(HostsTable, EntriesOfTheNameAreReplacedOrOneIsAppended)
{
    struct Case {
        const char* pBytes;
        const wchar_t* pName;
        const wchar_t* pAddress;
        bool bReplaced;
        std::string sExpected;
    };
    const Case kCases[] = {
        {"# hosts\r\n10.1.1.9 nwserver # old\r\n#10.1.1.8 nwserver\r\n127.0.0.1 localhost\r\n", L"NWSERVER",
         L"10.1.1.5", true, "# hosts\r\n10.1.1.5\tNWSERVER\r\n#10.1.1.8 nwserver\r\n127.0.0.1 localhost\r\n"},
        {"10.0.0.1 a nwsrv\n10.0.0.2 nwsrv b\n10.1.1.7\talias NWSrv other\n10.0.0.3 other\n", L"nwsrv", L"10.0.0.9",
         true, "10.0.0.9\tnwsrv\r\n10.0.0.9\tnwsrv\r\n10.0.0.9\tnwsrv\r\n10.0.0.3 other\r\n"},
        {"10.1.1.6 other # nwsrv\n", L"nwsrv", L"10.0.0.9", false, "10.1.1.6 other # nwsrv\r\n10.0.0.9\tnwsrv\r\n"},
        {"127.0.0.1 localhost", L"nwsrv", L"2001:db8::7", false, "127.0.0.1 localhost\r\n2001:db8::7\tnwsrv\r\n"},
        {"", L"nwsrv", L"10.0.0.2", false, "10.0.0.2\tnwsrv\r\n"},
        {"# caf\xC3\xA9 \x81\x90\r\n10.0.0.3 other\r\n", L"nwsrv", L"10.0.0.4", false,
         "# caf\xC3\xA9 \x81\x90\r\n10.0.0.3 other\r\n10.0.0.4\tnwsrv\r\n"},
        {"a\r\r\nb\rc\n\n", L"x", L"10.0.0.4", false, "a\r\r\nb\rc\r\n\r\n10.0.0.4\tx\r\n"},
    };
    for (const Case& c : kCases) {
        Table table = Table::FromBytes(c.pBytes);
        EXPECT_EQ(table.MapName(c.pName, Addr(c.pAddress)), c.bReplaced) << c.pBytes;
        EXPECT_EQ(table.Bytes(), c.sExpected) << c.pBytes;
        EXPECT_TRUE(table.MapName(c.pName, Addr(c.pAddress))) << "mapped twice: " << c.pBytes;
        EXPECT_EQ(table.Bytes(), c.sExpected) << "mapped twice: " << c.pBytes;
    }
}
