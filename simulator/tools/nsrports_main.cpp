// Simulated nsrports.exe: the service and connection port ranges of this host or of "-t host".
// With nsrports_needs_daemon = yes it asks the local nsrexecd for them, as the real tool does,
// and fails when no daemon runs.
#include "simulator/common/cmdline.h"
#include "simulator/common/tool.h"
#include "support/win.h"

#include <tlhelp32.h>

using namespace nwsim;

namespace
{

bool DaemonRunning()
{
    velmora::unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL b = Process32FirstW(snapshot.get(), &entry); b; b = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, L"nsrexecd.exe") == 0)
            return true;
    }
    return false;
}

} // namespace

int main()
{
    ParsedArgs args = ParseArgs(SplitCommandLine(GetCommandLineA()), "tsSC", "");
    ToolRun run("nsrports", "any", "", "-");
    if (!args.sError.empty() || !args.operands.empty())
        run.Usage(args.sError.empty() ? "unexpected argument " + args.operands[0] : args.sError, "nsrports [-t host]");
    run.Connect();
    if (run.cfg.bNsrportsNeedsDaemon && !args.Has('t') && !DaemonRunning()) {
        run.out.Line(PresetLine("port_range", run.out.Context()));
        run.out.Finish(1);
    }
    if (args.Has('t'))
        run.out.Noise("Ports of host " + args.Get('t') + ":");
    run.out.Line("Service ports: 7937-9936");
    run.out.Line("Connection ports: 0-0");
    run.out.Finish(0);
}
