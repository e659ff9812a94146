// Whether the backup's system-state components make one complete set that a full recovery can use.
#pragma once
#include "catalogue/catalogue_types.h"

#include <string>
#include <vector>

namespace systemstate
{

struct Verdict {
    bool bComplete = false;
    unsigned uiMessage = 0;          // 146, 147 or 165; 0 when complete
    std::vector<std::wstring> names; // the message's savesets: found ones first, missing last
    std::wstring sReason;            // the trace's ending reason
};

// A disaster-recovery saveset is enough by itself; otherwise the VSS set (BOOT, FILESET,
// SERVICES) is judged when any of it is present, else the legacy set (DB, FILES, STATE).
Verdict JudgeSystemState(const std::vector<SystemStateEntry>& entries);

} // namespace systemstate
