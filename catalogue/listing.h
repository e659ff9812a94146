// The top-level listing of recover ("ll -S"): filespaces and system-state savesets.
#pragma once
#include "catalogue/catalogue_types.h"
#include "hostapi/host_types.h"

#include <string>
#include <vector>

namespace catalogue
{

// The fields of one "ll -S" line: count, kind, size, date, [time,] name. The time is read only
// when the line holds at least two ":" (the time's and the name's); the name's words are joined
// with single blanks.
struct ListingLine {
    std::wstring sDate, sTime, sName;
};
bool SplitListingLine(const std::wstring& sLine, bool bTimeAlways, ListingLine& out);

// The system-state type of a saveset name, 0 for none. Names are matched as the saveset names
// they are (the name starts with one); a drive path such as "D:\ASR Images" is never one.
unsigned SystemStateTypeOf(const std::wstring& sName);

// True for "C:\" and for a path below a drive root.
bool IsDrivePath(const std::wstring& sName);

// A listing line as a filespace: a drive root (letter set) or a mounted folder (path and flag
// set). False ("Bad line", "Bad filespace") for lines without a usable name; a date that cannot be
// read only leaves bFsTimeValid false.
bool ParseFilespace(const std::wstring& sLine, FileSpace& fs, const wchar_t*& pReason);
// A listing line as the backup time of a system-state entry whose type is set.
bool ParseSystemState(const std::wstring& sLine, SystemStateEntry& entry, const wchar_t*& pReason);

// Oldest first; entries with the same time keep their order.
void SortByBackupTime(std::vector<SystemStateEntry>& entries);

// The letters that the saved configuration gives to the Windows volumes.
struct SystemLetters {
    wchar_t wcBoot = L'-';
    wchar_t wcSystem = L'-';
    wchar_t wcEfi = L'-';
    bool bEfi = false; // the system volume is the EFI partition; the SYSTEM letter is not used
};
// The filespaces that hold them.
struct SystemFilespaces {
    std::wstring sBoot, sEfi, sSystem;
};
// Marks the drive roots holding the Windows volume (needed and boot) and the system or EFI
// volume (needed and system); mounted folders are never marked.
void MarkSystemVolumes(FileSpaceList& list, const SystemLetters& letters, SystemFilespaces& names);

// The message of an error line in the answer to the listing command (the server busy, an RPC
// failure, a stale handle, a time-out, the connection closed), or 0 for any other line. An entry
// of the listing that names a drive path is never an error.
unsigned ListingErrorMessage(const std::wstring& sLine);
// A line shaped like an entry of the listing: a filespace or a system-state saveset.
bool IsListingEntry(const std::wstring& sLine);

// The configuration check's query: "ls -l <filespace>QERNCFG" with CR LF.
std::wstring ConfigFolderQuery(const std::wstring& sFilespace);
// What one line of the answer to the query means.
enum class ConfigAnswer { Prompt, NotFound, Entry, Other };
ConfigAnswer ClassifyConfigAnswer(const std::wstring& sLine);

} // namespace catalogue
