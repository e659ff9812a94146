// Reading and writing keys of the answer file's credentials section, through the profile API.
#pragma once
#include "support/win.h"

#include <string>

namespace ansfile
{

// The value of a key of the section, cut to nMaxChars characters; a missing key, a missing
// file or a file that is no initialization file at all reads as empty.
std::wstring ReadString(const std::wstring& sPath, const wchar_t* pKey, size_t nMaxChars);
// The key as a number the way GetPrivateProfileIntW reads it; 0 when absent or not a number.
UINT ReadInt(const std::wstring& sPath, const wchar_t* pKey);
// Writes one key; false with the system's error when the file could not be written.
bool WriteString(const std::wstring& sPath, const wchar_t* pKey, const std::wstring& sValue, DWORD& dwError);
// Removes the section with all its keys; other sections stay.
bool EmptySection(const std::wstring& sPath, DWORD& dwError);

} // namespace ansfile
