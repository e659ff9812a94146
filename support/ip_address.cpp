// velmora::ip_address: parsing, formatting and comparison of one IPv4 or IPv6 address.
#include "support/ip_address.h"

#include <cstring>

namespace velmora
{

namespace
{

const int kWsaAfNotSupported = 10047;

// WSAStartup is reference-counted: the module takes one reference for its whole life. It is not
// given back at unload, because WSACleanup must not run under the loader lock of DllMain.
struct WinsockStart {
    bool bStarted = false;
    WinsockStart()
    {
        WSADATA data;
        bStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
};

int SockaddrLength(unsigned short usFamily)
{
    return usFamily == AF_INET6 ? static_cast<int>(sizeof(sockaddr_in6)) : static_cast<int>(sizeof(sockaddr_in));
}

unsigned short PortOf(const sockaddr_storage& addr)
{
    if (addr.ss_family == AF_INET6)
        return reinterpret_cast<const sockaddr_in6&>(addr).sin6_port;
    return reinterpret_cast<const sockaddr_in&>(addr).sin_port;
}

// One family's attempt at the text; a text with a port ("10.0.0.1:80", "[fe80::1]:80") is not
// an address of its own and is refused, so that a port never slips into a hosts file.
bool ParseAs(const string& sText, unsigned short usFamily, sockaddr_storage& addr)
{
    std::wstring sCopy = sText; // the call takes a non-const buffer
    std::memset(&addr, 0, sizeof(addr));
    INT iLength = static_cast<INT>(sizeof(sockaddr_in6));
    if (WSAStringToAddressW(sCopy.data(), usFamily, nullptr, reinterpret_cast<sockaddr*>(&addr), &iLength) != 0)
        return false;
    return addr.ss_family == usFamily && PortOf(addr) == 0;
}

// Only the plain form "a.b.c.d" is taken as IPv4. The converter also accepts short ("10.1"),
// hexadecimal and octal forms, so that "010.0.0.1" would silently mean 8.0.0.1: a zero-padded
// address in an answer file must not send a recovery to another machine.
bool IsPlainDottedQuad(const std::wstring& sText)
{
    int iFields = 0;
    size_t i = 0;
    while (i <= sText.size()) {
        size_t j = sText.find(L'.', i);
        if (j == std::wstring::npos)
            j = sText.size();
        size_t nDigits = j - i;
        if (nDigits == 0 || nDigits > 3 || (nDigits > 1 && sText[i] == L'0'))
            return false;
        for (size_t k = i; k < j; ++k)
            if (sText[k] < L'0' || sText[k] > L'9')
                return false;
        ++iFields;
        i = j + 1;
    }
    return iFields == 4;
}

bool ParseText(const string& sText, sockaddr_storage& addr)
{
    if (sText.find(L'\0') != std::wstring::npos) // the converter would stop there and ignore the rest
        return false;
    if (sText.find(L':') == std::wstring::npos)
        return IsPlainDottedQuad(sText) && ParseAs(sText, AF_INET, addr);
    return ParseAs(sText, AF_INET6, addr);
}

} // namespace

NetworkError::NetworkError(int iCode) : m_iCode(iCode), m_sMessage("Network Error: code = " + std::to_string(iCode)) {}

bool EnsureWinsock()
{
    static const WinsockStart start;
    return start.bStarted;
}

ip_address::ip_address()
{
    std::memset(&m_addr, 0, sizeof(m_addr));
    m_addr.ss_family = AF_INET;
}

ip_address::ip_address(const sockaddr& sa) : ip_address()
{
    if (sa.sa_family == AF_INET || sa.sa_family == AF_INET6)
        std::memcpy(&m_addr, &sa, static_cast<size_t>(SockaddrLength(sa.sa_family)));
    else
        m_addr.ss_family = kInvalidFamily;
}

ip_address::ip_address(const string& sText) : ip_address()
{
    EnsureWinsock();
    if (!ParseText(sText, m_addr)) {
        std::memset(&m_addr, 0, sizeof(m_addr));
        m_addr.ss_family = kInvalidFamily;
    }
}

ip_address::ip_address(const string& sHostName, resolve_t) : ip_address()
{
    bool bFound = false;
    getHostByName(sHostName, [&](const ip_address& a) {
        if (!bFound)
            *this = a;
        bFound = true;
    });
    if (!bFound)
        throw NetworkError(WSAHOST_NOT_FOUND);
}

std::wstring ip_address::to_string() const
{
    if (!is_valid())
        throw NetworkError(kWsaAfNotSupported);
    EnsureWinsock();
    // The text is the address alone: a port or flow label picked up from a resolver stays out.
    sockaddr_storage bare = m_addr;
    if (family() == AF_INET6) {
        reinterpret_cast<sockaddr_in6&>(bare).sin6_port = 0;
        reinterpret_cast<sockaddr_in6&>(bare).sin6_flowinfo = 0;
    } else {
        reinterpret_cast<sockaddr_in&>(bare).sin_port = 0;
    }
    wchar_t wsz[64] = {};
    DWORD dwChars = 64;
    if (WSAAddressToStringW(reinterpret_cast<sockaddr*>(&bare), static_cast<DWORD>(SockaddrLength(family())), nullptr,
                            wsz, &dwChars) != 0) {
        int iError = WSAGetLastError();
        throw NetworkError(iError);
    }
    return wsz;
}

std::wstring ip_address::to_string(unsigned short usPortNetworkOrder) const
{
    return to_string() + L":" + std::to_wstring(ntohs(usPortNetworkOrder));
}

bool ip_address::operator==(const ip_address& other) const
{
    if (!is_valid() || family() != other.family())
        return false;
    if (family() == AF_INET) {
        const auto& a = reinterpret_cast<const sockaddr_in&>(m_addr);
        const auto& b = reinterpret_cast<const sockaddr_in&>(other.m_addr);
        return a.sin_addr.s_addr == b.sin_addr.s_addr;
    }
    const auto& a = reinterpret_cast<const sockaddr_in6&>(m_addr);
    const auto& b = reinterpret_cast<const sockaddr_in6&>(other.m_addr);
    return std::memcmp(&a.sin6_addr, &b.sin6_addr, sizeof(a.sin6_addr)) == 0 && a.sin6_scope_id == b.sin6_scope_id;
}

} // namespace velmora
