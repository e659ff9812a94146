// The runtime stand-ins seen from a host: a DLL built with them (runtime_probe.dll) is loaded and
// unloaded, its statics raced by threads, its exceptions thrown and caught inside it.
#include "runtime_probe.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

namespace
{
std::vector<std::string> g_events;
}

extern "C" __declspec(dllexport) void __cdecl RuntimeProbeRecord(const char* pEvent)
{
    g_events.push_back(pEvent);
}

namespace
{
// The probe DLL, loaded for the object's life.
struct ProbeModule {
    HMODULE hModule = LoadLibraryW(L"runtime_probe.dll");
    ProbeModule() = default;
    ProbeModule(const ProbeModule&) = delete;
    ~ProbeModule()
    {
        if (hModule)
            FreeLibrary(hModule);
    }
    bool Loaded() const { return hModule != nullptr; }
    template <typename Fn> Fn Get(const char* pName) const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(hModule, pName)));
    }
};

using Events = std::vector<std::string>;
} // namespace

TEST(RuntimeStandIns, GlobalsAreBuiltInOrderAtLoadAndDestroyedInReverseAtUnloadEachTime)
{
    g_events.clear();
    {
        ProbeModule probe;
        ASSERT_TRUE(probe.Loaded());
        EXPECT_EQ(g_events, (Events{"construct first", "construct second"}));
        probe.Get<void(__cdecl*)()>("ProbeTouchLocal")();
        probe.Get<void(__cdecl*)()>("ProbeTouchLocal")();
        EXPECT_EQ(g_events.size(), 3u) << "a function-local static was built twice";
    }
    EXPECT_EQ(g_events, (Events{"construct first", "construct second", "construct local", "destroy local",
                                "destroy second", "destroy first"}));

    // A second load is a fresh module: everything runs again, once.
    g_events.clear();
    {
        ProbeModule probe;
        ASSERT_TRUE(probe.Loaded());
    }
    EXPECT_EQ(g_events, (Events{"construct first", "construct second", "destroy second", "destroy first"}));
}

TEST(RuntimeStandIns, AStaticReachedByManyThreadsAtOnceIsBuiltOnce)
{
    ProbeModule probe;
    ASSERT_TRUE(probe.Loaded());
    auto pSlowStatic = probe.Get<ProbeSlowStaticFn>("ProbeSlowStatic");
    HANDLE hGo = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(hGo, nullptr);
    std::vector<const void*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] {
            WaitForSingleObject(hGo, INFINITE);
            seen[i] = pSlowStatic();
        });
    SetEvent(hGo);
    for (std::thread& t : threads)
        t.join();
    CloseHandle(hGo);
    EXPECT_EQ(probe.Get<ProbeCountFn>("ProbeSlowBuilds")(), 1);
    for (const void* p : seen)
        EXPECT_EQ(p, seen[0]);
    EXPECT_EQ(*static_cast<const int*>(seen[0]), 42) << "a thread saw the static before it was built";
}

// A static whose constructor threw is tried again and, once built, never again; exceptions thrown in
// the module are caught there by type; thread-local data is per thread.
TEST(RuntimeStandIns, ThrowingStaticsExceptionsAndThreadLocals)
{
    ProbeModule probe;
    ASSERT_TRUE(probe.Loaded());
    auto pRetry = probe.Get<ProbeRetryStaticFn>("ProbeRetryStatic");
    EXPECT_EQ(pRetry(2), -1);
    EXPECT_EQ(pRetry(2), -2);
    EXPECT_EQ(pRetry(2), 3);
    EXPECT_EQ(pRetry(2), 3) << "the built static was built again";
    auto pThrow = probe.Get<ProbeThrowAndCatchFn>("ProbeThrowAndCatch");
    EXPECT_STREQ(pThrow(0), "std::exception: runtime error from the probe");
    EXPECT_STREQ(pThrow(1), "ProbeError 7");
    EXPECT_STREQ(pThrow(2), "something else");
    EXPECT_STREQ(pThrow(3), "nothing thrown");
    auto pAdd = probe.Get<ProbeThreadLocalFn>("ProbeThreadLocal");
    EXPECT_EQ(pAdd(5), 5);
    int iOther = -1;
    std::thread([&] { iOther = pAdd(1); }).join();
    EXPECT_EQ(iOther, 1);
    EXPECT_EQ(pAdd(1), 6);
}
