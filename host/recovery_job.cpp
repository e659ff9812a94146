#include "host/recovery_job.h"

#include "host/host_output.h"

#include <algorithm>

namespace refhost
{

bool WantsRecoveryJob(const std::vector<std::wstring>& args)
{
    return std::find(args.begin(), args.end(), L"--init") != args.end();
}

int RunRecoveryJob(CRPL& plugin, CrplCredentials& credentials)
{
    Print(L"Init: connecting the recovery environment to the NetWorker server ...");
    bool bInit = plugin.Init(&credentials);
    if (bInit) {
        Print(L"Init: succeeded");
    } else {
        std::wstring sError;
        plugin.GetLastErrorMsg(sError);
        Print(L"Init: failed (" + sError + L")");
    }
    bool bFini = plugin.Fini(true);
    Print(std::wstring(L"Fini: ") + (bFini ? L"succeeded" : L"failed"));
    return bInit ? 0 : 1;
}

} // namespace refhost
