// Folder helpers of the file operations, over paths already in Win32 form (win32_path.h).
// They return ERROR_SUCCESS or the Win32 code and post no message: the public operations do.
#pragma once
#include "support/win.h"

#include <string>

bool IsDirectory(const std::wstring& sPath);
// Creates the folder and every missing folder above it. Stops at the volume root: a root that
// is not there (an absent drive) gives ERROR_PATH_NOT_FOUND.
DWORD MakeFolders(const std::wstring& sFolder);
// Makes sure that the folder holding sPath exists (nothing to do when sPath is itself a folder).
DWORD MakeParentFolders(const std::wstring& sPath);
