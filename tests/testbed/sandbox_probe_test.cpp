// Runs inside a sandbox machine and checks that it looks like the recovery environment that
// the sandbox builder promised (the builder passes what it made in CVEX_SANDBOX_* variables).
#include "support/cnm.h"
#include "support/handle.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

namespace
{

std::wstring Env(const wchar_t* pName)
{
    wchar_t wsz[512] = {};
    DWORD n = GetEnvironmentVariableW(pName, wsz, 512);
    return n < 512 ? std::wstring(wsz, n) : std::wstring();
}

bool IsFolder(const std::wstring& sPath)
{
    DWORD dw = GetFileAttributesW(sPath.c_str());
    return dw != INVALID_FILE_ATTRIBUTES && (dw & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Profile(const std::wstring& sFile, const wchar_t* pSection, const wchar_t* pKey)
{
    wchar_t wsz[MAX_PATH] = {};
    GetPrivateProfileStringW(pSection, pKey, L"", wsz, MAX_PATH, sFile.c_str());
    return wsz;
}

std::wstring Root(wchar_t wcLetter)
{
    return std::wstring(1, wcLetter) + L":\\";
}

class Sandbox : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(Env(L"CVEX_SANDBOX").empty()) << "run this program with sandbox/run-in-sandbox.sh";
    }
};

TEST_F(Sandbox, ClientToolsFolderIsOnX)
{
    const std::wstring sBin = L"X:\\PROGRA~1\\Legato\\nsr\\bin";
    ASSERT_TRUE(IsFolder(sBin));
    if (Env(L"CVEX_SANDBOX_TOOLS") == L"none")
        return;
    for (const wchar_t* pTool : {L"recover.exe", L"mminfo.exe", L"nsradmin.exe", L"nsrexecd.exe", L"nsrports.exe",
                                 L"nwinstcreate.exe", L"nwsim.ini"})
        EXPECT_TRUE(testutil::FileExists(sBin + L"\\" + pTool)) << pTool;
    std::wstring sStore = Profile(sBin + L"\\nwsim.ini", L"nwsim", L"store");
    EXPECT_TRUE(IsFolder(sStore)) << sStore;
    if (!Env(L"CVEX_SANDBOX_SERVER").empty()) {
        EXPECT_EQ(Profile(sBin + L"\\nwsim.ini", L"nwsim", L"server_address"), Env(L"CVEX_SANDBOX_SERVER"));
    }
}

TEST_F(Sandbox, HostFolderHoldsHlvIniAndItsFolders)
{
    EXPECT_EQ(testutil::ProgramFolder(), L"X:\\Program Files\\Velmora\\HALVO\\");
    std::wstring sIni = testutil::ProgramFolder() + L"hlv.ini";
    std::wstring sConfig = Profile(sIni, L"File Locations", L"Config");
    std::wstring sLogs = Profile(sIni, L"File Locations", L"Logfiles");
    EXPECT_EQ(sConfig, L"X:\\Program Files\\Velmora\\HALVOCFG");
    EXPECT_TRUE(IsFolder(sConfig));
    EXPECT_TRUE(IsFolder(sLogs)) << sLogs;
    EXPECT_TRUE(testutil::FileExists(testutil::ProgramFolder() + L"halvo_nm.dll"));
}

TEST_F(Sandbox, MiniNTKeyMarksTheRecoveryEnvironment)
{
    velmora::unique_hkey key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\MiniNT", 0, KEY_READ, key.put()),
              ERROR_SUCCESS);
}

TEST_F(Sandbox, DrivesAreThoseAskedFor)
{
    std::wstring sDisks = Env(L"CVEX_SANDBOX_DISKS");
    std::wstring sCdrom = Env(L"CVEX_SANDBOX_CDROM");
    EXPECT_EQ(GetDriveTypeW(L"X:\\"), static_cast<UINT>(DRIVE_FIXED));
    EXPECT_EQ(GetDriveTypeW(L"C:\\"), static_cast<UINT>(DRIVE_FIXED));
    for (wchar_t wc = L'D'; wc <= L'W'; ++wc) {
        UINT uiExpected = DRIVE_NO_ROOT_DIR;
        if (sDisks.find(wc) != std::wstring::npos)
            uiExpected = DRIVE_FIXED;
        else if (!sCdrom.empty() && sCdrom[0] == wc)
            uiExpected = DRIVE_CDROM;
        EXPECT_EQ(GetDriveTypeW(Root(wc).c_str()), uiExpected) << Root(wc);
    }
    for (wchar_t wc : sDisks) {
        std::wstring sFile = Root(wc) + L"probe.txt";
        testutil::WriteTextFile(sFile, "written in the sandbox");
        EXPECT_EQ(testutil::ReadTextFile(sFile), L"written in the sandbox") << sFile;
    }
}

TEST_F(Sandbox, NetworkLibraryReadsTheMachinesStateFile)
{
    std::vector<CNM::NIC_INFO> nics;
    ASSERT_TRUE(CNM::GetAdapterList(nics));
    ASSERT_EQ(nics.size(), 1u);
    EXPECT_EQ(nics[0].sHwAddr, L"00-15-5D-01-02-03");
    CNM::CNM_OPER_STATUS status = CNM::OPER_UNKNOWN;
    ASSERT_TRUE(CNM::GetAdapterOperStatus(nics[0], status));
    EXPECT_EQ(status, CNM::OPER_UP);
}

TEST_F(Sandbox, SimulatedServerAcceptsConnectionsOnItsOwnAddress)
{
    std::wstring sServer = Env(L"CVEX_SANDBOX_SERVER");
    if (sServer.empty())
        GTEST_SKIP() << "sandbox without a server";
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    sockaddr_in sin = {};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(7937);
    ASSERT_EQ(InetPtonW(AF_INET, sServer.c_str(), &sin.sin_addr), 1) << sServer;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&sin), sizeof(sin)), 0) << WSAGetLastError();
    closesocket(s);
}

} // namespace
