// The tools an operation of the module ran, read back from its trace, and running them again
// alone: the same command lines with the same typed input ready on their standard input and
// their output discarded. That is the cost of the tools themselves, without the module.
#pragma once
#include "support/handle.h"

#include <string>
#include <vector>

namespace bench
{

struct ToolRun {
    std::wstring sCommand;
    std::wstring sInput; // everything typed to the tool, in order (empty for a tool not answered)
};

// The trace keys that bring command lines and typed answers into the module's trace.
extern const wchar_t kTraceCommandKey[];  // "CVEXImpl::RunCommand : sCmd"
extern const wchar_t kTraceResponseKey[]; // "CVEXImpl::SendResponse : sResponse"

// The tool runs in a piece of the module's trace, in the order they were started; each answer
// belongs to the command before it. A value runs from the opening quote to the quote that ends a
// trace line (an answer holds its own line end). Answers before the first command are left out.
std::vector<ToolRun> TracedToolRuns(const std::wstring& sTrace);

// Starts the tool with its input in a pipe (written whole, then closed) and its output and
// errors going to NUL (Allocated: into a pipe read to its end), and waits for it to end.
// Seconds from start to end; a negative value when it did not start or did not end within
// dwTimeoutMs. dwExitCode gets the tool's exit code.
// How the tool is started: Hidden (CREATE_NO_WINDOW: Wine still makes it a console without a
// window), None (DETACHED_PROCESS: no console at all) or New (a console of its own, as the module
// gives every tool it runs, made by Wine as a new console), or Allocated (the module's own way:
// the caller allocates a console, hides its window and opens its input, the tool inherits it, and
// the console is freed when the tool has ended; all of that counts in the seconds). Allocated
// needs a caller without a console of its own.
enum class ToolConsole { Hidden, None, New, Allocated };
double RunToolAlone(const ToolRun& run, unsigned long dwTimeoutMs, unsigned long& dwExitCode,
                    ToolConsole console = ToolConsole::Hidden);
// Why the last RunToolAlone that failed did so, with the error code; whether it was the tool
// that did not end in time (a failure not worth measuring again).
const std::string& LastToolRunFailure();
bool LastToolRunTimedOut();

// A console made as the module makes one for a tool: allocated, its window hidden, its input
// opened; freed again when it goes. Needs a caller without a console of its own.
class AllocatedConsole
{
public:
    AllocatedConsole();
    ~AllocatedConsole();
    AllocatedConsole(const AllocatedConsole&) = delete;
    AllocatedConsole& operator=(const AllocatedConsole&) = delete;
    bool made() const { return m_bMade && m_input; }

private:
    bool m_bMade = false;
    velmora::unique_file m_input;
};

} // namespace bench
