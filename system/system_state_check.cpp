#include "system/system_state_check.h"

#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "trace/trace.h"

#include <algorithm>

namespace
{

struct Member {
    unsigned eType;
    const wchar_t* pName;
};
const Member kVssSet[] = {{SST_VSS_SYSTEM_BOOT, L"VSS SYSTEM BOOT:\\"},
                          {SST_VSS_SYSTEM_FILESET, L"VSS SYSTEM FILESET:\\"},
                          {SST_VSS_SYSTEM_SERVICES, L"VSS SYSTEM SERVICES:\\"}};
const Member kLegacySet[] = {
    {SST_SYSTEM_DB, L"SYSTEM DB"}, {SST_SYSTEM_FILES, L"SYSTEM FILES"}, {SST_SYSTEM_STATE, L"SYSTEM STATE"}};

bool Has(const std::vector<SystemStateEntry>& entries, unsigned eType)
{
    return std::any_of(entries.begin(), entries.end(), [eType](const SystemStateEntry& e) { return e.eType == eType; });
}

// "A, B and C", "A and B", or "A".
std::wstring Enumerate(const std::vector<std::wstring>& names)
{
    std::wstring s;
    for (size_t i = 0; i < names.size(); ++i)
        s += (i == 0 ? L"" : i + 1 == names.size() ? L" and " : L", ") + names[i];
    return s;
}

// The verdict on one set of three, of which at least one member is present.
systemstate::Verdict JudgeSet(const std::vector<SystemStateEntry>& entries, const Member (&set)[3])
{
    std::vector<std::wstring> found, missing;
    for (const Member& m : set)
        (Has(entries, m.eType) ? found : missing).push_back(m.pName);
    systemstate::Verdict v;
    v.bComplete = missing.empty();
    v.names = found;
    v.names.insert(v.names.end(), missing.begin(), missing.end());
    if (v.bComplete) {
        v.sReason = L" Found " + Enumerate(found) + L" ";
    } else if (found.size() == 2) {
        v.uiMessage = MSG_SYSTEM_STATE_ONE_MISSING;
        v.sReason = L" Found " + Enumerate(found) + L", but " + missing[0] + L" is missing ";
    } else {
        v.uiMessage = MSG_SYSTEM_STATE_TWO_MISSING;
        v.sReason = L" Found " + found[0] + L" but " + Enumerate(missing) + L" are missing ";
    }
    return v;
}

bool AnyOf(const std::vector<SystemStateEntry>& entries, const Member (&set)[3])
{
    return std::any_of(std::begin(set), std::end(set), [&entries](const Member& m) { return Has(entries, m.eType); });
}

} // namespace

namespace systemstate
{

Verdict JudgeSystemState(const std::vector<SystemStateEntry>& entries)
{
    if (Has(entries, SST_DISASTER_RECOVERY)) {
        Verdict v;
        v.bComplete = true;
        v.sReason = L" Found DISASTER RECOVERY:\\ ";
        return v;
    }
    if (AnyOf(entries, kVssSet))
        return JudgeSet(entries, kVssSet);
    if (AnyOf(entries, kLegacySet))
        return JudgeSet(entries, kLegacySet);
    Verdict v;
    v.uiMessage = MSG_NO_SYSTEM_STATE;
    v.sReason = L"No system state";
    return v;
}

} // namespace systemstate

bool CVEXImpl::CheckSystemState()
{
    const wchar_t* fn = L"CVEXImpl::CheckSystemState";
    CvexTrace().Start(fn);
    systemstate::Verdict v = systemstate::JudgeSystemState(m_SystemState);
    if (v.bComplete) {
        CvexTrace().Line(TL_VERBOSE, fn, (L"... ending(" + v.sReason + L")").c_str());
        return true;
    }
    if (v.uiMessage == MSG_NO_SYSTEM_STATE)
        LogStdMsg(ML_ERROR, v.uiMessage);
    else
        LogVarMsg(ML_ERROR, v.uiMessage, v.names[0].c_str(), v.names[1].c_str(), v.names[2].c_str());
    CvexTrace().EndFail(fn, v.sReason.c_str());
    return false;
}
