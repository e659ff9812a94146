// recover.exe inside a sandbox whose store holds every kind of saveset ("all" shape).
#include "simulator/common/text.h"
#include "tests/common/test_util.h"
#include "tests/testbed/sim_process.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace
{

const char kSession[] = "-s \"nwsrv\" -c \"winclient1\"";
const char kRestore[] = "-a -iY -s \"nwsrv\" -c \"winclient1\"";

std::vector<std::string> OutputLines(const std::string& sOutput)
{
    return nwsim::Lines(sOutput);
}

bool HasLine(const std::string& sOutput, const std::string& sLine)
{
    for (const std::string& l : OutputLines(sOutput))
        if (l == sLine)
            return true;
    return false;
}

std::wstring StoreData(const std::string& sSsid, const std::wstring& sRel)
{
    return StoreFolder() + L"\\data\\" + nwsim::Wide(sSsid) + L"\\" + sRel;
}

} // namespace

TEST(SimRecoverSession, ScriptedDialogueTypedAsKeys)
{
    ConsoleTool tool;
    ASSERT_TRUE(tool.Start(L"recover.exe", kSession));
    ASSERT_TRUE(tool.WaitFor("Current working directory is"));
    ASSERT_TRUE(tool.WaitFor("recover> "));
    // The restore module types CR LF; the LF must not count as an empty second command.
    ASSERT_TRUE(tool.Type(L"cd /\r\nll -S\r\n"));
    ASSERT_TRUE(tool.WaitFor("WINDOWS ROLES AND FEATURES:\\\r\n"));
    const std::string& out = tool.Output();
    EXPECT_NE(out.find(" 03/08/2021 22:00 C:\\\r\n"), std::string::npos);
    EXPECT_NE(out.find(" 03/08/2021 22:10 D:\\Data\\Mount 1\r\n"), std::string::npos);
    EXPECT_NE(out.find(" VSS SYSTEM BOOT:\\\r\n"), std::string::npos);
    EXPECT_NE(out.find(" SYSTEM STATE:\\\r\n"), std::string::npos);
    EXPECT_EQ(out.find("APPLICATIONS:\\"), std::string::npos); // NMM savesets are for mminfo only
    ASSERT_TRUE(tool.Type(L"ls -l C:\\QERNCFG\r\n"));
    ASSERT_TRUE(tool.WaitFor("NWPKey\r\n"));
    ASSERT_TRUE(tool.Type(L"ls -l C:\\NoSuchFolder\r\n"));
    ASSERT_TRUE(tool.WaitFor("C:\\NoSuchFolder: not found\r\n"));
    ASSERT_TRUE(tool.Type(L"changetime \"March 05,2021 00:00:00\"\r\nadd -q D:\\Data\\Mount 1\r\nlist -l\r\n"));
    ASSERT_TRUE(tool.WaitFor("inside mount.txt\r\n"));
    EXPECT_NE(tool.Output().find("       1 -           11 03/01/2021 22:10 D:\\Data\\Mount 1\\inside mount.txt"),
              std::string::npos);
    ASSERT_TRUE(tool.Type(L"EXIT\r\n"));
    DWORD dwExit = 1;
    ASSERT_TRUE(tool.WaitExit(dwExit));
    EXPECT_EQ(dwExit, 0u);
}

TEST(SimRecoverRestore, FilesAreByteIdenticalAndOverwriteIsReported)
{
    testutil::ScratchFolder scratch(L"sim_restore");
    std::string sArgs = std::string(kRestore) + " -d \"" + nwsim::Utf8(scratch.path()) + "\" \"C:\\\"";
    ToolResult first = RunTool(L"recover.exe", sArgs);
    ASSERT_EQ(first.dwExit, 0u) << first.sOutput;
    EXPECT_NE(first.sOutput.find("Requesting 26 file(s), this may take a while..."), std::string::npos)
        << first.sOutput;
    std::string sRoot = nwsim::Utf8(scratch.path());
    EXPECT_TRUE(HasLine(first.sOutput, sRoot + "\\Program Files\\Sample App\\engine.bin"));
    EXPECT_TRUE(HasLine(first.sOutput, sRoot + "\\QERNCFG\\BOOT\\")); // folders end in "\"
    // Backup 2 of C:\ is saveset 4200001004 in the "all" store.
    for (const wchar_t* rel :
         {L"Program Files\\Sample App\\engine.bin", L"QERNCFG\\disrec.ini",
          L"Users\\Public\\Documents\\notes, draft.txt", L"Users\\Public\\Documents\\added later.txt"}) {
        std::string sRestored = ReadFileBytes(scratch.file(rel));
        EXPECT_FALSE(sRestored.empty()) << nwsim::Utf8(rel);
        EXPECT_EQ(sRestored, ReadFileBytes(StoreData("4200001004", L"C\\" + std::wstring(rel)))) << nwsim::Utf8(rel);
    }
    EXPECT_TRUE(GetFileAttributesW(scratch.file(L"Windows\\System32\\nwsim-policy.dat").c_str()) &
                FILE_ATTRIBUTE_READONLY);
    ToolResult second = RunTool(L"recover.exe", sArgs);
    ASSERT_EQ(second.dwExit, 0u);
    EXPECT_TRUE(HasLine(second.sOutput, sRoot + "\\Windows\\System32\\nwsim-policy.dat: file exists, overwriting"));
}

