// Parsing, formatting and comparing addresses; the error type's texts.
#include "support/ip_address.h"
#include "tests/credentials/cred_test_util.h"

#include <gtest/gtest.h>

using credtest::Addr;
using velmora::ip_address;
using velmora::NetworkError;

namespace
{

struct ParseCase {
    const wchar_t* pText;
    unsigned short usFamily;   // 16: not an address
    const wchar_t* pFormatted; // the text form back, for valid addresses
};

using AddressText = ::testing::TestWithParam<ParseCase>;

TEST_P(AddressText, ParsesToFamilyAndFormatsBack)
{
    const ParseCase& c = GetParam();
    ip_address a = Addr(c.pText);
    EXPECT_EQ(a.family(), c.usFamily);
    EXPECT_EQ(a.is_valid(), c.usFamily != ip_address::kInvalidFamily);
    if (a.is_valid()) {
        EXPECT_EQ(a.to_string(), c.pFormatted);
    } else {
        EXPECT_THROW(a.to_string(), NetworkError);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AddressText,
    ::testing::Values(ParseCase{L"10.1.2.3", AF_INET, L"10.1.2.3"}, ParseCase{L"0.0.0.0", AF_INET, L"0.0.0.0"},
                      ParseCase{L"255.255.255.0", AF_INET, L"255.255.255.0"},
                      ParseCase{L"fe80::1", AF_INET6, L"fe80::1"}, ParseCase{L"::1", AF_INET6, L"::1"},
                      ParseCase{L"2001:db8:0:0:0:0:0:7", AF_INET6, L"2001:db8::7"},
                      ParseCase{L"::ffff:10.1.2.3", AF_INET6, L"::ffff:10.1.2.3"},
                      // neither IPv4 nor IPv6
                      ParseCase{L"", 16, nullptr}, ParseCase{L"nwserver", 16, nullptr},
                      ParseCase{L"256.1.1.1", 16, nullptr}, ParseCase{L"1.2.3.4.5", 16, nullptr},
                      ParseCase{L"1.2.3.", 16, nullptr}, ParseCase{L"fe80:::1", 16, nullptr},
                      // forms the converter would take but that would name another machine or carry a port
                      ParseCase{L"010.0.0.1", 16, nullptr}, ParseCase{L"10.1", 16, nullptr},
                      ParseCase{L"0x0a.1.2.3", 16, nullptr}, ParseCase{L"10.1.2.3:80", 16, nullptr},
                      ParseCase{L"[fe80::1]:80", 16, nullptr}, ParseCase{L"-1.2.3.4", 16, nullptr}));

TEST(IpAddress, DefaultPortAndSockaddrForms)
{
    EXPECT_EQ(ip_address(), Addr(L"0.0.0.0"));
    EXPECT_EQ(Addr(L"10.1.2.3").to_string(htons(7937)), L"10.1.2.3:7937");
    EXPECT_EQ(Addr(L"fe80::1").to_string(htons(9)), L"fe80::1:9");

    sockaddr_in6 six = {};
    six.sin6_family = AF_INET6;
    six.sin6_addr.s6_addr[15] = 1;
    six.sin6_port = htons(80); // a port from a resolver stays out of the text
    EXPECT_EQ(ip_address(reinterpret_cast<const sockaddr&>(six)).to_string(), L"::1");
    sockaddr other = {};
    other.sa_family = AF_UNIX;
    EXPECT_EQ(ip_address(other).family(), ip_address::kInvalidFamily);
}

TEST(IpAddress, EqualityNeedsValidSameFamilySameAddress)
{
    EXPECT_EQ(Addr(L"2001:db8::7"), Addr(L"2001:DB8:0::7"));
    EXPECT_NE(Addr(L"10.0.0.5"), Addr(L"10.0.0.6"));
    EXPECT_NE(Addr(L"::ffff:10.0.0.5"), Addr(L"10.0.0.5"));
    EXPECT_NE(Addr(L"2001:db8::7"), Addr(L"2001:db8::8"));
    EXPECT_FALSE(ip_address(velmora::string(L"10.0.0.5\0.7", 10)).is_valid());
    ip_address bad = Addr(L"bad");
    EXPECT_FALSE(bad == bad);
    EXPECT_TRUE(bad != bad);
}

TEST(NetworkErrorText, WhatNamesTheCodeInDecimal)
{
    EXPECT_STREQ(NetworkError(11001).what(), "Network Error: code = 11001");
    EXPECT_STREQ(NetworkError(-5).what(), "Network Error: code = -5");
    try {
        (void)Addr(L"nope").to_string();
        FAIL() << "no exception";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Network Error: code = 10047");
    }
}

} // namespace
