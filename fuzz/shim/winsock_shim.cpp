// Models of Winsock's start-up and address conversions for the native fuzz build, over the C
// library's converters. What they accept is what Windows documents: IPv4 in every form of
// inet_addr (one to four parts, decimal, octal or hexadecimal) with an optional ":port"; IPv6
// with an optional "%scope", in brackets with an optional ":port".
#include "support/win.h"

#include <cstring>
#include <string>

namespace
{

// The text as narrow characters; false when it holds anything beyond ASCII.
bool Narrow(const wchar_t* pText, std::string& sOut)
{
    sOut.clear();
    for (; *pText; ++pText) {
        if (*pText < 1 || *pText > 0x7F)
            return false;
        sOut += static_cast<char>(*pText);
    }
    return true;
}

// One or more decimal digits up to nMax.
bool DecimalUpTo(const std::string& s, unsigned long long nMax, unsigned long long& nValue)
{
    if (s.empty() || s.size() > 20)
        return false;
    nValue = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        nValue = nValue * 10 + static_cast<unsigned>(c - '0');
        if (nValue > nMax)
            return false;
    }
    return true;
}

bool ParseV4(const std::string& sText, sockaddr_in& sa)
{
    const size_t colon = sText.find(':');
    const std::string sAddr = sText.substr(0, colon);
    unsigned long long nPort = 0;
    if (colon != std::string::npos && !DecimalUpTo(sText.substr(colon + 1), 65535, nPort))
        return false;
    // inet_aton also takes trailing blanks and whatever follows them; the Windows parser does not.
    if (sAddr.empty() || sAddr.find_first_not_of("0123456789abcdefABCDEFxX.") != std::string::npos)
        return false;
    in_addr addr = {};
    if (inet_aton(sAddr.c_str(), &addr) == 0)
        return false;
    std::memset(&sa, 0, sizeof(sa));
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(nPort));
    sa.sin_addr = addr;
    return true;
}

bool ParseV6(const std::string& sText, sockaddr_in6& sa)
{
    std::string sInside = sText;
    unsigned long long nPort = 0;
    if (!sText.empty() && sText[0] == '[') {
        const size_t close = sText.find(']');
        if (close == std::string::npos)
            return false;
        sInside = sText.substr(1, close - 1);
        const std::string sAfter = sText.substr(close + 1);
        if (!sAfter.empty() && (sAfter[0] != ':' || !DecimalUpTo(sAfter.substr(1), 65535, nPort)))
            return false;
    }
    const size_t percent = sInside.find('%');
    unsigned long long nScope = 0;
    if (percent != std::string::npos && !DecimalUpTo(sInside.substr(percent + 1), 0xFFFFFFFFull, nScope))
        return false;
    in6_addr addr = {};
    if (inet_pton(AF_INET6, sInside.substr(0, percent).c_str(), &addr) != 1)
        return false;
    std::memset(&sa, 0, sizeof(sa));
    sa.sin6_family = AF_INET6;
    sa.sin6_port = htons(static_cast<uint16_t>(nPort));
    sa.sin6_addr = addr;
    sa.sin6_scope_id = static_cast<uint32_t>(nScope);
    return true;
}

int Fail(int iError)
{
    SetLastError(static_cast<DWORD>(iError));
    return SOCKET_ERROR;
}

std::string FormatV4(const sockaddr_in& sa)
{
    char sz[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sa.sin_addr, sz, sizeof(sz));
    std::string s = sz;
    if (sa.sin_port != 0)
        s += ":" + std::to_string(ntohs(sa.sin_port));
    return s;
}

std::string FormatV6(const sockaddr_in6& sa)
{
    char sz[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, &sa.sin6_addr, sz, sizeof(sz));
    std::string s = sz;
    if (sa.sin6_scope_id != 0)
        s += "%" + std::to_string(sa.sin6_scope_id);
    if (sa.sin6_port != 0)
        s = "[" + s + "]:" + std::to_string(ntohs(sa.sin6_port));
    return s;
}

} // namespace

int WSAStartup(WORD wVersionRequested, WSADATA* pData)
{
    pData->wVersion = wVersionRequested;
    pData->wHighVersion = MAKEWORD(2, 2);
    return 0;
}

int WSAGetLastError()
{
    return static_cast<int>(GetLastError());
}

INT WSAStringToAddressW(LPWSTR pAddressString, INT iAddressFamily, WSAPROTOCOL_INFOW*, sockaddr* pAddress,
                        INT* pAddressLength)
{
    if (!pAddressString || !pAddress || !pAddressLength)
        return Fail(WSAEFAULT);
    std::string sText;
    if (!Narrow(pAddressString, sText))
        return Fail(WSAEINVAL);
    if (iAddressFamily == AF_INET) {
        if (*pAddressLength < static_cast<INT>(sizeof(sockaddr_in))) {
            *pAddressLength = sizeof(sockaddr_in);
            return Fail(WSAEFAULT);
        }
        sockaddr_in sa;
        if (!ParseV4(sText, sa))
            return Fail(WSAEINVAL);
        std::memcpy(pAddress, &sa, sizeof(sa));
        *pAddressLength = sizeof(sa);
        return 0;
    }
    if (iAddressFamily == AF_INET6) {
        if (*pAddressLength < static_cast<INT>(sizeof(sockaddr_in6))) {
            *pAddressLength = sizeof(sockaddr_in6);
            return Fail(WSAEFAULT);
        }
        sockaddr_in6 sa;
        if (!ParseV6(sText, sa))
            return Fail(WSAEINVAL);
        std::memcpy(pAddress, &sa, sizeof(sa));
        *pAddressLength = sizeof(sa);
        return 0;
    }
    return Fail(WSAEINVAL);
}

INT WSAAddressToStringW(sockaddr* pAddress, DWORD dwAddressLength, WSAPROTOCOL_INFOW*, LPWSTR pAddressString,
                        DWORD* pAddressStringLength)
{
    if (!pAddress || !pAddressStringLength)
        return Fail(WSAEFAULT);
    std::string sText;
    if (pAddress->sa_family == AF_INET && dwAddressLength >= sizeof(sockaddr_in))
        sText = FormatV4(*reinterpret_cast<const sockaddr_in*>(pAddress));
    else if (pAddress->sa_family == AF_INET6 && dwAddressLength >= sizeof(sockaddr_in6))
        sText = FormatV6(*reinterpret_cast<const sockaddr_in6*>(pAddress));
    else
        return Fail(WSAEINVAL);
    const DWORD dwNeeded = static_cast<DWORD>(sText.size() + 1);
    if (!pAddressString || *pAddressStringLength < dwNeeded) {
        *pAddressStringLength = dwNeeded;
        return Fail(WSAEFAULT);
    }
    for (size_t i = 0; i <= sText.size(); ++i)
        pAddressString[i] = static_cast<unsigned char>(sText.c_str()[i]);
    *pAddressStringLength = dwNeeded;
    return 0;
}
