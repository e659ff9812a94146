// A machine whose client log folder ("applogs") is read-only: the daemon cannot run there.
#include "tests/testbed/sim_process.h"

#include <gtest/gtest.h>

using namespace simtest;

TEST(SimApplogs, TheFolderIsReadOnlyForWindowsPrograms)
{
    std::wstring sFolder = std::wstring(kToolFolder) + L"..\\applogs";
    DWORD dwAttributes = GetFileAttributesW(sFolder.c_str());
    ASSERT_NE(dwAttributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(dwAttributes & FILE_ATTRIBUTE_READONLY);
    velmora::unique_file probe(CreateFileW((sFolder + L"\\probe.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD dwError = GetLastError();
    EXPECT_FALSE(probe) << "a file could be created in the read-only folder";
    EXPECT_EQ(dwError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(SimApplogs, TheDaemonSaysSoAndEndsAtOnce)
{
    DWORD dwStart = GetTickCount();
    ToolResult r = RunTool(L"nsrexecd.exe", "-s nwsrv", {}, 30000);
    EXPECT_FALSE(r.bTimedOut);
    EXPECT_LT(GetTickCount() - dwStart, 20000u);
    EXPECT_EQ(r.dwExit, 1u);
    EXPECT_NE(r.sOutput.find("nsrexecd: cannot write to the log folder X:\\PROGRA~1\\Legato\\nsr\\applogs; the "
                             "daemon cannot run\r\n"),
              std::string::npos)
        << r.sOutput;
}
