// The unattended recovery (--recover): the answer file, Init, GetFilespaceList, CheckSystemState,
// RestoreFilespace for each filespace, PrepareSystem and Fini, with a line per phase, the
// progress of each step, a summary table, the verdict and the report. It stops at the first
// failure after which going on is pointless, and at an abort request.
#pragma once
#include "credentials/cvex_credentials.h"
#include "host/recover_cli.h"
#include "plugin/crpl.h"

namespace refhost
{

// Returns the exit code (RecoverExit).
int RunRecover(CRPL& plugin, CrplCredentials& credentials, const RecoverOptions& options);

} // namespace refhost
