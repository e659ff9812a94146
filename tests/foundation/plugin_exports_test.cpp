// The DLL as the host sees it: loaded by name, used only through its exports and CRPL. The slots'
// answers through raw virtual tables are checked by abi_host; here what they trace and keep.
#include "plugin/crpl.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <memory>

using testutil::Contains;

namespace
{

struct LoadedPlugin : ::testing::Test {
    HMODULE hDll = GetModuleHandleW(L"CVEX.DLL");
    CRPL* pPlugin = nullptr;
    void SetUp() override
    {
        ASSERT_NE(hDll, nullptr);
        auto factory = reinterpret_cast<FactoryFn>(reinterpret_cast<void*>(GetProcAddress(hDll, "Factory")));
        ASSERT_NE(factory, nullptr);
        pPlugin = factory();
        ASSERT_NE(pPlugin, nullptr);
    }
    void TearDown() override { delete pPlugin; }
    static std::wstring TraceText()
    {
        return testutil::ReadTextFile(testutil::ProgramFolder() + L"Logfiles\\CVEX_trace.log");
    }
};

} // namespace

// The answers themselves are checked by abi_host; here what is traced.
TEST_F(LoadedPlugin, CapabilitiesAreTracedAndUnknownOnesNamed)
{
    for (int i : {3, 7, -3})
        pPlugin->HasCapability(static_cast<enCapabilityType>(i));
    std::wstring s = TraceText();
    EXPECT_TRUE(Contains(s, L"CVEX::HasCapability : CVEX::HasCapability : Unknown capability"));
    EXPECT_TRUE(Contains(s, L"CVEX::HasCapability : enCapabilityType = 7"));
    EXPECT_TRUE(Contains(s, L"CVEX::HasCapability : enCapabilityType = -3"));
    EXPECT_TRUE(Contains(s, L"CVEX::HasCapability : Does backup SystemState separately"));
}

TEST(Exports, VersionLogIsWrittenBesideTheTraces)
{
    std::wstring s = testutil::ReadTextFile(testutil::ProgramFolder() + L"Logfiles\\Version.log");
    EXPECT_TRUE(Contains(s, L"[CVEX.DLL]"));
    EXPECT_TRUE(Contains(s, L"Version="));
}

TEST(Exports, ASecondLoadOfTheModuleKeepsThePreviousTraceAsOld)
{
    HMODULE hDll = GetModuleHandleW(L"CVEX.DLL");
    ASSERT_NE(hDll, nullptr);
    {
        auto factory = reinterpret_cast<FactoryFn>(reinterpret_cast<void*>(GetProcAddress(hDll, "Factory")));
        std::unique_ptr<CRPL> plugin(factory());
        plugin->HasCapability(static_cast<enCapabilityType>(4242)); // a marker line in this run's trace
    }
    std::wstring sFolder = testutil::ProgramFolder() + L"Logfiles\\";
    ASSERT_TRUE(Contains(testutil::ReadTextFile(sFolder + L"CVEX_trace.log"), L"enCapabilityType = 4242"));
    DeleteFileW((sFolder + L"CVEX_trace.old").c_str()); // left by an earlier run
    ASSERT_TRUE(FreeLibrary(hDll));
    ASSERT_EQ(GetModuleHandleW(L"CVEX.DLL"), nullptr) << "the module must really unload";
    ASSERT_NE(LoadLibraryW(L"CVEX.DLL"), nullptr);
    EXPECT_TRUE(Contains(testutil::ReadTextFile(sFolder + L"CVEX_trace.old"), L"enCapabilityType = 4242"));
    EXPECT_FALSE(Contains(testutil::ReadTextFile(sFolder + L"CVEX_trace.log"), L"enCapabilityType = 4242"));
}
