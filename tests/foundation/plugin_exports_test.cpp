// The DLL as the host sees it: loaded by name, used only through its exports and CRPL.
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

TEST_F(LoadedPlugin, UnimplementedSlotsReturnTrueWithoutTrace)
{
    std::wstring before = TraceText();
    EXPECT_TRUE(pPlugin->Unused9());
    EXPECT_TRUE(pPlugin->Unused10());
    EXPECT_TRUE(pPlugin->Unused11());
    EXPECT_TRUE(pPlugin->Unused12());
    EXPECT_TRUE(pPlugin->Unused13());
    EXPECT_TRUE(pPlugin->Unused14());
    EXPECT_TRUE(pPlugin->Unused16());
    EXPECT_TRUE(pPlugin->Unused17());
    EXPECT_TRUE(pPlugin->Unused20());
    EXPECT_TRUE(pPlugin->Unused21());
    EXPECT_TRUE(pPlugin->Unused22());
    EXPECT_EQ(TraceText(), before);
}

TEST_F(LoadedPlugin, PropertiesGiveBannerAndVersionAndUnknownIdsLeaveOutAlone)
{
    std::wstring s;
    EXPECT_EQ(pPlugin->GetModuleProperty(1, s), 0u);
    EXPECT_EQ(s.rfind(L"Velmora HALVO for NetWorker (CVEXImpl) created on ", 0), 0u) << testing::PrintToString(s);
    EXPECT_TRUE(Contains(s, L" at ")); // narrow build date and time, not garbage
    EXPECT_TRUE(Contains(s, velmora::widen(__DATE__).substr(0, 3)));
    EXPECT_EQ(pPlugin->GetModuleProperty(2, s), 0u);
    EXPECT_TRUE(Contains(s, L" (build ")) << testing::PrintToString(s);
    EXPECT_NE(s, L"Error");
    s = L"unchanged";
    EXPECT_EQ(pPlugin->GetModuleProperty(3, s), 1u);
    EXPECT_EQ(s, L"unchanged");
}

TEST_F(LoadedPlugin, LastErrorIsNoErrorBeforeAnyFailure)
{
    std::wstring s;
    pPlugin->GetLastErrorMsg(s);
    EXPECT_EQ(s, L"No error");
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
