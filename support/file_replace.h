// Replacing a file whole, so that a write that fails part-way never leaves it truncated.
#pragma once
#include "support/win.h"

#include <cstddef>
#include <string>

namespace velmora
{

// The temporary file beside the file: "<path>.cvex-new".
std::wstring replacement_path(const std::wstring& sPath);

// Writes the bytes to the temporary file beside the file, flushes it and moves it over the file
// (MoveFileExW with MOVEFILE_REPLACE_EXISTING). Returns 0, or the Windows error of the step that
// failed; the file is then as it was and the temporary file is gone.
DWORD replace_file(const std::wstring& sPath, const std::string& sBytes);

// Test seam: every later write of replace_file stops after nBytes and fails as on a full disk
// (ERROR_DISK_FULL); kNoWriteLimit lets the writes through again.
constexpr size_t kNoWriteLimit = static_cast<size_t>(-1);
void set_replace_write_limit_for_testing(size_t nBytes);

} // namespace velmora
