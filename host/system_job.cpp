#include "host/system_job.h"

#include "host/abort_watch.h"
#include "host/host_output.h"
#include "host/progress_view.h"
#include "support/vstring.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace refhost
{
namespace
{

struct SystemSession {
    ProgressView view{StdoutIsTerminal(), &WriteText};
    SystemRun* pRun = nullptr;
    bool bViewStarted = false;
};

int SystemLogCallback(unsigned uiLevel, const wchar_t* pText, void* pContext)
{
    auto* session = static_cast<SystemSession*>(pContext);
    std::wstring sText = pText ? pText : L"";
    session->pRun->messages.push_back({uiLevel, sText});
    NoteMessage(uiLevel, sText);
    session->view.Message(L"[" + LevelName(uiLevel) + L"] " + sText);
    return 0;
}

unsigned SystemProgressCallback(ProgressRecord* pRecord, void* pContext)
{
    if (!pRecord)
        return 0;
    auto* session = static_cast<SystemSession*>(pContext);
    std::vector<ComponentOutcome>& components = session->pRun->components;
    size_t nBefore = components.size();
    if (!ApplyComponentRecord(components, *pRecord))
        return AbortAnswer();
    double dNow = NowSeconds();
    if (components.size() != nBefore) {
        if (session->bViewStarted)
            session->view.Finish(dNow);
        Print(L"System state: " + components.back().sTitle + L" ...");
        session->view.Start(components.back().sTitle, dNow);
        session->bViewStarted = true;
    }
    session->view.OnRecord(*pRecord, dNow);
    return AbortAnswer();
}

std::vector<std::wstring> ReadLines(const std::wstring& sPath)
{
    std::vector<std::wstring> lines;
    std::ifstream in(sPath.c_str(), std::ios::binary);
    std::string s;
    while (std::getline(in, s)) {
        if (!s.empty() && s.back() == '\r')
            s.pop_back();
        lines.push_back(velmora::widen(s));
    }
    return lines;
}

} // namespace

bool ApplyComponentRecord(std::vector<ComponentOutcome>& components, const ProgressRecord& record)
{
    switch (record.uiKind) {
    case PK_PASS_START:
        if (components.empty() || components.back().sTitle != record.sText1 || components.back().bFinished)
            components.push_back({record.sText1});
        components.back().uiCounted = record.uiTotalFiles;
        return true;
    case PK_MESSAGE:
    case PK_OBJECT_RESTORED:
        if (components.empty())
            return false;
        if (record.uiKind == PK_OBJECT_RESTORED)
            components.back().uiRestored = record.uiFilesRestored;
        else if (record.uiTotalFiles > components.back().uiCounted)
            components.back().uiCounted = record.uiTotalFiles;
        return true;
    case PK_PASS_FAILED:
    case PK_PASS_FINISHED:
        if (components.empty())
            return false;
        components.back().bFailed = record.uiKind == PK_PASS_FAILED;
        components.back().bFinished = true;
        return true;
    default: return false;
    }
}

std::vector<std::wstring> FormatSystemSummary(const SystemRun& run)
{
    std::vector<std::wstring> lines = {L"System state summary:", L"  " + Pad(L"Component", 40) + Pad(L"Counted", 8) +
                                                                     Pad(L"Restored", 9) + L"Result"};
    for (const ComponentOutcome& c : run.components) {
        std::wstring sResult = c.bFailed                    ? L"failed"
                               : !c.bFinished               ? L"not finished"
                               : c.uiRestored < c.uiCounted ? L"incomplete"
                                                            : L"restored";
        lines.push_back(L"  " + Pad(c.sTitle, 40) + Pad(std::to_wstring(c.uiCounted), 8) +
                        Pad(std::to_wstring(c.uiRestored), 9) + sResult);
    }
    unsigned uiWarnings = 0;
    for (const LoggedMessage& m : run.messages) {
        uiWarnings += m.uiLevel == ML_WARNING;
        if (m.uiLevel >= ML_WARNING)
            lines.push_back(L"      [" + LevelName(m.uiLevel) + L"] " + m.sText);
    }
    lines.push_back(std::wstring(L"CheckSystemState: ") +
                    (run.bComplete ? L"a complete system state" : L"no complete system state"));
    std::wstring sVerdict = !run.bPrepared ? L"failed (" + run.sError + L")"
                            : uiWarnings   ? L"prepared with " + std::to_wstring(uiWarnings) + L" warnings"
                                           : L"prepared";
    lines.push_back(L"PrepareSystem: " + sVerdict);
    return lines;
}

std::wstring DumpFilePath()
{
    wchar_t wszExe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, wszExe, MAX_PATH);
    std::wstring sIni = wszExe;
    sIni = sIni.substr(0, sIni.find_last_of(L'\\') + 1) + L"hlv.ini";
    wchar_t wsz[MAX_PATH] = {};
    // The plug-in's own default when the host names no log folder.
    GetPrivateProfileStringW(L"File Locations", L"Logfiles", L"X:\\Program Files\\Velmora\\HALVO\\Logfiles", wsz,
                             MAX_PATH, sIni.c_str());
    return std::wstring(wsz) + L"\\CVEX_dump.log";
}

SystemRun RunPrepareSystem(CRPL& plugin)
{
    SystemRun run;
    SystemSession session;
    session.pRun = &run;
    plugin.SetLogMsgCallbackFn(&SystemLogCallback, &session);
    plugin.SetProgMsgCallbackFn(&SystemProgressCallback, &session);
    Print(L"PrepareSystem: restoring the system state into the offline installation ...");
    run.bPrepared = plugin.PrepareSystem();
    if (session.bViewStarted)
        session.view.Finish(NowSeconds());
    if (!run.bPrepared)
        plugin.GetLastErrorMsg(run.sError);
    run.bComplete = plugin.CheckSystemState();
    plugin.SetLogMsgCallbackFn(&LogCallback, nullptr);
    plugin.SetProgMsgCallbackFn(&ProgressCallback, nullptr);
    run.dump = ReadLines(DumpFilePath());
    return run;
}

} // namespace refhost
