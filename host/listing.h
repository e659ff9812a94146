// What the backup holds, as the reference host shows it: the filespaces with their flags and
// marks, the system-state components with their backup times, and the answer of the
// system-state check. The decisions (flag names, the table, the JSON) are plain functions.
#pragma once
#include "plugin/crpl.h"

#include <string>
#include <vector>

namespace refhost
{

struct SystemStateComponent {
    unsigned uiType = 0;
    std::wstring sBackupTime; // "YYYY-MM-DD HH:MM:SS"
};

struct Listing {
    bool bListed = false;
    std::wstring sListError; // the plug-in's last error when the listing failed
    FileSpaceList filespaces;
    std::vector<SystemStateComponent> components;
    bool bSystemStateChecked = false;
    bool bSystemStateComplete = false;
    std::wstring sCheckError; // the plug-in's last error when the check said no
};

// The module property that reports the system-state components of the last listing.
constexpr unsigned kSystemStateProperty = 4;

// Runs GetFilespaceList and, when it succeeded, CheckSystemState.
Listing RunListing(CRPL& plugin);

// "needed to start, boot volume, ..." for the bits of FileSpace::ulFsFlags.
std::wstring FlagNames(unsigned long ulFlags);
// The saveset name of a system-state type code, or "type N" for an unknown code.
std::wstring ComponentName(unsigned uiType);
// Lines "<type>\t<YYYY-MM-DD HH:MM:SS>" of the system-state property; malformed lines are skipped.
std::vector<SystemStateComponent> ParseComponents(const std::wstring& sProperty);

// The listing as a table of lines for the screen.
std::vector<std::wstring> FormatListing(const Listing& listing);
// The same as a JSON document (UTF-8).
std::string ListingJson(const Listing& listing);

} // namespace refhost
