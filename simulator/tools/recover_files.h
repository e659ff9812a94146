// File-system side of the simulated restore: folders, copies, attributes and times.
#pragma once
#include "simulator/common/store.h"

#include <string>

namespace nwsim
{

unsigned long long FileSize(const std::wstring& sPath);
// Creates sFolder and every missing parent; true when it exists afterwards.
bool CreateFolderChain(const std::wstring& sFolder);
unsigned long long CreationTime(const std::wstring& sPath);
// A new, empty subfolder of <drive>\temp\nsr_recover for one writer's staged files. With sOlder,
// a sibling of that name is made first (when missing) and ours gets a strictly later creation time.
std::string MakeStagingFolder(const std::string& sDrive, const std::string& sOlder = {});
// Writes one object at sDestination (a folder, or a copy of the data file with the object's
// attributes and time). bExisted tells whether a file was already there.
bool WriteObject(const std::wstring& sDataFile, const StoreObject& o, const std::string& sDestination, bool& bExisted,
                 std::string& sError);

// As WriteObject, but the file is written through a handle without sharing that is kept open for
// uHoldMs after the data, as a writer that is slow to let go of a file does.
bool WriteObjectHeld(const std::wstring& sDataFile, const StoreObject& o, const std::string& sDestination,
                     unsigned uHoldMs, bool& bExisted, std::string& sError);

} // namespace nwsim
