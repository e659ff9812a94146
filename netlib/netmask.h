// Netmask <-> prefix length, for IPv4 and IPv6 masks.
#pragma once
#include "support/ip_address.h"

namespace halvo_nm
{

// The number of leading one bits of the mask (0 for an address that is not valid).
unsigned char PrefixOfNetmask(const velmora::ip_address& netmask);
// The netmask of that length: an IPv4 mask for 0 to 32; a longer prefix cannot be an IPv4
// mask, so it gives the IPv6 mask of that length (lengths above 128 give all ones).
velmora::ip_address NetmaskOfPrefix(unsigned char ucPrefix);

} // namespace halvo_nm
