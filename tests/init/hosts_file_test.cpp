// The hosts file as a value: read from bytes, an entry mapped, the bytes to write back.
#include "client/hosts_file.h"

#include <gtest/gtest.h>

using hostsfile::Table;
using velmora::ip_address;

namespace
{
ip_address Addr(const wchar_t* p)
{
    return ip_address(velmora::string(p));
}
} // namespace

TEST(HostsTable, AnEntryNamingTheServerIsReplacedWhateverItsAddressAndCase)
{
    Table table =
        Table::FromBytes("# hosts\r\n10.1.1.9 nwserver # old\r\n#10.1.1.8 nwserver\r\n127.0.0.1 localhost\r\n");
    EXPECT_TRUE(table.MapName(L"NWSERVER", Addr(L"10.1.1.5")));
    EXPECT_EQ(table.Bytes(), "# hosts\r\n10.1.1.5\tNWSERVER\r\n#10.1.1.8 nwserver\r\n127.0.0.1 localhost\r\n");
}

TEST(HostsTable, AMissingEntryIsAppendedAndAFinalLineWithoutEndGetsOne)
{
    Table table = Table::FromBytes("127.0.0.1 localhost");
    EXPECT_FALSE(table.MapName(L"nwsrv", Addr(L"2001:db8::7")));
    ASSERT_EQ(table.Lines().size(), 2u);
    EXPECT_EQ(table.Bytes(), "127.0.0.1 localhost\r\n2001:db8::7\tnwsrv\r\n");
    Table empty = Table::FromBytes("");
    EXPECT_FALSE(empty.MapName(L"nwsrv", Addr(L"10.0.0.2")));
    EXPECT_EQ(empty.Bytes(), "10.0.0.2\tnwsrv\r\n");
}

TEST(HostsTable, MappingTwiceLeavesOneEntryAndEveryAliasLineIsReplaced)
{
    Table table = Table::FromBytes("10.0.0.1 a nwsrv\n10.0.0.2 nwsrv b\n10.0.0.3 other\n");
    EXPECT_TRUE(table.MapName(L"nwsrv", Addr(L"10.0.0.9")));
    EXPECT_TRUE(table.MapName(L"nwsrv", Addr(L"10.0.0.9")));
    EXPECT_EQ(table.Bytes(), "10.0.0.9\tnwsrv\r\n10.0.0.9\tnwsrv\r\n10.0.0.3 other\r\n");
}

TEST(HostsTable, LinesTheCodePageCannotCarryKeepTheirBytes)
{
    const std::string sBytes = "# caf\xC3\xA9 \x81\x90\r\n10.0.0.3 other\r\n";
    Table table = Table::FromBytes(sBytes);
    EXPECT_EQ(table.Bytes(), sBytes);
    table.MapName(L"nwsrv", Addr(L"10.0.0.4"));
    EXPECT_EQ(table.Bytes(), sBytes + "10.0.0.4\tnwsrv\r\n");
}
