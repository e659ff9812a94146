// The plain copy of the restores, for callers that decide about failures themselves.
#pragma once
#include "support/win.h"

#include <string>

// What CRPLImpl::CrplCopyFile does (long paths, missing folders made, a read-only destination
// replaced), without its message: ERROR_SUCCESS or the Win32 code. For callers that pass over
// some failures, such as a configuration file that may not be read.
DWORD CopyFileNoMessage(const std::wstring& sSource, const std::wstring& sDestination);
