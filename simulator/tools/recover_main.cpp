// Simulated recover.exe: an interactive browsing session, or a restore with -a.
#include "simulator/common/cmdline.h"
#include "simulator/common/text.h"
#include "simulator/tools/recover_paths.h"
#include "simulator/tools/recover_restore.h"
#include "simulator/tools/recover_session.h"

namespace
{

const char kUsage[] =
    "recover [-s server] [-c client] [-t time] [-a [-n] [-iY] [-d dir] [-N name | -S ssid] [path ...]]";

using namespace nwsim;

std::string ModeOf(const ParsedArgs& args)
{
    if (!args.Has('a'))
        return "session";
    return args.Has('n') ? "count" : "restore";
}

// The saveset as the server finds it: none when the knob says it is missing.
const Saveset* Found(const ToolRun& run, const Saveset* s)
{
    return s && !run.cfg.sMissingSaveset.empty() && EqualsNoCase(s->sName, run.cfg.sMissingSaveset) ? nullptr : s;
}

std::vector<Selected> Selection(ToolRun& run, const ParsedArgs& args, const std::optional<DateTime>& pit,
                                RestoreOptions& opts)
{
    std::vector<Selected> items;
    if (args.Has('S')) {
        const Saveset* s = Found(run, SavesetBySsid(run.store, args.Get('S')));
        if (!s)
            run.out.Line("recover: no save set with ssid " + args.Get('S'));
        else
            items = SelectObjects(run, *s, {});
        opts.sRelocateFrom = s ? ParentFolder(s->sRoot) : std::string();
        return items;
    }
    if (args.Has('N')) {
        const Saveset* s = Found(run, SavesetByName(run.store, run.sClient, args.Get('N'), pit));
        if (!s)
            run.out.Line("recover: no save set named `" + args.Get('N') + "' for client `" + run.sClient + "'");
        else
            items = SelectObjects(run, *s, {});
        opts.sRelocateFrom = s ? ParentFolder(s->sRoot) : std::string();
        return items;
    }
    for (const std::string& sPath : args.operands) {
        const Saveset* s = SavesetForPath(run.store, run.sClient, sPath, pit);
        std::vector<Selected> some = s ? SelectObjects(run, *s, sPath) : std::vector<Selected>();
        if (some.empty())
            run.out.Line(sPath + ": not found in the index of client `" + run.sClient + "'");
        items.insert(items.end(), some.begin(), some.end());
        opts.sRelocateFrom = ParentFolder(sPath);
    }
    return items;
}

int RunRestore(ToolRun& run, const ParsedArgs& args, const std::optional<DateTime>& pit)
{
    if (!args.Has('S') && !args.Has('N') && args.operands.empty())
        run.Usage("nothing to recover", kUsage);
    RestoreOptions opts;
    opts.bCountOnly = args.Has('n');
    opts.sRelocateDir = args.Get('d');
    std::vector<Selected> items = Selection(run, args, pit, opts);
    InputReader& input = ToolInput();
    RestoreObjects(run, input, items, opts);
    return items.empty() ? 1 : 0;
}

} // namespace

int main()
{
    std::vector<std::string> words = SplitCommandLine(GetCommandLineA());
    ParsedArgs args = ParseArgs(words, "sctNSdi", "anq");
    ToolRun run("recover", ModeOf(args), args.Get('s'), args.Get('c'));
    if (!args.sError.empty())
        run.Usage(args.sError, kUsage);
    std::optional<DateTime> pit;
    DateTime t;
    if (args.Has('t') && !ParsePointInTime(args.Get('t'), t))
        run.Usage("invalid time `" + args.Get('t') + "'", kUsage);
    if (args.Has('t'))
        pit = t;
    run.Connect();
    run.LoadStore();
    if (!args.Has('S')) {
        if (!FindClient(run.store, run.sClient)) {
            run.out.Line(PresetLine("not_configured", run.out.Context()));
            run.out.Finish(1);
        }
        if (ClientSavesets(run.store, run.sClient).empty()) {
            run.out.Line(PresetLine("no_backups", run.out.Context()));
            run.out.Finish(1);
        }
    }
    if (!args.Has('a'))
        RunSession(run, pit);
    run.out.Finish(static_cast<unsigned>(RunRestore(run, args, pit)));
}
