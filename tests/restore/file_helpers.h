// Files for the file-operation tests, written and read through "\\?\" paths of any length.
#pragma once
#include "restore/link_entry.h"
#include "support/win.h"

#include <string>
#include <vector>

namespace filehelp
{

std::wstring Long(const std::wstring& sPath);
void MakeFolders(const std::wstring& sPath);
// A folder below sRoot named after the running test, made with its parents.
std::wstring FolderForThisTest(const std::wstring& sRoot);
bool WriteFileText(const std::wstring& sPath, const std::string& sText);
// The content; "<missing>" when the file cannot be read.
std::string ReadFileText(const std::wstring& sPath);
DWORD Attributes(const std::wstring& sPath);
bool Exists(const std::wstring& sPath);
// Moves the last write time of a file by the given number of hours.
bool ShiftWriteTime(const std::wstring& sPath, int iHours);
// Same volume serial and file index.
bool SameFile(const std::wstring& sA, const std::wstring& sB);

// A section of hard-linked names as its caller builds it: the paths, their entries, and the
// references the section operations take.
struct LinkSection {
    std::vector<std::wstring> paths;
    std::vector<LinkEntry> entries;
    LinkEntries refs;
    explicit LinkSection(std::vector<std::wstring> names) : paths(std::move(names)), entries(paths.size())
    {
        for (size_t i = 0; i < paths.size(); ++i) {
            entries[i].pPath = paths[i].c_str();
            refs.push_back(entries[i]);
        }
    }
};

} // namespace filehelp
