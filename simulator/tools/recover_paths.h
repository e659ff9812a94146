// Pure path and line-format rules of the simulated recover tool (tested directly).
#pragma once
#include "simulator/common/store.h"

#include <string>

namespace nwsim
{

// Resolves "." and ".." segments; a trailing "\" is kept; ".." above the root stays at the root.
std::string NormalizePath(const std::string& sPath);
// The folder that -d relocation is relative to: the path's parent folder, or the root itself.
std::string ParentFolder(const std::string& sPath);
std::string LeafName(const std::string& sPath);
// With -d: sDir + the object's path below sParent.
std::string RelocatedPath(const std::string& sObjectPath, const std::string& sParent, const std::string& sDir);
// Where a writer saveset's object is staged: <drive>:\temp\nsr_recover\<sub>\<path below the root>.
std::string StagedPath(const std::string& sObjectPath, const std::string& sStagingFolder);
// True when a writer saveset's object bypasses the staging folder (below its "direct" folder).
bool IsDirectObject(const Saveset& s, const std::string& sObjectPath);
// "%SystemDrive%\x" with the running system's drive put in ("X:\x"); other paths unchanged.
std::string ExpandSystemDrive(const std::string& sPath, const std::string& sSystemDrive);

// One filespace line of "ll -S" at the top level: count, kind, size, date, time, name.
std::string SavesetListLine(const Saveset& s);
// One object line of "list -l" and "ll -S" below the top level.
std::string ObjectListLine(const StoreObject& o, unsigned long long ullSize);
// One line of "ls -l": permissions, links, owner, group, size, time, name.
std::string LongListLine(const StoreObject& o, unsigned long long ullSize);

} // namespace nwsim
