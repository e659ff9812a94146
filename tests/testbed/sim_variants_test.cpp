// Store-builder variants seen through the tools: the saved configuration summary as recover
// fetches it, and savesets added or left out. The machine's store arguments decide which test runs
// (CMakeLists.txt passes the matching filter).
#include "simulator/common/text.h"
#include "tests/testbed/sim_process.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace
{

const std::string kClient = "-s \"nwsrv\" -c \"winclient1\"";
const std::wstring kConfig = L"X:\\tmp-config\\disrec.ini";

// The top-level listing of the newest backup, "[name]" per saveset line ("1 d size date time name").
std::string ListedNames()
{
    ToolResult r = RunTool(L"recover.exe", kClient, "ll -S\r\nexit\r\n");
    std::string sNames;
    for (std::string sLine : nwsim::Lines(r.sOutput)) {
        if (sLine.rfind("recover> ", 0) == 0) // the prompt has no line end: the first answer follows it
            sLine = sLine.substr(9);
        std::vector<std::string> words;
        for (const std::string& w : nwsim::Split(sLine, ' '))
            if (!w.empty())
                words.push_back(w);
        if (words.size() < 6 || words[1] != "d" || words[4].find(':') == std::string::npos)
            continue;
        std::string sName = words[5];
        for (size_t i = 6; i < words.size(); ++i)
            sName += " " + words[i];
        sNames += "[" + sName + "]";
    }
    return sNames;
}

std::string Key(const wchar_t* pszSection, const wchar_t* pszKey)
{
    wchar_t wsz[256] = {};
    GetPrivateProfileStringW(pszSection, pszKey, L"<missing>", wsz, 256, kConfig.c_str());
    return nwsim::Utf8(wsz);
}

void FetchConfig(const std::string& sLetter)
{
    DeleteFileW(kConfig.c_str());
    ToolResult r = RunTool(L"recover.exe",
                           "-a -iY " + kClient + " -d \"X:\\tmp-config\" \"" + sLetter + ":\\QERNCFG\\disrec.ini\"");
    ASSERT_EQ(r.dwExit, 0u) << r.sOutput;
}

} // namespace

// --windows-letter E --boot-partition --core --x86 --computer-name OTHERPC --disrec-omit WinDir/Directory
// --omit-saveset "VSS SYSTEM SERVICES:\" --add-saveset "D:\ASR Images" --add-saveset "SYSTEM DB:\"
TEST(SimVariantWindowsOnE, ListingShowsAddedAndLacksOmittedSavesets)
{
    std::string sNames = ListedNames();
    EXPECT_NE(sNames.find("[E:\\]"), std::string::npos) << sNames;
    EXPECT_EQ(sNames.find("[C:\\]"), std::string::npos) << sNames;
    EXPECT_NE(sNames.find("[D:\\ASR Images]"), std::string::npos) << sNames;
    EXPECT_NE(sNames.find("[SYSTEM DB:\\]"), std::string::npos) << sNames;
    EXPECT_NE(sNames.find("[VSS SYSTEM BOOT:\\]"), std::string::npos) << sNames;
    EXPECT_EQ(sNames.find("VSS SYSTEM SERVICES"), std::string::npos) << sNames;
    ToolResult images = RunTool(L"recover.exe", "-a -n " + kClient + " \"D:\\ASR Images\"");
    EXPECT_NE(images.sOutput.find("D:\\ASR Images\\nwsim-added.dat\r\n"), std::string::npos) << images.sOutput;
}

TEST(SimVariantWindowsOnE, ConfigurationSummary)
{
    FetchConfig("E");
    EXPECT_EQ(Key(L"WinDir", L"DriveLetter"), "E");
    EXPECT_EQ(Key(L"WinDir", L"BootDriveLetter"), "");
    EXPECT_EQ(Key(L"WinDir", L"BootPartition"), "2");
    EXPECT_EQ(Key(L"PhysicalDrive0", L"DriveLetter2"), "e");
    EXPECT_EQ(Key(L"PhysicalDrive0", L"PartitionStyle"), "0");
    EXPECT_EQ(Key(L"WinDir", L"OSisCore"), "1");
    EXPECT_EQ(Key(L"WinDir", L"OSArchitecture"), "x86");
    EXPECT_EQ(Key(L"WinDir", L"Directory"), "<missing>");
    EXPECT_EQ(Key(L"WinDir", L"PhysicalDrive"), "0");
    EXPECT_EQ(Key(L"ComputerName", L"ComputerName"), "OTHERPC");
    EXPECT_EQ(Key(L"Volume Info", L"E"), "NTFS");
    EXPECT_EQ(Key(L"Volume Info", L"C"), "<missing>");
}

// --gpt-no-efi --disrec-set Main/NwClientVersion=19.4.0
TEST(SimVariantGptWithoutEfi, ConfigurationSummary)
{
    FetchConfig("C");
    EXPECT_EQ(Key(L"PhysicalDrive0", L"PartitionStyle"), "1");
    EXPECT_EQ(Key(L"WinDir", L"EFIDriveLetter"), "");
    EXPECT_EQ(Key(L"WinDir", L"DriveLetter"), "C");
    EXPECT_EQ(Key(L"Main", L"NwClientVersion"), "19.4.0");
    EXPECT_EQ(Key(L"ComputerName", L"ComputerName"), "WINCLIENT1");
    std::string sNames = ListedNames();
    EXPECT_NE(sNames.find("[C:\\]"), std::string::npos) << sNames;
    EXPECT_EQ(sNames.find("[S:\\]"), std::string::npos) << sNames;
}
