// A scripted stand-in for the host's network library, compiled into the credentials tests
// so that adapter cases do not depend on the real library or the machine's adapters.
#pragma once
#include "support/cnm.h"

#include <string>
#include <vector>

namespace fakecnm
{

struct Adapter {
    CNM::NIC_INFO nic;
    bool bStatusOk = true;
    CNM::CNM_OPER_STATUS status = CNM::OPER_UP;
    bool bAddrsOk = true;
    std::vector<CNM::ASSOC_IP_ADDR> addrs;
    bool bGatewaysOk = true;
    std::vector<velmora::ip_address> gateways;
};

struct Script {
    bool bListOk = true;
    std::vector<Adapter> adapters;
    // Every call made, as "Operation(adapter description)", in order.
    std::vector<std::wstring> calls;
    int iLastGatewayFamily = 0;
};

// The script the fake answers from; tests reset it in SetUp.
Script& State();

Adapter MakeAdapter(const std::wstring& sDesc);
CNM::ASSOC_IP_ADDR Bound(const wchar_t* pAddress, unsigned char ucPrefix);

} // namespace fakecnm
