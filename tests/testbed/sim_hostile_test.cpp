// Tools that misbehave the way recovery operators meet them: a password prompt where none is
// expected, a daemon that exits at once.
#include "simulator/common/text.h"
#include "tests/testbed/sim_process.h"

#include <gtest/gtest.h>

#include <string>

using namespace simtest;

namespace
{

const char kClient[] = "-s \"nwsrv\" -c \"winclient1\"";

std::wstring WriteCommandFile()
{
    std::wstring sFile = std::wstring(kToolFolder) + L"..\\tmp-hostile-nsradmin.txt";
    velmora::unique_file file(CreateFileW(sFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD n = 0;
    WriteFile(file.get(), ". type: nsr\r\nprint\r\nquit\r\n", 27, &n, nullptr);
    return sFile;
}

struct PromptCase {
    const char* pszKnob; // fault entry
    const wchar_t* pszExe;
    std::string sArgs;
    const char* pszPrompt; // what the tool prints before it waits
    const char* pszAfter;  // what it prints once it has an answer
};

unsigned long long CpuMilliseconds(HANDLE hProcess)
{
    FILETIME ftCreate, ftExit, ftKernel, ftUser;
    if (!GetProcessTimes(hProcess, &ftCreate, &ftExit, &ftKernel, &ftUser))
        return ~0ull;
    auto ticks = [](const FILETIME& ft) {
        return (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    };
    return (ticks(ftKernel) + ticks(ftUser)) / 10000;
}

} // namespace

// Every tool, at several points: all console input modes off, the prompt without line end, nothing
// more until a line is typed, then the tool goes on as if nothing had happened.
TEST(SimHostile, EveryToolCanAskForAnUnexpectedPassword)
{
    DeleteFileW((std::wstring(kToolFolder) + L"..\\res\\IDinitialize").c_str());
    std::wstring sCommands = WriteCommandFile();
    std::string sCert = nwsim::Utf8(std::wstring(kToolFolder) + L"nwsim.ini");
    const PromptCase kCases[] = {
        {"recover session start password", L"recover.exe", kClient, "Password for file C:\\: ", "recover> "},
        {"recover session prompt:2 password \"Passphrase: \"", L"recover.exe", kClient, "Passphrase: ", "recover> "},
        {"recover count line:3 password", L"recover.exe", std::string("-a -n ") + kClient + " \"D:\\Data\"",
         "Password for file C:\\: ", "D:\\Data\\report.txt\r\n"},
        {"recover restore object:2 password", L"recover.exe", std::string("-a -iY ") + kClient + " \"D:\\Data\"",
         "Password for file D:\\Data\\: ", "D:\\Data\\report.txt\r\n"},
        {"mminfo any start password", L"mminfo.exe", std::string("-v ") + kClient + " -xc,",
         "Password for file C:\\: ", "volume,"},
        {"nsradmin any line:2 password", L"nsradmin.exe", "-s \"nwsrv\" -i \"" + nwsim::Utf8(sCommands) + "\"",
         "Password for file C:\\: ", "Network Edition/64;"},
        {"nsrports any start password \"Enter password: \"", L"nsrports.exe", "",
         "Enter password: ", "Service ports: 7937-9936"},
        {"nwinstcreate any start password", L"nwinstcreate.exe", "-c \"" + sCert + "\" -p \"" + sCert + "\"",
         "Password for file C:\\: ", "identity was created successfully"},
    };
    for (const PromptCase& c : kCases) {
        SCOPED_TRACE(c.pszKnob);
        Knobs knobs(std::string("[faults]\r\nq = ") + c.pszKnob + "\r\n");
        ConsoleTool tool;
        DWORD dwModeBefore = tool.ConsoleMode();
        ASSERT_TRUE(tool.Start(c.pszExe, c.sArgs));
        if (std::string(c.pszKnob).find("prompt:2") != std::string::npos) {
            ASSERT_TRUE(tool.WaitFor("recover> "));
            ASSERT_TRUE(tool.Type(L"pwd\r\n"));
        }
        ASSERT_TRUE(tool.WaitForSecretMode(30000)) << tool.Output();
        ASSERT_TRUE(tool.WaitFor(c.pszPrompt)) << tool.Output();
        Sleep(300);
        ASSERT_TRUE(tool.WaitFor("")); // drain
        EXPECT_EQ(tool.Output().substr(tool.Output().size() - std::string(c.pszPrompt).size()), c.pszPrompt)
            << "the tool printed more before it had an answer";
        ASSERT_TRUE(tool.Type(L"anything\r\n"));
        ASSERT_TRUE(tool.WaitFor(c.pszAfter, 30000)) << tool.Output();
        EXPECT_EQ(tool.ConsoleMode(), dwModeBefore);
        if (std::string(c.pszAfter) == "recover> ")
            tool.Type(L"exit\r\n");
        DWORD dwExit = 99;
        ASSERT_TRUE(tool.WaitExit(dwExit, 30000));
        EXPECT_EQ(dwExit, 0u) << tool.Output();
    }
    DeleteFileW(sCommands.c_str());
}

// Unanswered, the tool waits idle until its limit, then fails; at the end of its input at once.
TEST(SimHostile, UnansweredPasswordWaitsIdleThenFails)
{
    Knobs knobs("[faults]\r\nq = nsrports any start password 4\r\n");
    ConsoleTool tool;
    DWORD dwStart = GetTickCount();
    ASSERT_TRUE(tool.Start(L"nsrports.exe", ""));
    ASSERT_TRUE(tool.WaitForSecretMode(30000));
    DWORD dwExit = 0;
    ASSERT_TRUE(tool.WaitExit(dwExit, 60000));
    EXPECT_GE(GetTickCount() - dwStart, 3500u);
    EXPECT_EQ(dwExit, 1u);
    EXPECT_LT(CpuMilliseconds(tool.Process()), 2000u) << "the tool spun while it waited";
    EXPECT_NE(tool.Output().find("nsrports: no password was given in time\r\n"), std::string::npos) << tool.Output();
    EXPECT_EQ(tool.Output().find("Service ports"), std::string::npos);

    ToolResult piped = RunTool(L"nsrports.exe", "", {}, 30000); // input is a pipe that is already closed
    EXPECT_FALSE(piped.bTimedOut);
    EXPECT_EQ(piped.dwExit, 1u);
    EXPECT_NE(piped.sOutput.find("Password for file C:\\: \r\nnsrports: no password was given\r\n"), std::string::npos)
        << piped.sOutput;
}

TEST(SimHostile, MalformedPasswordArgumentsAreReported)
{
    Knobs knobs("[faults]\r\nbad1 = nsrports any start password soon\r\nbad2 = nsrports any start password 5 "
                "unquoted\r\n");
    ToolResult r = RunTool(L"nsrports.exe", "");
    EXPECT_EQ(r.dwExit, 0u);
    EXPECT_NE(r.sOutput.find("ignoring fault knob bad1: action 'password' takes [seconds] [\"prompt\"]"),
              std::string::npos)
        << r.sOutput;
    EXPECT_NE(r.sOutput.find("ignoring fault knob bad2"), std::string::npos);
}

// The daemon: runs and logs into applogs normally; "exit" at its start ends it at once.
TEST(SimHostile, DaemonLogsIntoApplogsOrExitsAtOnce)
{
    std::wstring sLog = std::wstring(kToolFolder) + L"..\\applogs\\nsrexecd.log";
    DeleteFileW(sLog.c_str());
    ToolResult running = RunTool(L"nsrexecd.exe", "-s nwsrv", {}, 3000);
    EXPECT_TRUE(running.bTimedOut) << "a healthy daemon keeps running";
    EXPECT_NE(ReadFileBytes(sLog).find("nsrexecd started, pid "), std::string::npos);

    Knobs knobs("[faults]\r\nx = nsrexecd any start exit 3\r\n");
    DWORD dwStart = GetTickCount();
    ToolResult exited = RunTool(L"nsrexecd.exe", "-s nwsrv", {}, 30000);
    EXPECT_FALSE(exited.bTimedOut);
    EXPECT_EQ(exited.dwExit, 3u);
    EXPECT_LT(GetTickCount() - dwStart, 20000u);
}
