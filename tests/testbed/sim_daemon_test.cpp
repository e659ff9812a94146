// The other client tools: daemon, media report, administration, ports, certificate import, versions.
#include "simulator/common/text.h"
#include "tests/testbed/sim_process.h"

#include <psapi.h>

#include <gtest/gtest.h>

#include <vector>

using namespace simtest;

namespace
{

std::vector<DWORD> ProcessesNamed(const std::wstring& sName)
{
    std::vector<DWORD> found;
    DWORD ids[1024], dwBytes = 0;
    if (!EnumProcesses(ids, sizeof(ids), &dwBytes))
        return found;
    for (DWORD i = 0; i < dwBytes / sizeof(DWORD); ++i) {
        velmora::unique_handle_null process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]));
        HMODULE hModule = nullptr;
        DWORD dwNeeded = 0;
        wchar_t wsz[MAX_PATH] = {};
        if (process && EnumProcessModules(process.get(), &hModule, sizeof(hModule), &dwNeeded) &&
            GetModuleBaseNameW(process.get(), hModule, wsz, MAX_PATH) && _wcsicmp(wsz, sName.c_str()) == 0)
            found.push_back(ids[i]);
    }
    return found;
}

std::wstring VersionString(const std::wstring& sPath, const wchar_t* pszKey)
{
    DWORD dwHandle = 0;
    DWORD dwSize = GetFileVersionInfoSizeW(sPath.c_str(), &dwHandle);
    std::vector<char> data(dwSize);
    wchar_t* pValue = nullptr;
    UINT uLen = 0;
    if (dwSize == 0 || !GetFileVersionInfoW(sPath.c_str(), 0, dwSize, data.data()) ||
        !VerQueryValueW(data.data(), (std::wstring(L"\\StringFileInfo\\040904B0\\") + pszKey).c_str(),
                        reinterpret_cast<void**>(&pValue), &uLen))
        return {};
    return pValue;
}

const std::wstring kBuildSimulator = nwsim::Wide(NWSIM_BUILD_DIR) + L"\\simulator\\";

} // namespace

TEST(SimDaemon, RunsDetachedUntilFoundByNameAndEnded)
{
    for (DWORD id : ProcessesNamed(L"nsrexecd.exe")) {
        velmora::unique_handle_null old(OpenProcess(PROCESS_TERMINATE, FALSE, id));
        TerminateProcess(old.get(), 0);
    }
    std::wstring sCmd = L"-s nwsrv";
    std::wstring sApp = std::wstring(kToolFolder) + L"nsrexecd.exe";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(sApp.c_str(), sCmd.data(), nullptr, nullptr, FALSE,
                               DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, kToolFolder, &si, &pi));
    velmora::unique_handle_null process(pi.hProcess), thread(pi.hThread);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 1500), static_cast<DWORD>(WAIT_TIMEOUT)); // still running
    std::vector<DWORD> running = ProcessesNamed(L"NSREXECD.EXE");
    ASSERT_EQ(running.size(), 1u);
    EXPECT_EQ(running[0], pi.dwProcessId);
    velmora::unique_handle_null victim(OpenProcess(PROCESS_TERMINATE, FALSE, running[0]));
    ASSERT_TRUE(TerminateProcess(victim.get(), 0));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(ProcessesNamed(L"nsrexecd.exe").empty());
}

TEST(SimDaemon, VersionResourcesAndThe32BitVariant)
{
    std::wstring sInstalled = std::wstring(kToolFolder) + L"nsrexecd.exe";
    EXPECT_EQ(VersionString(sInstalled, L"ProductVersion"), L"9.2.1.5");
    EXPECT_EQ(VersionString(sInstalled, L"FileVersion"), L"9.2.1.5.Build.235");
    EXPECT_EQ(VersionString(kBuildSimulator + L"bin-7.4\\recover.exe", L"ProductVersion"), L"7.4.5.2");
    DWORD dwType = 99;
    ASSERT_TRUE(GetBinaryTypeW(sInstalled.c_str(), &dwType));
    EXPECT_EQ(dwType, static_cast<DWORD>(SCS_64BIT_BINARY));
    ASSERT_TRUE(GetBinaryTypeW((kBuildSimulator + L"bin-x86\\nsrexecd.exe").c_str(), &dwType));
    EXPECT_EQ(dwType, static_cast<DWORD>(SCS_32BIT_BINARY));
}

