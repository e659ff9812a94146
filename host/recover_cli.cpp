#include "host/recover_cli.h"

#include "support/vstring.h"

#include <CLI/CLI.hpp>

#include <sstream>

#include <windows.h>

namespace refhost
{
namespace
{

const char* const kExitCodes = "Exit codes:\n"
                               "  0  recovered\n"
                               "  1  failed (the verdict says where)\n"
                               "  2  bad input: answer file or options; nothing on the machine was changed\n"
                               "  3  recovered with warnings (the verdict says which)\n"
                               "  4  aborted (--abort-file appeared)\n";

std::wstring Wide(const std::string& s)
{
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

} // namespace

bool WantsRecover(const std::vector<std::wstring>& args)
{
    for (const std::wstring& s : args)
        if (s == L"--recover")
            return true;
    return false;
}

int ParseRecoverOptions(const std::vector<std::wstring>& args, RecoverOptions& options, std::string& sOutput)
{
    CLI::App app{"Unattended full recovery of this machine from its NetWorker backup", "refhost.exe"};
    app.footer(kExitCodes);
    bool bRecover = false;
    std::string sAnswer, sReport, sAbort, sPassword, sNwsim, sDll;
    std::vector<std::string> only;
    app.add_flag("--recover", bRecover, "Run the whole recovery")->required();
    app.add_option("--answer-file", sAnswer, "Answer file with the server, client and point in time")->required();
    app.add_option("--only", only, "Restore only these filespaces (e.g. D:\\)")->expected(1, -1);
    app.add_flag("--skip-system-state", options.bSkipSystemState, "Do not restore the system state");
    app.add_option("--report", sReport, "Write the outcome as JSON to this file");
    app.add_flag("--verify", options.bVerify, "Compare what was restored with the backup store");
    app.add_option("--abort-file", sAbort,
                   "Watch this file: its first appearance stops after the running step, the second ends it");
    auto* pPassword = app.add_option("--password", sPassword, "Password for password-protected files");
    app.add_option("--nwsim-ini", sNwsim, "The simulated tools' settings file (names the store)");
    app.add_option("--verify-script", options.sVerifyScript, "The store's verifier (a Linux path)");
    app.add_option("--dll", sDll, "The plug-in to load");
    std::vector<std::string> narrow;
    for (const std::wstring& s : args)
        narrow.push_back(velmora::to_utf8(s));
    std::vector<const char*> argv = {"refhost.exe"};
    for (const std::string& s : narrow)
        argv.push_back(s.c_str());
    std::ostringstream out, err;
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        int iRc = app.exit(e, out, err);
        sOutput = out.str() + err.str();
        return iRc == 0 ? 0 : 2;
    }
    options.sAnswerFile = Wide(sAnswer);
    for (const std::string& s : only)
        options.only.push_back(Wide(s));
    options.sReport = Wide(sReport);
    options.sAbortFile = Wide(sAbort);
    options.bPasswordGiven = pPassword->count() > 0;
    options.sPassword = Wide(sPassword);
    if (!sNwsim.empty())
        options.sNwsimIni = Wide(sNwsim);
    options.sDll = Wide(sDll);
    return -1;
}

} // namespace refhost
