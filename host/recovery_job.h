// The reference host's main job: with the credentials loaded from an answer file, make the
// recovery environment a NetWorker client of the server (Init), list what the backup holds when
// asked (--list, --json FILE), restore filespaces (--restore) and compare them with the store
// (--verify), show every message and the outcome, and close the session (Fini).
#pragma once
#include "credentials/cvex_credentials.h"
#include "host/listing.h"
#include "host/restore_job.h"
#include "host/verify_drives.h"
#include "plugin/crpl.h"

#include <string>
#include <vector>

namespace refhost
{

struct RecoveryJobOptions {
    bool bInit = false;                                                    // --init
    bool bList = false;                                                    // --list (or --json)
    bool bPrepareSystem = false;                                           // --prepare-system
    std::wstring sJsonPath;                                                // --json FILE
    RestoreOptions restore;                                                // --restore, --password, --verify
    std::wstring sNwsimIni = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.ini"; // --nwsim-ini: names the store
    std::string sVerifyScript;                                             // --verify-script LINUXPATH
};

RecoveryJobOptions ParseRecoveryJobOptions(const std::vector<std::wstring>& args);

// True when the command line asks for the main job (--init, --list, --json, --restore or
// --prepare-system).
bool WantsRecoveryJob(const std::vector<std::wstring>& args);

// Runs Init, the listing when asked or needed, the restores and their check when asked, and Fini;
// the messages reach the screen through the log callback already set. Returns the exit code: 0
// when every step asked for succeeded (a filespace skipped as absent counts), 1 otherwise.
int RunRecoveryJob(CRPL& plugin, CrplCredentials& credentials, const RecoveryJobOptions& options);

// The point in time as the store's verifier takes it ("YYYY-MM-DD HH:MM:SS"); empty when none.
std::wstring PitText(const CvexCredentials& cred);
// What the comparisons with the store need: the store, the client, the point in time, the script.
VerifyContext MakeVerifyContext(const CvexCredentials& cred, const RecoveryJobOptions& options);
// Compares the system state on the listing's drives that are present with the store.
bool VerifySystemOnDrives(const Listing& listing, const VerifyContext& context);

} // namespace refhost
