// The operator's abort request during an unattended recovery: a file the host watches
// (--abort-file PATH). Every time the file appears counts as one request, and the host deletes
// it to take the request. The first request lets the running step finish and starts nothing
// more; the second ends the running tool: the progress callbacks of every phase (Init and the
// listing too) answer non-zero, which the plug-in takes as its abort. The file is looked at when
// the plug-in calls back, so a silent tool is ended at its next heartbeat.
#pragma once
#include <string>

namespace refhost
{

// Starts watching sPath (empty: no watching); a file left over from before is taken away.
void WatchAbortFile(const std::wstring& sPath);
// Looks for the file and returns the requests seen so far.
unsigned AbortRequests();
// What a progress callback answers: 1 once the second request came, else 0.
unsigned AbortAnswer();

// What a request count means for the host: the text shown when it arrives.
std::wstring AbortRequestText(unsigned uiRequest);

} // namespace refhost
