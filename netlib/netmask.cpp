#include "netlib/netmask.h"

#include <cstring>

namespace halvo_nm
{

namespace
{

unsigned LeadingOnes(const unsigned char* pBytes, size_t nBytes)
{
    unsigned n = 0;
    for (size_t i = 0; i < nBytes; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            if ((pBytes[i] & (1u << bit)) == 0)
                return n;
            ++n;
        }
    }
    return n;
}

void SetLeadingOnes(unsigned char* pBytes, size_t nBytes, unsigned nOnes)
{
    std::memset(pBytes, 0, nBytes);
    for (unsigned i = 0; i < nOnes && i < nBytes * 8; ++i)
        pBytes[i / 8] = static_cast<unsigned char>(pBytes[i / 8] | (0x80u >> (i % 8)));
}

} // namespace

unsigned char PrefixOfNetmask(const velmora::ip_address& netmask)
{
    if (netmask.family() == AF_INET) {
        const auto& sin = reinterpret_cast<const sockaddr_in&>(netmask.as_sockaddr());
        return static_cast<unsigned char>(
            LeadingOnes(reinterpret_cast<const unsigned char*>(&sin.sin_addr), sizeof(sin.sin_addr)));
    }
    if (netmask.family() == AF_INET6) {
        const auto& sin6 = reinterpret_cast<const sockaddr_in6&>(netmask.as_sockaddr());
        return static_cast<unsigned char>(
            LeadingOnes(reinterpret_cast<const unsigned char*>(&sin6.sin6_addr), sizeof(sin6.sin6_addr)));
    }
    return 0;
}

velmora::ip_address NetmaskOfPrefix(unsigned char ucPrefix)
{
    if (ucPrefix <= 32) {
        sockaddr_in sin = {};
        sin.sin_family = AF_INET;
        SetLeadingOnes(reinterpret_cast<unsigned char*>(&sin.sin_addr), sizeof(sin.sin_addr), ucPrefix);
        return velmora::ip_address(reinterpret_cast<const sockaddr&>(sin));
    }
    sockaddr_in6 sin6 = {};
    sin6.sin6_family = AF_INET6;
    SetLeadingOnes(reinterpret_cast<unsigned char*>(&sin6.sin6_addr), sizeof(sin6.sin6_addr), ucPrefix);
    return velmora::ip_address(reinterpret_cast<const sockaddr&>(sin6));
}

} // namespace halvo_nm
