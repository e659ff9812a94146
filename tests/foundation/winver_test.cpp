#include "support/handle.h"
#include "support/registry.h"
#include "support/singleton.h"
#include "support/winver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

using velmora::winver;
using velmora::WinVerFacts;

namespace
{

WinVerFacts Facts(DWORD dwMajor, DWORD dwMinor, BYTE byProductType, bool bPE, bool b64Bit)
{
    WinVerFacts f;
    f.dwMajor = dwMajor;
    f.dwMinor = dwMinor;
    f.byProductType = byProductType;
    f.bPE = bPE;
    f.b64Bit = b64Bit;
    f.sProductName = L"Windows";
    return f;
}

const BYTE kWorkstation = VER_NT_WORKSTATION;
const BYTE kServer = VER_NT_SERVER;

} // namespace

TEST(WinVerKinds, EveryRowOfTheKindTableThroughApply)
{
    struct Row {
        DWORD dwMajor, dwMinor, dwPE, dwWorkstation, dwServer;
    };
    // 0 in the PE column: no preinstallation kind of its own, the workstation kind applies.
    const Row rows[] = {{5, 0, 2, 2, 3},  {5, 1, 4, 4, 4},    {5, 2, 16, 4, 5},   {6, 0, 17, 6, 7},
                        {6, 1, 18, 9, 8}, {6, 2, 19, 10, 11}, {6, 3, 20, 12, 13}, {10, 0, 21, 14, 15}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.dwMajor << "." << r.dwMinor);
        winver w;
        w.apply(Facts(r.dwMajor, r.dwMinor, kWorkstation, false, false));
        EXPECT_EQ(w.kind(), r.dwWorkstation);
        EXPECT_TRUE(w.isWorkstation());
        w.apply(Facts(r.dwMajor, r.dwMinor, kServer, false, false));
        EXPECT_EQ(w.kind(), r.dwServer);
        EXPECT_FALSE(w.isWorkstation());
        // A preinstallation environment counts as a workstation whatever its product type.
        w.apply(Facts(r.dwMajor, r.dwMinor, kServer, true, false));
        EXPECT_EQ(w.kind(), r.dwPE);
        EXPECT_TRUE(w.isWorkstation());
        EXPECT_TRUE(w.isPE());
    }
    for (auto [dwMajor, dwMinor] : {std::pair<DWORD, DWORD>{4, 0}, {5, 3}, {6, 4}, {10, 1}, {11, 0}})
        EXPECT_EQ(velmora::WindowsKindCode(dwMajor, dwMinor, false, true), 0u) << dwMajor << "." << dwMinor;
}

TEST(WinVerKinds, SixtyFourBitSuffixExceptForKindsEightAndThirteen)
{
    winver w; // 6.1: workstation kind 9, server kind 8
    w.apply(Facts(6, 1, kWorkstation, false, true));
    EXPECT_EQ(w.productName(), L"Windows (x64)");
    w.apply(Facts(6, 1, kServer, false, true));
    EXPECT_EQ(w.productName(), L"Windows");
    for (DWORD dwKind = 0; dwKind <= 21; ++dwKind) {
        bool bSuffix = dwKind != 8 && dwKind != 13;
        EXPECT_EQ(velmora::ProductNameForKind(L"P", true, dwKind), bSuffix ? L"P (x64)" : L"P") << dwKind;
        EXPECT_EQ(velmora::ProductNameForKind(L"P", false, dwKind), L"P") << dwKind;
    }
}

TEST(WinVerKinds, ServerCoreByProductTypeOrInstallationTypeOnServersOnly)
{
    const std::set<DWORD> core = {12, 13, 14, 29, 39, 40, 41, 42, 43, 44, 45, 46, 53, 63, 64, 98, 99, 100, 101};
    for (DWORD dw = 0; dw <= 0x200; ++dw)
        EXPECT_EQ(velmora::IsServerCoreProductType(dw), core.count(dw) == 1) << dw;
    EXPECT_TRUE(velmora::IsServerCore(kServer, 0, L"Server Core"));
    EXPECT_TRUE(velmora::IsServerCore(VER_NT_DOMAIN_CONTROLLER, 13, L""));
    EXPECT_FALSE(velmora::IsServerCore(kServer, 7, L"Server"));
    EXPECT_FALSE(velmora::IsServerCore(kWorkstation, 13, L"Core"));

    winver w;
    WinVerFacts f = Facts(6, 3, kServer, false, true);
    f.dwProductInfo = 7;
    f.sInstallationType = L"Server Core";
    f.bDomainController = true;
    w.apply(f);
    EXPECT_TRUE(w.isServerCore());
    EXPECT_TRUE(w.isDomainController());
}

