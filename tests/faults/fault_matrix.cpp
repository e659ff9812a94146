#include "tests/faults/fault_matrix.h"

#include "support/vstring.h"

#include <cwctype>
#include <random>
#include <sstream>

namespace faultmatrix
{

namespace
{

// The tool, mode and conditions of the knobs of a phase. The count and the listing are the
// first interactive session after the knobs were written (the host deletes the run counts);
// the configuration is its first item's fetch.
struct PhaseText {
    const wchar_t* pName;
    const wchar_t* pTarget;
};

// Per phase, in the order of Phase: its name in the table and the knobs' tool, mode and conditions.
const PhaseText kPhaseTexts[] = {
    {L"Init", L"recover session"},
    {L"listing", L"run:1 recover session"},
    {L"configuration", L"for:\"C:\\QERNCFG\\disrec.ini\" recover restore"},
    {L"count pass", L"run:1 recover session"},
    {L"restore pass", L"recover restore"},
    // The walk runs before the saved configuration's copy, so the first count and the first
    // restore of a preparation are its first component's.
    {L"VSS count", L"run:1 recover count"},
    {L"VSS restore", L"run:1 recover restore"},
    {L"legacy count", L"run:1 recover count"},
    {L"legacy restore", L"run:1 recover restore"},
    {L"NMM count", L"run:1 recover count"},
    {L"NMM restore", L"run:1 recover restore"},
    {L"DR count", L"run:1 recover count"},
    {L"DR restore", L"run:1 recover restore"},
};

// The report of the components restored by id: the first of a preparation is the first
// component's.
const wchar_t kReportTarget[] = L"run:1 mminfo any";

bool IsSystemRestore(Phase phase)
{
    return phase == Phase::VssRestore || phase == Phase::LegacyRestore || phase == Phase::NmmRestore ||
           phase == Phase::DrRestore;
}

std::wstring Target(const Row& row)
{
    return row.bReport ? kReportTarget : kPhaseTexts[static_cast<size_t>(row.phase)].pTarget;
}

// Objects for the passes over a filespace, output lines for the sessions and the fetch.
std::wstring Point(Phase phase, Position pos, unsigned uiMiddle)
{
    if (pos == kStart)
        return L"start";
    // Init reads recover only up to its first prompt and ends the session there: the last line
    // it reads is the one before that prompt.
    if (pos == kLast)
        return phase == Phase::Init ? L"prompt:1" : L"end";
    const bool bObjects = phase == Phase::Count || phase == Phase::Restore || IsSystemPhase(phase);
    return (bObjects ? L"object:" : L"line:") + std::to_wstring(uiMiddle);
}

std::wstring Action(const Row& row)
{
    switch (row.fault) {
    case Fault::Line: return std::wstring(L"say ") + row.pArgument;
    case Fault::ExitNonZero: return L"exit 1";
    case Fault::Crash: return L"crash";
    case Fault::Hang: return L"hang 3";
    case Fault::Password: return L"password 20";
    default: return L"";
    }
}

std::string Utf8(const std::wstring& s)
{
    return velmora::to_utf8(s);
}

std::string Outcome(const Expect& e)
{
    if (!e.bRun)
        return "not run";
    std::ostringstream out;
    out << (e.bResult ? "true" : "false") << "; ";
    if (e.ids.empty())
        out << "no warning or error";
    for (size_t i = 0; i < e.ids.size(); ++i)
        out << (i ? ", " : "") << e.ids[i];
    out << "; ";
    if (e.pLastError)
        out << '"' << Utf8(e.pLastError) << '"';
    else
        out << "no error";
    out << "; " << e.uiBoundSeconds << " s";
    return out.str();
}

bool SameOutcome(const Expect& a, const Expect& b)
{
    return Outcome(a) == Outcome(b);
}

} // namespace

std::array<Expect, kPositions> Same(const Expect& e)
{
    return {e, e, e};
}

bool IsSystemPhase(Phase phase)
{
    return phase >= Phase::VssCount;
}

std::vector<std::wstring> FaultKnobs(const Row& row, Position pos, unsigned uiMiddle)
{
    const std::wstring sAction = Action(row);
    if (sAction.empty())
        return {};
    const std::wstring sCondition = *row.pCondition ? std::wstring(row.pCondition) + L" " : L"";
    return {sCondition + Target(row) + L" " + Point(row.phase, pos, uiMiddle) + L" " + sAction};
}

std::vector<std::pair<std::wstring, std::wstring>> ServerKnobs(const Row& row, Position pos, unsigned uiMiddle)
{
    switch (row.fault) {
    case Fault::ServerRefuse: return {{L"refuse", L"yes"}};
    case Fault::ServerBusy: return {{L"busy", L"yes"}};
    case Fault::ServerSlow: return {{L"delay_seconds", L"1"}};
    case Fault::ServerDrop: {
        // The sessions of recover before the phase's own are spared: the restore pass follows
        // the count's session, the first configuration fetch the listing's session and the
        // check of the configuration folder. A report's session is its preparation's first.
        const unsigned uiLines = pos == kStart ? 1 : uiMiddle;
        const bool bAfterCount = row.phase == Phase::Restore || IsSystemRestore(row.phase);
        const unsigned uiSpared = row.bReport ? 0 : bAfterCount ? 1 : row.phase == Phase::Config ? 2 : 0;
        return {{L"drop_after_lines", std::to_wstring(uiLines)},
                {L"drop_tool", row.bReport ? L"mminfo" : L"recover"},
                {L"drop_skip_sessions", std::to_wstring(uiSpared)},
                {L"drop_sessions", L"1"}};
    }
    default: return {};
    }
}

std::vector<size_t> ShuffledOrder(size_t n, unsigned long long ullSeed)
{
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = i;
    // Fisher-Yates with the standard's fixed engine: the same seed gives the same order on any
    // build (std::shuffle's use of the engine is the library's choice).
    std::mt19937_64 engine(ullSeed);
    for (size_t i = n; i > 1; --i) {
        size_t j = static_cast<size_t>(engine() % i);
        std::swap(order[i - 1], order[j]);
    }
    return order;
}

unsigned long long SeedFrom(const std::wstring& sCommandLine, const char* pEnvironment, unsigned long long ullClock)
{
    std::wistringstream in(sCommandLine);
    for (std::wstring sWord; in >> sWord;) {
        if (sWord != L"--seed")
            continue;
        std::wstring sValue;
        if (in >> sValue && !sValue.empty() && std::iswdigit(sValue[0]))
            return std::stoull(sValue);
    }
    if (pEnvironment && *pEnvironment >= '0' && *pEnvironment <= '9')
        return std::stoull(pEnvironment);
    return ullClock;
}

const wchar_t* PhaseName(Phase phase)
{
    return kPhaseTexts[static_cast<size_t>(phase)].pName;
}

namespace
{

// The fault as the tool meets it.
std::wstring ToolFaultName(const Row& row)
{
    switch (row.fault) {
    case Fault::Line:
        return std::wstring(L"line `") + row.pArgument + L"`" +
               (*row.pCondition ? L" (" + std::wstring(row.pCondition) + L")" : L"");
    case Fault::ServerRefuse: return L"server refuses";
    case Fault::ServerBusy: return L"server busy";
    case Fault::ServerSlow: return L"server slow (1 s)";
    case Fault::ServerDrop: return L"server drops after N lines";
    case Fault::ExitNonZero: return L"tool exits 1";
    case Fault::Crash: return L"tool crashes";
    case Fault::Hang: return L"tool silent 3 s";
    case Fault::Password: return L"tool asks a password";
    }
    return L"?";
}

} // namespace

std::wstring FaultName(const Row& row)
{
    return (row.bReport ? L"report: " : L"") + ToolFaultName(row);
}

std::wstring PositionName(Position pos)
{
    return pos == kStart ? L"first line" : pos == kMiddle ? L"middle" : L"last line";
}

std::string Markdown(const std::vector<Row>& rows)
{
    std::ostringstream out;
    out << "| Phase | Fault | First line | Middle | Last line | Why |\n|---|---|---|---|---|---|\n";
    for (const Row& row : rows) {
        out << "| " << Utf8(PhaseName(row.phase)) << " | " << Utf8(FaultName(row)) << " | ";
        const bool bAllSame = SameOutcome(row.at[0], row.at[1]) && SameOutcome(row.at[1], row.at[2]);
        if (bAllSame)
            out << Outcome(row.at[0]) << " | same | same | ";
        else
            for (const Expect& e : row.at)
                out << Outcome(e) << " | ";
        out << Utf8(row.pNote) << " |\n";
    }
    return out.str();
}

} // namespace faultmatrix
