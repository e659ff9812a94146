// Cycles of Init, listing, a restore, an aborted restore, a failing restore, PrepareSystem and
// Fini on one object keep the process's handles and private bytes flat. The module's handles
// are counted after each cycle and a line is fitted through the counts after the warm-up: its
// slope must stay below half a handle a cycle, so that one handle left open a cycle is seen over
// Wine's own noise. Under Wine every console the engine makes leaves a handle of its console
// host process and one of that process's thread open in this process; those are told by what
// they point at, bounded by the consoles the engine made, and not counted as the module's.
// CVEX_LEAK_CYCLES=N runs N cycles.
#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "tests/common/sandbox_host.h"
#include "tests/common/test_util.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>

using namespace sandboxtest;

namespace
{

const unsigned kDefaultCycles = 4;
const double kMaxHandleSlope = 0.5;          // handles a cycle
const double kMaxPrivateSlope = 64.0 * 1024; // bytes a cycle

unsigned CyclesAsked()
{
    wchar_t wsz[16] = {};
    if (GetEnvironmentVariableW(L"CVEX_LEAK_CYCLES", wsz, 16) == 0)
        return kDefaultCycles;
    return static_cast<unsigned>(std::wcstoul(wsz, nullptr, 10));
}

// The consoles the engine made: its console seam counts each one that AllocConsole gave.
std::atomic<unsigned> g_uiConsolesMade{0};
BOOL CountedAllocConsole()
{
    const BOOL bMade = AllocConsole();
    if (bMade)
        ++g_uiConsolesMade;
    return bMade;
}

// Under Wine GetProcessHandleCount answers 0: the open handles are found by asking every handle
// value of the table's first part for its flags.
std::vector<uintptr_t> OpenHandles()
{
    std::vector<uintptr_t> open;
    for (uintptr_t v = 4; v < 0x40000; v += 4) {
        DWORD dwFlags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(v), &dwFlags))
            open.push_back(v);
    }
    return open;
}

// The object type of a handle ("Event", "Process", ...).
std::wstring HandleType(HANDLE h)
{
    using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static auto pQuery = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    alignas(8) unsigned char buf[1024] = {};
    ULONG ulLen = 0;
    if (!pQuery || pQuery(h, 2 /* type information */, buf, sizeof buf, &ulLen) != 0)
        return L"?";
    const auto* pName = reinterpret_cast<const UNICODE_STRING*>(buf);
    return std::wstring(pName->Buffer, pName->Length / sizeof(wchar_t));
}

// The program file name (lower case, no folder) of a process; it answers for an ended process
// too while a handle holds it.
std::wstring ImageOf(HANDLE hProcess)
{
    wchar_t wsz[MAX_PATH] = {};
    DWORD dwLen = MAX_PATH;
    if (!QueryFullProcessImageNameW(hProcess, 0, wsz, &dwLen))
        return L"?";
    std::wstring s(wsz, dwLen);
    s = s.substr(s.find_last_of(L'\\') + 1);
    std::transform(s.begin(), s.end(), s.begin(), ::towlower);
    return s;
}

std::wstring ImageOfProcessId(DWORD dwPid)
{
    velmora::unique_handle_null hProcess(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwPid));
    return hProcess ? ImageOf(hProcess.get()) : L"?";
}

// What an open handle points at: its type and, for a process or a thread, the program of the
// process ("Process conhost.exe", "Thread recover.exe", "Event").
std::wstring Target(uintptr_t v)
{
    const HANDLE h = reinterpret_cast<HANDLE>(v);
    const std::wstring sType = HandleType(h);
    if (sType == L"Process")
        return sType + L" " + ImageOf(h);
    if (sType == L"Thread") {
        const DWORD dwPid = GetProcessIdOfThread(h);
        return sType + L" " + (dwPid == GetCurrentProcessId() ? L"(this process)" : ImageOfProcessId(dwPid));
    }
    return sType;
}

// The handles of one moment, Wine's console leftovers apart from the rest.
struct Census {
    unsigned uiAll = 0;
    unsigned uiConsoleProcesses = 0; // of Wine's console host
    unsigned uiConsoleThreads = 0;   // of a thread of Wine's console host
    double Others() const { return uiAll - uiConsoleProcesses - uiConsoleThreads; }
};

Census TakeCensus()
{
    Census c;
    for (uintptr_t v : OpenHandles()) {
        ++c.uiAll;
        const std::wstring sTarget = Target(v);
        if (sTarget == L"Process conhost.exe")
            ++c.uiConsoleProcesses;
        else if (sTarget == L"Thread conhost.exe")
            ++c.uiConsoleThreads;
    }
    return c;
}

struct Usage {
    Census census;
    double dPrivate;
    unsigned uiConsolesMade; // so far
};

// Wine gives PrivateUsage as 0; its PagefileUsage counts the same committed private memory.
Usage Measure()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    const SIZE_T nPrivate = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
    return {TakeCensus(), static_cast<double>(nPrivate), g_uiConsolesMade.load()};
}

