// Running the simulated client tools from the tests: through plain pipes, or with their keyboard
// input typed as console key events the way the restore module types them.
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

// A tool whose standard input is the console input buffer of this test program's own console.
class ConsoleTool
{
public:
    ConsoleTool();
    ~ConsoleTool();
    bool Start(const std::wstring& sTool, const std::string& sArgs);
    // Types the text as key-down/key-up event pairs.
    bool Type(const std::wstring& sText);
    // Reads output until it contains sText (searched from where the last wait ended).
    bool WaitFor(const std::string& sText, DWORD dwTimeoutMs = 20000);
    // Waits until the tool has switched every console input mode off, as it does for a password.
    bool WaitForSecretMode(DWORD dwTimeoutMs = 20000);
    DWORD ConsoleMode() const;
    // Waits for the end of the tool; false on time-out.
    bool WaitExit(DWORD& dwExit, DWORD dwTimeoutMs = 20000);
    const std::string& Output() const { return m_sOutput; }
    HANDLE Process() const { return m_process.get(); }

private:
    void Drain();
    velmora::unique_file m_conIn, m_readEnd;
    velmora::unique_handle_null m_process;
    std::string m_sOutput;
    size_t m_uSeen = 0;
};

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
// The store's data file of an object, found through the store path named in nwsim.ini.
std::wstring StoreFolder();

} // namespace simtest
