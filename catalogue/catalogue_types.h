// What the catalogue tells about a backup: its system-state components and the savesets of the
// media database report.
#pragma once
#include "support/win.h"

#include <ctime>
#include <string>
#include <vector>

// Type codes of the system-state components; each stands for the saveset name it is found by.
enum SystemStateType : unsigned {
    SST_SHAREPOINT = 1,              // "SHAREPOINT "
    SST_ASR = 2,                     // "ASR"
    SST_SYSTEM_DB = 3,               // "SYSTEM DB"
    SST_SYSTEM_FILES = 4,            // "SYSTEM FILES"
    SST_SYSTEM_STATE = 5,            // "SYSTEM STATE"
    SST_VSS_ASR_DISK = 6,            // "VSS ASR DISK:\"
    SST_VSS_OTHER = 7,               // "VSS OTHER:\"
    SST_VSS_SYSTEM_BOOT = 8,         // "VSS SYSTEM BOOT:\"
    SST_VSS_SYSTEM_FILESET = 9,      // "VSS SYSTEM FILESET:\"
    SST_VSS_SYSTEM_SERVICES = 10,    // "VSS SYSTEM SERVICES:\"
    SST_VSS_USER_DATA = 11,          // "VSS USER DATA:\"
    SST_DISASTER_RECOVERY = 12,      // "DISASTER_RECOVERY:\"
    SST_NMM_APPLICATIONS = 13,       // "APPLICATIONS:\"
    SST_NMM_SYSTEM_COMPONENTS = 14,  // "SYSTEM COMPONENTS:\ "
    SST_NMM_VSS = 15,                // "VSS:/"
    SST_WINDOWS_ROLES_FEATURES = 16, // "WINDOWS ROLES AND FEATURES:\"
};

// One system-state component of the backup.
struct SystemStateEntry {
    unsigned eType = 0;
    SYSTEMTIME stBackupTime = {}; // wDayOfWeek and wMilliseconds stay 0
    unsigned uiFilesToRestore = 0;
    unsigned uiFilesRestored = 0;
};

// One saveset of the media database report whose name holds a wanted text.
struct SsidInfo {
    std::wstring sTarget; // only for "OSSR_" savesets: the drive path, e.g. "D:\"
    std::wstring sSsid;
    std::wstring sName;
    struct tm tmSaveTime = {};
};

// A struct tm as a SYSTEMTIME: year + 1900, month + 1, the rest as they are.
SYSTEMTIME SystemTimeFromTm(const struct tm& tm);
// Orders backup times the way FILETIME values compare.
bool EarlierThan(const SYSTEMTIME& a, const SYSTEMTIME& b);

// The components as the module property for hosts that show them: one line per entry,
// "<type code>\t<YYYY-MM-DD HH:MM:SS>", in the order of the list.
std::wstring DescribeSystemState(const std::vector<SystemStateEntry>& entries);
