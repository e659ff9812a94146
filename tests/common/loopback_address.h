// A socket address for port 7937 of a literal address, IPv4 or IPv6 (one with a colon), for the
// fake tool and the engine tests' stand-in server alike.
#pragma once
#include "support/win.h"

#include <string>

namespace testutil
{

// Fills the address and answers its length for bind and connect.
inline int DaemonPortAddress(const char* pAddress, sockaddr_storage& a)
{
    a = {};
    if (std::string(pAddress).find(':') != std::string::npos) {
        auto* p6 = reinterpret_cast<sockaddr_in6*>(&a);
        p6->sin6_family = AF_INET6;
        p6->sin6_port = htons(7937);
        inet_pton(AF_INET6, pAddress, &p6->sin6_addr);
        return sizeof(sockaddr_in6);
    }
    auto* p4 = reinterpret_cast<sockaddr_in*>(&a);
    p4->sin_family = AF_INET;
    p4->sin_port = htons(7937);
    inet_pton(AF_INET, pAddress, &p4->sin_addr);
    return sizeof(sockaddr_in);
}

} // namespace testutil
