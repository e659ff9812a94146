// Cases of the CRPL object, each slot called by its number through the object's virtual table.
#pragma once
#include "tests/abi/host_channel.h"

#include <string>

namespace abicases
{

std::wstring LastError(void* pPlugin);
// The operation failed, its reason is the last error, and the log callback got it at level 3.
void CheckFailureReported(void* pPlugin, bool bRc, const abichannel::HostChannel& channel);
// A new object: "No error" into host strings of every length, the unused slots, the capabilities.
void CheckFreshPlugin(void* pPlugin);
// Properties 1 to 3 written into (or, for 3, left in) host strings of every length.
void CheckProperties(void* pPlugin);
// Without a session every operation fails, tells why through the log callback and the last
// error, and Fini clears that again.
void CheckOperationsFailBeforeInit(void* pPlugin, void* pCredentials, abichannel::HostChannel& channel);

} // namespace abicases
