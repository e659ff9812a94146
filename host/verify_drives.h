// The reference host's --verify: each restored drive is compared with the backup store by the
// simulator's verify_restore.py, run as a Linux program from inside Wine; its lines and verdict
// are shown and fold into the exit code. The plan (which drives, which filespaces, what is left
// out of C:) is made by plain functions.
#pragma once
#include "host/restore_job.h"

#include <string>
#include <vector>

namespace refhost
{

// One run of the comparison: a drive letter, limited to some filespaces or not, with paths left out.
struct DriveCheck {
    wchar_t wcLetter = L'-';
    std::vector<std::wstring> filespaces; // empty: every filespace of the letter
    std::vector<std::wstring> ignores;    // Windows paths left out on both sides
    std::wstring sNote;                   // what was left out and why, for the screen
};

// One check per letter of the filespaces restored or tried (not skipped, not missing), in their
// order; limited to those when the listing has more filespaces on that letter. C: leaves out
// what was there before (cBefore) and was not restored (cRestored).
std::vector<DriveCheck> PlanChecks(const FileSpaceList& listing, const std::vector<FilespaceOutcome>& outcomes,
                                   const PathSet& cBefore, const PathSet& cRestored);

// The fewest of the paths there before that hold no restored object at or below them: what the
// restore did not bring, left out of the check (Wine's own files on C:).
std::vector<std::wstring> PreexistingToIgnore(const PathSet& before, const PathSet& restored);

// Lower-case path of every file and folder below sRoot ("C:\"), folders ending in "\".
PathSet ListTree(const std::wstring& sRoot);

// A word quoted for a POSIX shell: 'it'\''s'.
std::string ShellQuote(const std::string& s);

// verify_restore.py's verdict line: true and bPass set when the line is one.
bool ParseVerdict(const std::string& sLine, bool& bPass);

struct VerifyContext {
    std::wstring sStore;  // Windows path of the store
    std::wstring sClient; // the client name of the credentials
    std::wstring sPit;    // "YYYY-MM-DD HH:MM:SS" or empty
    std::string sPython = "/usr/bin/python3";
    std::string sScript; // Linux path of verify_restore.py
};

// The store's Windows path as the tools' nwsim.ini names it; empty when there is none.
std::wstring StoreFromNwsimIni(const std::wstring& sIniPath);

// Compares the system state on the drives (letters, e.g. L"WDS") with the store; true on PASS.
bool VerifySystemState(const std::wstring& sLetters, const VerifyContext& context);
// Runs every check, printing its lines and verdict; true when every check passed.
bool VerifyDrives(const std::vector<DriveCheck>& checks, const VerifyContext& context);

} // namespace refhost
