// What every simulated tool does first: read nwsim.ini, open the session with the server, and
// read the store; each failure is reported the way the real tools report it.
#pragma once
#include "simulator/common/config.h"
#include "simulator/common/connection.h"
#include "simulator/common/output.h"
#include "simulator/common/store.h"

#include <string>
#include <vector>

namespace nwsim
{

// The line a tool prints when the server did not take the session (empty for Ok).
std::string LinkFailureLine(LinkStatus status, const PresetContext& ctx);

class ToolRun
{
public:
    ToolRun(const std::string& sTool, const std::string& sMode, const std::string& sServer, const std::string& sClient);

    // Reports a knob entry that could not be parsed, the "start" faults, then connects.
    // A refused session is printed and ends the tool with exit code 1.
    void Connect();
    // Reads the store; an unreadable store is printed and ends the tool with exit code 2.
    void LoadStore();
    // The objects of one saveset; unreadable lists are reported and give no objects.
    std::vector<StoreObject> Objects(const Saveset& s);
    std::wstring DataFile(const Saveset& s, const StoreObject& o) const;
    // Prints a usage or argument error and ends the tool with exit code 1.
    [[noreturn]] void Usage(const std::string& sError, const std::string& sUsage);

    Config cfg;
    Output out;
    ServerLink link;
    StoreManifest store;
    std::string sTool, sServer, sClient;
};

} // namespace nwsim
