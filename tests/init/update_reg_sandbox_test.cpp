// The registry edits of the recovery environment, in a sandbox machine's own registry (which
// starts with the MiniNT key, as the recovery environment does).
#include "support/handle.h"
#include "support/traced/update_reg.h"
#include "tests/common/test_util.h"
#include "tests/init/sandbox_client.h"

using namespace sandbox;

namespace
{

const wchar_t kMiniNT[] = L"SYSTEM\\CurrentControlSet\\Control\\MiniNT";
const wchar_t kMyMiniNT[] = L"SYSTEM\\CurrentControlSet\\Control\\MyMiniNT";
const wchar_t kTcpip[] = L"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
const wchar_t kNwInfo[] = L"SOFTWARE\\Velmora\\NetWorker\\CurrentVersion";
const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

bool ValueExists(const std::wstring& sKey, const wchar_t* pName)
{
    return RegGetValueW(HKEY_LOCAL_MACHINE, sKey.c_str(), pName, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

void CreateKey(const wchar_t* pKey)
{
    velmora::unique_hkey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, pKey, 0, nullptr, 0, KEY_READ, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
}

// Each test starts with the key visible, as the machine was built, and leaves it so.
struct MiniNTKey : ClientSandbox {
    void SetUp() override
    {
        ClientSandbox::SetUp();
        DeleteTree(kMyMiniNT);
        CreateKey(kMiniNT);
    }
    void TearDown() override
    {
        EXPECT_TRUE(UpdateReg::RenameMiniNT(false));
        EXPECT_FALSE(KeyExists(kMyMiniNT));
        CreateKey(kMiniNT);
        ClientSandbox::TearDown();
    }
};

} // namespace

// The guard hides the key for its scope only; restoring a visible key or hiding twice changes
// nothing; Fini restores what was hidden; a machine without the key never gets one.
TEST_F(MiniNTKey, GuardHidesTheKeyForItsScopeOnlyAndFiniRestoresIt)
{
    {
        MiniNTBodge bodge;
        EXPECT_FALSE(KeyExists(kMiniNT));
        EXPECT_TRUE(KeyExists(kMyMiniNT));
    }
    EXPECT_TRUE(KeyExists(kMiniNT));
    EXPECT_FALSE(KeyExists(kMyMiniNT));
    EXPECT_TRUE(UpdateReg::RenameMiniNT(false));
    EXPECT_TRUE(KeyExists(kMiniNT));
    EXPECT_TRUE(UpdateReg::RenameMiniNT(true));
    EXPECT_TRUE(UpdateReg::RenameMiniNT(true));
    EXPECT_FALSE(KeyExists(kMiniNT));
    EXPECT_TRUE(KeyExists(kMyMiniNT));
    EXPECT_TRUE(impl.Fini(false));
    EXPECT_TRUE(KeyExists(kMiniNT));
    EXPECT_FALSE(KeyExists(kMyMiniNT));

    DeleteTree(kMiniNT);
    {
        MiniNTBodge bodge;
        EXPECT_FALSE(KeyExists(kMyMiniNT));
    }
    EXPECT_TRUE(UpdateReg::RenameMiniNT(false));
    EXPECT_FALSE(KeyExists(kMiniNT));
    EXPECT_FALSE(KeyExists(kMyMiniNT));
}

TEST_F(ClientSandbox, HostnameDomainSetupFlagAndPendingRenames)
{
    SetString(kTcpip, L"Hostname", L"minint-1");
    SetString(kTcpip, L"NV Hostname", L"minint-1");
    EXPECT_FALSE(UpdateReg::ChangeHostname(L""));
    EXPECT_EQ(ReadString(kTcpip, L"Hostname"), L"minint-1");
    ASSERT_TRUE(UpdateReg::ChangeHostname(L"winclient1"));
    EXPECT_EQ(ReadString(kTcpip, L"Hostname"), L"winclient1");
    EXPECT_EQ(ReadString(kTcpip, L"NV Hostname"), L"winclient1");

    SetString(kTcpip, L"Domain", L"corp.example");
    SetString(kTcpip, L"DhcpDomain", L"dhcp.example");
    std::wstring sDomain;
    ASSERT_TRUE(UpdateReg::GetDomain(false, sDomain));
    EXPECT_EQ(sDomain, L"corp.example");
    ASSERT_TRUE(UpdateReg::GetDomain(true, sDomain));
    EXPECT_EQ(sDomain, L"dhcp.example");
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kTcpip, L"DhcpDomain");
    EXPECT_FALSE(UpdateReg::GetDomain(true, sDomain));
    EXPECT_EQ(sDomain, L"dhcp.example"); // unchanged on failure

    DWORD dwOne = 1;
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup", L"SystemSetupInProgress", REG_DWORD, &dwOne, sizeof(dwOne));
    ASSERT_TRUE(UpdateReg::ChangeSystemSetupInProgress());
    DWORD dwValue = 1, dwBytes = sizeof(dwValue);
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup", L"SystemSetupInProgress", RRF_RT_REG_DWORD, nullptr,
                           &dwValue, &dwBytes),
              ERROR_SUCCESS);
    EXPECT_EQ(dwValue, 0u);

    const wchar_t kRenames[] = L"\\??\\C:\\a.tmp\0\0\0";
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager, L"PendingFileRenameOperations", REG_MULTI_SZ,
                              kRenames, sizeof(kRenames)),
              ERROR_SUCCESS);
    EXPECT_TRUE(UpdateReg::DeletePendingFileRenameOperations());
    EXPECT_FALSE(ValueExists(kSessionManager, L"PendingFileRenameOperations"));
    EXPECT_TRUE(UpdateReg::DeletePendingFileRenameOperations()); // nothing left to delete
}