TEST(SimRecoverRestore, CountPassPrintsTheSameObjectsAndWritesNothing)
{
    testutil::ScratchFolder scratch(L"sim_count");
    std::string sTail = " -d \"" + nwsim::Utf8(scratch.path()) + "\" \"D:\\\"";
    ToolResult count = RunTool(L"recover.exe", "-n " + std::string(kRestore) + sTail);
    ASSERT_EQ(count.dwExit, 0u) << count.sOutput;
    EXPECT_EQ(GetFileAttributesW(scratch.file(L"Data").c_str()), INVALID_FILE_ATTRIBUTES);
    ToolResult real = RunTool(L"recover.exe", std::string(kRestore) + sTail);
    auto objects = [](const std::string& s) {
        std::vector<std::string> v;
        for (const std::string& l : OutputLines(s))
            if (l.size() > 2 && l[1] == ':' && l.find(":\\") != std::string::npos)
                v.push_back(l);
        return v;
    };
    EXPECT_EQ(objects(count.sOutput), objects(real.sOutput));
    EXPECT_EQ(objects(real.sOutput).size(), 5u);
}

TEST(SimRecoverRestore, PointInTimeChoosesTheBackup)
{
    // D:\ is a sandbox disk: restore to the original path.
    ToolResult early = RunTool(L"recover.exe", std::string(kRestore) + " -t \"March 05,2021 00:00:00\" \"D:\\Data\"");
    ASSERT_EQ(early.dwExit, 0u) << early.sOutput;
    EXPECT_EQ(ReadFileBytes(L"D:\\Data\\report.txt"), "report of backup 1\r\n");
    ToolResult late = RunTool(L"recover.exe", std::string(kRestore) + " \"D:\\Data\"");
    ASSERT_EQ(late.dwExit, 0u);
    EXPECT_EQ(ReadFileBytes(L"D:\\Data\\report.txt"), "report of backup 2\r\n");
    ToolResult before =
        RunTool(L"recover.exe", std::string(kRestore) + " -t \"January 01,2020 00:00:00\" \"D:\\Data\"");
    EXPECT_NE(before.dwExit, 0u);
    EXPECT_NE(before.sOutput.find("not found"), std::string::npos);
}

TEST(SimRecoverRestore, WriterSavesetIsStagedAndAnnounced)
{
    ToolResult r = RunTool(L"recover.exe", std::string(kRestore) + " -N\"VSS SYSTEM BOOT:\\\"");
    ASSERT_EQ(r.dwExit, 0u) << r.sOutput;
    size_t writer = r.sOutput.find("Recovering Writer");
    ASSERT_NE(writer, std::string::npos);
    EXPECT_LT(writer, r.sOutput.find("C:\\Windows\\System32\\nwsim-bootstate.dat"));
    // Hives go straight to the repair folder, the rest into a new staging folder.
    EXPECT_FALSE(ReadFileBytes(L"C:\\Windows\\repair\\Backup\\BootableSystemState\\Registry\\SYSTEM").empty());
    WIN32_FIND_DATAW fd;
    velmora::unique_find find(FindFirstFileW(L"C:\\temp\\nsr_recover\\RecoverWriter-*", &fd));
    ASSERT_TRUE(find);
    std::wstring sStaged =
        L"C:\\temp\\nsr_recover\\" + std::wstring(fd.cFileName) + L"\\Windows\\System32\\nwsim-bootstate.dat";
    EXPECT_EQ(ReadFileBytes(sStaged).size(), 5000u);
    find.reset();
    testutil::RemoveTree(L"C:\\temp\\nsr_recover");
    testutil::RemoveTree(L"C:\\Windows\\repair\\Backup");
}

TEST(SimRecoverRestore, SystemFilesetRestoresBootFoldersOnTheSystemDrive)
{
    ToolResult r = RunTool(L"recover.exe", "-n " + std::string(kRestore) + " -N\"VSS SYSTEM FILESET:\\\"");
    ASSERT_EQ(r.dwExit, 0u) << r.sOutput;
    wchar_t wsz[8] = {};
    GetEnvironmentVariableW(L"SystemDrive", wsz, 8);
    EXPECT_NE(r.sOutput.find(nwsim::Utf8(wsz) + "\\boot_restored-1\\bootmgr\r\n"), std::string::npos) << r.sOutput;
}

TEST(SimRecoverRestore, DisasterRecoveryBySsidWithRelocation)
{
    // OSSR_D_ (root D:\) restored the way the disaster-recovery restore asks for it.
    ToolResult r = RunTool(L"recover.exe", "-a -iY -s \"nwsrv\" -S 4200001034 -d \"D:\\..\"");
    ASSERT_EQ(r.dwExit, 0u) << r.sOutput;
    EXPECT_TRUE(HasLine(r.sOutput, "D:\\Recovery Data\\OSSR_D_.dat"));
    EXPECT_EQ(ReadFileBytes(L"D:\\Recovery Data\\OSSR_D_.dat").size(), 5000u);
}

TEST(SimRecoverSession, UnknownClientAndClientWithoutBackups)
{
    ToolResult r = RunTool(L"recover.exe", "-s \"nwsrv\" -c \"stranger\"");
    EXPECT_EQ(r.dwExit, 1u);
    EXPECT_NE(r.sOutput.find("Client `stranger' is not properly configured on the NetWorker Server"), std::string::npos)
        << r.sOutput;
    ToolResult wrongServer = RunTool(L"recover.exe", "-s \"otherserver\" -c \"winclient1\"");
    EXPECT_NE(wrongServer.sOutput.find("RPC cannot make a procedure call"), std::string::npos) << wrongServer.sOutput;
}
