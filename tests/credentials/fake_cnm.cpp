#include "tests/credentials/fake_cnm.h"
#include "tests/credentials/cred_test_util.h"

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
    addr.ipAddress = credtest::Addr(pAddress);
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

// Records the call, then hands out the adapter's scripted answer unless it is scripted to fail.
template <typename T>
bool Answer(const wchar_t* pOperation, const CNM::NIC_INFO& nic, bool fakecnm::Adapter::*pOk,
            T fakecnm::Adapter::*pAnswer, T& out)
{
    fakecnm::State().calls.push_back(std::wstring(pOperation) + L"(" + nic.sNicDesc + L")");
    const fakecnm::Adapter* pAdapter = Find(nic);
    if (!pAdapter || !(pAdapter->*pOk))
        return false;
    out = pAdapter->*pAnswer;
    return true;
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
    return Answer(L"GetAdapterOperStatus", nic, &fakecnm::Adapter::bStatusOk, &fakecnm::Adapter::status, status);
}

bool CNM::GetAdaptersIpAddrs(const NIC_INFO& nic, std::vector<ASSOC_IP_ADDR>& addrs)
{
    return Answer(L"GetAdaptersIpAddrs", nic, &fakecnm::Adapter::bAddrsOk, &fakecnm::Adapter::addrs, addrs);
}

bool CNM::GetDefaultGatewayList(const NIC_INFO& nic, FAMILY_TYPE family, std::vector<velmora::ip_address>& gws)
{
    fakecnm::State().iLastGatewayFamily = family;
    return Answer(L"GetDefaultGatewayList", nic, &fakecnm::Adapter::bGatewaysOk, &fakecnm::Adapter::gateways, gws);
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
