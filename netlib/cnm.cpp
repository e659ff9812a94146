// halvo_nm.dll: the host's network library for the test machines. Every adapter setting
// lives in the state file (state_store.h); nothing here touches the real network.
#include "support/cnm.h"

#include "netlib/net_state.h"
#include "netlib/netmask.h"
#include "netlib/state_store.h"

#include <iphlpapi.h>

#include <algorithm>

using halvo_nm::AdapterState;
using halvo_nm::LoadedState;
using halvo_nm::LoadStatus;
using halvo_nm::NetState;

namespace
{

// Address parsing and formatting go through Winsock, which wants to be started first.
void EnsureWinsock()
{
    static const bool bStarted = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)bStarted;
}

// No exception leaves the library: a failure inside answers false.
template <typename F> bool Guarded(F f)
{
    try {
        EnsureWinsock();
        return f();
    } catch (...) {
        SetLastError(ERROR_INTERNAL_ERROR);
        return false;
    }
}

bool Refuse(DWORD dwError)
{
    SetLastError(dwError);
    return false;
}

// Finds the adapter in a loaded state and applies the operation's knob.
AdapterState* AdapterFor(NetState& state, const CNM::NIC_INFO& nic, const wchar_t* pOperation)
{
    AdapterState* pAdapter = state.Find(nic.sName);
    if (!pAdapter) {
        SetLastError(ERROR_NOT_FOUND);
        return nullptr;
    }
    if (state.Fails(pOperation, pAdapter)) {
        SetLastError(ERROR_GEN_FAILURE);
        return nullptr;
    }
    return pAdapter;
}

template <typename F> bool ReadAdapter(const CNM::NIC_INFO& nic, const wchar_t* pOperation, F read)
{
    LoadedState loaded = halvo_nm::LoadState(halvo_nm::StateFilePath());
    if (loaded.status != LoadStatus::kLoaded)
        return Refuse(ERROR_NOT_FOUND);
    const AdapterState* pAdapter = AdapterFor(loaded.state, nic, pOperation);
    return pAdapter && read(*pAdapter);
}

template <typename F> bool ChangeAdapter(const CNM::NIC_INFO& nic, const wchar_t* pOperation, F change)
{
    return halvo_nm::ChangeState(halvo_nm::StateFilePath(), [&](NetState& state) {
        AdapterState* pAdapter = AdapterFor(state, nic, pOperation);
        return pAdapter && change(*pAdapter);
    });
}

bool IsFamily(CNM::FAMILY_TYPE family)
{
    return family == CNM::FAMILY_IPV4 || family == CNM::FAMILY_IPV6;
}

bool IsUnspecified(const velmora::ip_address& address)
{
    return address ==
           velmora::ip_address(address.family() == AF_INET ? velmora::string(L"0.0.0.0") : velmora::string(L"::"));
}

template <typename T, typename Pred> void RemoveIf(std::vector<T>& v, Pred pred)
{
    v.erase(std::remove_if(v.begin(), v.end(), pred), v.end());
}

bool SameRoute(const halvo_nm::RouteEntry& a, const halvo_nm::RouteEntry& b)
{
    return a.destination == b.destination && a.ucPrefix == b.ucPrefix && a.nextHop == b.nextHop;
}

} // namespace

bool CNM::GetAdapterList(std::vector<NIC_INFO>& adapters)
{
    return Guarded([&] {
        LoadedState loaded = halvo_nm::LoadState(halvo_nm::StateFilePath());
        if (loaded.status == LoadStatus::kCorrupt) {
            OutputDebugStringW((L"halvo_nm: state file unusable: " + loaded.sError + L"\n").c_str());
            return Refuse(ERROR_INVALID_DATA);
        }
        if (loaded.state.Fails(L"GetAdapterList"))
            return Refuse(ERROR_GEN_FAILURE);
        std::vector<NIC_INFO> list;
        for (const AdapterState& a : loaded.state.adapters)
            list.push_back(NIC_INFO{a.sDescription, a.sHwAddr, a.sName});
        adapters = std::move(list);
        return true;
    });
}

bool CNM::GetAdapterOperStatus(const NIC_INFO& nic, CNM_OPER_STATUS& status)
{
    return Guarded([&] {
        return ReadAdapter(nic, L"GetAdapterOperStatus", [&](const AdapterState& a) {
            status = static_cast<CNM_OPER_STATUS>(a.iStatus);
            return true;
        });
    });
}

bool CNM::GetAdaptersIpAddrs(const NIC_INFO& nic, std::vector<ASSOC_IP_ADDR>& addrs)
{
    return Guarded([&] {
        return ReadAdapter(nic, L"GetAdaptersIpAddrs", [&](const AdapterState& a) {
            std::vector<ASSOC_IP_ADDR> list;
            for (const halvo_nm::AddressEntry& e : a.addresses)
                list.push_back(ASSOC_IP_ADDR{e.ucFlags, e.address, e.ucPrefix});
            addrs = std::move(list);
            return true;
        });
    });
}

bool CNM::SetAdaptersIpAddrs(const NIC_INFO& nic, const std::vector<ASSOC_IP_ADDR>& addrs)
{
    return Guarded([&] {
        std::vector<halvo_nm::AddressEntry> entries;
        for (const ASSOC_IP_ADDR& a : addrs) {
            if (!a.ipAddress.is_valid() || a.ucPrefixLength > halvo_nm::MaxPrefix(a.ipAddress))
                return Refuse(ERROR_INVALID_PARAMETER);
            entries.push_back(halvo_nm::AddressEntry{a.ipAddress, a.ucPrefixLength, a.ucFlags});
        }
        return ChangeAdapter(nic, L"SetAdaptersIpAddrs", [&](AdapterState& adapter) {
            // A static address of a family ends DHCP for that family.
            for (const halvo_nm::AddressEntry& e : entries) {
                if (e.address.family() == AF_INET)
                    adapter.bDhcp4 = false;
                else
                    adapter.bDhcp6 = false;
            }
            adapter.addresses = entries;
            return true;
        });
    });
}

