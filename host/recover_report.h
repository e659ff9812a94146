// The outcome of an unattended recovery (--recover) as plain data: the phases, the filespaces,
// the system-state components and every message; from it the verdict with its exit code, the
// summary table and the JSON report. Nothing here touches the machine, so tests feed it directly.
#pragma once
#include "host/restore_job.h"
#include "host/system_job.h"

#include <map>
#include <string>
#include <vector>

namespace refhost
{

// Exit codes of --recover.
enum RecoverExit : int { kRecovered = 0, kFailed = 1, kBadInput = 2, kWithWarnings = 3, kAborted = 4 };

struct PhaseOutcome {
    std::wstring sName;        // "answer file", "Init", "GetFilespaceList", ...
    std::wstring sOutcome;     // "succeeded", "failed", "skipped", "aborted"
    std::wstring sDetail;      // why, when it did not succeed
    std::wstring sStart, sEnd; // UTC, "YYYY-MM-DDTHH:MM:SS.mmmZ"
    double dSeconds = 0;
};

struct TimedMessage {
    unsigned uiId = 0; // 0: the text matches no message of the plug-in's table
    unsigned uiLevel = 0;
    std::wstring sText;
    std::wstring sTime;
};

struct RecoverRun {
    std::wstring sHostVersion, sModule, sModuleVersion;
    std::wstring sServer, sClient, sPit; // sPit empty: the latest backup
    std::vector<PhaseOutcome> phases;
    std::vector<FilespaceOutcome> filespaces;
    std::vector<ComponentOutcome> components;
    std::vector<TimedMessage> messages;
    bool bVerifyAsked = false;
    bool bVerified = false; // every comparison with the store passed
    unsigned uiAbortRequests = 0;
};

struct Verdict {
    int iExit = kRecovered;
    std::wstring sWord;        // "recovered", "recovered with warnings", "failed", "aborted", "bad input"
    std::wstring sWhy;         // which warnings, or where it failed
    std::wstring Line() const; // "Verdict: failed (RestoreFilespace D:\: failed)"
};

// The first failed phase decides a failure; an abort request beats everything after it; then the
// filespaces, components and warning messages decide between recovered and recovered with warnings.
Verdict DecideVerdict(const RecoverRun& run);

// A component's result: "restored", "incomplete", "failed", "aborted" or "not finished".
std::wstring ComponentResult(const ComponentOutcome& c);
// A filespace's result as the summary and the report show it: the restore's own, or "aborted".
std::wstring FilespaceResult(const FilespaceOutcome& fs);

// One line per phase: "Phase Init: succeeded (00:02)".
std::wstring FormatPhaseLine(const PhaseOutcome& phase);
// The table of filespaces and components, then the verdict line.
std::vector<std::wstring> FormatRecoverSummary(const RecoverRun& run);

// The report as JSON (UTF-8); the fields are described in docs/report.md.
std::string RecoverReportJson(const RecoverRun& run);

// The id of the table message whose text (with %s, %u, %d, %ls, %lu standing for any text)
// is the whole of sText; 0 when none is.
unsigned MatchMessageId(const std::wstring& sText, const std::map<unsigned, std::wstring>& table);

} // namespace refhost
