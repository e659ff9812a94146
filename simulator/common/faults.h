// Fault knobs: "[faults]" entries of nwsim.ini, each "<tool> <mode> <point> <action> [argument]".
// The grammar and every preset literal are listed in simulator/README.md.
#pragma once
#include <string>
#include <vector>

namespace nwsim
{

enum class FaultAction { Say, Fail, Crash, Partial, Hang, LongLine, FormFeed, CrOnly, Exit };

struct Fault {
    std::string sTool;  // recover, mminfo, ... or "*"
    std::string sMode;  // session | restore | count | any
    std::string sPoint; // start | end | line:N | object:N | prompt:N | command:WORD | password
    FaultAction action = FaultAction::Say;
    std::string sArgument; // preset name or quoted text, seconds, length, exit code
};

// Parses one entry; false with sError naming what is wrong.
bool ParseFault(const std::string& sSpec, Fault& fault, std::string& sError);
// True when the fault applies to this tool, mode and point ("any" and "*" match everything).
bool FaultMatches(const Fault& f, const std::string& sTool, const std::string& sMode, const std::string& sPoint);

struct PresetContext {
    std::string sTool, sServer, sClient, sPath;
};
// The full output line of a preset name (or the text itself when it is quoted or unknown).
std::string PresetLine(const std::string& sNameOrText, const PresetContext& ctx);
// Every preset name, for the knob document and its test.
std::vector<std::string> PresetNames();

} // namespace nwsim
