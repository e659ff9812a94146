// The saved configuration: its staging folder, the retry bound, the version check, and what
// "disrec.ini" says in each of its variants.
#include "catalogue/saved_config.h"
#include "hostapi/message_ids.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace catalogue;

namespace
{

const char kMbr[] = "[Main]\r\nNwClientVersion=9.2.1\r\n[WinDir]\r\nOSVersion=10\r\nOSisCore=0\r\n"
                    "OSArchitecture=AMD64\r\nDriveLetter=C\r\nPhysicalDrive=0\r\nDirectory=\\Windows\r\n"
                    "BootDriveLetter=D\r\nBootPartition=1\r\nEFIDriveLetter=\r\n[PhysicalDrive0]\r\n"
                    "PartitionStyle=0\r\nDriveLetter1=e\r\n[ComputerName]\r\nComputerName=WINCLIENT1\r\n";

// The sample with one key's line replaced (or removed when sNew is empty).
std::string Variant(std::string sIni, const std::string& sOld, const std::string& sNew)
{
    size_t at = sIni.find(sOld + "\r\n");
    EXPECT_NE(at, std::string::npos) << sOld;
    return sIni.replace(at, sOld.size() + 2, sNew.empty() ? "" : sNew + "\r\n");
}

class SavedMachineTest : public ::testing::Test
{
protected:
    SavedMachine Read(const std::string& sIni)
    {
        testutil::WriteTextFile(folder.file(L"disrec.ini"), sIni);
        return ReadSavedMachine(folder.file(L"disrec.ini"));
    }
    testutil::ScratchFolder folder{L"saved_machine"};
};

} // namespace

TEST_F(SavedMachineTest, AnMbrMachine)
{
    SavedMachine m = Read(kMbr);
    EXPECT_EQ(m.uiError, 0u);
    EXPECT_EQ(m.uiWarning, 0u);
    EXPECT_EQ(m.wcBoot, L'C');
    EXPECT_EQ(m.wcSystem, L'D');
    EXPECT_EQ(m.wcEfi, L'-');
    EXPECT_FALSE(m.bEfi);
    EXPECT_TRUE(m.bCopySystem);
    EXPECT_TRUE(m.bVistaOrLater);
    EXPECT_FALSE(m.bIsCore);
    EXPECT_TRUE(m.bIs64Bit);
    EXPECT_EQ(m.sWinDir, L"\\Windows");
    EXPECT_EQ(m.sComputerName, L"WINCLIENT1");
}

TEST_F(SavedMachineTest, AnEmptyBootLetterFallsBackToTheBootPartition)
{
    SavedMachine m = Read(Variant(kMbr, "BootDriveLetter=D", "BootDriveLetter="));
    EXPECT_EQ(m.uiError, 0u);
    EXPECT_EQ(m.wcSystem, L'E') << "DriveLetter1 of the Windows disk, upper-cased";
    m = Read(Variant(kMbr, "BootDriveLetter=D", ""));
    EXPECT_EQ(m.wcSystem, L'E');
    // Without a letter for the partition the recovery goes on without the SYSTEM files.
    m = Read(Variant(Variant(kMbr, "BootDriveLetter=D", "BootDriveLetter="), "DriveLetter1=e", "DriveLetter1="));
    EXPECT_EQ(m.uiError, 0u);
    EXPECT_EQ(m.uiWarning, unsigned(MSG_NO_SYSTEM_LETTER));
    EXPECT_FALSE(m.bCopySystem);
    EXPECT_EQ(m.wcSystem, L'-');
    m = Read(Variant(Variant(kMbr, "BootDriveLetter=D", "BootDriveLetter="), "BootPartition=1", ""));
    EXPECT_EQ(m.uiError, unsigned(MSG_NO_SYSTEM_LETTER));
}

TEST_F(SavedMachineTest, AGptMachineUsesItsEfiPartition)
{
    std::string sGpt =
        Variant(Variant(kMbr, "PartitionStyle=0", "PartitionStyle=1"), "EFIDriveLetter=", "EFIDriveLetter=S");
    SavedMachine m = Read(sGpt);
    EXPECT_EQ(m.uiError, 0u);
    EXPECT_TRUE(m.bEfi);
    EXPECT_FALSE(m.bCopySystem);
    EXPECT_EQ(m.wcEfi, L'S');
    m = Read(Variant(sGpt, "EFIDriveLetter=S", "EFIDriveLetter="));
    EXPECT_EQ(m.uiError, unsigned(MSG_NO_SYSTEM_RESERVED_LETTER));
    m = Read(Variant(sGpt, "EFIDriveLetter=S", ""));
    EXPECT_EQ(m.uiError, unsigned(MSG_NO_SYSTEM_RESERVED_LETTER));
}

