// Restoring (or with -n only listing) selected objects from the store, as recover prints it.
#pragma once
#include "simulator/common/console_input.h"
#include "simulator/common/tool.h"

#include <string>
#include <vector>

namespace nwsim
{

struct Selected {
    const Saveset* pSaveset = nullptr;
    StoreObject object;
};

struct RestoreOptions {
    bool bCountOnly = false;   // -n: print what would be restored, write nothing
    std::string sRelocateDir;  // -d
    std::string sRelocateFrom; // the folder that -d relocation is relative to
};

// Objects of a saveset at or below sPath (the whole saveset when sPath is empty).
std::vector<Selected> SelectObjects(ToolRun& run, const Saveset& s, const std::string& sPath);

// Prints the recover report around the objects and restores them; returns the number restored.
unsigned RestoreObjects(ToolRun& run, InputReader& input, const std::vector<Selected>& items,
                        const RestoreOptions& opts);

} // namespace nwsim
