// Where the module's time goes while it runs its tools, read from the timestamps of its trace:
// for every tool, the milliseconds between the trace lines that mark the steps of a command.
#pragma once
#include <string>
#include <vector>

namespace bench
{

// One trace line: milliseconds since midnight of its timestamp, and the text after the header.
struct TraceEvent {
    double dMs = 0;
    std::wstring sBody;
};

// The lines of a piece of the module's trace that carry a timestamp, in order.
std::vector<TraceEvent> TraceEvents(const std::wstring& sTrace);

// The steps of every command, split at marks: a command starts at a line that begins with
// marks[0]; each further mark is the first line after the previous one that begins with it. For
// each command, the milliseconds from each mark to the next; the last step ends at the next
// command's start (or at the last line of the piece). A command whose marks are not all found
// before the next one starts is left out.
std::vector<std::vector<double>> CommandSteps(const std::vector<TraceEvent>& events,
                                              const std::vector<std::wstring>& marks);

} // namespace bench