// The least-squares slope of a field over the cycles: its growth a cycle.
double SlopeOf(const std::vector<Usage>& usage, double (*field)(const Usage&))
{
    const double n = static_cast<double>(usage.size()), dMeanX = (n - 1) / 2;
    double dMeanY = 0;
    for (const Usage& u : usage)
        dMeanY += field(u) / n;
    double dXY = 0, dXX = 0;
    for (size_t i = 0; i < usage.size(); ++i) {
        dXY += (static_cast<double>(i) - dMeanX) * (field(usage[i]) - dMeanY);
        dXX += (static_cast<double>(i) - dMeanX) * (static_cast<double>(i) - dMeanX);
    }
    return dXX > 0 ? dXY / dXX : 0;
}
double OtherHandles(const Usage& u)
{
    return u.census.Others();
}
double PrivateBytes(const Usage& u)
{
    return u.dPrivate;
}

class LeakCycles : public SandboxHost
{
protected:
    void SetUp() override
    {
        SandboxHost::SetUp();
        if (HasFatalFailure())
            return;
        Impl().Console().TestSeams().pfnAllocConsole = &CountedAllocConsole;
    }
    // The smallest listed filespace of a drive the machine has.
    std::wstring SmallestFilespace()
    {
        std::wstring sBest;
        unsigned uiBest = ~0u;
        for (const FileSpace& fs : m_list) {
            if (GetFileAttributesW(fs.sFsName.c_str()) == INVALID_FILE_ATTRIBUTES)
                continue;
            unsigned uiObjects = TotalsOf(m_sStore, fs.sFsName).uiObjects;
            if (uiObjects > 0 && uiObjects < uiBest) {
                uiBest = uiObjects;
                sBest = fs.sFsName;
            }
        }
        return sBest;
    }
    void Cycle(const std::wstring& sFilespace)
    {
        ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        ASSERT_TRUE(Restore(sFilespace)) << testing::PrintToString(LastError());
        AbortAt(PK_OBJECT_RESTORED, 1);
        EXPECT_FALSE(Restore(sFilespace)) << "the host aborted";
        AbortAt(0, 0);
        SetFaults({L"recover restore object:1 say ddcl"});
        EXPECT_FALSE(Restore(sFilespace)) << "recover could not open a file";
        SetFaults({});
        m_pPlugin->PrepareSystem();
        ASSERT_TRUE(m_pPlugin->Fini(true));
    }
};

} // namespace

TEST_F(LeakCycles, CyclesOfEveryOperationKeepHandlesAndPrivateBytesFlat)
{
    UseStore(L"standard-w");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    const std::wstring sFilespace = SmallestFilespace();
    ASSERT_FALSE(sFilespace.empty());
    ASSERT_TRUE(m_pPlugin->Fini(true));
    ASSERT_NO_FATAL_FAILURE(Cycle(sFilespace)); // warm-up: first-time allocations of the module and Wine
    ASSERT_GT(g_uiConsolesMade.load(), 0u) << "the engine's consoles are not counted";
    const Usage start = Measure();
    const unsigned uiCycles = CyclesAsked();
    std::vector<Usage> usage;
    const ULONGLONG ullStart = GetTickCount64();
    while (usage.size() < uiCycles) {
        ASSERT_NO_FATAL_FAILURE(Cycle(sFilespace));
        usage.push_back(Measure());
    }
    const ULONGLONG ullElapsed = GetTickCount64() - ullStart;
    std::printf("%u cycles (7 operations each) on %ls in %llu ms\n", static_cast<unsigned>(usage.size()),
                sFilespace.c_str(), ullElapsed);
    for (size_t i = 0; i < usage.size(); ++i) {
        const Usage& u = usage[i];
        std::printf("cycle %u: handles %u (console host %u, its threads %u, others %.0f), consoles made %u, private "
                    "bytes %.0f\n",
                    static_cast<unsigned>(i + 1), u.census.uiAll, u.census.uiConsoleProcesses,
                    u.census.uiConsoleThreads, u.census.Others(), u.uiConsolesMade - start.uiConsolesMade, u.dPrivate);
    }
    ASSERT_GE(usage.size(), 4u) << "too few cycles to fit";
    ASSERT_GT(usage[0].census.uiAll, 0u) << "no handle count";
    ASSERT_GT(usage[0].dPrivate, 0) << "no private bytes";
    // The console leftovers: no more than one process and one thread handle per console made.
    const Usage& end = usage.back();
    // (Counted from the start: tests run before in this process leave their own.)
    const unsigned uiConsoles = end.uiConsolesMade - start.uiConsolesMade;
    EXPECT_LE(end.census.uiConsoleProcesses - start.census.uiConsoleProcesses, uiConsoles)
        << "more console host handles than consoles";
    EXPECT_LE(end.census.uiConsoleThreads - start.census.uiConsoleThreads, uiConsoles)
        << "more console host threads than consoles";
    const double dHandles = SlopeOf(usage, &OtherHandles), dPrivate = SlopeOf(usage, &PrivateBytes);
    std::printf("growth a cycle: the module's handles %.2f, private bytes %.0f\n", dHandles, dPrivate);
    EXPECT_LT(dHandles, kMaxHandleSlope) << "handles grow";
    EXPECT_LT(dPrivate, kMaxPrivateSlope) << "private bytes grow";
    EXPECT_TRUE(NoRecoverRunning());
}
