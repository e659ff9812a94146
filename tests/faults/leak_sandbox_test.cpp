// Many cycles of Init, listing, the restore of a small filespace and Fini on one object keep the
// process's handle count and private bytes flat: after a warm-up cycle, the later cycles hold no
// more than the early ones but for a small fixed slack. The suite runs the cycles that fit its
// time box; CVEX_LEAK_CYCLES=N in the environment runs N cycles whatever they take.
#include "hostapi/message_ids.h"
#include "tests/common/test_util.h"
#include "tests/restore/restore_host.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <numeric>

using namespace restoretest;

namespace
{

const ULONGLONG kTimeBoxMs = 60000;         // in the suite, no cycle starts after this
const unsigned kMaxWindow = 10;             // cycles averaged at the start and at the end
const double kHandleSlack = 8;              // handles
const double kPrivateSlack = 1024.0 * 1024; // bytes

// The cycles asked for in the environment; 0 when the time box decides.
unsigned CyclesAsked()
{
    wchar_t wsz[16] = {};
    if (GetEnvironmentVariableW(L"CVEX_LEAK_CYCLES", wsz, 16) == 0)
        return 0;
    return static_cast<unsigned>(std::wcstoul(wsz, nullptr, 10));
}

struct Usage {
    double dHandles;
    double dPrivate;
};

// Under Wine GetProcessHandleCount answers 0: the handles are then counted by asking every
// handle value of the table's first part for its flags.
double HandleCount()
{
    DWORD dwHandles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &dwHandles) && dwHandles != 0)
        return dwHandles;
    unsigned n = 0;
    for (uintptr_t v = 4; v < 0x40000; v += 4) {
        DWORD dwFlags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(v), &dwFlags))
            ++n;
    }
    return n;
}

// The values of the open handles of the table's first part.
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

// The object type of a handle ("Event", "File", ...), for the report of handles that stayed.
std::wstring HandleType(uintptr_t v)
{
    using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static auto pQuery = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    alignas(8) unsigned char buf[1024] = {};
    ULONG ulLen = 0;
    if (!pQuery || pQuery(reinterpret_cast<HANDLE>(v), 2 /* type information */, buf, sizeof buf, &ulLen) != 0)
        return L"?";
    const auto* pName = reinterpret_cast<const UNICODE_STRING*>(buf);
    return std::wstring(pName->Buffer, pName->Length / sizeof(wchar_t));
}

// Wine gives PrivateUsage as 0; its PagefileUsage counts the same committed private memory.
Usage Measure()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    const SIZE_T nPrivate = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
    return {HandleCount(), static_cast<double>(nPrivate)};
}

Usage Mean(std::vector<Usage>::const_iterator first, std::vector<Usage>::const_iterator last)
{
    Usage sum = std::accumulate(first, last, Usage{0, 0}, [](Usage a, const Usage& b) {
        return Usage{a.dHandles + b.dHandles, a.dPrivate + b.dPrivate};
    });
    const double n = static_cast<double>(last - first);
    return {sum.dHandles / n, sum.dPrivate / n};
}

class LeakCycles : public RestoreHost
{
protected:
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
        ASSERT_TRUE(m_pPlugin->Fini(true));
    }
};

} // namespace

TEST_F(LeakCycles, CyclesOfTheFourOperationsKeepHandlesAndPrivateBytesFlat)
{
    UseStore(L"standard-w");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    const std::wstring sFilespace = SmallestFilespace();
    ASSERT_FALSE(sFilespace.empty());
    ASSERT_TRUE(m_pPlugin->Fini(true));
    ASSERT_NO_FATAL_FAILURE(Cycle(sFilespace)); // warm-up: first-time allocations of the module and Wine
    const std::vector<uintptr_t> before = OpenHandles();
    const unsigned uiAsked = CyclesAsked();
    std::vector<Usage> usage;
    const ULONGLONG ullStart = GetTickCount64();
    while (uiAsked ? usage.size() < uiAsked : GetTickCount64() - ullStart < kTimeBoxMs) {
        ASSERT_NO_FATAL_FAILURE(Cycle(sFilespace));
        usage.push_back(Measure());
    }
    const ULONGLONG ullElapsed = GetTickCount64() - ullStart;
    const size_t nWindow = std::min<size_t>(kMaxWindow, std::max<size_t>(1, usage.size() / 3));
    std::printf("%u cycles (4 operations each) on %ls in %llu ms, windows of %u\n", static_cast<unsigned>(usage.size()),
                sFilespace.c_str(), ullElapsed, static_cast<unsigned>(nWindow));
    for (size_t i = 0; i < usage.size(); ++i)
        std::printf("cycle %u: handles %.0f, private bytes %.0f\n", static_cast<unsigned>(i + 1), usage[i].dHandles,
                    usage[i].dPrivate);
    ASSERT_GE(usage.size(), 3u) << "too few cycles to compare";
    ASSERT_GT(usage[0].dHandles, 0) << "no handle count";
    ASSERT_GT(usage[0].dPrivate, 0) << "no private bytes";
    const Usage first = Mean(usage.begin(), usage.begin() + nWindow);
    const Usage last = Mean(usage.end() - nWindow, usage.end());
    std::printf("handles %.1f -> %.1f, private bytes %.0f -> %.0f\n", first.dHandles, last.dHandles, first.dPrivate,
                last.dPrivate);
    EXPECT_LE(last.dHandles, first.dHandles + kHandleSlack) << "handles grow";
    if (last.dHandles > first.dHandles + kHandleSlack) {
        std::map<std::wstring, unsigned> kept;
        const std::vector<uintptr_t> after = OpenHandles();
        for (uintptr_t v : after)
            if (!std::binary_search(before.begin(), before.end(), v))
                ++kept[HandleType(v)];
        for (const auto& [sType, n] : kept)
            std::printf("handles opened since the warm-up and still open: %u of type %ls\n", n, sType.c_str());
    }
    EXPECT_LE(last.dPrivate, first.dPrivate + kPrivateSlack) << "private bytes grow";
    EXPECT_TRUE(NoRecoverRunning());
}
