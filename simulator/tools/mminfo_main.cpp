// Simulated mminfo.exe: the media database report of one client, "-v -s srv -c cli -xc,".
#include "simulator/common/cmdline.h"
#include "simulator/common/tool.h"
#include "simulator/common/version.h"
#include "simulator/tools/mminfo_report.h"

using namespace nwsim;

int main()
{
    const char kUsage[] = "mminfo [-v] [-s server] [-c client] [-xc,]";
    ParsedArgs args = ParseArgs(SplitCommandLine(GetCommandLineA()), "scxqo", "vVam");
    ToolRun run("mminfo", "any", args.Get('s'), args.Get('c'));
    if (!args.sError.empty())
        run.Usage(args.sError, kUsage);
    if (!args.operands.empty())
        run.Usage("unexpected argument " + args.operands[0], kUsage);
    run.Connect();
    run.LoadStore();
    const StoreClient* client = FindClient(run.store, run.sClient);
    std::vector<const Saveset*> savesets = ClientSavesets(run.store, run.sClient);
    if (!client || savesets.empty()) {
        run.out.Line("6095:mminfo: no matches found for the query");
        run.out.Finish(1);
    }
    ReportStyle style;
    style.bTypeColumn = ReportHasTypeColumn(OwnVersion());
    style.b12Hour = run.cfg.uMminfoClock != 24;
    run.out.Line(ReportTitle(style));
    unsigned uIndex = 0;
    for (const Saveset* s : savesets) {
        run.out.SetPath(s->sName);
        for (const std::string& sLine : ReportLines(*s, client->sName, style)) {
            run.out.Point("object:" + std::to_string(++uIndex));
            run.out.Line(sLine);
        }
    }
    run.out.Finish(0);
}
