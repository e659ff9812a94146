// Filespace records as the listing gives them, for the reference host's tests.
#pragma once
#include "hostapi/host_types.h"

#include <string>

inline FileSpace Volume(const std::wstring& sName, wchar_t wcLetter, unsigned long ulFlags = 0)
{
    FileSpace fs;
    fs.sFsName = sName;
    fs.wcFsDriveLetter = wcLetter;
    fs.ulFsFlags = ulFlags;
    if (ulFlags & FS_MOUNTED_FOLDER)
        fs.sFsPath = sName;
    return fs;
}
