// The reference host's --prepare-system: after the restores, PrepareSystem brings the system
// state back with a progress line per component; then CheckSystemState's answer, a table of the
// components and the summary file the plug-in wrote. The decisions are plain functions.
#pragma once
#include "host/restore_job.h"
#include "plugin/crpl.h"

#include <string>
#include <vector>

namespace refhost
{

// What became of one system-state component, as its progress records told it.
struct ComponentOutcome {
    std::wstring sTitle; // the component's saveset, or "[NMM] name [ssid]", "DISASTER_RECOVERY:\ [ssid]"
    unsigned uiCounted = 0;
    unsigned uiRestored = 0;
    bool bFailed = false; // a kind 3 record ended it
    bool bFinished = false;
    bool bAborted = false; // the operator ended it before it finished
};

// Folds one record into the list: a start record with a new title begins a component (the second
// start of one component ends its count). False for records that concern no component.
bool ApplyComponentRecord(std::vector<ComponentOutcome>& components, const ProgressRecord& record);

struct SystemRun {
    bool bPrepared = false; // what PrepareSystem answered
    bool bComplete = false; // what CheckSystemState answered
    std::wstring sError;    // the last error when PrepareSystem failed
    std::vector<ComponentOutcome> components;
    std::vector<LoggedMessage> messages;
    std::vector<std::wstring> dump; // the summary file's lines
};

// The table: one row per component, then the messages, the check's answer and the verdict.
std::vector<std::wstring> FormatSystemSummary(const SystemRun& run);
// Where the plug-in writes its summary file: the log folder of the host's hlv.ini.
std::wstring DumpFilePath();

SystemRun RunPrepareSystem(CRPL& plugin);

} // namespace refhost
