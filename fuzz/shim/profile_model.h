// The in-memory files behind the profile-API model of the fuzz build.
#pragma once
#include <string>

namespace fuzzshim
{

// Makes sPath read as sText (one character per byte); an empty path forgets every file.
void SetFile(const std::wstring& sPath, const std::string& sBytes);

} // namespace fuzzshim