TEST(SimTools, MediaReportOfTheClient)
{
    ToolResult r = RunTool(L"mminfo.exe", "-v -s \"nwsrv\" -c \"winclient1\" -xc,");
    ASSERT_EQ(r.dwExit, 0u) << r.sOutput;
    std::vector<std::string> lines = nwsim::Lines(r.sOutput);
    ASSERT_GT(lines.size(), 30u);
    EXPECT_EQ(lines[0].substr(0, 7), "volume,");
    EXPECT_NE(r.sOutput.find(",winclient1,3/7/2021 12:30:00 PM,4000 B,4200001026,vF,full,APPLICATIONS:\\Microsoft SQL "
                             "Server, Default Instance\r\n"),
              std::string::npos);
    EXPECT_NE(
        r.sOutput.find("nwsrv.001.RO,Data Domain,winclient1,3/8/2021 11:45:00 PM,5000 B,4200001033,vF,full,OSSR_C"),
        std::string::npos);
    // A 7.4 client prints no type column.
    SetEnvironmentVariableW(L"NWSIM_INI", (std::wstring(kToolFolder) + L"nwsim.ini").c_str());
    std::wstring sOld = kBuildSimulator + L"bin-7.4\\mminfo.exe";
    ToolResult old = RunTool(sOld, "-v -s \"nwsrv\" -c \"winclient1\" -xc,");
    SetEnvironmentVariableW(L"NWSIM_INI", nullptr);
    EXPECT_NE(old.sOutput.find("nwsrv.001,winclient1,3/1/2021 10:00:00 PM,"), std::string::npos) << old.sOutput;
}

TEST(SimTools, ServerVersionThroughTheCommandFile)
{
    std::wstring sFile = std::wstring(kToolFolder) + L"..\\tmp-nsradmin.txt";
    HANDLE hFile = CreateFileW(sFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    velmora::unique_file file(hFile);
    DWORD n = 0;
    WriteFile(hFile, ". type: nsr\r\nprint\r\nquit\r\n", 27, &n, nullptr);
    file.reset();
    ToolResult r = RunTool(L"nsradmin.exe", "-s \"nwsrv\" -i \"" + nwsim::Utf8(sFile) + "\"");
    DeleteFileW(sFile.c_str());
    ASSERT_EQ(r.dwExit, 0u) << r.sOutput;
    std::string sVersion;
    for (const std::string& line : nwsim::Lines(r.sOutput)) {
        if (line.find("NetWorker") != std::string::npos && line.find("Build") != std::string::npos) {
            sVersion = line.substr(10);
            sVersion = sVersion.substr(0, sVersion.rfind('/'));
        }
    }
    EXPECT_EQ(sVersion, "19.4.0.1.Build.142 Network Edition");
}

TEST(SimTools, PortsAndCertificateImport)
{
    ToolResult ports = RunTool(L"nsrports.exe", "");
    EXPECT_NE(ports.sOutput.find("Service ports: 7937-9936\r\nConnection ports: 0-0\r\n"), std::string::npos);
    ToolResult other = RunTool(L"nsrports.exe", "-t nwsrv");
    EXPECT_NE(other.sOutput.find("Service ports:"), std::string::npos);
    std::wstring sRes = std::wstring(kToolFolder) + L"..\\res\\";
    DeleteFileW((sRes + L"IDinitialize").c_str());
    std::wstring sCert = std::wstring(kToolFolder) + L"nwsim.ini"; // any readable file serves
    ToolResult imported =
        RunTool(L"nwinstcreate.exe", "-c \"" + nwsim::Utf8(sCert) + "\" -p \"" + nwsim::Utf8(sCert) + "\"");
    EXPECT_EQ(imported.dwExit, 0u) << imported.sOutput;
    EXPECT_NE(GetFileAttributesW((sRes + L"IDinitialize").c_str()), INVALID_FILE_ATTRIBUTES);
    ToolResult missing = RunTool(L"nwinstcreate.exe", "-c \"X:\\nothing.pem\" -p \"X:\\nothing.key\"");
    EXPECT_EQ(missing.dwExit, 1u);
    EXPECT_NE(missing.sOutput.find("cannot read the certificate file X:\\nothing.pem"), std::string::npos);
}
