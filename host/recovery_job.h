// The reference host's main job: with the credentials loaded from an answer file, make the
// recovery environment a NetWorker client of the server (Init), show every message and the
// outcome, and close the session again (Fini).
#pragma once
#include "plugin/crpl.h"

#include <string>
#include <vector>

namespace refhost
{

// True when the command line asks for the main job (--init).
bool WantsRecoveryJob(const std::vector<std::wstring>& args);

// Runs Init and Fini; the messages reach the screen through the log callback already set.
// Returns the exit code: 0 when Init succeeded, 1 otherwise.
int RunRecoveryJob(CRPL& plugin, CrplCredentials& credentials);

} // namespace refhost
