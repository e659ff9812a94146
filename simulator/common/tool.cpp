#include "simulator/common/tool.h"

#include "simulator/common/cmdline.h"
#include "simulator/common/fault_state.h"
#include "simulator/common/ini.h"
#include "simulator/common/text.h"
#include "support/win.h"

namespace nwsim
{

std::string LinkFailureLine(LinkStatus status, const PresetContext& ctx)
{
    switch (status) {
    case LinkStatus::Ok: return {};
    case LinkStatus::Refused:
        return PresetLine("\"{tool}: Unable to connect to server `{server}': Remote system error - No connection "
                          "could be made because the target machine actively refused it.\"",
                          ctx);
    case LinkStatus::TimedOut: return PresetLine("no_response", ctx);
    case LinkStatus::Busy: return PresetLine("busy", ctx);
    case LinkStatus::UnknownServer: return PresetLine("rpc_call", ctx);
    case LinkStatus::UnknownClient: return PresetLine("not_configured", ctx);
    case LinkStatus::Dropped: return PresetLine("forcibly_closed", ctx);
    }
    return {};
}

ToolRun::ToolRun(const std::string& sToolName, const std::string& sMode, const std::string& sServerName,
                 const std::string& sClientName)
    : cfg(LoadConfig()), out(cfg, sToolName, sMode), sTool(sToolName), sServer(sServerName), sClient(sClientName)
{
    out.SetContext({sTool, sServer, sClient, {}});
    ArmFaultsWithFile(cfg.faults, cfg.sStatePath, sTool, sMode, SplitCommandLine(GetCommandLineA()));
}

void ToolRun::Connect()
{
    if (!cfg.bFound) {
        out.Line(sTool + ": no nwsim.ini beside the tool (" + Utf8(cfg.sToolFolder) + ")");
        out.Finish(2);
    }
    for (const std::string& sError : cfg.faultErrors)
        out.Line(sTool + ": nwsim.ini: ignoring fault knob " + sError);
    out.Point("start");
    LinkStatus status = link.Open(cfg, sTool, sServer, sClient.empty() ? "-" : sClient);
    if (status != LinkStatus::Ok) {
        link.Close();
        out.Line(LinkFailureLine(status, out.Context()));
        out.Finish(1);
    }
    out.SetLink(&link);
}

void ToolRun::LoadStore()
{
    std::string sText, sError;
    if (cfg.sStore.empty()) {
        out.Line(sTool + ": nwsim.ini names no store folder");
        out.Finish(2);
    }
    if (!ReadWholeFile(cfg.sStore + L"\\manifest.ini", sText)) {
        out.Line(sTool + ": cannot read the store manifest in " + Utf8(cfg.sStore));
        out.Finish(2);
    }
    if (!ParseManifest(sText, store, sError)) {
        out.Line(sTool + ": " + sError);
        out.Finish(2);
    }
}

std::vector<StoreObject> ToolRun::Objects(const Saveset& s)
{
    std::string sText;
    int nBad = 0;
    if (!ReadWholeFile(cfg.sStore + L"\\objects\\" + Wide(s.sSsid) + L".txt", sText)) {
        out.Line(sTool + ": no object list for saveset " + s.sSsid);
        return {};
    }
    std::vector<StoreObject> objects = ParseObjects(sText, nBad);
    if (nBad > 0)
        out.Line(sTool + ": skipped " + std::to_string(nBad) + " malformed line(s) of saveset " + s.sSsid);
    return objects;
}

std::wstring ToolRun::DataFile(const Saveset& s, const StoreObject& o) const
{
    return cfg.sStore + L"\\" + Wide(DataRelativePath(s.sSsid, o.sPath));
}

void ToolRun::Usage(const std::string& sError, const std::string& sUsage)
{
    out.Line(sTool + ": " + sError);
    out.Line("usage: " + sUsage);
    out.Finish(1);
}

} // namespace nwsim
