// Command lines of the simulated tools.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace nwsim
{

// Splits a command line at blanks outside double quotes and removes the quotes. A single backslash
// is taken literally, so that "C:\" and -N"VSS SYSTEM BOOT:\" arrive as written; an even run of
// backslashes before a quote is halved, as a C runtime's quoting (Wine's, for one) produced it.
std::vector<std::string> SplitCommandLine(const std::string& sLine);

struct ParsedArgs {
    std::map<char, std::string> options; // -s srv, -N"name", -iY: letter -> value
    std::vector<char> flags;             // -a, -n, -v
    std::vector<std::string> operands;   // paths
    std::string sError;                  // empty when the line was understood
    bool Has(char c) const;
    std::string Get(char c) const;
};

// sValued: letters whose option takes a value, attached (-iY) or as the next word (-s srv).
// Words after the program name are parsed; "-" followed by an unknown letter is an error.
ParsedArgs ParseArgs(const std::vector<std::string>& words, const std::string& sValued, const std::string& sFlags);

} // namespace nwsim
