// Entries of the directory listings (CVEXImpl::GetFileList, CVEXImpl::GetDirList).
#pragma once
#include <string>

struct FileListEntry {
    std::wstring sFolder; // the folder in which the file was found, as the caller named it
    std::wstring sName;   // the file name
    bool bMarked = false; // false for every entry the listing makes; free for the caller's use
};
