// Native stand-in for velmora::ip_address in the fuzz build: an IPv4 or IPv6 address from text
// and back, through the C library's inet_pton and inet_ntop.
#pragma once
#include "support/vstring.h"
#include "support/win.h"

#include <netinet/in.h>
#include <string>

namespace velmora
{

class ip_address
{
public:
    ip_address() = default;
    explicit ip_address(const string& sText);

    std::wstring to_string() const;
    bool is_valid() const { return m_family == AF_INET || m_family == AF_INET6; }
    unsigned short family() const { return m_family; }
    bool operator==(const ip_address& other) const;
    bool operator!=(const ip_address& other) const { return !(*this == other); }

private:
    unsigned short m_family = 16;
    unsigned char m_bytes[16] = {};
};

} // namespace velmora
