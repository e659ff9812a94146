// Files for the file-operation tests, written and read through "\\?\" paths of any length.
#pragma once
#include "support/win.h"

#include <string>

namespace filehelp
{

std::wstring Long(const std::wstring& sPath);
void MakeFolders(const std::wstring& sPath);
bool WriteFileText(const std::wstring& sPath, const std::string& sText);
// The content; "<missing>" when the file cannot be read.
std::string ReadFileText(const std::wstring& sPath);
DWORD Attributes(const std::wstring& sPath);
bool Exists(const std::wstring& sPath);
// Moves the last write time of a file by the given number of hours.
bool ShiftWriteTime(const std::wstring& sPath, int iHours);
// Same volume serial and file index.
bool SameFile(const std::wstring& sA, const std::wstring& sB);

} // namespace filehelp
