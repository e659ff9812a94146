#include "host/recover_report.h"

#include "host/host_output.h"
#include "host/progress_view.h"
#include "support/vstring.h"

#include <nlohmann/json.hpp>

namespace refhost
{
namespace
{

std::string U8(const std::wstring& s)
{
    return velmora::to_utf8(s);
}

// Does sText from iText on match sPattern from iPattern? Conversions match any text.
bool MatchFrom(const std::wstring& sText, size_t iText, const std::wstring& sPattern, size_t iPattern)
{
    while (iPattern < sPattern.size()) {
        if (sPattern[iPattern] == L'%' && iPattern + 1 < sPattern.size()) {
            size_t iEnd = iPattern + 1;
            while (iEnd < sPattern.size() && (sPattern[iEnd] == L'l' || sPattern[iEnd] == L'h'))
                ++iEnd;
            if (iEnd < sPattern.size() && sPattern[iEnd] == L'%') {
                if (iText >= sText.size() || sText[iText] != L'%')
                    return false;
                ++iText;
                iPattern = iEnd + 1;
                continue;
            }
            for (size_t i = sText.size() + 1; i-- > iText;)
                if (MatchFrom(sText, i, sPattern, iEnd + 1))
                    return true;
            return false;
        }
        if (iText >= sText.size() || sText[iText] != sPattern[iPattern])
            return false;
        ++iText;
        ++iPattern;
    }
    return iText == sText.size();
}

unsigned CountLevel(const std::vector<LoggedMessage>& messages, unsigned uiLevel)
{
    unsigned n = 0;
    for (const LoggedMessage& m : messages)
        n += m.uiLevel == uiLevel;
    return n;
}

std::vector<std::wstring> Warnings(const RecoverRun& run)
{
    std::vector<std::wstring> warnings;
    for (const FilespaceOutcome& fs : run.filespaces) {
        RestoreResult enResult = Decide(fs);
        if (enResult == RestoreResult::Incomplete)
            warnings.push_back(fs.sName + L" incomplete (" + std::to_wstring(fs.uiRestored) + L" of " +
                               std::to_wstring(fs.uiCounted) + L" objects)");
        else if (enResult == RestoreResult::Skipped)
            warnings.push_back(fs.sName + L" skipped (volume absent)");
    }
    for (const ComponentOutcome& c : run.components)
        if (ComponentResult(c) != L"restored")
            warnings.push_back(c.sTitle + L" " + ComponentResult(c));
    unsigned uiWarnings = 0;
    for (const TimedMessage& m : run.messages)
        uiWarnings += m.uiLevel == ML_WARNING;
    if (uiWarnings)
        warnings.push_back(std::to_wstring(uiWarnings) + L" warning messages");
    return warnings;
}

std::wstring Join(const std::vector<std::wstring>& parts)
{
    std::wstring s;
    for (const std::wstring& sPart : parts)
        s += (s.empty() ? L"" : L"; ") + sPart;
    return s;
}

} // namespace

std::wstring Verdict::Line() const
{
    return L"Verdict: " + sWord + (sWhy.empty() ? L"" : L" (" + sWhy + L")");
}

std::wstring ComponentResult(const ComponentOutcome& c)
{
    return c.bAborted                   ? L"aborted"
           : c.bFailed                  ? L"failed"
           : !c.bFinished               ? L"not finished"
           : c.uiRestored < c.uiCounted ? L"incomplete"
                                        : L"restored";
}

std::wstring FilespaceResult(const FilespaceOutcome& fs)
{
    return fs.bAborted ? L"aborted" : ResultName(Decide(fs));
}

Verdict DecideVerdict(const RecoverRun& run)
{
    for (const PhaseOutcome& p : run.phases)
        if (p.sName == L"answer file" && p.sOutcome != L"succeeded")
            return {kBadInput, L"bad input", p.sDetail};
    for (const PhaseOutcome& p : run.phases)
        if (p.sOutcome == L"aborted" || (run.uiAbortRequests && p.sOutcome != L"succeeded"))
            return {kAborted, L"aborted", L"in " + p.sName};
    if (run.uiAbortRequests)
        return {kAborted, L"aborted", L"after " + (run.phases.empty() ? L"start" : run.phases.back().sName)};
    for (const PhaseOutcome& p : run.phases)
        if (p.sOutcome == L"failed")
            return {kFailed, L"failed", p.sName + (p.sDetail.empty() ? L"" : L": " + p.sDetail)};
    std::vector<std::wstring> warnings = Warnings(run);
    if (!warnings.empty())
        return {kWithWarnings, L"recovered with warnings", Join(warnings)};
    return {kRecovered, L"recovered", L""};
}

std::wstring FormatPhaseLine(const PhaseOutcome& p)
{
    return L"Phase " + p.sName + L": " + p.sOutcome + (p.sDetail.empty() ? L"" : L" (" + p.sDetail + L")") + L" [" +
           FormatDuration(p.dSeconds) + L"]";
}

std::vector<std::wstring> FormatRecoverSummary(const RecoverRun& run)
{
    std::vector<std::wstring> lines = {
        L"Recovery summary:", L"  " + Pad(L"Filespace or component", 40) + Pad(L"Counted", 8) + Pad(L"Restored", 8) +
                                  Pad(L"Bytes", 10) + Pad(L"Time", 8) + Pad(L"Result", 24) + L"Warnings"};
    for (const FilespaceOutcome& fs : run.filespaces)
        lines.push_back(L"  " + Pad(fs.sName, 40) + Pad(std::to_wstring(fs.uiCounted), 8) +
                        Pad(std::to_wstring(fs.uiRestored), 8) + Pad(std::to_wstring(fs.ullBytes), 10) +
                        Pad(FormatDuration(fs.dSeconds), 8) + Pad(FilespaceResult(fs), 24) +
                        std::to_wstring(CountLevel(fs.messages, ML_WARNING)));
    for (const ComponentOutcome& c : run.components)
        lines.push_back(L"  " + Pad(c.sTitle, 40) + Pad(std::to_wstring(c.uiCounted), 8) +
                        Pad(std::to_wstring(c.uiRestored), 8) + Pad(L"-", 10) + Pad(L"-", 8) +
                        Pad(ComponentResult(c), 24) + L"-");
    lines.push_back(DecideVerdict(run).Line());
    return lines;
}

std::string RecoverReportJson(const RecoverRun& run)
{
    using nlohmann::json;
    Verdict verdict = DecideVerdict(run);
    json report = {
        {"versions",
         {{"host", U8(run.sHostVersion)}, {"module", U8(run.sModule)}, {"moduleVersion", U8(run.sModuleVersion)}}},
        {"server", U8(run.sServer)},
        {"client", U8(run.sClient)},
        {"pointInTime", run.sPit.empty() ? json(nullptr) : json(U8(run.sPit))},
        {"phases", json::array()},
        {"filespaces", json::array()},
        {"components", json::array()},
        {"messages", json::array()},
        {"abortRequests", run.uiAbortRequests},
        {"verify", run.bVerifyAsked ? json(run.bVerified ? "pass" : "fail") : json(nullptr)},
        {"verdict",
         {{"result", U8(verdict.sWord)},
          {"detail", U8(verdict.sWhy)},
          {"exitCode", verdict.iExit},
          {"line", U8(verdict.Line())}}}};
    for (const PhaseOutcome& p : run.phases)
        report["phases"].push_back({{"name", U8(p.sName)},
                                    {"outcome", U8(p.sOutcome)},
                                    {"detail", U8(p.sDetail)},
                                    {"start", U8(p.sStart)},
                                    {"end", U8(p.sEnd)},
                                    {"seconds", p.dSeconds}});
    for (const FilespaceOutcome& fs : run.filespaces)
        report["filespaces"].push_back({{"name", U8(fs.sName)},
                                        {"counted", fs.uiCounted},
                                        {"restored", fs.uiRestored},
                                        {"bytes", fs.ullBytes},
                                        {"seconds", fs.dSeconds},
                                        {"result", U8(FilespaceResult(fs))},
                                        {"warnings", CountLevel(fs.messages, ML_WARNING)},
                                        {"errors", CountLevel(fs.messages, ML_ERROR)}});
    for (const ComponentOutcome& c : run.components)
        report["components"].push_back({{"name", U8(c.sTitle)},
                                        {"counted", c.uiCounted},
                                        {"restored", c.uiRestored},
                                        {"result", U8(ComponentResult(c))}});
    for (const TimedMessage& m : run.messages)
        report["messages"].push_back({{"id", m.uiId ? json(m.uiId) : json(nullptr)},
                                      {"level", U8(LevelName(m.uiLevel))},
                                      {"time", U8(m.sTime)},
                                      {"text", U8(m.sText)}});
    return report.dump(2) + "\n";
}

unsigned MatchMessageId(const std::wstring& sText, const std::map<unsigned, std::wstring>& table)
{
    for (const auto& [uiId, sPattern] : table)
        if (MatchFrom(sText, 0, sPattern, 0))
            return uiId;
    return 0;
}

} // namespace refhost
