// The client address, prefix and gateway that new credentials take from the first working
// adapter, through the scripted network library.
#include "credentials/cvex_credentials.h"
#include "tests/credentials/cred_test_util.h"
#include "tests/credentials/fake_cnm.h"

#include <gtest/gtest.h>

using credtest::Addr;
using credtest::TraceWatch;
using fakecnm::Bound;
using fakecnm::MakeAdapter;

namespace
{

struct AdapterDefaults : ::testing::Test {
    fakecnm::Script& script = fakecnm::State();
    void SetUp() override { script = fakecnm::Script(); }

    static void ExpectUntouchedDefaults(const CvexCredentials& cred)
    {
        EXPECT_EQ(cred.m_ClientIPAddress, Addr(L"0.0.0.0"));
        EXPECT_EQ(cred.m_ClientSubnetPrefix, 8);
        EXPECT_EQ(cred.m_ClientDefaultGateway, Addr(L"0.0.0.0"));
        EXPECT_TRUE(cred.m_sServerName.empty());
        EXPECT_TRUE(cred.m_sClientName.empty());
        EXPECT_EQ(cred.m_ServerIPAddress, Addr(L"0.0.0.0"));
        EXPECT_EQ(cred.m_Pit.wDay, 0);
        EXPECT_EQ(cred.m_sProduct, L"QERN");
    }
};

TEST_F(AdapterDefaults, NoAdapterListOrAnEmptyOneKeepsTheDefaults)
{
    TraceWatch watch;
    script.bListOk = false;
    ExpectUntouchedDefaults(CvexCredentials());
    EXPECT_TRUE(watch.Saw(L"CvexCredentials::CvexCredentials : ... ending(CNM::GetAdapterList failed)"));
    script.bListOk = true;
    ExpectUntouchedDefaults(CvexCredentials());
    EXPECT_TRUE(watch.Saw(L"CvexCredentials::CvexCredentials : ... ending(No Adapters found)"));
}

TEST_F(AdapterDefaults, NoneOperationalKeepsTheDefaults)
{
    script.adapters = {MakeAdapter(L"down"), MakeAdapter(L"no status"), MakeAdapter(L"no addresses"),
                       MakeAdapter(L"empty")};
    script.adapters[0].status = CNM::OPER_DOWN;
    script.adapters[0].addrs = {Bound(L"10.9.9.9", 16)};
    script.adapters[1].bStatusOk = false;
    script.adapters[2].bAddrsOk = false;
    TraceWatch watch;
    CvexCredentials cred;
    ExpectUntouchedDefaults(cred);
    EXPECT_TRUE(watch.Saw(L"Skipping non-operational adapter = \"down\""));
    EXPECT_TRUE(watch.Saw(L"Couldn't get status of adapter = \"no status\""));
    EXPECT_TRUE(watch.Saw(L"Couldn't get list of IP addresses associated with adapter = \"no addresses\""));
    EXPECT_EQ(script.calls.back(), L"GetAdaptersIpAddrs(empty)");
}

TEST_F(AdapterDefaults, FirstUsableAdapterGivesFirstIPv4AddressPrefixAndGateway)
{
    script.adapters = {MakeAdapter(L"down"), MakeAdapter(L"lan"), MakeAdapter(L"later")};
    script.adapters[0].status = CNM::OPER_DORMANT;
    script.adapters[1].addrs = {Bound(L"fe80::20", 64), Bound(L"192.168.5.20", 23), Bound(L"192.168.6.20", 24)};
    script.adapters[1].gateways = {Addr(L"fe80::1"), Addr(L"192.168.5.1"), Addr(L"192.168.5.2")};
    script.adapters[2].addrs = {Bound(L"10.0.0.20", 8)};
    CvexCredentials cred;
    EXPECT_EQ(cred.m_ClientIPAddress, Addr(L"192.168.5.20"));
    EXPECT_EQ(cred.m_ClientSubnetPrefix, 23);
    EXPECT_EQ(cred.m_ClientDefaultGateway, Addr(L"192.168.5.1"));
    EXPECT_EQ(script.iLastGatewayFamily, 2);
    EXPECT_EQ(script.calls.back(), L"GetDefaultGatewayList(lan)");
}

TEST_F(AdapterDefaults, IPv6OnlyFirstUsableAdapterStillGivesTheGatewayAndEndsTheWalk)
{
    script.adapters = {MakeAdapter(L"v6only"), MakeAdapter(L"v4")};
    script.adapters[0].addrs = {Bound(L"2001:db8::20", 64), Bound(L"fe80::20", 64)};
    script.adapters[0].gateways = {Addr(L"172.16.0.1")};
    script.adapters[1].addrs = {Bound(L"10.0.0.20", 24)};
    script.adapters[1].gateways = {Addr(L"10.0.0.1")};
    CvexCredentials cred;
    EXPECT_EQ(cred.m_ClientIPAddress, Addr(L"0.0.0.0"));
    EXPECT_EQ(cred.m_ClientSubnetPrefix, 8);
    EXPECT_EQ(cred.m_ClientDefaultGateway, Addr(L"172.16.0.1"));
    EXPECT_EQ(script.calls, (std::vector<std::wstring>{L"GetAdapterOperStatus(v6only)", L"GetAdaptersIpAddrs(v6only)",
                                                       L"GetDefaultGatewayList(v6only)"}));
}

// A gateway list that cannot be read keeps the default gateway, not the default address.
TEST_F(AdapterDefaults, GatewayFailureKeepsTheDefaultGatewayAndCopiesDoNotAskTheAdaptersAgain)
{
    script.adapters = {MakeAdapter(L"lan")};
    script.adapters[0].addrs = {Bound(L"192.168.5.20", 24)};
    script.adapters[0].bGatewaysOk = false;
    CvexCredentials cred;
    EXPECT_EQ(cred.m_ClientIPAddress, Addr(L"192.168.5.20"));
    EXPECT_EQ(cred.m_ClientDefaultGateway, Addr(L"0.0.0.0"));
    script.calls.clear();
    CvexCredentials copy(cred);
    EXPECT_EQ(copy.m_ClientIPAddress, Addr(L"192.168.5.20"));
    cred.SetDefaults();
    ExpectUntouchedDefaults(cred);
    EXPECT_TRUE(script.calls.empty());
}

} // namespace
