// Init's network steps: the server's name in the hosts and servers files, and the client's
// address, gateway and host route on one adapter through the host's network library.
#include "client/init.h"
#include "client/query_network.h"
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "support/cnm.h"
#include "trace/trace_scope.h"

namespace
{

// Step 1 of the adapter set-up: the hardware address of an operational adapter that already
// carries the client's address; empty when none does.
bool FindAdapterWithAddress(TraceScope& scope, CRPLImpl& impl, const std::vector<CNM::NIC_INFO>& adapters,
                            const velmora::ip_address& address, std::wstring& sHwAddr)
{
    const wchar_t* fn = L"CVEXImpl::Init";
    for (const CNM::NIC_INFO& nic : adapters) {
        CNM::CNM_OPER_STATUS status = CNM::OPER_UNKNOWN;
        if (!CNM::GetAdapterOperStatus(nic, status))
            return initseq::Fail(scope, impl, MSG_ADAPTER_STATUS_FAILED, L"CNM::GetAdapterOperStatus failed");
        if (status != CNM::OPER_UP)
            continue;
        std::vector<CNM::ASSOC_IP_ADDR> addrs;
        if (!CNM::GetAdaptersIpAddrs(nic, addrs))
            return initseq::Fail(scope, impl, MSG_ADAPTER_ADDRESSES_FAILED, L"CNM::GetAdaptersIpAddrs failed");
        for (const CNM::ASSOC_IP_ADDR& bound : addrs) {
            if (sHwAddr.empty() && bound.ipAddress == address) {
                CvexTrace().Str(TL_INFO, fn, L"Client's IP address already assigned to adapter", nic.sNicDesc);
                sHwAddr = nic.sHwAddr;
            }
        }
    }
    return true;
}

// Gives the adapter the client's address and gateway (unless it carries the address already),
// then the host route to the server.
bool ConfigureAdapter(TraceScope& scope, CRPLImpl& impl, const CNM::NIC_INFO& nic, const CvexCredentials& cred,
                      bool bAddressAssigned)
{
    const wchar_t* fn = L"CVEXImpl::Init";
    CvexTrace().Str(TL_INFO, fn, L"Configuring adapter", nic.sNicDesc);
    if (!bAddressAssigned) {
        bool bDhcp = false;
        if (!CNM::IsDhcpEnabled(nic, CNM::FAMILY_IPV4, bDhcp))
            CvexTrace().Line(TL_WARNING, fn, L"CNM::IsDhcpEnabled failed");
        else if (bDhcp && !CNM::ReleaseDhcp(nic, CNM::FAMILY_IPV4))
            CvexTrace().Line(TL_WARNING, fn, L"CNM::ReleaseDhcp failed");
        CNM::ASSOC_IP_ADDR addr;
        addr.ucFlags = 0;
        addr.ipAddress = cred.m_ClientIPAddress;
        addr.ucPrefixLength = cred.m_ClientSubnetPrefix;
        if (!CNM::SetAdaptersIpAddrs(nic, {addr}))
            return initseq::Fail(scope, impl, MSG_SET_ADDRESS_FAILED, L"CNM::SetAdaptersIpAddrs failed");
        if (!CNM::SetDefaultGateway(nic, cred.m_ClientDefaultGateway))
            return initseq::Fail(scope, impl, MSG_SET_GATEWAY_FAILED, L"CNM::SetDefaultGateway failed");
    }
    DWORD dwIndex = 0;
    if (!CNM::GetAdapterIndex(nic, dwIndex))
        return initseq::Fail(scope, impl, MSG_ADAPTER_INDEX_FAILED, L"CNM::GetAdapterIndex failed");
    CNM::ROUTE_INFO route;
    route.dwIfIndex = dwIndex;
    route.destination = cred.m_ServerIPAddress;
    route.ucPrefixLength = cred.m_ServerIPAddress.family() == AF_INET ? 32 : 128;
    route.nextHop = cred.m_ClientDefaultGateway;
    route.dwLast = 1;
    if (!CNM::AddAdapterRoute(nic, route))
        return initseq::Fail(scope, impl, MSG_ADD_ROUTE_FAILED, L"CNM::AddAdapterRoute failed");
    return true;
}

} // namespace

bool CVEXImpl::InitNameResolution(TraceScope& scope)
{
    const CvexCredentials& cred = m_NetWorkerCredentials;
    const wchar_t* fn = L"CVEXImpl::Init";
    QueryNetwork query;
    if (!query.CheckHostEntry(cred.m_sServerName, cred.m_ServerIPAddress))
        return initseq::Fail(scope, *this, MSG_SERVER_NOT_RESOLVED, L"Server address can't be added to hosts");
    if (!query.UpdateServers(cred.m_sServerName))
        CvexTrace().Line(TL_WARNING, fn, L"QueryNetwork::UpdateServers failed");
    try {
        velmora::ip_address resolved(cred.m_sServerName, velmora::ip_address::resolve_t{});
        if (!resolved.is_valid())
            return initseq::Fail(scope, *this, MSG_SERVER_NOT_RESOLVED, L"Server address doesn't map to an IP address");
        CvexTrace().Str(TL_INFO, fn, L"Server resolves to", resolved.to_string());
    } catch (const std::exception& e) {
        CvexTrace().Str(TL_ERROR, fn, L"Resolving the server name", e.what());
        return initseq::Fail(scope, *this, MSG_SERVER_NOT_RESOLVED, L"Server address doesn't map to an IP address");
    }
    return true;
}

bool CVEXImpl::InitNetworkSettings(TraceScope& scope)
{
    const wchar_t* fn = L"CVEXImpl::Init";
    std::vector<CNM::NIC_INFO> adapters;
    if (!CNM::GetAdapterList(adapters))
        return initseq::Fail(scope, *this, MSG_NO_ADAPTERS, L"Couldn't get list of adapters");
    std::wstring sHwAddr;
    if (!FindAdapterWithAddress(scope, *this, adapters, m_NetWorkerCredentials.m_ClientIPAddress, sHwAddr))
        return false;
    for (const CNM::NIC_INFO& nic : adapters) {
        CNM::CNM_OPER_STATUS status = CNM::OPER_UNKNOWN;
        if (!CNM::GetAdapterOperStatus(nic, status))
            return initseq::Fail(scope, *this, MSG_ADAPTER_STATUS_FAILED, L"CNM::GetAdapterOperStatus failed");
        if (status != CNM::OPER_UP)
            continue;
        if (!sHwAddr.empty() && nic.sHwAddr != sHwAddr) {
            CvexTrace().Str(TL_VERBOSE, fn, L"Skipping non-matching adapter", nic.sNicDesc);
            continue;
        }
        return ConfigureAdapter(scope, *this, nic, m_NetWorkerCredentials, !sHwAddr.empty());
    }
    CvexTrace().Line(TL_WARNING, fn, L"No operational adapter configured");
    return true;
}
