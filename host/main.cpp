// Reference host: drives CVEX.DLL as the bare-metal-recovery host does, with no console of
// its own while the plug-in runs.
#include "host/answer_file_command.h"
#include "host/dev_run_tool.h"
#include "host/host_output.h"
#include "host/plugin_loader.h"
#include "host/recover_cli.h"
#include "host/recover_job.h"
#include "host/recovery_job.h"

#include <string>
#include <vector>

namespace
{

std::wstring ModuleFolder()
{
    wchar_t wsz[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, wsz, MAX_PATH);
    std::wstring s = wsz;
    return s.substr(0, s.rfind(L'\\') + 1);
}

void ShowModule(CRPL& plugin)
{
    std::wstring s;
    plugin.GetModuleProperty(1, s);
    refhost::Print(L"Module:  " + s);
    plugin.GetModuleProperty(2, s);
    refhost::Print(L"Version: " + s);
    const wchar_t* names[] = {L"multi-machine backups", L"separate hard links", L"separate system state",
                              L"backup sets",           L"backup images",       L"tape backups"};
    for (int i = 1; i <= 6; ++i)
        refhost::Print(std::wstring(L"Capability ") + std::to_wstring(i) + L" (" + names[i - 1] + L"): " +
                       (plugin.HasCapability(static_cast<enCapabilityType>(i)) ? L"yes" : L"no"));
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    FreeConsole();
    std::vector<std::wstring> args(argv + 1, argv + argc);
    // Hidden developer command: --dev-run-tool "COMMAND LINE" [--answer TEXT]... [--password PW]
    if (!args.empty() && args[0] == L"--dev-run-tool" && args.size() > 1) {
        std::vector<std::wstring> answers;
        std::wstring sPassword;
        for (size_t i = 2; i + 1 < args.size(); i += 2) {
            if (args[i] == L"--answer")
                answers.push_back(args[i + 1]);
            else if (args[i] == L"--password")
                sPassword = args[i + 1];
        }
        LoadLibraryW((ModuleFolder() + L"CVEX.DLL").c_str()); // message texts
        return refhost::DevRunTool(args[1], answers, sPassword);
    }
    refhost::RecoverOptions recover;
    bool bRecover = refhost::WantsRecover(args);
    if (bRecover) {
        std::string sOutput;
        int iRc = refhost::ParseRecoverOptions(args, recover, sOutput);
        if (iRc >= 0) {
            refhost::WriteText(std::wstring(sOutput.begin(), sOutput.end()));
            return iRc;
        }
    }
    std::wstring sDll = recover.sDll.empty() ? ModuleFolder() + L"CVEX.DLL" : recover.sDll;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == L"--dll")
            sDll = args[i + 1];

    refhost::LoadedPlugin loaded;
    std::wstring sError;
    if (!loaded.Load(sDll, sError)) {
        refhost::Print(L"refhost: " + sError);
        return 2;
    }
    refhost::HostAnswers answers;
    CRPL& plugin = *loaded.Plugin();
    plugin.SetLogMsgCallbackFn(&refhost::LogCallback, &answers);
    plugin.SetProgMsgCallbackFn(&refhost::ProgressCallback, &answers);
    ShowModule(plugin);
    if (bRecover)
        return refhost::RunRecover(plugin, *loaded.Credentials(), recover);
    // --answer-file PATH and --write-answer-file PATH work on the plug-in's credentials.
    refhost::AnswerFileOptions answerFile = refhost::ParseAnswerFileOptions(args);
    // With --init, --list or --json as well, the main job: Init, the listing when asked, then Fini.
    if (answerFile.Any()) {
        int iRc = refhost::RunAnswerFileCommand(answerFile, *loaded.Credentials());
        if (iRc != 0 || !refhost::WantsRecoveryJob(args))
            return iRc;
        return refhost::RunRecoveryJob(plugin, *loaded.Credentials(), refhost::ParseRecoveryJobOptions(args));
    }
    return 0;
}
