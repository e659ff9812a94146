// halvo_nm.dll through its exported class, against a state file in a scratch folder.
#include "netlib/net_state.h"
#include "support/cnm.h"
#include "support/handle.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <iphlpapi.h>

namespace
{

using velmora::ip_address;

ip_address Ip(const wchar_t* p)
{
    return ip_address(velmora::string(p));
}

const char kMachine[] = "[Adapter]\n"
                        "Name={A1}\n"
                        "Description=Sim NIC 1\n"
                        "HwAddr=00-15-5D-01-02-03\n"
                        "Index=11\n"
                        "Status=Down\n"
                        "Address=10.0.0.9/8\n"
                        "\n"
                        "[Adapter]\n"
                        "Name={B2}\n"
                        "Description=Sim NIC 2\n"
                        "HwAddr=00-15-5D-0A-0B-0C\n"
                        "Index=12\n"
                        "Status=Up\n"
                        "DhcpIPv4=Yes\n"
                        "Address=192.168.10.20/24\n"
                        "Address=fe80::1/64\n"
                        "Gateway=192.168.10.1\n"
                        "Gateway=fe80::254\n";

class NetLib : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    void SetUp() override { SetEnvironmentVariableW(L"HALVO_NM_STATE", StatePath().c_str()); }
    void TearDown() override { SetEnvironmentVariableW(L"HALVO_NM_STATE", nullptr); }

    std::wstring StatePath() const { return m_scratch.file(L"state.ini"); }
    void Write(const std::string& sText) const { testutil::WriteTextFile(StatePath(), sText); }
    halvo_nm::NetState ReadBack() const
    {
        halvo_nm::ParseResult r = halvo_nm::ParseNetState(testutil::ReadTextFile(StatePath()));
        EXPECT_TRUE(r.bOk) << r.sError;
        return r.state;
    }
    static CNM::NIC_INFO Nic(const wchar_t* pName)
    {
        CNM::NIC_INFO nic;
        nic.sName = pName;
        return nic;
    }

    testutil::ScratchFolder m_scratch{L"netlib"};
};

TEST_F(NetLib, ReportsTheAdaptersOfTheStateFileInItsOrder)
{
    Write(kMachine);
    std::vector<CNM::NIC_INFO> nics;
    ASSERT_TRUE(CNM::GetAdapterList(nics));
    ASSERT_EQ(nics.size(), 2u);
    EXPECT_EQ(nics[0].sName, L"{A1}");
    EXPECT_EQ(nics[1].sNicDesc, L"Sim NIC 2");
    EXPECT_EQ(nics[1].sHwAddr, L"00-15-5D-0A-0B-0C");

    CNM::CNM_OPER_STATUS status = CNM::OPER_UNKNOWN;
    ASSERT_TRUE(CNM::GetAdapterOperStatus(nics[0], status));
    EXPECT_EQ(status, CNM::OPER_DOWN);
    ASSERT_TRUE(CNM::GetAdapterOperStatus(nics[1], status));
    EXPECT_EQ(status, CNM::OPER_UP);

    std::vector<CNM::ASSOC_IP_ADDR> addrs;
    ASSERT_TRUE(CNM::GetAdaptersIpAddrs(nics[1], addrs));
    ASSERT_EQ(addrs.size(), 2u);
    EXPECT_EQ(addrs[0].ipAddress, Ip(L"192.168.10.20"));
    EXPECT_EQ(addrs[0].ucPrefixLength, 24);
    EXPECT_EQ(addrs[1].ipAddress, Ip(L"fe80::1"));

    std::vector<ip_address> gws;
    ASSERT_TRUE(CNM::GetDefaultGatewayList(nics[1], CNM::FAMILY_IPV4, gws));
    ASSERT_EQ(gws.size(), 1u);
    EXPECT_EQ(gws[0], Ip(L"192.168.10.1"));
    ASSERT_TRUE(CNM::GetDefaultGatewayList(nics[1], CNM::FAMILY_IPV6, gws));
    ASSERT_EQ(gws.size(), 1u);
    EXPECT_EQ(gws[0], Ip(L"fe80::254"));

    bool bDhcp = false;
    ASSERT_TRUE(CNM::IsDhcpEnabled(nics[1], CNM::FAMILY_IPV4, bDhcp));
    EXPECT_TRUE(bDhcp);
    ASSERT_TRUE(CNM::IsDhcpEnabled(nics[0], CNM::FAMILY_IPV4, bDhcp));
    EXPECT_FALSE(bDhcp);
    DWORD dwIndex = 0;
    ASSERT_TRUE(CNM::GetAdapterIndex(nics[0], dwIndex));
    EXPECT_EQ(dwIndex, 11u);
    EXPECT_FALSE(CNM::GetAdapterIndex(Nic(L"{gone}"), dwIndex));
}

