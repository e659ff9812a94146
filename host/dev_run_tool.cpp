#include "host/dev_run_tool.h"

#include "console/line_assembler.h"
#include "host/host_output.h"
#include "plugin/cvex_impl.h"

namespace refhost
{

int DevRunTool(const std::wstring& sCommandLine, const std::vector<std::wstring>& answers,
               const std::wstring& sPassword)
{
    CVEXImpl engine;
    HostAnswers host;
    host.sPassword = sPassword;
    engine.SetLogMsgCallbackFn(&LogCallback, &host);
    engine.SetProgMsgCallbackFn(&ProgressCallback, &host);
    Print(L"[run] " + sCommandLine);
    if (!engine.RunCommand(sCommandLine, true)) {
        std::wstring s;
        engine.GetLastErrorMsg(s);
        Print(L"[failed] the command did not start: " + s);
        return 1;
    }
    size_t nextAnswer = 0;
    std::wstring sLine;
    while (engine.GetLine(sLine, true)) {
        if (sLine.empty() && engine.ProvidePassword()) {
            Print(L"[password typed]");
            continue;
        }
        if (StartsWithRecoverPrompt(sLine)) {
            Print(L"[prompt] " + sLine);
            std::wstring sAnswer = nextAnswer < answers.size() ? answers[nextAnswer++] : L"EXIT";
            Print(L"[typed] " + sAnswer);
            if (!engine.SendResponse(sAnswer + L"\r\n", false)) {
                Print(L"[failed] could not type the answer");
                engine.Abort();
                return 1;
            }
            continue;
        }
        Print(L"[line] " + sLine);
    }
    Print(engine.UserAborted() ? L"[end] aborted" : L"[end] output finished");
    engine.Fini(false);
    return engine.UserAborted() ? 1 : 0;
}

} // namespace refhost