TEST(WinVerVersion, RegistryVersionCorrectsWhatGetVersionExReports)
{
    struct Case {
        const wchar_t* pVersion;
        const wchar_t* pBuild;
        DWORD dwMajor, dwMinor, dwBuild; // expected, starting from 6.2 build 9200
    };
    const Case cases[] = {
        {L"6.3", L"19045", 10, 0, 19045}, // Windows 10 and later keep "6.3" in the registry
        {L"6.3", L"10000", 10, 0, 10000}, {L"6.3", L"9999", 6, 3, 9999},   {L"6.3", L"9600", 6, 3, 9600},
        {L"6.3", L"", 6, 3, 9200},        {L"6.3", L"19045 ", 6, 3, 9200}, {L"6.3", L"99999999999", 6, 3, 9200},
        {L"6.2", L"9200", 6, 2, 9200},    {L"6.1", L"17000", 6, 2, 9200},  {L"", L"19045", 6, 2, 9200},
        {L"6", L"19045", 6, 2, 9200},     {L"6.3x", L"19045", 6, 2, 9200}, {L"-6.3", L"19045", 6, 2, 9200},
        {L"6.", L"19045", 6, 2, 9200},
    };
    for (const Case& c : cases) {
        DWORD dwMajor = 6, dwMinor = 2, dwBuild = 9200;
        velmora::ResolveRegistryVersion(c.pVersion, c.pBuild, dwMajor, dwMinor, dwBuild);
        EXPECT_EQ(std::vector<DWORD>({dwMajor, dwMinor, dwBuild}),
                  std::vector<DWORD>({c.dwMajor, c.dwMinor, c.dwBuild}))
            << testing::PrintToString(std::wstring(c.pVersion)) << " "
            << testing::PrintToString(std::wstring(c.pBuild));
    }
}

namespace
{

// Counts constructions of a type built slowly enough for first callers to overlap.
struct SlowToBuild {
    static inline std::atomic<int> iBuilt{0};
    SlowToBuild()
    {
        ++iBuilt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    int iPrepared = 0;
};

} // namespace

TEST(WinVerSingleton, RacingFirstCallersGetOneObjectPreparedOnce)
{
    using S = velmora::Singleton<SlowToBuild, velmora::SpinLock>;
    std::vector<std::thread> threads;
    std::vector<SlowToBuild*> seen(8, nullptr);
    std::atomic<bool> bGo{false};
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] {
            while (!bGo)
                std::this_thread::yield();
            SlowToBuild& s = S::instance([](SlowToBuild& o) { ++o.iPrepared; });
            seen[i] = &s;
        });
    }
    bGo = true;
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(SlowToBuild::iBuilt, 1);
    for (SlowToBuild* p : seen)
        EXPECT_EQ(p, seen[0]);
    EXPECT_EQ(seen[0]->iPrepared, 1);
    EXPECT_EQ(&S::instance(), seen[0]);
    EXPECT_EQ(seen[0]->iPrepared, 1);
}

namespace
{

const wchar_t* const kControlKey = L"SYSTEM\\CurrentControlSet\\Control\\";

// Leaves MiniNT and MyMiniNT absent before and after each test (as in a normal Wine prefix).
struct PreinstallationKeys : ::testing::Test {
    velmora::Registry reg{false, HKEY_LOCAL_MACHINE, kControlKey};
    void SetUp() override
    {
        velmora::SetRegistryLogPath(L"");
        if (reg.Key_Exists(L"MiniNT") || reg.Key_Exists(L"MyMiniNT"))
            GTEST_SKIP() << "this system has a MiniNT key of its own; not touching it";
    }
    void TearDown() override
    {
        reg.Delete_Key(L"MiniNT");
        reg.Delete_Key(L"MyMiniNT");
    }
    DWORD FreshKind(bool& bPE)
    {
        winver w;
        EXPECT_TRUE(w.initialise());
        bPE = w.isPE();
        EXPECT_EQ(bPE, w.isPE() && w.isWorkstation());
        return w.kind();
    }
};

} // namespace

TEST_F(PreinstallationKeys, MiniNTOrItsHiddenFormMakesThePreinstallationKind)
{
    winver plain;
    ASSERT_TRUE(plain.initialise());
    ASSERT_FALSE(plain.isPE());
    DWORD dwPEKind = velmora::WindowsKindCode(plain.major(), plain.minor(), true, true);

    bool bPE = true;
    EXPECT_EQ(FreshKind(bPE), plain.kind());
    EXPECT_FALSE(bPE);

    ASSERT_TRUE(reg.Write_To_Location(L"MiniNT"));
    EXPECT_TRUE(velmora::DetectPreinstallationEnvironment());
    EXPECT_EQ(FreshKind(bPE), dwPEKind);
    EXPECT_TRUE(bPE);

    // Hidden the way the MiniNT guard hides it.
    ASSERT_TRUE(reg.Write_To_Location(L"MyMiniNT"));
    ASSERT_TRUE(reg.Delete_Key(L"MiniNT"));
    EXPECT_TRUE(velmora::DetectPreinstallationEnvironment());
    EXPECT_EQ(FreshKind(bPE), dwPEKind);
    EXPECT_TRUE(bPE);

    ASSERT_TRUE(reg.Delete_Key(L"MyMiniNT"));
    EXPECT_FALSE(velmora::DetectPreinstallationEnvironment());
    EXPECT_EQ(FreshKind(bPE), plain.kind());
}

TEST(WinVerLive, TheRunningSystemIsDescribedConsistently)
{
    winver& w = winver::instance();
    ASSERT_TRUE(w.initialised());
    EXPECT_EQ(&winver::instance(), &w);
    EXPECT_NE(w.kind(), 0u);
    EXPECT_EQ(w.kind(), velmora::WindowsKindCode(w.major(), w.minor(), w.isPE(), w.isWorkstation()));
    EXPECT_FALSE(w.productName().empty());
}
