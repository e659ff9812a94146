// The reference host's main job: with the credentials loaded from an answer file, make the
// recovery environment a NetWorker client of the server (Init), list what the backup holds when
// asked (--list, --json FILE), show every message and the outcome, and close the session (Fini).
#pragma once
#include "plugin/crpl.h"

#include <string>
#include <vector>

namespace refhost
{

struct RecoveryJobOptions {
    bool bInit = false;     // --init
    bool bList = false;     // --list (or --json)
    std::wstring sJsonPath; // --json FILE
};

RecoveryJobOptions ParseRecoveryJobOptions(const std::vector<std::wstring>& args);

// True when the command line asks for the main job (--init, --list or --json).
bool WantsRecoveryJob(const std::vector<std::wstring>& args);

// Runs Init, the listing when asked, and Fini; the messages reach the screen through the log
// callback already set. Returns the exit code: 0 when every step asked for succeeded, 1 otherwise.
int RunRecoveryJob(CRPL& plugin, CrplCredentials& credentials, const RecoveryJobOptions& options);

} // namespace refhost
