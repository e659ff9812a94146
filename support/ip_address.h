// velmora::ip_address: one IPv4 or IPv6 address; velmora::NetworkError: a Winsock failure.
#pragma once
#include "support/vstring.h"
#include "support/win.h"

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace velmora
{

class NetworkError : public std::exception
{
public:
    explicit NetworkError(int iCode);
    const char* what() const noexcept override { return m_sMessage.c_str(); }
    int code() const noexcept { return m_iCode; }

private:
    int m_iCode;
    std::string m_sMessage;
};

// Starts Winsock once for the module (address conversion needs it); later calls cost nothing.
// False when WSAStartup failed; then every conversion fails as well.
bool EnsureWinsock();

class ip_address
{
public:
    static constexpr unsigned short kInvalidFamily = 16;

    ip_address();
    // Copies an IPv4 or IPv6 socket address; any other family gives an invalid address.
    explicit ip_address(const sockaddr& sa);
    // Parses IPv4, then IPv6 text; neither (or a text that carries a port) gives an invalid address.
    explicit ip_address(const string& sText);
    // Resolves a host name; the first IPv4 or IPv6 answer. Throws NetworkError.
    struct resolve_t {
    };
    ip_address(const string& sHostName, resolve_t);
    ip_address(const ip_address&) = default;
    ip_address& operator=(const ip_address&) = default;

    virtual std::wstring to_string() const; // throws NetworkError(10047) when not valid
    virtual ~ip_address() = default;
    // "address:port"; the port is given in network byte order.
    std::wstring to_string(unsigned short usPortNetworkOrder) const;

    bool is_valid() const { return family() == AF_INET || family() == AF_INET6; }
    unsigned short family() const { return m_addr.ss_family; }
    const sockaddr& as_sockaddr() const { return reinterpret_cast<const sockaddr&>(m_addr); }
    // Equal only when both are valid, of one family and hold the same address (the port is ignored).
    bool operator==(const ip_address& other) const;
    bool operator!=(const ip_address& other) const { return !(*this == other); }

    // Passes every IPv4/IPv6 answer for sName, in resolver order; returns how many.
    // Answers that the resolver invents for names that cannot exist throw NetworkError(11001).
    static size_t getHostByName(const string& sName, const std::function<void(const ip_address&)>& functor);

private:
    sockaddr_storage m_addr;
};

// Appends each resolved address to a list.
struct InsertFunctor {
    std::vector<ip_address>& list;
    void operator()(const ip_address& a) const { list.push_back(a); }
};

// The name-resolution seam: the real getaddrinfo by default; tests install a fake resolver.
// Null pointers restore the real pair.
using ResolverFn = int (*)(const char* pName, const addrinfo* pHints, addrinfo** ppResult);
using FreeResultFn = void (*)(addrinfo* pResult);
void SetResolverForTesting(ResolverFn pResolve, FreeResultFn pFree);
// Forgets what the resolver guard learnt, so that the next lookup learns it again.
void ResetResolverGuardForTesting();
// The two names that cannot exist, asked once to learn what a resolver invents. The label
// is random per process, so that no cache along the way can hold a real answer for it.
std::vector<std::string> ResolverGuardNames();

} // namespace velmora
