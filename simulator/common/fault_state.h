// Conditional fault knobs ("run:N", "once", "for:TEXT"): which entries act in this run. Runs and
// firings are counted in a state file beside nwsim.ini ("nwsim.state"), so that a fault can hit
// the first try of an operation and spare the second; deleting the file starts the count anew.
#pragma once
#include "simulator/common/faults.h"

#include <map>
#include <string>
#include <vector>

namespace nwsim
{

struct FaultCount {
    unsigned uRuns = 0; // runs of a tool that the entry applied to
    bool bFired = false;
};

// One line per entry: "<runs> <fired 0|1> <key>"; malformed lines are dropped.
std::map<std::string, FaultCount> ParseFaultState(const std::string& sText);
std::string FormatFaultState(const std::map<std::string, FaultCount>& state);

// Decides bArmed of every conditional entry for a run of sTool in sMode with these command-line
// words, counting the run in state. True when state changed.
bool ArmFaults(std::vector<Fault>& faults, std::map<std::string, FaultCount>& state, const std::string& sTool,
               const std::string& sMode, const std::vector<std::string>& words);

// The same against the state file (read, armed, written back under a lock shared by the tools).
void ArmFaultsWithFile(std::vector<Fault>& faults, const std::wstring& sStatePath, const std::string& sTool,
                       const std::string& sMode, const std::vector<std::string>& words);
// Records that a "once" entry has fired.
void MarkFaultFired(const std::wstring& sStatePath, const Fault& f);
// The firing record: every firing of every entry, one line "fault <key>" each, appended to
// nwsim.fired beside the state file (the server appends "server <knob>" lines to it too).
std::wstring FiredLogPath(const std::wstring& sStatePath);
void RecordFiring(const std::wstring& sStatePath, const Fault& f);

} // namespace nwsim
