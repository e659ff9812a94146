// File-system side of the simulated restore: folders, copies, attributes and times.
#pragma once
#include "simulator/common/store.h"

#include <string>

namespace nwsim
{

unsigned long long FileSize(const std::wstring& sPath);
// Creates sFolder and every missing parent; true when it exists afterwards.
bool CreateFolderChain(const std::wstring& sFolder);
// A new, empty subfolder of <drive>\temp\nsr_recover for one writer's staged files.
std::string MakeStagingFolder(const std::string& sDrive);
// Writes one object at sDestination (a folder, or a copy of the data file with the object's
// attributes and time). bExisted tells whether a file was already there.
bool WriteObject(const std::wstring& sDataFile, const StoreObject& o, const std::string& sDestination, bool& bExisted,
                 std::string& sError);

} // namespace nwsim
