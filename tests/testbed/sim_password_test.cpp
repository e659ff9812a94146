// Password-protected files ("password" store shape): the prompt with every console input mode off.
#include "tests/testbed/sim_process.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace
{

const char kRestoreSecret[] = "-a -iY -s \"nwsrv\" -c \"winclient1\" \"D:\\Secret\"";
const wchar_t kPlan[] = L"D:\\Secret\\plan.txt";

} // namespace

TEST(SimPassword, PromptSwitchesModeOffAndRestoresIt)
{
    DeleteFileW(kPlan);
    ConsoleTool tool;
    DWORD dwModeBefore = tool.ConsoleMode();
    ASSERT_NE(dwModeBefore, 0u);
    ASSERT_TRUE(tool.Start(L"recover.exe", kRestoreSecret));
    ASSERT_TRUE(tool.WaitForSecretMode());
    ASSERT_TRUE(tool.WaitFor("Password for file D:\\Secret\\plan.txt: "));
    ASSERT_TRUE(tool.Type(L"wrong\r\n"));
    ASSERT_TRUE(tool.WaitFor("Incorrect password for file D:\\Secret\\plan.txt\r\n"));
    ASSERT_TRUE(tool.WaitForSecretMode());
    ASSERT_TRUE(tool.Type(L"secret\r\n"));
    DWORD dwExit = 1;
    ASSERT_TRUE(tool.WaitExit(dwExit));
    EXPECT_EQ(dwExit, 0u);
    EXPECT_NE(tool.Output().find("\r\nD:\\Secret\\plan.txt\r\n"), std::string::npos) << tool.Output();
    EXPECT_EQ(ReadFileBytes(kPlan), "secret plan\r\n");
    EXPECT_EQ(tool.ConsoleMode(), dwModeBefore);
}

TEST(SimPassword, UnansweredPromptSkipsTheFile)
{
    DeleteFileW(kPlan);
    Knobs knobs("[nwsim]\r\npassword_timeout = 1\r\npassword_attempts = 1\r\n");
    ConsoleTool tool;
    ASSERT_TRUE(tool.Start(L"recover.exe", kRestoreSecret));
    DWORD dwExit = 1;
    ASSERT_TRUE(tool.WaitExit(dwExit));
    EXPECT_NE(tool.Output().find("Skipping recover of password protected file D:\\Secret\\plan.txt"),
              std::string::npos);
    EXPECT_EQ(GetFileAttributesW(kPlan), INVALID_FILE_ATTRIBUTES);
}

TEST(SimPassword, CountPassAsksNothing)
{
    ToolResult r = RunTool(L"recover.exe", std::string("-n ") + kRestoreSecret);
    EXPECT_EQ(r.dwExit, 0u);
    EXPECT_EQ(r.sOutput.find("Password for file"), std::string::npos);
    EXPECT_NE(r.sOutput.find("D:\\Secret\\plan.txt\r\n"), std::string::npos);
}
