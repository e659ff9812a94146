#include "restore/folders.h"

#include "restore/path_text.h"

#include <vector>

bool IsDirectory(const std::wstring& sPath)
{
    DWORD dwAttributes = GetFileAttributesW(sPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD MakeFolders(const std::wstring& sFolder)
{
    std::vector<std::wstring> missing;
    std::wstring s = sFolder;
    while (!IsDirectory(s)) {
        std::wstring sParent;
        if (pathtext::IsRoot(s) || !pathtext::ParentFolder(s, sParent))
            return ERROR_PATH_NOT_FOUND;
        missing.push_back(s);
        s = sParent;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (CreateDirectoryW(it->c_str(), nullptr))
            continue;
        DWORD dwError = GetLastError();
        if (dwError != ERROR_ALREADY_EXISTS || !IsDirectory(*it))
            return dwError;
    }
    return ERROR_SUCCESS;
}

DWORD MakeParentFolders(const std::wstring& sPath)
{
    if (IsDirectory(sPath))
        return ERROR_SUCCESS;
    std::wstring sParent;
    if (!pathtext::ParentFolder(sPath, sParent))
        return ERROR_PATH_NOT_FOUND;
    return MakeFolders(sParent);
}
