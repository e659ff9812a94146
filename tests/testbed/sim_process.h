// Running the simulated client tools from the tests through plain pipes, with knobs set.
#pragma once
#include "support/handle.h"
#include "support/win.h"

#include <string>

namespace simtest
{

// Where the sandbox installs the tools (beside their nwsim.ini).
extern const wchar_t* const kToolFolder;

struct ToolResult {
    DWORD dwExit = 0;
    std::string sOutput;
    bool bTimedOut = false;
};

// Runs a tool with sInput on its standard input (a pipe, closed after the input) and collects its
// whole output. sArgs follows the tool's name on the command line; a tool given without a drive is
// taken from the sandbox's tool folder.
ToolResult RunTool(const std::wstring& sTool, const std::string& sArgs, const std::string& sInput = {},
                   DWORD dwTimeoutMs = 60000);

// Appends knob text to the tools' nwsim.ini for the life of the object, then restores the file.
class Knobs
{
public:
    explicit Knobs(const std::string& sExtra);
    ~Knobs();

private:
    std::string m_sOriginal;
};

std::string ReadFileBytes(const std::wstring& sPath);
} // namespace simtest
