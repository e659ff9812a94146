// The cases that need a session with a NetWorker server: run inside a sandbox machine whose
// store adds filespaces D:\Set0001 ... to the standard backup.
#pragma once
#include "tests/abi/host_channel.h"
#include "tests/abi/raw_abi.h"

#include <string>

namespace abisession
{

// Init, a listing appended to 1000 host records, the system-state check, the restore of one
// added filespace with its progress records, Fini.
void Run(void* pPlugin, rawabi::FactoryFn credentialsFactory, const std::wstring& sFolder, size_t nAdded,
         abichannel::HostChannel& channel);

} // namespace abisession
