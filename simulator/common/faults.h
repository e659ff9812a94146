// Fault knobs: "[faults]" entries of nwsim.ini, each "<tool> <mode> <point> <action> [argument]".
// The grammar and every preset literal are listed in simulator/README.md.
#pragma once
#include <string>
#include <vector>

namespace nwsim
{

enum class FaultAction { Say, Fail, Crash, Partial, Hang, LongLine, FormFeed, CrOnly, Exit, Password, Skip };

struct Fault {
    std::string sTool;  // recover, mminfo, ... or "*"
    std::string sMode;  // session | restore | count | any
    std::string sPoint; // start | end | line:N | object:N | prompt:N | command:WORD | password
    FaultAction action = FaultAction::Say;
    std::string sArgument; // preset name or quoted text, seconds, length, exit code
    // Conditions written before the tool: "run:N", "run:N-M", "run:N-" (the N-th run of the tool
    // that the entry applies to), "once" (fires the first time only), "for:TEXT" (TEXT is named on
    // the command line). Runs and firings are counted in a state file beside nwsim.ini.
    unsigned uRunFrom = 0, uRunTo = 0; // 0 and 0: every run; uRunTo 0 with uRunFrom set: no upper end
    bool bOnce = false;
    std::string sFor;
    std::string sKey;   // identity in the state file: entry name and text
    bool bArmed = true; // false when a condition rules the fault out for this run
};

// Parses one entry; false with sError naming what is wrong.
bool ParseFault(const std::string& sSpec, Fault& fault, std::string& sError);
// The seconds and the prompt of a "password [seconds] [\"prompt\"]" argument; false when malformed.
bool ParsePasswordArgument(const std::string& sArgument, unsigned& uSeconds, std::string& sPrompt);
// True when sText is named on the command line: a word equal to it, or an option letter with it
// attached (-N"name"), compared without regard to case.
bool NamedOnCommandLine(const std::string& sText, const std::vector<std::string>& words);
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