// The order in which Init configures an adapter that takes the client's address.
TEST_F(NetLib, StaticAddressGatewayAndRouteEndUpInTheFile)
{
    Write(kMachine);
    CNM::NIC_INFO nic = Nic(L"{B2}");
    ASSERT_TRUE(CNM::ReleaseDhcp(nic, CNM::FAMILY_IPV4));
    halvo_nm::NetState released = ReadBack();
    ASSERT_EQ(released.adapters.size(), 2u);
    ASSERT_EQ(released.adapters[1].addresses.size(), 1u); // the IPv6 address stays
    EXPECT_EQ(released.adapters[1].addresses[0].address, Ip(L"fe80::1"));
    ASSERT_EQ(released.adapters[1].gateways.size(), 1u);
    EXPECT_TRUE(released.adapters[1].bDhcp4);

    ASSERT_TRUE(CNM::SetAdaptersIpAddrs(nic, {CNM::ASSOC_IP_ADDR{0, Ip(L"10.20.30.40"), 16}}));
    ASSERT_TRUE(CNM::SetDefaultGateway(nic, Ip(L"10.20.0.1")));
    DWORD dwIndex = 0;
    ASSERT_TRUE(CNM::GetAdapterIndex(nic, dwIndex));
    CNM::ROUTE_INFO route{dwIndex, Ip(L"127.0.0.5"), 32, Ip(L"10.20.0.1"), 1};
    ASSERT_TRUE(CNM::AddAdapterRoute(nic, route));
    ASSERT_TRUE(CNM::AddAdapterRoute(nic, route)); // a second Init adds it again

    halvo_nm::NetState after = ReadBack();
    const halvo_nm::AdapterState& b = after.adapters[1];
    ASSERT_EQ(b.addresses.size(), 1u);
    EXPECT_EQ(b.addresses[0].address, Ip(L"10.20.30.40"));
    EXPECT_EQ(b.addresses[0].ucPrefix, 16);
    EXPECT_FALSE(b.bDhcp4);
    ASSERT_EQ(b.gateways.size(), 2u);
    EXPECT_EQ(b.gateways[0], Ip(L"fe80::254"));
    EXPECT_EQ(b.gateways[1], Ip(L"10.20.0.1"));
    ASSERT_EQ(b.routes.size(), 1u);
    EXPECT_EQ(b.routes[0].destination, Ip(L"127.0.0.5"));
    EXPECT_EQ(b.routes[0].nextHop, Ip(L"10.20.0.1"));
    EXPECT_EQ(b.routes[0].dwLast, 1u);
    EXPECT_EQ(after.adapters[0].addresses.size(), 1u);     // the other adapter is untouched
    EXPECT_FALSE(CNM::ReleaseDhcp(nic, CNM::FAMILY_IPV4)); // static now: no lease

    ASSERT_TRUE(CNM::SetDefaultGateway(nic, Ip(L"0.0.0.0")));
    std::vector<ip_address> gws;
    ASSERT_TRUE(CNM::GetDefaultGatewayList(nic, CNM::FAMILY_IPV4, gws));
    EXPECT_TRUE(gws.empty());
}

