// Client discovery inside a sandbox machine whose client tools are stamped 8.2.4.1.
#include "client/client_rules.h"
#include "support/handle.h"
#include "support/traced/update_reg.h"
#include "tests/common/test_util.h"
#include "tests/init/sandbox_client.h"

#include <functional>
#include <memory>

using namespace sandbox;

namespace
{

const wchar_t kClientKey[] = L"SOFTWARE\\Legato\\NetWorker";

using testutil::FileAside;

} // namespace

TEST_F(ClientSandbox, DiscoveryReadsTheVersionRegistersTheClientAndMakesItsFolders)
{
    // A daemon of an earlier session is stopped before the client is looked at.
    impl.AcceptServer(L"localhost");
    ASSERT_TRUE(impl.StartNsrExecDaemon());
    ASSERT_TRUE(WaitForCount(L"nsrexecd.exe", 1));

    std::wstring sVersion;
    ASSERT_TRUE(impl.GetNetWorkerClientVersion(sVersion));
    EXPECT_EQ(sVersion, L"8.2.4.1");
    EXPECT_TRUE(impl.messages.empty());
    EXPECT_TRUE(WaitForCount(L"nsrexecd.exe", 0));

    EXPECT_EQ(ReadString(kClientKey, L"Version"), L"8.2.4.1");
    EXPECT_EQ(ReadString(kClientKey, L"Release"), L"8.2.4.1.Build.235");
    EXPECT_EQ(ReadString(kClientKey, L"Path"), L"X:\\PROGRA~1\\Legato\\nsr\\");
    EXPECT_EQ(ReadString(kClientKey, L"FirewallConfig"), L"0");
    for (const wchar_t* pEmpty : {L"DefaultServer", L"NwProgramMenuFolder", L"Servers"})
        EXPECT_EQ(ReadString(kClientKey, pEmpty), L"") << pEmpty;
    EXPECT_EQ(ReadString(L"SOFTWARE\\Legato\\NetWorker\\Backup\\8.2.4.1", L"DefaultServer"), L"");
    EXPECT_TRUE(KeyExists(L"SOFTWARE\\Legato\\NetWorker\\ChangeJournal"));
    EXPECT_NE(ReadString(L"SOFTWARE\\Legato\\NetWorker Configuration Wizard", L"ConfigurationWizard"), L"<missing>");
    for (const std::wstring& d : nwclient::NsrDirectories())
        EXPECT_TRUE(IsFolder(kNsr + d)) << testing::PrintToString(d);

    // What Init reads back from the registration.
    std::wstring sDir, sRegistered;
    ASSERT_TRUE(UpdateReg::GetNetWorkerClientDir(sDir));
    EXPECT_EQ(sDir, L"X:\\PROGRA~1\\Legato\\nsr\\bin");
    ASSERT_TRUE(UpdateReg::GetNetWorkerClientVersion(sRegistered));
    EXPECT_EQ(sRegistered, L"8.2.4.1");

    // A second discovery over the existing folders and registration works as well.
    EXPECT_TRUE(impl.GetNetWorkerClientVersion(sVersion));
}

// A client without recover or with a 32-bit daemon is refused and nothing is registered; one
// folder that cannot be made leaves the others made.
TEST_F(ClientSandbox, AnUnusableClientOrABlockedFolderFailsWithItsMessages)
{
    const std::wstring sBlocker = std::wstring(kNsr) + L"dedup";
    struct Case {
        const char* pName;
        std::function<bool()> arrange;
        std::function<void()> undo;
        std::vector<unsigned> ids;
    };
    std::unique_ptr<FileAside> aside;
    const Case kCases[] = {
        {"no recover",
         [&] {
             aside = std::make_unique<FileAside>(std::wstring(kBin) + L"recover.exe");
             return aside->moved();
         },
         [&] { aside.reset(); },
         {105}},
#ifdef CVEX_X86_DAEMON
        {"32-bit daemon",
         [] { return UseTools(L"bin-x86", L"nsrexecd.exe"); },
         [] { UseTools(L"bin-8.2", L"nsrexecd.exe"); },
         {199, 105}},
#endif
        {"blocked folder",
         [&] {
             testutil::WriteTextFile(sBlocker, "a file where a folder belongs");
             return true;
         },
         [&] { DeleteFileW(sBlocker.c_str()); },
         {125}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pName);
        impl.messages.clear();
        ASSERT_TRUE(c.arrange());
        std::wstring sVersion;
        EXPECT_FALSE(impl.GetNetWorkerClientVersion(sVersion));
        EXPECT_EQ(impl.Ids(), c.ids);
        EXPECT_EQ(impl.LastErrorId(), c.ids.back());
        const bool bBlocked = c.ids.back() == 125;
        EXPECT_TRUE(bBlocked || !KeyExists(L"SOFTWARE\\Legato")) << "an unusable client is not registered";
        for (const std::wstring& d : nwclient::NsrDirectories())
            EXPECT_TRUE(d == L"bin" || IsFolder(kNsr + d) == (bBlocked && d.rfind(L"dedup", 0) != 0))
                << testing::PrintToString(d);
        c.undo();
        DeleteTree(L"SOFTWARE\\Legato");
        for (const std::wstring& d : nwclient::NsrDirectories())
            if (d != L"bin" && d.find(L'\\') == std::wstring::npos)
                testutil::RemoveTree(kNsr + d);
    }
}
