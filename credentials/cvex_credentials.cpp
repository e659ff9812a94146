#include "credentials/cvex_credentials.h"

#include "support/cnm.h"
#include "trace/trace.h"

#include <cstring>
#include <vector>

namespace
{

// The first IPv4 address bound to the adapter, if any.
const CNM::ASSOC_IP_ADDR* FirstIPv4(const std::vector<CNM::ASSOC_IP_ADDR>& addrs)
{
    for (const CNM::ASSOC_IP_ADDR& addr : addrs)
        if (addr.ipAddress.family() == AF_INET)
            return &addr;
    return nullptr;
}

} // namespace

bool HasInvalidNameCharacter(const std::wstring& sName)
{
    for (wchar_t wc : sName)
        if (wc == L'"' || wc < L' ')
            return true;
    return false;
}

std::wstring AddressText(const velmora::ip_address& address)
{
    return address.is_valid() ? address.to_string() : std::wstring(L"<invalid>");
}

CvexCredentials::CvexCredentials()
{
    SetDefaults();
    TakeAdapterDefaults();
}

CvexCredentials::CvexCredentials(const CvexCredentials& other) : CrplCredentials()
{
    *this = other;
}

CvexCredentials::~CvexCredentials() = default;

void CvexCredentials::TakeAdapterDefaults()
{
    const wchar_t* pFn = L"CvexCredentials::CvexCredentials";
    CvexTrace().Start(pFn);
    std::vector<CNM::NIC_INFO> adapters;
    if (!CNM::GetAdapterList(adapters)) {
        CvexTrace().EndFail(pFn, L"CNM::GetAdapterList failed", TL_WARNING);
        return;
    }
    if (adapters.empty()) {
        CvexTrace().EndFail(pFn, L"No Adapters found", TL_WARNING);
        return;
    }
    for (const CNM::NIC_INFO& nic : adapters) {
        CNM::CNM_OPER_STATUS status = CNM::OPER_UNKNOWN;
        if (!CNM::GetAdapterOperStatus(nic, status)) {
            CvexTrace().Str(TL_WARNING, pFn, L"Couldn't get status of adapter", nic.sNicDesc);
            continue;
        }
        if (status != CNM::OPER_UP) {
            CvexTrace().Str(TL_INFO, pFn, L"Skipping non-operational adapter", nic.sNicDesc);
            continue;
        }
        std::vector<CNM::ASSOC_IP_ADDR> addrs;
        if (!CNM::GetAdaptersIpAddrs(nic, addrs)) {
            CvexTrace().Str(TL_WARNING, pFn, L"Couldn't get list of IP addresses associated with adapter",
                            nic.sNicDesc);
            continue;
        }
        if (addrs.empty())
            continue;
        // The first usable adapter decides, even when it has no IPv4 address.
        CvexTrace().Str(TL_INFO, pFn, L"sNicDesc", nic.sNicDesc);
        if (const CNM::ASSOC_IP_ADDR* pAddr = FirstIPv4(addrs)) {
            m_ClientIPAddress = pAddr->ipAddress;
            m_ClientSubnetPrefix = pAddr->ucPrefixLength;
        }
        std::vector<velmora::ip_address> gateways;
        if (CNM::GetDefaultGatewayList(nic, CNM::FAMILY_IPV4, gateways)) {
            for (const velmora::ip_address& gateway : gateways) {
                if (gateway.family() == AF_INET) {
                    m_ClientDefaultGateway = gateway;
                    break;
                }
            }
        }
        break;
    }
    CvexTrace().Str(TL_INFO, pFn, L"m_ClientIPAddress", AddressText(m_ClientIPAddress));
    CvexTrace().Int(TL_INFO, pFn, L"m_ClientSubnetPrefix", m_ClientSubnetPrefix);
    CvexTrace().Str(TL_INFO, pFn, L"m_ClientDefaultGateway", AddressText(m_ClientDefaultGateway));
    CvexTrace().End(pFn);
}

void CvexCredentials::SetDefaults()
{
    CrplCredentials::SetDefaults();
    m_sServerName.clear();
    m_sClientName.clear();
    m_ServerIPAddress = velmora::ip_address();
    m_ClientIPAddress = velmora::ip_address();
    m_ClientDefaultGateway = velmora::ip_address();
    m_ClientSubnetPrefix = 8;
}

bool CvexCredentials::Check()
{
    const wchar_t* pFn = L"CvexCredentials::Check";
    CvexTrace().Start(pFn);
    const wchar_t* pReason = nullptr;
    if (m_sServerName.empty())
        pReason = L"Empty server name";
    else if (m_sClientName.empty())
        pReason = L"Empty client name";
    else if (HasInvalidNameCharacter(m_sServerName))
        pReason = L"Invalid character in server name";
    else if (HasInvalidNameCharacter(m_sClientName))
        pReason = L"Invalid character in client name";
    else if (!m_ServerIPAddress.is_valid())
        pReason = L"Invalid server IP address";
    else if (!m_ClientIPAddress.is_valid())
        pReason = L"Invalid client IP address";
    else if (m_ClientSubnetPrefix == 0)
        pReason = L"Invalid client subnet prefix";
    else if (m_ServerIPAddress == m_ClientIPAddress)
        pReason = L"server and client IP address are the same";
    if (pReason) {
        CvexTrace().EndFail(pFn, pReason);
        return false;
    }
    CvexTrace().End(pFn);
    return true;
}

CvexCredentials& CvexCredentials::operator=(const CvexCredentials& other)
{
    if (this == &other)
        return *this;
    m_sServerName = other.m_sServerName;
    m_ServerIPAddress = other.m_ServerIPAddress;
    m_sClientName = other.m_sClientName;
    m_ClientIPAddress = other.m_ClientIPAddress;
    m_ClientDefaultGateway = other.m_ClientDefaultGateway;
    m_ClientSubnetPrefix = other.m_ClientSubnetPrefix;
    m_Pit = other.m_Pit;
    return *this;
}

bool CvexCredentials::operator==(const CvexCredentials& other) const
{
    return m_sServerName == other.m_sServerName && m_sClientName == other.m_sClientName &&
           m_ServerIPAddress == other.m_ServerIPAddress && m_ClientIPAddress == other.m_ClientIPAddress &&
           m_ClientDefaultGateway == other.m_ClientDefaultGateway &&
           m_ClientSubnetPrefix == other.m_ClientSubnetPrefix && std::memcmp(&m_Pit, &other.m_Pit, sizeof(m_Pit)) == 0;
}

bool CvexCredentials::operator!=(const CvexCredentials& other) const
{
    return !(*this == other);
}
