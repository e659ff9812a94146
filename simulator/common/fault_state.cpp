#include "simulator/common/fault_state.h"

#include "simulator/common/ini.h"
#include "simulator/common/text.h"
#include "support/handle.h"
#include "support/win.h"

#include <functional>

namespace nwsim
{
namespace
{

bool Conditional(const Fault& f)
{
    return f.uRunFrom != 0 || f.bOnce;
}

bool AppliesToRun(const Fault& f, const std::string& sTool, const std::string& sMode,
                  const std::vector<std::string>& words)
{
    return (f.sTool == "*" || f.sTool == sTool) && (f.sMode == "any" || f.sMode == sMode) &&
           (f.sFor.empty() || NamedOnCommandLine(f.sFor, words));
}

bool InRange(const Fault& f, unsigned uRun)
{
    return f.uRunFrom == 0 || (uRun >= f.uRunFrom && (f.uRunTo == 0 || uRun <= f.uRunTo));
}

void WriteWholeFile(const std::wstring& sPath, const std::string& sData)
{
    velmora::unique_file file(
        CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD dwWritten = 0;
    if (file && !sData.empty())
        WriteFile(file.get(), sData.data(), static_cast<DWORD>(sData.size()), &dwWritten, nullptr);
}

// Runs fn on the state of the file and writes it back when fn says it changed. The tools of one
// machine share a named mutex, so that two tools started together do not lose a count.
void WithStateFile(const std::wstring& sPath, const std::function<bool(std::map<std::string, FaultCount>&)>& fn)
{
    velmora::unique_handle_null lock(CreateMutexW(nullptr, FALSE, L"Local\\nwsim-fault-state"));
    bool bLocked = lock && WaitForSingleObject(lock.get(), 10000) == WAIT_OBJECT_0;
    std::string sText;
    ReadWholeFile(sPath, sText);
    std::map<std::string, FaultCount> state = ParseFaultState(sText);
    if (fn(state))
        WriteWholeFile(sPath, FormatFaultState(state));
    if (bLocked)
        ReleaseMutex(lock.get());
}

} // namespace

std::map<std::string, FaultCount> ParseFaultState(const std::string& sText)
{
    std::map<std::string, FaultCount> state;
    for (const std::string& sLine : Lines(sText)) {
        size_t first = sLine.find(' ');
        size_t second = first == std::string::npos ? first : sLine.find(' ', first + 1);
        unsigned long long ullRuns = 0;
        if (second == std::string::npos || !ParseUnsigned(sLine.substr(0, first), ullRuns) || ullRuns > 0xFFFFFFFF)
            continue;
        std::string sFired = sLine.substr(first + 1, second - first - 1);
        if (sFired != "0" && sFired != "1")
            continue;
        state[sLine.substr(second + 1)] = {static_cast<unsigned>(ullRuns), sFired == "1"};
    }
    return state;
}

std::string FormatFaultState(const std::map<std::string, FaultCount>& state)
{
    std::string sText;
    for (const auto& [key, count] : state)
        sText.append(std::to_string(count.uRuns)).append(count.bFired ? " 1 " : " 0 ").append(key).append("\r\n");
    return sText;
}

bool ArmFaults(std::vector<Fault>& faults, std::map<std::string, FaultCount>& state, const std::string& sTool,
               const std::string& sMode, const std::vector<std::string>& words)
{
    bool bChanged = false;
    for (Fault& f : faults) {
        if (!Conditional(f)) {
            f.bArmed = f.sFor.empty() || NamedOnCommandLine(f.sFor, words);
            continue;
        }
        if (!AppliesToRun(f, sTool, sMode, words)) {
            f.bArmed = false;
            continue;
        }
        FaultCount& count = state[f.sKey];
        ++count.uRuns;
        bChanged = true;
        f.bArmed = InRange(f, count.uRuns) && !(f.bOnce && count.bFired);
    }
    return bChanged;
}

void ArmFaultsWithFile(std::vector<Fault>& faults, const std::wstring& sStatePath, const std::string& sTool,
                       const std::string& sMode, const std::vector<std::string>& words)
{
    bool bAnyConditional = false;
    for (const Fault& f : faults)
        bAnyConditional |= Conditional(f);
    if (!bAnyConditional) {
        std::map<std::string, FaultCount> none;
        ArmFaults(faults, none, sTool, sMode, words);
        return;
    }
    WithStateFile(sStatePath, [&](std::map<std::string, FaultCount>& state) {
        return ArmFaults(faults, state, sTool, sMode, words);
    });
}

std::wstring FiredLogPath(const std::wstring& sStatePath)
{
    const size_t slash = sStatePath.find_last_of(L'\\');
    return (slash == std::wstring::npos ? std::wstring(L".") : sStatePath.substr(0, slash)) + L"\\nwsim.fired";
}

void RecordFiring(const std::wstring& sStatePath, const Fault& f)
{
    velmora::unique_handle_null lock(CreateMutexW(nullptr, FALSE, L"Local\\nwsim-fault-state"));
    const bool bLocked = lock && WaitForSingleObject(lock.get(), 10000) == WAIT_OBJECT_0;
    velmora::unique_file file(CreateFileW(FiredLogPath(sStatePath).c_str(), FILE_APPEND_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string sLine = "fault " + f.sKey + "\r\n";
    DWORD dwWritten = 0;
    if (file)
        WriteFile(file.get(), sLine.data(), static_cast<DWORD>(sLine.size()), &dwWritten, nullptr);
    if (bLocked)
        ReleaseMutex(lock.get());
}

void MarkFaultFired(const std::wstring& sStatePath, const Fault& f)
{
    WithStateFile(sStatePath, [&](std::map<std::string, FaultCount>& state) {
        state[f.sKey].bFired = true;
        return true;
    });
}

} // namespace nwsim
