// The form of a path handed to Win32 by the file operations.
#pragma once
#include <string>

namespace pathtext
{

// The full path ("." and ".." resolved, relative paths made absolute) in the "\\?\" form, so that
// Win32 takes it beyond MAX_PATH. A path already in that form is passed as it is.
std::wstring Win32Path(const std::wstring& sPath);

} // namespace pathtext
