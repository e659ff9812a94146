#include "host/recovery_job.h"

#include "host/host_output.h"
#include "host/listing.h"

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
bool ListBackup(CRPL& plugin, const RecoveryJobOptions& options)
{
    Print(L"Listing: asking the NetWorker server what the backup holds ...");
    Listing listing = RunListing(plugin);
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

} // namespace

RecoveryJobOptions ParseRecoveryJobOptions(const std::vector<std::wstring>& args)
{
    RecoveryJobOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--init")
            options.bInit = true;
        else if (args[i] == L"--list")
            options.bList = true;
        else if (args[i] == L"--json" && i + 1 < args.size())
            options.sJsonPath = args[++i];
    }
    if (!options.sJsonPath.empty())
        options.bList = true;
    if (options.bList)
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
    if (bOk && options.bList)
        bOk = ListBackup(plugin, options);
    bool bFini = plugin.Fini(true);
    Print(std::wstring(L"Fini: ") + (bFini ? L"succeeded" : L"failed"));
    return bOk ? 0 : 1;
}

} // namespace refhost
