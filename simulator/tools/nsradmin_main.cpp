// Simulated nsradmin.exe: runs a command file ("-i") against the server's resource database.
// Only the server resource is known; "print" lists it, with the version line wrapped the way
// long attribute values are.
#include "simulator/common/cmdline.h"
#include "simulator/common/ini.h"
#include "simulator/common/text.h"
#include "simulator/common/tool.h"

using namespace nwsim;

namespace
{

void PrintServer(ToolRun& run)
{
    Output& out = run.out;
    out.Line("                        type: NSR;");
    out.Line("                        name: " + run.link.sServerName + ";");
    out.Line("                     version: \\");
    out.Line("NetWorker " + run.link.sServerVersion + ".Build." + run.link.sServerBuild + " Network Edition/64;");
    out.Line("                     comment: ;");
    out.Line("                   parallelism: 32;");
    out.Line("         manual saves: Enabled;");
    out.Line("");
}

} // namespace

int main()
{
    const char kUsage[] = "nsradmin [-s server] [-i file]";
    ParsedArgs args = ParseArgs(SplitCommandLine(GetCommandLineA()), "spi", "");
    ToolRun run("nsradmin", "any", args.Get('s'), "");
    if (!args.sError.empty() || !args.Has('i'))
        run.Usage(args.sError.empty() ? "only the command-file mode (-i) is simulated" : args.sError, kUsage);
    std::string sCommands;
    if (!ReadWholeFile(Wide(args.Get('i')), sCommands)) {
        run.out.Line("nsradmin: cannot open " + args.Get('i'));
        run.out.Finish(1);
    }
    run.Connect();
    bool bServerSelected = false;
    for (const std::string& raw : Lines(sCommands)) {
        std::string cmd = Lower(Trim(raw));
        if (cmd.empty())
            continue;
        if (cmd == "quit" || cmd == "exit")
            break;
        if (cmd.rfind(".", 0) == 0) {
            bServerSelected = cmd.find("type: nsr") != std::string::npos && cmd.find("type: nsr ") == std::string::npos;
            run.out.Line(bServerSelected ? "Current query set" : "No resources match the current query");
        } else if (cmd == "print" || cmd == "p") {
            if (bServerSelected)
                PrintServer(run);
            else
                run.out.Line("No resources match the current query");
        } else {
            run.out.Line("Invalid command: " + Trim(raw));
        }
    }
    run.out.Finish(0);
}
