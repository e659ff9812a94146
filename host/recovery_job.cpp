#include "host/recovery_job.h"

#include "credentials/cvex_credentials.h"
#include "host/host_output.h"
#include "host/listing.h"
#include "host/system_job.h"
#include "host/verify_drives.h"
#include "support/vstring.h"

#include <cstdio>

namespace refhost
{
namespace
{

bool WriteTextFile(const std::wstring& sPath, const std::string& sText)
{
    FILE* pFile = _wfopen(sPath.c_str(), L"wb");
    if (!pFile)
        return false;
    bool bOk = std::fwrite(sText.data(), 1, sText.size(), pFile) == sText.size();
    return std::fclose(pFile) == 0 && bOk;
}

// Lists the backup, prints it and writes the JSON when asked; false when a step failed.
bool ListBackup(CRPL& plugin, const RecoveryJobOptions& options, Listing& listing)
{
    Print(L"Listing: asking the NetWorker server what the backup holds ...");
    listing = RunListing(plugin);
    for (const std::wstring& sLine : FormatListing(listing))
        Print(sLine);
    bool bOk = listing.bListed;
    if (!options.sJsonPath.empty()) {
        if (WriteTextFile(options.sJsonPath, ListingJson(listing))) {
            Print(L"Listing: written to " + options.sJsonPath);
        } else {
            Print(L"Listing: cannot write " + options.sJsonPath);
            bOk = false;
        }
    }
    return bOk;
}

// Restores what was asked, shows the table, and compares with the store when asked.
bool RestoreAndVerify(CRPL& plugin, const CvexCredentials& cred, const RecoveryJobOptions& options,
                      const Listing& listing)
{
    RestoreRun run = RunRestores(plugin, listing.filespaces, options.restore);
    for (const std::wstring& sLine : FormatSummary(run.outcomes))
        Print(sLine);
    bool bOk = RestoreExitCode(run.outcomes) == 0;
    if (!options.restore.bVerify)
        return bOk;
    bool bSame = VerifyDrives(PlanChecks(listing.filespaces, run.outcomes, run.cBefore, run.cRestored),
                              MakeVerifyContext(cred, options));
    return bOk && bSame;
}

// PrepareSystem with its progress, the table and the summary file; with --verify the system state
// on the listing's drives is compared with the store.
bool PrepareAndVerify(CRPL& plugin, const CvexCredentials& cred, const RecoveryJobOptions& options,
                      const Listing& listing)
{
    SystemRun run = RunPrepareSystem(plugin);
    for (const std::wstring& sLine : FormatSystemSummary(run))
        Print(sLine);
    Print(L"Summary file " + DumpFilePath() + L":");
    for (const std::wstring& sLine : run.dump)
        Print(L"  | " + sLine);
    if (!run.bPrepared || !options.restore.bVerify)
        return run.bPrepared;
    return VerifySystemOnDrives(listing, MakeVerifyContext(cred, options));
}

} // namespace

std::wstring PitText(const CvexCredentials& cred)
{
    if (!cred.HasPit())
        return {};
    const SYSTEMTIME& st = cred.m_Pit;
    wchar_t wsz[32] = {};
    std::swprintf(wsz, 32, L"%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                  st.wSecond);
    return wsz;
}

VerifyContext MakeVerifyContext(const CvexCredentials& cred, const RecoveryJobOptions& options)
{
    VerifyContext context;
    context.sStore = StoreFromNwsimIni(options.sNwsimIni);
    context.sClient = cred.m_sClientName;
    context.sPit = PitText(cred);
    context.sScript = options.sVerifyScript;
    return context;
}

bool VerifySystemOnDrives(const Listing& listing, const VerifyContext& context)
{
    std::wstring sLetters;
    for (const FileSpace& fs : listing.filespaces) {
        wchar_t wc = TargetLetter(fs);
        if (sLetters.find(wc) == std::wstring::npos &&
            GetDriveTypeW((std::wstring(1, wc) + L":\\").c_str()) != DRIVE_NO_ROOT_DIR)
            sLetters += wc;
    }
    return VerifySystemState(sLetters, context);
}

RecoveryJobOptions ParseRecoveryJobOptions(const std::vector<std::wstring>& args)
{
    RecoveryJobOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--init")
            options.bInit = true;
        else if (args[i] == L"--list")
            options.bList = true;
        else if (args[i] == L"--prepare-system")
            options.bPrepareSystem = true;
        else if (args[i] == L"--json" && i + 1 < args.size())
            options.sJsonPath = args[++i];
        else if (args[i] == L"--nwsim-ini" && i + 1 < args.size())
            options.sNwsimIni = args[++i];
        else if (args[i] == L"--verify-script" && i + 1 < args.size())
            options.sVerifyScript = velmora::to_utf8(args[++i]);
    }
    options.restore = ParseRestoreOptions(args);
    if (options.sVerifyScript.empty())
        options.sVerifyScript = CVEX_SOURCE_DIR "/simulator/store/verify_restore.py";
    if (!options.sJsonPath.empty())
        options.bList = true;
    if (options.bList || options.restore.bRestore || options.bPrepareSystem)
        options.bInit = true;
    return options;
}

bool WantsRecoveryJob(const std::vector<std::wstring>& args)
{
    return ParseRecoveryJobOptions(args).bInit;
}

int RunRecoveryJob(CRPL& plugin, CrplCredentials& credentials, const RecoveryJobOptions& options)
{
    Print(L"Init: connecting the recovery environment to the NetWorker server ...");
    bool bOk = plugin.Init(&credentials);
    if (bOk) {
        Print(L"Init: succeeded");
    } else {
        std::wstring sError;
        plugin.GetLastErrorMsg(sError);
        Print(L"Init: failed (" + sError + L")");
    }
    Listing listing;
    const CvexCredentials& cred = static_cast<CvexCredentials&>(credentials);
    if (bOk && (options.bList || options.restore.bRestore || options.bPrepareSystem))
        bOk = ListBackup(plugin, options, listing);
    if (bOk && options.restore.bRestore)
        bOk = RestoreAndVerify(plugin, cred, options, listing);
    if (bOk && options.bPrepareSystem)
        bOk = PrepareAndVerify(plugin, cred, options, listing);
    bool bFini = plugin.Fini(true);
    Print(std::wstring(L"Fini: ") + (bFini ? L"succeeded" : L"failed"));
    return bOk ? 0 : 1;
}

} // namespace refhost
