#include "tests/credentials/fake_cnm.h"

namespace fakecnm
{

Script& State()
{
    static Script script;
    return script;
}

Adapter MakeAdapter(const std::wstring& sDesc)
{
    Adapter adapter;
    adapter.nic.sNicDesc = sDesc;
    adapter.nic.sName = sDesc;
    return adapter;
}

CNM::ASSOC_IP_ADDR Bound(const wchar_t* pAddress, unsigned char ucPrefix)
{
    CNM::ASSOC_IP_ADDR addr;
    addr.ipAddress = velmora::ip_address(velmora::string(pAddress));
    addr.ucPrefixLength = ucPrefix;
    return addr;
}

} // namespace fakecnm

namespace
{

const fakecnm::Adapter* Find(const CNM::NIC_INFO& nic)
{
    for (const fakecnm::Adapter& adapter : fakecnm::State().adapters)
        if (adapter.nic.sName == nic.sName)
            return &adapter;
    return nullptr;
}

void Record(const wchar_t* pOperation, const CNM::NIC_INFO& nic)
{
    fakecnm::State().calls.push_back(std::wstring(pOperation) + L"(" + nic.sNicDesc + L")");
}

} // namespace

bool CNM::GetAdapterList(std::vector<NIC_INFO>& adapters)
{
    if (!fakecnm::State().bListOk)
        return false;
    for (const fakecnm::Adapter& adapter : fakecnm::State().adapters)
        adapters.push_back(adapter.nic);
    return true;
}

bool CNM::GetAdapterOperStatus(const NIC_INFO& nic, CNM_OPER_STATUS& status)
{
    Record(L"GetAdapterOperStatus", nic);
    const fakecnm::Adapter* pAdapter = Find(nic);
    if (!pAdapter || !pAdapter->bStatusOk)
        return false;
    status = pAdapter->status;
    return true;
}

bool CNM::GetAdaptersIpAddrs(const NIC_INFO& nic, std::vector<ASSOC_IP_ADDR>& addrs)
{
    Record(L"GetAdaptersIpAddrs", nic);
    const fakecnm::Adapter* pAdapter = Find(nic);
    if (!pAdapter || !pAdapter->bAddrsOk)
        return false;
    addrs = pAdapter->addrs;
    return true;
}

bool CNM::GetDefaultGatewayList(const NIC_INFO& nic, FAMILY_TYPE family, std::vector<velmora::ip_address>& gws)
{
    Record(L"GetDefaultGatewayList", nic);
    fakecnm::State().iLastGatewayFamily = family;
    const fakecnm::Adapter* pAdapter = Find(nic);
    if (!pAdapter || !pAdapter->bGatewaysOk)
        return false;
    gws = pAdapter->gateways;
    return true;
}

unsigned char CNM::ConvertNetmaskToPrefix(const velmora::ip_address& netmask)
{
    if (netmask.family() != AF_INET)
        return 0;
    DWORD dwMask = ntohl(reinterpret_cast<const sockaddr_in&>(netmask.as_sockaddr()).sin_addr.s_addr);
    unsigned char ucPrefix = 0;
    while (ucPrefix < 32 && (dwMask & (0x80000000u >> ucPrefix)))
        ++ucPrefix;
    return ucPrefix;
}
