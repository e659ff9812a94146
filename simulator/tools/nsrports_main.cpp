// Simulated nsrports.exe: the service and connection port ranges of this host or of "-t host".
#include "simulator/common/cmdline.h"
#include "simulator/common/tool.h"

using namespace nwsim;

int main()
{
    ParsedArgs args = ParseArgs(SplitCommandLine(GetCommandLineA()), "tsSC", "");
    ToolRun run("nsrports", "any", "", "-");
    if (!args.sError.empty() || !args.operands.empty())
        run.Usage(args.sError.empty() ? "unexpected argument " + args.operands[0] : args.sError, "nsrports [-t host]");
    run.Connect();
    if (args.Has('t'))
        run.out.Noise("Ports of host " + args.Get('t') + ":");
    run.out.Line("Service ports: 7937-9936");
    run.out.Line("Connection ports: 0-0");
    run.out.Finish(0);
}
