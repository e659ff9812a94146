// The interactive recover dialogue: a prompt, browsing commands, marking and listing.
#pragma once
#include "simulator/common/tool.h"

#include <optional>

namespace nwsim
{

// Runs the dialogue until EXIT or the end of input, then ends the tool.
[[noreturn]] void RunSession(ToolRun& run, std::optional<DateTime> pit);

// A command line typed at the prompt: the command word and the rest (blanks kept, quotes removed).
struct TypedCommand {
    std::string sWord; // lower case
    std::string sRest;
};
TypedCommand SplitTypedCommand(const std::string& sLine);

} // namespace nwsim
