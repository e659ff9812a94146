// Wine's iphlpapi.h, with the IPv6 TCP table that Wine's DLL exports but its header does not declare.
#pragma once
#include_next <iphlpapi.h>

#ifdef __cplusplus
extern "C" {
#endif
ULONG WINAPI GetTcp6Table(PMIB_TCP6TABLE TcpTable, PULONG SizePointer, BOOL Order);
#ifdef __cplusplus
}
#endif
