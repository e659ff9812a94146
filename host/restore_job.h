// The reference host's restore: the filespaces asked for, in the listing's order, each with its
// progress shown, then a table of what became of each. The decisions (which filespaces, the
// result of each, the table, the exit code) are plain functions.
#pragma once
#include "host/progress_view.h"
#include "plugin/crpl.h"

#include <set>
#include <string>
#include <vector>

namespace refhost
{

struct RestoreOptions {
    bool bRestore = false;           // --restore
    bool bAll = false;               // --restore all
    std::vector<std::wstring> names; // --restore NAME...
    bool bPasswordGiven = false;     // --password PW
    std::wstring sPassword;
    bool bVerify = false; // --verify
};

// --restore takes every argument after it up to the next option ("--..."); "all" alone means all.
RestoreOptions ParseRestoreOptions(const std::vector<std::wstring>& args);

// The filespaces to restore, in listing order; names asked for that the listing lacks go to missing.
// Names compare without regard to case.
std::vector<FileSpace> ChooseFilespaces(const FileSpaceList& listing, const RestoreOptions& options,
                                        std::vector<std::wstring>& missing);

// The letter a filespace lands on: its drive letter, or the first letter of a mounted folder's path.
wchar_t TargetLetter(const FileSpace& fs);

// Lower-case Windows paths of files and folders (folders end in "\").
using PathSet = std::set<std::wstring>;

struct LoggedMessage {
    unsigned uiLevel = 0;
    std::wstring sText;
};

// What became of one filespace.
struct FilespaceOutcome {
    std::wstring sName;
    wchar_t wcTarget = L'-'; // the drive it lands on
    bool bInListing = true;
    bool bResult = false;  // what RestoreFilespace answered
    bool bAborted = false; // it failed because the operator ended it
    unsigned uiCounted = 0;
    unsigned uiRestored = 0;
    unsigned long long ullBytes = 0;
    double dSeconds = 0;
    std::vector<LoggedMessage> messages;
};

enum class RestoreResult { Restored, Skipped, Incomplete, Failed, NotInBackup };

// Skipped: the volume was absent (message 145). Incomplete: fewer objects restored than
// counted, or the plug-in said so (message 200). Failed: the plug-in said false.
RestoreResult Decide(const FilespaceOutcome& outcome);
std::wstring ResultName(RestoreResult enResult);
// True for a message that says the volume is absent, and for one that says not all came back.
bool IsVolumeAbsentMessage(const std::wstring& sText);
bool IsIncompleteMessage(const std::wstring& sText);

// The summary table, one row per filespace, with its messages below it.
std::vector<std::wstring> FormatSummary(const std::vector<FilespaceOutcome>& outcomes);
// 0 when every filespace was restored or skipped, 1 otherwise.
int RestoreExitCode(const std::vector<FilespaceOutcome>& outcomes);

struct RestoreRun {
    std::vector<FilespaceOutcome> outcomes;
    PathSet cBefore;   // with --verify: what was on C: before its first filespace was restored
    PathSet cRestored; // the objects restored onto C:
};

// Restores each chosen filespace with progress; the log and progress callbacks are the host's
// own while it runs and are set back to the plain ones afterwards.
RestoreRun RunRestores(CRPL& plugin, const FileSpaceList& listing, const RestoreOptions& options);

} // namespace refhost
