// The DLL as the host sees it: loaded by name, used only through its exports and CRPL. The slots'
// answers through raw virtual tables are checked by abi_host; here what they trace and keep.
#include "credentials/cvex_credentials.h"
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

TEST_F(LoadedPlugin, OnlySystemStateCapabilityIsTrueAndUnknownOnesAreTraced)
{
    EXPECT_TRUE(pPlugin->HasCapability(CAP_SYSTEM_STATE));
    for (int i : {1, 2, 4, 5, 6})
        EXPECT_FALSE(pPlugin->HasCapability(static_cast<enCapabilityType>(i))) << i;
    EXPECT_FALSE(pPlugin->HasCapability(static_cast<enCapabilityType>(0)));
    EXPECT_FALSE(pPlugin->HasCapability(static_cast<enCapabilityType>(7)));
    EXPECT_FALSE(pPlugin->HasCapability(static_cast<enCapabilityType>(-3)));
    std::wstring s = TraceText();
    EXPECT_TRUE(Contains(s, L"CVEX::HasCapability : CVEX::HasCapability : Unknown capability"));
    EXPECT_TRUE(Contains(s, L"CVEX::HasCapability : enCapabilityType = 7"));
    EXPECT_TRUE(Contains(s, L"CVEX::HasCapability : enCapabilityType = -3"));
    EXPECT_TRUE(Contains(s, L"CVEX::HasCapability : Does backup SystemState separately"));
}

TEST_F(LoadedPlugin, OperationsNotYetAvailableFailWithAReason)
{
    FileSpaceList list;
    EXPECT_FALSE(pPlugin->GetFilespaceList(&list));
    std::wstring s;
    pPlugin->GetLastErrorMsg(s);
    EXPECT_NE(s, L"No error");
    EXPECT_TRUE(pPlugin->Fini(true));
    pPlugin->GetLastErrorMsg(s);
    EXPECT_EQ(s, L"No error");
}

TEST(Exports, CredentialsFactoryGivesCredentialsTheHostCanDelete)
{
    auto factory = reinterpret_cast<CredentialsFactoryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"CVEX.DLL"), "CredentialsFactory")));
    ASSERT_NE(factory, nullptr);
    CrplCredentials* p = factory();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->m_sProduct, L"QERN");
    EXPECT_FALSE(p->HasPit());
    delete p;
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
    ASSERT_TRUE(FreeLibrary(hDll));
    ASSERT_EQ(GetModuleHandleW(L"CVEX.DLL"), nullptr) << "the module must really unload";
    ASSERT_NE(LoadLibraryW(L"CVEX.DLL"), nullptr);
    EXPECT_TRUE(Contains(testutil::ReadTextFile(sFolder + L"CVEX_trace.old"), L"enCapabilityType = 4242"));
    EXPECT_FALSE(Contains(testutil::ReadTextFile(sFolder + L"CVEX_trace.log"), L"enCapabilityType = 4242"));
}
