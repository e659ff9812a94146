// The state file's text form: what is read, what is refused, and that writing loses nothing.
#include "netlib/net_state.h"

#include <gtest/gtest.h>

using halvo_nm::ParseNetState;

namespace
{

const wchar_t kTwoAdapters[] = L"\xFEFF# test machine\n"
                               L"[Adapter]\n"
                               L"Name={A1}\n"
                               L"Description=Sim NIC 1\n"
                               L"HwAddr=00-15-5D-01-02-03\n"
                               L"Index=11\n"
                               L"Status=Down\n"
                               L"Address=10.0.0.9/8\n"
                               L"\n"
                               L"[adapter]\r\n"
                               L"  name = {B2} \r\n"
                               L"Description=Sim NIC 2 \x00e9\r\n"
                               L"HwAddr=00-15-5D-0A-0B-0C\r\n"
                               L"Index=12\r\n"
                               L"Status=lowerlayerdown\r\n"
                               L"DhcpIPv4=Yes\r\n"
                               L"Address=192.168.10.20/24\r\n"
                               L"Address=fe80::1/64 flags 3\r\n"
                               L"Gateway=192.168.10.1\r\n"
                               L"Route=10.9.8.7/32 via 192.168.10.1 last 1\r\n"
                               L"Fail=ReleaseDhcp, GetAdapterIndex\r\n"
                               L"[Library]\r"
                               L"Fail=GetTcp6Table\r";

class NetStateText : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

TEST_F(NetStateText, ReadsEveryFieldWhateverTheLineEndsAndCase)
{
    halvo_nm::ParseResult r = ParseNetState(kTwoAdapters);
    ASSERT_TRUE(r.bOk) << r.sError;
    ASSERT_EQ(r.state.adapters.size(), 2u);
    const halvo_nm::AdapterState& a = r.state.adapters[0];
    EXPECT_EQ(a.sName, L"{A1}");
    EXPECT_EQ(a.dwIndex, 11u);
    EXPECT_EQ(a.iStatus, 2);
    EXPECT_FALSE(a.bDhcp4);
    ASSERT_EQ(a.addresses.size(), 1u);
    EXPECT_EQ(a.addresses[0].ucPrefix, 8);

    const halvo_nm::AdapterState& b = r.state.adapters[1];
    EXPECT_EQ(b.sName, L"{B2}");
    EXPECT_EQ(b.sDescription, L"Sim NIC 2 \x00e9");
    EXPECT_EQ(b.iStatus, 7);
    EXPECT_TRUE(b.bDhcp4);
    EXPECT_FALSE(b.bDhcp6);
    ASSERT_EQ(b.addresses.size(), 2u);
    EXPECT_EQ(b.addresses[0].address, velmora::ip_address(velmora::string(L"192.168.10.20")));
    EXPECT_EQ(b.addresses[1].address.family(), AF_INET6);
    EXPECT_EQ(b.addresses[1].ucPrefix, 64);
    EXPECT_EQ(b.addresses[1].ucFlags, 3);
    ASSERT_EQ(b.routes.size(), 1u);
    EXPECT_EQ(b.routes[0].ucPrefix, 32);
    EXPECT_EQ(b.routes[0].dwLast, 1u);
    EXPECT_EQ(b.failing, (std::set<std::wstring>{L"ReleaseDhcp", L"GetAdapterIndex"}));
    EXPECT_TRUE(r.state.Fails(L"GetTcp6Table"));
    EXPECT_TRUE(r.state.Fails(L"ReleaseDhcp", &b));
    EXPECT_FALSE(r.state.Fails(L"ReleaseDhcp", &a));
}

TEST_F(NetStateText, WrittenTextReadsBackToTheSameState)
{
    halvo_nm::ParseResult first = ParseNetState(kTwoAdapters);
    ASSERT_TRUE(first.bOk) << first.sError;
    std::wstring sText = halvo_nm::FormatNetState(first.state);
    halvo_nm::ParseResult second = ParseNetState(sText);
    ASSERT_TRUE(second.bOk) << second.sError << L"\n" << sText;
    EXPECT_EQ(halvo_nm::FormatNetState(second.state), sText);
    EXPECT_NE(sText.find(L"Address=fe80::1/64 flags 3\r\n"), std::wstring::npos) << sText;
    EXPECT_NE(sText.find(L"Route=10.9.8.7/32 via 192.168.10.1 last 1\r\n"), std::wstring::npos) << sText;
    EXPECT_NE(sText.find(L"Status=LowerLayerDown\r\n"), std::wstring::npos) << sText;
}

TEST_F(NetStateText, EmptyTextIsAMachineWithoutAdapters)
{
    halvo_nm::ParseResult r = ParseNetState(L"# nothing\n\n");
    ASSERT_TRUE(r.bOk) << r.sError;
    EXPECT_TRUE(r.state.adapters.empty());
}

TEST_F(NetStateText, FaultyLinesAreRefusedWithTheirLineNumber)
{
    const std::wstring sHead = L"[Adapter]\nName=n\nIndex=1\n"; // lines 1 to 3
    const struct {
        std::wstring sText;
        const wchar_t* pExpected;
    } cases[] = {
        {L"Name=x\n", L"line 1: key \"Name\" before"},
        {L"[Adapter\n", L"line 1: section header"},
        {L"[Machine]\n", L"line 1: unknown section"},
        {L"[Library]\n[Library]\n", L"line 2: [Library] given twice"},
        {L"[Library]\nName=x\n", L"line 2: unknown key"},
        {sHead + L"Speed=1000\n", L"line 4: unknown key \"Speed\""},
        {sHead + L"just words\n", L"line 4: neither"},
        {sHead + L"Name=m\n", L"line 4: Name given twice"},
        {sHead + L"Address=10.0.0.1\n", L"line 4: bad Address"},
        {sHead + L"Address=10.0.0.1/33\n", L"line 4: bad Address"},
        {sHead + L"Address=fe80::1/129\n", L"line 4: bad Address"},
        {sHead + L"Address=10.0.0.256/8\n", L"line 4: bad Address"},
        {sHead + L"Address=10.0.0.1/8 flags 256\n", L"line 4: bad Address"},
        {sHead + L"Address=/8\n", L"line 4: bad Address"},
        {sHead + L"Gateway=gateway\n", L"line 4: bad Gateway"},
        {sHead + L"Route=10.0.0.1/32 10.0.0.254\n", L"line 4: bad Route"},
        {sHead + L"Route=10.0.0.1/32 via nowhere\n", L"line 4: bad Route"},
        {sHead + L"Status=Sideways\n", L"line 4: bad Status"},
        {sHead + L"Status=8\n", L"line 4: bad Status"},
        {sHead + L"DhcpIPv4=perhaps\n", L"line 4: bad DhcpIPv4"},
        {sHead + L"Fail=Explode\n", L"line 4: Fail names an unknown operation"},
        {L"[Adapter]\nName=n\nIndex=99999999999\n", L"line 3: bad Index"},
        {L"[Adapter]\nName=n\nIndex=-1\n", L"line 3: bad Index"},
        {L"[Adapter]\nName=n\nIndex=0\n", L"line 3: bad Index"},
        {L"[Adapter]\nName=\n", L"line 2: empty Name"},
        {L"[Adapter]\nIndex=1\n", L"adapter 1: no Name"},
        {L"[Adapter]\nName=n\n", L"adapter 1: no Index"},
        {sHead + L"[Adapter]\nName=n\nIndex=2\n", L"adapter 2: Name \"n\" given to two adapters"},
        {sHead + L"[Adapter]\nName=m\nIndex=1\n", L"adapter 2: Index 1 given to two adapters"},
        {std::wstring(L"[Adapter]\0\x01\x02", 12), L"line 1: section header"},
    };
    for (const auto& c : cases) {
        halvo_nm::ParseResult r = ParseNetState(c.sText);
        EXPECT_FALSE(r.bOk) << c.sText;
        EXPECT_NE(r.sError.find(c.pExpected), std::wstring::npos) << c.sText << L" -> " << r.sError;
        EXPECT_TRUE(r.state.adapters.empty()) << c.sText;
    }
}

} // namespace
