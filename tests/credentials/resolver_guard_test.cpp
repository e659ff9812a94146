// Name resolution through the resolver seam: the guard against resolvers that answer every
// name, resolver order, failures; and a few lookups through the real resolver.
#include "support/ip_address.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

using velmora::ip_address;
using velmora::NetworkError;

namespace
{

// A scripted resolver: known names answer their list ("ipx" stands for an answer of another
// family); every other name gets the fallback (an invented answer), or fails with
// iUnknownError when there is no fallback.
struct FakeDns {
    std::map<std::string, std::vector<std::wstring>> known;
    std::vector<std::wstring> fallback;
    int iUnknownError = WSAHOST_NOT_FOUND;
    std::vector<std::string> asked;
};

FakeDns* g_pDns = nullptr;

addrinfo* NewEntry(const std::wstring& sAddress)
{
    auto* pEntry = new addrinfo{};
    auto* pStorage = new sockaddr_storage{};
    pStorage->ss_family = AF_IPX;
    ip_address a{velmora::string(sAddress)};
    if (a.is_valid())
        std::memcpy(pStorage, &a.as_sockaddr(), sizeof(sockaddr_in6));
    pEntry->ai_family = pStorage->ss_family;
    pEntry->ai_addrlen = sizeof(sockaddr_in6);
    pEntry->ai_addr = reinterpret_cast<sockaddr*>(pStorage);
    return pEntry;
}

int FakeResolve(const char* pName, const addrinfo* pHints, addrinfo** ppResult)
{
    EXPECT_EQ(pHints->ai_flags, 0);
    EXPECT_EQ(pHints->ai_family, AF_UNSPEC);
    EXPECT_EQ(pHints->ai_socktype, SOCK_STREAM);
    EXPECT_EQ(pHints->ai_protocol, IPPROTO_TCP);
    g_pDns->asked.push_back(pName);
    auto it = g_pDns->known.find(pName);
    const std::vector<std::wstring>& answers = it != g_pDns->known.end() ? it->second : g_pDns->fallback;
    if (answers.empty())
        return g_pDns->iUnknownError;
    for (const std::wstring& sAddress : answers) {
        *ppResult = NewEntry(sAddress);
        ppResult = &(*ppResult)->ai_next;
    }
    return 0;
}

void FakeFree(addrinfo* pList)
{
    while (pList) {
        addrinfo* pNext = pList->ai_next;
        delete reinterpret_cast<sockaddr_storage*>(pList->ai_addr);
        delete pList;
        pList = pNext;
    }
}

struct ResolverGuard : ::testing::Test {
    FakeDns dns;
    void SetUp() override
    {
        g_pDns = &dns;
        velmora::SetResolverForTesting(&FakeResolve, &FakeFree);
        velmora::ResetResolverGuardForTesting();
    }
    void TearDown() override
    {
        velmora::SetResolverForTesting(nullptr, nullptr);
        velmora::ResetResolverGuardForTesting();
        g_pDns = nullptr;
    }
    std::vector<std::wstring> Lookup(const char* pName)
    {
        std::vector<ip_address> list;
        size_t n = ip_address::getHostByName(velmora::string(velmora::widen(pName)), velmora::InsertFunctor{list});
        EXPECT_EQ(n, list.size());
        std::vector<std::wstring> texts;
        for (const ip_address& a : list)
            texts.push_back(a.to_string());
        return texts;
    }
    int LookupError(const char* pName)
    {
        try {
            Lookup(pName);
        } catch (const NetworkError& e) {
            return e.code();
        }
        return 0;
    }
};

// Beside a resolver that invents an answer for every name, only real answers pass, in the
// resolver's order; a name whose answers include an invented one (the whole IPv6 address
// compared) is not found.
TEST_F(ResolverGuard, OnlyRealAnswersPassBesideAnInventingResolver)
{
    using Texts = std::vector<std::wstring>;
    struct Case {
        Texts fallback;
        const char* pName;
        Texts known;
        Texts expected; // empty: host not found
    };
    const Case kCases[] = {
        {{L"198.51.100.7"}, "nwserver", {}, {}},
        {{L"198.51.100.7"}, "nwserver.corp.example", {}, {}},
        {{L"198.51.100.7", L"2001:db8::dead"}, "typo", {}, {}},
        {{L"198.51.100.7", L"2001:db8::dead"},
         "nwserver",
         {L"10.0.0.5", L"fe80::5", L"10.0.0.6"},
         {L"10.0.0.5", L"fe80::5", L"10.0.0.6"}},
        {{L"198.51.100.7"}, "mixed", {L"10.0.0.5", L"198.51.100.7"}, {}},
        {{L"2001:db8::1"}, "v6server", {L"2001:db8::2"}, {L"2001:db8::2"}},
        {{L"2001:db8::1"}, "v6invented", {L"2001:db8::1"}, {}},
    };
    for (const Case& c : kCases) {
        velmora::ResetResolverGuardForTesting();
        dns = FakeDns();
        dns.fallback = c.fallback;
        if (!c.known.empty())
            dns.known[c.pName] = c.known;
        if (c.expected.empty())
            EXPECT_EQ(LookupError(c.pName), 11001) << c.pName;
        else
            EXPECT_EQ(Lookup(c.pName), c.expected) << c.pName;
    }
}

TEST_F(ResolverGuard, IsLearntOnceFromTheTwoNamesThatCannotExist)
{
    dns.known["a"] = {L"10.0.0.1"};
    dns.known["b"] = {L"10.0.0.2"};
    Lookup("a");
    Lookup("b");
    std::vector<std::string> names = velmora::ResolverGuardNames();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(dns.asked, (std::vector<std::string>{"a", names[0], names[1], "b"}));
    EXPECT_TRUE(names[0].ends_with(".invalid")) << names[0];
    EXPECT_TRUE(names[1].ends_with(".example.com")) << names[1];
    // one random label, the same for both names and for the whole process
    std::string sLabel = names[0].substr(0, names[0].find('.'));
    EXPECT_GE(sLabel.size(), 8u);
    EXPECT_EQ(names[1].substr(0, names[1].find('.')), sLabel);
    EXPECT_EQ(velmora::ResolverGuardNames(), names);
}

TEST_F(ResolverGuard, ANameWithNoInetAnswerPassesNothing)
{
    dns.known["ipx-only"] = {L"ipx", L"ipx"};
    size_t nCalls = 0;
    size_t n = ip_address::getHostByName(L"ipx-only", [&](const ip_address&) { ++nCalls; });
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(nCalls, 0u);
    EXPECT_THROW(ip_address(L"ipx-only", ip_address::resolve_t{}), NetworkError);
}

TEST_F(ResolverGuard, ResolvingConstructorTakesTheFirstAnswerAndFailuresPassTheirCodeOn)
{
    dns.known["nwserver"] = {L"ipx", L"fe80::5", L"10.0.0.5"};
    EXPECT_EQ(ip_address(L"nwserver", ip_address::resolve_t{}), ip_address(velmora::string(L"fe80::5")));
    dns.iUnknownError = WSATRY_AGAIN;
    EXPECT_EQ(LookupError("anything"), WSATRY_AGAIN);
}

// Through the machine's resolver: loopback only, and names that cannot exist.
TEST(RealResolver, LocalhostResolvesToLoopbackAndNamesThatCannotExistAreNotFound)
{
    std::vector<ip_address> list;
    ASSERT_GT(ip_address::getHostByName(L"localhost", velmora::InsertFunctor{list}), 0u);
    bool bLoopback = false;
    for (const ip_address& a : list)
        bLoopback =
            bLoopback || a == ip_address(velmora::string(L"127.0.0.1")) || a == ip_address(velmora::string(L"::1"));
    EXPECT_TRUE(bLoopback);
    for (const std::string& sName : velmora::ResolverGuardNames()) {
        std::wstring sWide = velmora::widen(sName);
        EXPECT_THROW(ip_address::getHostByName(sWide, [](const ip_address&) {}), NetworkError) << sName;
    }
}

} // namespace
