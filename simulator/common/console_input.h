// Reads what the user (or the restore module, typing key events) enters: from the console input
// buffer when standard input is a console, else from a pipe, so that tests can drive the tools both ways.
#pragma once
#include "support/win.h"

#include <string>

namespace nwsim
{

class InputReader
{
public:
    InputReader();
    bool IsConsole() const { return m_bConsole; }
    // One line without its end. CR ends a line and a LF right after it is swallowed; a LF alone
    // also ends a line. False at the end of input or when uTimeoutMs passed (bTimedOut set).
    bool ReadLine(std::string& sLine, DWORD uTimeoutMs, bool& bTimedOut);
    // As ReadLine, with every console input mode switched off while reading (nothing is echoed),
    // the way a password is read; the previous mode is restored afterwards.
    bool ReadSecret(std::string& sLine, DWORD uTimeoutMs, bool& bTimedOut);

private:
    bool NextChar(wchar_t& wc, DWORD uTimeoutMs, bool& bTimedOut);
    HANDLE m_hIn;
    bool m_bConsole = false;
    bool m_bAfterCR = false;
};

// The one reader of the tool's standard input: commands, passwords and the password fault share
// it, so that the LF after a CR is swallowed whoever read the CR.
InputReader& ToolInput();

// Accumulates typed characters into a line: true when wc completed the line in sLine.
// Handles backspace and the CR/LF rule of ReadLine; bAfterCR carries state between calls.
bool AddTypedChar(wchar_t wc, std::wstring& sLine, bool& bAfterCR);

} // namespace nwsim
