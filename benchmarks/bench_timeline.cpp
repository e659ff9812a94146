#include "benchmarks/bench_timeline.h"

#include <cwchar>

namespace bench
{

namespace
{

// "[YYYY-MM-DD HH:MM:SS.mmm]:TTTT:[L]: body"; false for a line of another shape.
bool ParseEvent(const std::wstring& sLine, TraceEvent& event)
{
    unsigned uiYear = 0, uiMonth = 0, uiDay = 0, uiHour = 0, uiMinute = 0, uiSecond = 0, uiMs = 0;
    int nHeader = 0;
    if (std::swscanf(sLine.c_str(), L"[%u-%u-%u %u:%u:%u.%u]:%*x:[%*c]: %n", &uiYear, &uiMonth, &uiDay, &uiHour,
                     &uiMinute, &uiSecond, &uiMs, &nHeader) != 7 ||
        nHeader == 0)
        return false;
    event.dMs = ((uiHour * 60.0 + uiMinute) * 60.0 + uiSecond) * 1000.0 + uiMs;
    event.sBody = sLine.substr(static_cast<size_t>(nHeader));
    return true;
}

bool Begins(const std::wstring& s, const std::wstring& sStart)
{
    return s.compare(0, sStart.size(), sStart) == 0;
}

} // namespace

std::vector<TraceEvent> TraceEvents(const std::wstring& sTrace)
{
    std::vector<TraceEvent> events;
    size_t i = 0;
    while (i < sTrace.size()) {
        size_t iEnd = sTrace.find(L'\n', i);
        if (iEnd == std::wstring::npos)
            iEnd = sTrace.size();
        TraceEvent event;
        if (ParseEvent(sTrace.substr(i, iEnd - i), event))
            events.push_back(event);
        i = iEnd + 1;
    }
    return events;
}

std::vector<std::vector<double>> CommandSteps(const std::vector<TraceEvent>& events,
                                              const std::vector<std::wstring>& marks)
{
    std::vector<std::vector<double>> commands;
    if (marks.empty() || events.empty())
        return commands;
    std::vector<size_t> starts;
    for (size_t i = 0; i < events.size(); ++i)
        if (Begins(events[i].sBody, marks[0]))
            starts.push_back(i);
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t iLimit = k + 1 < starts.size() ? starts[k + 1] : events.size() - 1;
        std::vector<double> at{events[starts[k]].dMs};
        size_t i = starts[k];
        for (size_t m = 1; m < marks.size() && i < iLimit; ++m) {
            while (++i < iLimit && !Begins(events[i].sBody, marks[m])) {
            }
            if (i < iLimit)
                at.push_back(events[i].dMs);
        }
        if (at.size() != marks.size())
            continue;
        at.push_back(events[iLimit].dMs);
        std::vector<double> steps;
        for (size_t m = 1; m < at.size(); ++m)
            steps.push_back(at[m] - at[m - 1]);
        commands.push_back(steps);
    }
    return commands;
}

} // namespace bench
