// Simulated nsrexecd.exe: the client's execution daemon. It announces itself to the server, then
// stays until it is ended (the restore module finds it by its process name and terminates it).
#include "simulator/common/cmdline.h"
#include "simulator/common/tool.h"

using namespace nwsim;

int main()
{
    ParsedArgs args = ParseArgs(SplitCommandLine(GetCommandLineA()), "spP", "D");
    ToolRun run("nsrexecd", "any", args.Get('s'), "-");
    if (!args.sError.empty())
        run.Usage(args.sError, "nsrexecd [-s server]");
    run.out.Point("start");
    // A short registration only: a connection held for the daemon's life would hide a dropped
    // recover connection from the restore module's connection watch.
    ServerLink registration;
    if (registration.Open(run.cfg, "nsrexecd", run.sServer, "-") == LinkStatus::Ok)
        registration.Close();
    for (;;)
        Sleep(60000);
}