bool CNM::GetDefaultGatewayList(const NIC_INFO& nic, FAMILY_TYPE family, std::vector<velmora::ip_address>& gws)
{
    return Guarded([&] {
        if (!IsFamily(family))
            return Refuse(ERROR_INVALID_PARAMETER);
        return ReadAdapter(nic, L"GetDefaultGatewayList", [&](const AdapterState& a) {
            std::vector<velmora::ip_address> list;
            for (const velmora::ip_address& gw : a.gateways)
                if (gw.family() == family)
                    list.push_back(gw);
            gws = std::move(list);
            return true;
        });
    });
}

// Replaces the gateways of the address's family; the unspecified address (0.0.0.0, ::)
// means "no default gateway" and removes them.
bool CNM::SetDefaultGateway(const NIC_INFO& nic, const velmora::ip_address& gateway)
{
    return Guarded([&] {
        if (!gateway.is_valid())
            return Refuse(ERROR_INVALID_PARAMETER);
        return ChangeAdapter(nic, L"SetDefaultGateway", [&](AdapterState& a) {
            RemoveIf(a.gateways, [&](const velmora::ip_address& gw) { return gw.family() == gateway.family(); });
            if (!IsUnspecified(gateway))
                a.gateways.push_back(gateway);
            return true;
        });
    });
}

bool CNM::IsDhcpEnabled(const NIC_INFO& nic, FAMILY_TYPE family, bool& bEnabled)
{
    return Guarded([&] {
        if (!IsFamily(family))
            return Refuse(ERROR_INVALID_PARAMETER);
        return ReadAdapter(nic, L"IsDhcpEnabled", [&](const AdapterState& a) {
            bEnabled = family == FAMILY_IPV4 ? a.bDhcp4 : a.bDhcp6;
            return true;
        });
    });
}

// Gives up the lease: the addresses and gateways of that family go; DHCP stays on until a
// static address is set. An adapter without DHCP has no lease to release.
bool CNM::ReleaseDhcp(const NIC_INFO& nic, FAMILY_TYPE family)
{
    return Guarded([&] {
        if (!IsFamily(family))
            return Refuse(ERROR_INVALID_PARAMETER);
        return ChangeAdapter(nic, L"ReleaseDhcp", [&](AdapterState& a) {
            if (!(family == FAMILY_IPV4 ? a.bDhcp4 : a.bDhcp6))
                return Refuse(ERROR_NOT_SUPPORTED);
            RemoveIf(a.addresses, [&](const halvo_nm::AddressEntry& e) { return e.address.family() == family; });
            RemoveIf(a.gateways, [&](const velmora::ip_address& gw) { return gw.family() == family; });
            return true;
        });
    });
}

bool CNM::GetAdapterIndex(const NIC_INFO& nic, DWORD& dwIndex)
{
    return Guarded([&] {
        return ReadAdapter(nic, L"GetAdapterIndex", [&](const AdapterState& a) {
            dwIndex = a.dwIndex;
            return true;
        });
    });
}

// The route must name this adapter's index, and destination and next hop must be of one
// family. A route that is already there counts as added, so that a second Init succeeds.
bool CNM::AddAdapterRoute(const NIC_INFO& nic, const ROUTE_INFO& route)
{
    return Guarded([&] {
        const velmora::ip_address& dest = route.destination;
        if (!dest.is_valid() || !route.nextHop.is_valid() || dest.family() != route.nextHop.family() ||
            route.ucPrefixLength > halvo_nm::MaxPrefix(dest))
            return Refuse(ERROR_INVALID_PARAMETER);
        halvo_nm::RouteEntry entry{dest, route.ucPrefixLength, route.nextHop, route.dwLast};
        return ChangeAdapter(nic, L"AddAdapterRoute", [&](AdapterState& a) {
            if (route.dwIfIndex != a.dwIndex)
                return Refuse(ERROR_INVALID_PARAMETER);
            for (const halvo_nm::RouteEntry& r : a.routes)
                if (SameRoute(r, entry))
                    return true;
            a.routes.push_back(entry);
            return true;
        });
    });
}

// The machine's real IPv6 TCP table; "Fail=GetTcp6Table" in the state file makes it answer
// ERROR_NOT_SUPPORTED.
DWORD CNM::GetTcp6Table(void* pTable, DWORD& dwSize, bool bSorted)
{
    try {
        LoadedState loaded = halvo_nm::LoadState(halvo_nm::StateFilePath());
        if (loaded.status == LoadStatus::kLoaded && loaded.state.Fails(L"GetTcp6Table"))
            return ERROR_NOT_SUPPORTED;
        ULONG ulSize = dwSize;
        ULONG ulResult = ::GetTcp6Table(static_cast<PMIB_TCP6TABLE>(pTable), &ulSize, bSorted ? TRUE : FALSE);
        dwSize = ulSize;
        return ulResult;
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

unsigned char CNM::ConvertNetmaskToPrefix(const velmora::ip_address& netmask)
{
    return halvo_nm::PrefixOfNetmask(netmask);
}

velmora::ip_address CNM::ConvertPrefixToNetmask(unsigned char ucPrefix)
{
    return halvo_nm::NetmaskOfPrefix(ucPrefix);
}