TEST_F(ClientSandbox, SavedClientInformationIsLoadedOnceAndReadBack)
{
    UpdateReg::ForgetNwInfoForTesting();
    DeleteTree(L"SOFTWARE\\Velmora\\NetWorker");
    testutil::ScratchFolder cfg(L"nwinfo");
    EXPECT_FALSE(UpdateReg::LoadNwInfo(L""));
    EXPECT_FALSE(UpdateReg::LoadNwInfo(cfg.path()));
    EXPECT_TRUE(KeyExists(kNwInfo)); // made ready before the file was looked for

    // Wine's RegRestoreKeyW loads nothing, so the values are put in place by hand to read them back.
    testutil::WriteTextFile(cfg.file(L"NWInfo"), "regf");
    EXPECT_TRUE(UpdateReg::LoadNwInfo(cfg.path() + L"\\"));
    EXPECT_TRUE(UpdateReg::LoadNwInfo(L"")); // already loaded
    SetString(kNwInfo, L"Version", L"9.2.1.5");
    SetString(kNwInfo, L"Path", L"C:\\Program Files\\Legato\\nsr\\");
    std::wstring sVersion, sDir;
    ASSERT_TRUE(UpdateReg::GetOrigNetWorkerClientVersion(sVersion));
    EXPECT_EQ(sVersion, L"9.2.1.5");
    ASSERT_TRUE(UpdateReg::GetOrigNetWorkerClientDir(sDir));
    EXPECT_EQ(sDir, L"C:\\Program Files\\Legato\\nsr\\bin");
    // The registration of the recovery environment's own client is another key.
    EXPECT_FALSE(UpdateReg::GetNetWorkerClientVersion(sVersion));
    EXPECT_EQ(sVersion, L"9.2.1.5");
    EXPECT_FALSE(UpdateReg::SetupRegistry(L"", L"r", L"v"));
    EXPECT_FALSE(KeyExists(L"SOFTWARE\\Legato"));
    UpdateReg::ForgetNwInfoForTesting();
}
