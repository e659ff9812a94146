// CNM: the host's network-management library (halvo_nm.dll). All operations are static.
#pragma once
#include "support/ip_address.h"
#include "support/win.h"

#include <string>
#include <vector>

#ifdef HALVO_NM_BUILD
#define HALVO_NM_API __declspec(dllexport)
#else
#define HALVO_NM_API __declspec(dllimport)
#endif

class HALVO_NM_API CNM
{
public:
    struct NIC_INFO {
        std::wstring sNicDesc; // description, for traces
        std::wstring sHwAddr;  // hardware address, e.g. "00-15-5D-01-02-03"
        std::wstring sName;    // adapter name (identity within the library)
    };

    struct ASSOC_IP_ADDR {
        unsigned char ucFlags = 0;
        velmora::ip_address ipAddress;
        unsigned char ucPrefixLength = 0;
    };

    struct ROUTE_INFO {
        DWORD dwIfIndex = 0;
        velmora::ip_address destination;
        unsigned char ucPrefixLength = 32;
        velmora::ip_address nextHop;
        DWORD dwLast = 0;
    };

    enum CNM_OPER_STATUS {
        OPER_UP = 1,
        OPER_DOWN = 2,
        OPER_TESTING = 3,
        OPER_UNKNOWN = 4,
        OPER_DORMANT = 5,
        OPER_NOT_PRESENT = 6,
        OPER_LOWER_LAYER_DOWN = 7
    };
    enum FAMILY_TYPE { FAMILY_IPV4 = 2, FAMILY_IPV6 = 23 };

    static bool GetAdapterList(std::vector<NIC_INFO>& adapters);
    static bool GetAdapterOperStatus(const NIC_INFO& nic, CNM_OPER_STATUS& status);
    static bool GetAdaptersIpAddrs(const NIC_INFO& nic, std::vector<ASSOC_IP_ADDR>& addrs);
    static bool SetAdaptersIpAddrs(const NIC_INFO& nic, const std::vector<ASSOC_IP_ADDR>& addrs);
    static bool GetDefaultGatewayList(const NIC_INFO& nic, FAMILY_TYPE family, std::vector<velmora::ip_address>& gws);
    static bool SetDefaultGateway(const NIC_INFO& nic, const velmora::ip_address& gateway);
    static bool IsDhcpEnabled(const NIC_INFO& nic, FAMILY_TYPE family, bool& bEnabled);
    static bool ReleaseDhcp(const NIC_INFO& nic, FAMILY_TYPE family);
    static bool GetAdapterIndex(const NIC_INFO& nic, DWORD& dwIndex);
    static bool AddAdapterRoute(const NIC_INFO& nic, const ROUTE_INFO& route);
    static DWORD GetTcp6Table(void* pTable, DWORD& dwSize, bool bSorted);
    static unsigned char ConvertNetmaskToPrefix(const velmora::ip_address& netmask);
    static velmora::ip_address ConvertPrefixToNetmask(unsigned char ucPrefix);
};
