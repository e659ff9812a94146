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

// The message of a line in which recover says it has no session with the server (busy, refused,
// unreachable, no answer in time, no procedure call), or 0 for any other line. A path never is one.
unsigned SessionLossMessage(const std::wstring& sLine);

// How a pass of recover ended, as far as the restore's verdict needs it.
struct PassEnd {
    bool bConnectionLost = false;      // the watch or recover's own line
    bool bExitKnown = false;           // the exit code could be read
    unsigned long ulExitCode = 0;      // ... and is this
    unsigned uiSessionLossMessage = 0; // recover said it had no session (its message)
    bool bUnreadableLine = false;      // a line too long to be a path began with one
};
// Objects counted but neither restored nor named by recover in a per-file failure line.
unsigned UnaccountedObjects(unsigned uiCounted, unsigned uiRestored, unsigned uiFileErrors);
// Why objects are missing, for the message that fails the restore; the first that applies: the
// lost connection, a crash, no session, a non-zero exit code, an unreadable line, an early end.
// sSessionLossText is the text of the session-loss message (when there was one).
std::wstring ShortfallReason(const PassEnd& end, const std::wstring& sSessionLossText);
// A count is a count only when its session ran to the end: the connection held, recover exited
// with 0, never said it had no session, and answered every command typed (uiPromptsAfterBanner
// of uiCommands). Empty when it is whole, else why it is not.
std::wstring CountCutShortReason(const PassEnd& end, unsigned uiPromptsAfterBanner, unsigned uiCommands,
                                 const std::wstring& sSessionLossText);

} // namespace restorerules
