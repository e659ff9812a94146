// Name resolution for velmora::ip_address, with the guard against resolvers that answer every
// name: what they answer for names that cannot exist is treated as "host not found".
#include "support/ip_address.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace velmora
{

namespace
{

// Large enough for the answers of both guard names; further answers are not stored.
const size_t kGuardCapacity = 32;

int RealResolve(const char* pName, const addrinfo* pHints, addrinfo** ppResult)
{
    return ::getaddrinfo(pName, nullptr, pHints, ppResult);
}

void RealFree(addrinfo* pResult)
{
    ::freeaddrinfo(pResult);
}

struct Resolver {
    ResolverFn pResolve = &RealResolve;
    FreeResultFn pFree = &RealFree;
};

// Learnt once, on the first answer to compare. Names are resolved on the caller's thread only.
struct ResolverGuard {
    bool bLearnt = false;
    size_t nStored = 0;
    sockaddr_in6 entries[kGuardCapacity] = {}; // IPv4 entries use the leading sockaddr_in
};

Resolver& TheResolver()
{
    static Resolver resolver;
    return resolver;
}

ResolverGuard& TheGuard()
{
    static ResolverGuard guard;
    return guard;
}

// Owns a result list of the resolver in use.
class AddrInfoList
{
public:
    AddrInfoList() = default;
    AddrInfoList(const AddrInfoList&) = delete;
    AddrInfoList& operator=(const AddrInfoList&) = delete;
    ~AddrInfoList()
    {
        if (m_pList)
            TheResolver().pFree(m_pList);
    }
    addrinfo** put() { return &m_pList; }
    const addrinfo* get() const { return m_pList; }

private:
    addrinfo* m_pList = nullptr;
};

int Resolve(const std::string& sName, AddrInfoList& list)
{
    EnsureWinsock();
    addrinfo hints = {};
    hints.ai_flags = 0;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    return TheResolver().pResolve(sName.c_str(), &hints, list.put());
}

bool IsInetFamily(const addrinfo& ai)
{
    return ai.ai_addr != nullptr && (ai.ai_family == AF_INET || ai.ai_family == AF_INET6) &&
           ai.ai_addr->sa_family == ai.ai_family;
}

void Learn(ResolverGuard& guard)
{
    for (const std::string& sName : ResolverGuardNames()) {
        AddrInfoList list;
        if (Resolve(sName, list) != 0)
            continue;
        for (const addrinfo* p = list.get(); p && guard.nStored < kGuardCapacity; p = p->ai_next) {
            if (!IsInetFamily(*p))
                continue;
            size_t nBytes = p->ai_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
            std::memcpy(&guard.entries[guard.nStored++], p->ai_addr, nBytes);
        }
    }
    guard.bLearnt = true;
}

bool SameAnswer(const sockaddr_in6& stored, const sockaddr& answer)
{
    if (stored.sin6_family != answer.sa_family)
        return false;
    if (answer.sa_family == AF_INET)
        return std::memcmp(&stored, &answer, sizeof(sockaddr_in)) == 0;
    const auto& a6 = reinterpret_cast<const sockaddr_in6&>(answer);
    return std::memcmp(&stored.sin6_addr, &a6.sin6_addr, sizeof(a6.sin6_addr)) == 0;
}

bool IsInventedAnswer(const sockaddr& answer)
{
    ResolverGuard& guard = TheGuard();
    if (!guard.bLearnt)
        Learn(guard);
    for (size_t i = 0; i < guard.nStored; ++i)
        if (SameAnswer(guard.entries[i], answer))
            return true;
    return false;
}

// A label no one has registered or cached: random per process.
std::string RandomLabel()
{
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    unsigned long long x = static_cast<unsigned long long>(counter.QuadPart) ^
                           (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^
                           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&counter));
    // splitmix64 finaliser, so that close counters give unrelated labels
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    char sz[32] = {};
    std::snprintf(sz, sizeof(sz), "q%016llx", x);
    return sz;
}

} // namespace

std::vector<std::string> ResolverGuardNames()
{
    static const std::string sLabel = RandomLabel();
    // .invalid is reserved never to exist; example.com exists and is kept free of such names.
    return {sLabel + ".invalid", sLabel + ".example.com"};
}

size_t ip_address::getHostByName(const string& sName, const std::function<void(const ip_address&)>& functor)
{
    AddrInfoList list;
    int iResult = Resolve(narrow(sName), list);
    if (iResult != 0)
        throw NetworkError(iResult);
    size_t nPassed = 0;
    for (const addrinfo* p = list.get(); p; p = p->ai_next) {
        if (!IsInetFamily(*p))
            continue;
        if (IsInventedAnswer(*p->ai_addr))
            throw NetworkError(WSAHOST_NOT_FOUND);
        functor(ip_address(*p->ai_addr));
        ++nPassed;
    }
    return nPassed;
}

void SetResolverForTesting(ResolverFn pResolve, FreeResultFn pFree)
{
    TheResolver().pResolve = pResolve ? pResolve : &RealResolve;
    TheResolver().pFree = pFree ? pFree : &RealFree;
}

void ResetResolverGuardForTesting()
{
    TheGuard() = ResolverGuard();
}

} // namespace velmora
