// The configuration saved with the backup: where it is fetched to, what recover says while it
// fetches it, and what its summary "disrec.ini" tells about the machine.
#pragma once
#include <functional>
#include <string>

namespace catalogue
{

// The four items of the saved "QERNCFG" folder, in the order they are fetched; the first one is
// required.
extern const wchar_t* const kConfigItems[4];

// The folder beside the configuration folder into which recover writes the items:
// "X:\...\HALVOCFG" gives "X:\...\QERNCFG"; a trailing backslash is ignored.
std::wstring StagingFolder(const std::wstring& sConfigDir);

// "<recover> -a -iY -s "<server>" -c "<client>" [-t "<pit>"] [-d"<staging>"] "<saveset path>"";
// without a staging folder the path is restored to where it was saved.
std::wstring FetchCommandLine(const std::wstring& sRecoverPath, const std::wstring& sServer,
                              const std::wstring& sClient, const std::wstring& sPointInTime,
                              const std::wstring& sStaging, const std::wstring& sPath);
// " -t "<pit>"" or nothing without a point in time.
std::wstring PointInTimeOption(const std::wstring& sPointInTime);

// What one output line of a fetch means; the first text the line holds decides, in this order.
enum class FetchLine {
    SkippedProtected,  // "Skipping recover of password protected file"
    IncorrectPassword, // "Incorrect password for file"
    PasswordPrompt,    // "Password for file"
    Ddcl,              // "Cannot open file via DDCL for save-set"
    Busy,              // "failed: busy"
    ForciblyClosed,    // "An existing connection was forcibly closed"
    NoVolumes,         // "No volumes found for recover"
    StaleRpc,          // "Stale asynchronous RPC handle"
    TimedOut,          // "352:Remote system error - Connection timed out"
    ThreadsFailed,     // "One or more recover threads failed to exit successfully"
    Compressed,        // "unable to set 'compressed' attribute: The request is not supported."
    RecoverMessage,    // ":recover:"
    Other,
};
FetchLine ClassifyFetchLine(const std::wstring& sLine);
// The error message that ends the fetch for a line of that kind; 0 when the fetch goes on.
unsigned FetchFailureMessage(FetchLine kind);

// The error message that fails the restore of the whole folder onto the Windows volume for a
// line of that kind: those of the fetch, and a time-out, which is not tried again there.
unsigned RestoreConfigFailureMessage(FetchLine kind);

// One fetch of an item: done, to be tried again (the server timed out), or failed.
enum class FetchResult { Done, Retry, Failed };
// How often an item is fetched at most when the server keeps timing out.
const int kMaxFetchTries = 5;
// Runs fetch until it is done or failed, pausing between tries; after kMaxFetchTries timed-out
// tries the result is Retry (the caller reports the time-out). A pause that returns false (the
// host aborted) ends it with Failed.
FetchResult FetchWithRetries(const std::function<FetchResult()>& fetch, const std::function<bool()>& pause);

// The recovery client is older than the backup's: a smaller major, or the same major and a
// smaller minor. Not judged when either major is 0 (unknown).
bool RecoveryClientTooOld(unsigned short usBackupMajor, unsigned short usBackupMinor, unsigned short usRecoverMajor,
                          unsigned short usRecoverMinor);

// Makes the next profile read of the file read it anew. A fetched file keeps the time of its
// backup, and the profile functions reuse what they read of a file whose time has not changed.
void ForgetProfileCache(const std::wstring& sIniPath);

// True when the path names a file (not a folder).
bool IsFile(const std::wstring& sPath);

// What "disrec.ini" says about the saved machine.
struct SavedMachine {
    bool bVistaOrLater = false;
    bool bIsCore = false;
    bool bIs64Bit = false;
    bool bEfi = false;       // the Windows disk is GPT: the system volume is the EFI partition
    bool bCopySystem = true; // false when the system volume is the EFI partition or unknown
    wchar_t wcBoot = L'-';   // the Windows volume
    wchar_t wcSystem = L'-'; // the boot manager's volume (MBR)
    wchar_t wcEfi = L'-';    // the EFI system partition (GPT)
    std::wstring sWinDir;    // "\Windows"
    std::wstring sComputerName;
    unsigned uiWarning = 0; // a message worth a warning that does not stop the recovery
    unsigned uiError = 0;   // the message that makes the configuration unusable
    std::wstring sNote;     // the trace's reason for the warning or the error
};
// Reads the summary file; uiError is set when the Windows, system or (GPT) EFI letters or the
// Windows folder cannot be had.
SavedMachine ReadSavedMachine(const std::wstring& sIniPath);

} // namespace catalogue