// Without a state file the machine has no adapters; the fail knobs fail their operation for all
// adapters or for one.
TEST_F(NetLib, NoFileAndTheFailKnobs)
{
    std::vector<CNM::NIC_INFO> nics(1);
    ASSERT_TRUE(CNM::GetAdapterList(nics));
    EXPECT_TRUE(nics.empty());
    EXPECT_FALSE(CNM::SetDefaultGateway(Nic(L"{A1}"), Ip(L"10.0.0.1")));
    EXPECT_FALSE(testutil::FileExists(StatePath()));

    Write(std::string(kMachine) + "Fail=GetAdapterOperStatus\n[Library]\nFail=GetAdapterIndex,SetDefaultGateway\n");
    CNM::CNM_OPER_STATUS status = CNM::OPER_UNKNOWN;
    EXPECT_TRUE(CNM::GetAdapterOperStatus(Nic(L"{A1}"), status));
    EXPECT_FALSE(CNM::GetAdapterOperStatus(Nic(L"{B2}"), status));
    DWORD dwIndex = 0;
    EXPECT_FALSE(CNM::GetAdapterIndex(Nic(L"{A1}"), dwIndex));
    EXPECT_FALSE(CNM::GetAdapterIndex(Nic(L"{B2}"), dwIndex));
    EXPECT_FALSE(CNM::SetDefaultGateway(Nic(L"{A1}"), Ip(L"10.0.0.1")));
    std::vector<CNM::ASSOC_IP_ADDR> addrs;
    EXPECT_TRUE(CNM::GetAdaptersIpAddrs(Nic(L"{B2}"), addrs));

    Write("[Library]\nFail=GetAdapterList GetTcp6Table\n");
    EXPECT_FALSE(CNM::GetAdapterList(nics));
    DWORD dwSize = 0;
    EXPECT_EQ(CNM::GetTcp6Table(nullptr, dwSize, false), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST_F(NetLib, NetmaskAndPrefixConvertBothWays)
{
    const struct {
        const wchar_t* pMask;
        unsigned char ucPrefix;
    } pairs[] = {{L"0.0.0.0", 0},
                 {L"128.0.0.0", 1},
                 {L"255.0.0.0", 8},
                 {L"255.255.255.0", 24},
                 {L"255.255.255.252", 30},
                 {L"255.255.255.255", 32},
                 {L"ffff:ffff:ffff:ffff::", 64},
                 {L"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", 128},
                 {L"ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe", 127}};
    for (const auto& p : pairs) {
        EXPECT_EQ(CNM::ConvertNetmaskToPrefix(Ip(p.pMask)), p.ucPrefix) << p.pMask;
        if (p.ucPrefix > 32 || Ip(p.pMask).family() == AF_INET) {
            EXPECT_EQ(CNM::ConvertPrefixToNetmask(p.ucPrefix), Ip(p.pMask)) << p.pMask;
        }
    }
    EXPECT_EQ(CNM::ConvertNetmaskToPrefix(Ip(L"255.0.255.0")), 8); // leading ones only
    EXPECT_EQ(CNM::ConvertNetmaskToPrefix(Ip(L"no mask")), 0);
    EXPECT_EQ(CNM::ConvertPrefixToNetmask(200), Ip(L"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"));
}

// The real IPv6 TCP table, with the "buffer too small, here is the size" protocol.
TEST_F(NetLib, Tcp6TableShowsAListeningLoopbackSocket)
{
    SOCKET s = socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        GTEST_SKIP() << "no IPv6 sockets here";
    sockaddr_in6 sin6 = {};
    sin6.sin6_family = AF_INET6;
    sin6.sin6_addr.s6_addr[15] = 1; // ::1
    int len = sizeof(sin6);
    if (bind(s, reinterpret_cast<sockaddr*>(&sin6), sizeof(sin6)) != 0 || listen(s, 1) != 0) {
        closesocket(s);
        GTEST_SKIP() << "::1 cannot be bound here";
    }
    getsockname(s, reinterpret_cast<sockaddr*>(&sin6), &len);

    DWORD dwSize = 0;
    ASSERT_EQ(CNM::GetTcp6Table(nullptr, dwSize, true), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_GE(dwSize, sizeof(MIB_TCP6TABLE));
    std::vector<unsigned char> buffer(dwSize);
    DWORD dwResult = CNM::GetTcp6Table(buffer.data(), dwSize, true);
    ASSERT_EQ(dwResult, 0u);
    const auto* pTable = reinterpret_cast<const MIB_TCP6TABLE*>(buffer.data());
    bool bFound = false;
    for (DWORD i = 0; i < pTable->dwNumEntries; ++i)
        bFound |= pTable->table[i].State == MIB_TCP_STATE_LISTEN && pTable->table[i].dwLocalPort == sin6.sin6_port;
    closesocket(s);
    EXPECT_TRUE(bFound) << pTable->dwNumEntries << " rows";
}

} // namespace
