// Interim: construction and comparison only; parsing and resolution come with the credentials work.
#include "support/ip_address.h"

#include <cstring>

namespace velmora {

NetworkError::NetworkError(int iCode) : m_iCode(iCode), m_sMessage("Network Error: code = " + std::to_string(iCode)) {}

ip_address::ip_address()
{
    std::memset(&m_addr, 0, sizeof(m_addr));
    m_addr.ss_family = AF_INET;
}

ip_address::ip_address(const sockaddr&) : ip_address() { m_addr.ss_family = kInvalidFamily; }
ip_address::ip_address(const string&) : ip_address() { m_addr.ss_family = kInvalidFamily; }
ip_address::ip_address(const string&, resolve_t) : ip_address() { throw NetworkError(11001); }

std::wstring ip_address::to_string() const { throw NetworkError(10047); }
std::wstring ip_address::to_string(unsigned short) const { throw NetworkError(10047); }

bool ip_address::operator==(const ip_address& other) const
{
    return is_valid() && family() == other.family() && std::memcmp(&m_addr, &other.m_addr, sizeof(m_addr)) == 0;
}

size_t ip_address::getHostByName(const string&, const std::function<void(const ip_address&)>&)
{
    throw NetworkError(11001);
}

void SetResolverForTesting(ResolverFn, FreeResultFn) {}
void ResetResolverGuardForTesting() {}

} // namespace velmora
