// The decisions of a filespace restore that need no tool: whether a filespace record can be
// restored, where it goes, which message a failure line of recover gives, and the commands of
// the count.
#pragma once
#include "hostapi/host_types.h"
#include "restore/restore_lines.h"

#include <string>
#include <vector>

namespace restorerules
{

// The reason a filespace record cannot be restored ("Invalid argument", "Invalid mount
// directory", "Invalid drive letter"), or nullptr when it can.
const wchar_t* FilespaceProblem(const FileSpace& fs);
bool IsMountedFolder(const FileSpace& fs);
// "D:" for a drive root, the folder's path for a mounted folder.
std::wstring RestoreTarget(const FileSpace& fs);

// The error message of a line that fails the restore, or 0 for every other kind of line.
unsigned FailureMessage(RestoreLine kind);

// What is typed into the count's interactive session once its banner is seen: the point in time
// (when one is set), the filespace, the listing and the end of the session.
std::vector<std::wstring> CountCommands(const std::wstring& sPointInTime, const std::wstring& sFilespace);

// An exit code that is an exception status: the tool crashed.
bool ToolCrashed(unsigned long ulExitCode);

} // namespace restorerules