TEST_F(SavedMachineTest, MissingKeysAndOtherInstallations)
{
    EXPECT_EQ(Read(Variant(kMbr, "DriveLetter=C", "")).uiError, unsigned(MSG_NO_BOOT_LETTER));
    EXPECT_EQ(Read(Variant(kMbr, "DriveLetter=C", "DriveLetter=7")).uiError, unsigned(MSG_NO_BOOT_LETTER));
    EXPECT_EQ(Read(Variant(kMbr, "PhysicalDrive=0", "")).uiError, unsigned(MSG_NO_SYSTEM_LETTER));
    EXPECT_EQ(Read(Variant(kMbr, "Directory=\\Windows", "")).uiError, unsigned(MSG_NO_WINDOWS_DIRECTORY));
    EXPECT_EQ(Read("").uiError, unsigned(MSG_NO_BOOT_LETTER)) << "an empty file";

    SavedMachine m =
        Read(Variant(Variant(kMbr, "OSisCore=0", "OSisCore=1"), "OSArchitecture=AMD64", "OSArchitecture=x86"));
    EXPECT_TRUE(m.bIsCore);
    EXPECT_FALSE(m.bIs64Bit);
    EXPECT_TRUE(Read(Variant(kMbr, "OSArchitecture=AMD64", "OSArchitecture=ia64")).bIs64Bit);
    EXPECT_FALSE(Read(Variant(kMbr, "OSVersion=10", "OSVersion=5")).bVistaOrLater);
    m = Read(Variant(Variant(kMbr, "DriveLetter=C", "DriveLetter=e"), "Directory=\\Windows", "Directory=\\WINNT"));
    EXPECT_EQ(m.wcBoot, L'E') << "Windows on another letter";
    EXPECT_EQ(m.sWinDir, L"\\WINNT");
}

TEST(SavedConfig, TheStagingFolderIsBesideTheConfigurationFolder)
{
    EXPECT_EQ(StagingFolder(L"X:\\Program Files\\Velmora\\HALVOCFG"), L"X:\\Program Files\\Velmora\\QERNCFG");
    EXPECT_EQ(StagingFolder(L"Z:\\cfg\\HALVOCFG\\"), L"Z:\\cfg\\QERNCFG");
    EXPECT_EQ(StagingFolder(L"Z:\\other\\settings"), L"Z:\\other\\QERNCFG") << "whatever the folder is named";
}

TEST(SavedConfig, ATimedOutFetchIsTriedAgainAtMostFiveTimes)
{
    using R = FetchResult;
    const struct {
        std::vector<R> answers; // of each try, the last one repeated
        int nPausesAllowed;     // the host's abort ends the next pause
        R result;
        int nTries, nPauses;
    } kRows[] = {
        {{R::Retry, R::Done}, 99, R::Done, 2, 1},
        {{R::Retry}, 99, R::Retry, 5, 4},
        {{R::Failed}, 99, R::Failed, 1, 0}, // a failure is not tried again
        {{R::Retry}, 1, R::Failed, 2, 2},   // an abort in the second pause ends the tries
    };
    for (const auto& row : kRows) {
        int nTries = 0, nPauses = 0;
        R result = FetchWithRetries([&] { return row.answers[std::min<size_t>(nTries++, row.answers.size() - 1)]; },
                                    [&] { return ++nPauses <= row.nPausesAllowed; });
        EXPECT_EQ(std::vector<int>({int(result), nTries, nPauses}),
                  std::vector<int>({int(row.result), row.nTries, row.nPauses}));
    }
    EXPECT_EQ(kMaxFetchTries, 5);
}

TEST(SavedConfig, TheRecoveryClientMustNotBeOlderThanTheBackupClient)
{
    EXPECT_TRUE(RecoveryClientTooOld(9, 2, 9, 1));
    EXPECT_TRUE(RecoveryClientTooOld(9, 2, 8, 2));
    EXPECT_FALSE(RecoveryClientTooOld(9, 2, 9, 2)) << "9.2 against 9.2.1";
    EXPECT_FALSE(RecoveryClientTooOld(9, 2, 19, 4));
    EXPECT_FALSE(RecoveryClientTooOld(9, 2, 0, 0)) << "an unknown recovery client is not judged";
    EXPECT_FALSE(RecoveryClientTooOld(0, 0, 7, 4)) << "an unknown backup client is not judged";
}
