// The plain decisions of the system-state restore: command lines, how output lines are read,
// where staged and saved files belong, which NMM or disaster-recovery saveset is chosen, and the
// summary file's text.
#include "hostapi/message_ids.h"
#include "system/dump_text.h"
#include "system/system_rules.h"

#include <gtest/gtest.h>

using namespace systemrules;

namespace
{

SsidInfo Saveset(const wchar_t* pName, const wchar_t* pSsid, int iDay)
{
    SsidInfo s;
    s.sName = pName;
    s.sSsid = pSsid;
    s.tmSaveTime.tm_year = 121;
    s.tmSaveTime.tm_mon = 2;
    s.tmSaveTime.tm_mday = iDay;
    s.tmSaveTime.tm_hour = 22;
    return s;
}

SYSTEMTIME Day(int iDay, int iHour = 23)
{
    SYSTEMTIME st = {};
    st.wYear = 2021;
    st.wMonth = 3;
    st.wDay = static_cast<WORD>(iDay);
    st.wHour = static_cast<WORD>(iHour);
    return st;
}

std::vector<std::wstring> Lines(const std::wstring& s)
{
    std::vector<std::wstring> v;
    size_t from = 0;
    for (size_t at; (at = s.find(L'\n', from)) != std::wstring::npos; from = at + 1)
        v.push_back(s.substr(from, at - from));
    EXPECT_EQ(from, s.size()) << "the text ends with a line end";
    return v;
}

} // namespace

TEST(SystemRules, TheDispatchTableGivesEachKindItsRoutineMessagesAndPostSteps)
{
    const ComponentRow& boot = FindComponent(SST_VSS_SYSTEM_BOOT);
    EXPECT_EQ(boot.routine, Routine::Vss);
    EXPECT_STREQ(boot.pSaveset, L"VSS SYSTEM BOOT:\\");
    EXPECT_EQ(boot.dwCountGroup, 0x10100u);
    EXPECT_EQ(boot.dwRestoreGroup, 0x10200u);
    EXPECT_EQ(boot.uiRestoreFailed, 184u);
    EXPECT_EQ(boot.uiPostSteps, unsigned(POST_BOOT | POST_MOVE_SYSTEM_FILES));
    EXPECT_EQ(boot.uiPostFailed, 151u);
    EXPECT_EQ(FindComponent(SST_SYSTEM_STATE).uiPostSteps, unsigned(POST_MOVE_NSR_HIVES));
    EXPECT_EQ(FindComponent(SST_SYSTEM_STATE).uiPostFailed, 149u);
    EXPECT_EQ(FindComponent(SST_VSS_SYSTEM_FILESET).uiPostSteps, unsigned(POST_FILESET | POST_MOVE_SYSTEM_FILES));
    EXPECT_STREQ(FindComponent(SST_SHAREPOINT).pSaveset, L"SHAREPOINT ");
    EXPECT_STREQ(FindComponent(SST_NMM_SYSTEM_COMPONENTS).pSaveset, L"SYSTEM COMPONENTS:\\ ");
    EXPECT_EQ(FindComponent(SST_NMM_VSS).uiRestoreFailed, 176u);
    EXPECT_EQ(FindComponent(SST_DISASTER_RECOVERY).routine, Routine::DisasterRecovery);
    EXPECT_EQ(FindComponent(SST_DISASTER_RECOVERY).uiRestoreFailed, 171u);
    for (unsigned eType : {0u, 2u, 6u, 16u, 17u, 999u})
        EXPECT_EQ(FindComponent(eType).routine, Routine::Skip) << eType;
    EXPECT_STREQ(DumpLabel(5), L"SYSTEM STATE Restored            : ");
    EXPECT_STREQ(DumpLabel(14), L"(NMM) SYSTEM COMPONENTS Restored : ");
    EXPECT_STREQ(DumpLabel(16), L"WINDOWS ROLES AND FEATURES       : ");
    EXPECT_STREQ(DumpLabel(17), L"??? Restored                     : ");
    EXPECT_STREQ(DumpLabel(0), L"??? Restored                     : ");
}

TEST(SystemRules, ThePortQueryRunsFromClientVersion822On)
{
    const unsigned short kVersions[][3] = {{7, 6, 5}, {8, 1, 9}, {8, 2, 1}, {8, 2, 2},
                                           {8, 3, 0}, {9, 0, 0}, {19, 4, 0}};
    for (size_t i = 0; i < std::size(kVersions); ++i)
        EXPECT_EQ(NeedsPortQuery(kVersions[i][0], kVersions[i][1], kVersions[i][2]), i >= 3) << i;
}

TEST(SystemRules, CommandLinesOfBothPassesAndOfTheSsidRestores)
{
    EXPECT_EQ(VssCommandLine(L"R.exe", L"srv", L"cli", L"", L"SHAREPOINT ", true),
              L"R.exe -n -a -iY -s \"srv\" -c \"cli\" -N\"SHAREPOINT \"");
    EXPECT_EQ(VssCommandLine(L"R.exe", L"srv", L"cli", L"03/01/2021 23:00:00", L"VSS SYSTEM BOOT:\\", false),
              L"R.exe -a -iY -s \"srv\" -c \"cli\" -t \"03/01/2021 23:00:00\" -N\"VSS SYSTEM BOOT:\\\"");
    EXPECT_EQ(SsidCommandLine(L"R.exe", L"srv", L"4200001001", L"", true), L"R.exe -n -a -iY -s \"srv\" -S 4200001001");
    EXPECT_EQ(SsidCommandLine(L"R.exe", L"srv", L"42", L"C:\\", false), L"R.exe -a -iY -s \"srv\" -S 42 -d \"C:\\..\"");
    EXPECT_EQ(SsidCommandLine(L"R.exe", L"srv", L"42", L"D:\\Data", true),
              L"R.exe -n -a -iY -s \"srv\" -S 42 -d \"D:\\Data\\..\"");
}

TEST(SystemRules, LinesOfTheWriterPassesBeforeTheRestoreReadingApplies)
{
    EXPECT_EQ(ClassifySystemLine(L"Recovering Writer \"System Writer\" components ..."), SystemLine::Writer);
    EXPECT_EQ(ClassifySystemLine(L"ASR: Restoring disk configuration"), SystemLine::Ignored);
    EXPECT_EQ(ClassifySystemLine(L"C:\\x.dll: unable to set 'compressed' attribute: The request is not supported."),
              SystemLine::Ignored);
    EXPECT_EQ(ClassifySystemLine(L"Microsoft recommends simultaneous recovery of all system state writer components"),
              SystemLine::Ignored);
    EXPECT_EQ(ClassifySystemLine(L"C:\\Windows\\System32\\drivers\\etc\\hosts"), SystemLine::Restore);
    EXPECT_EQ(ClassifySystemLine(L"C:\\ASR Images\\disk.img"), SystemLine::Restore) << "a path, not an ASR line";
    // A saveset recover cannot find, and the only words that make an empty pass a whole one.
    EXPECT_EQ(ClassifySystemLine(L"recover: no save set named `VSS SYSTEM BOOT:\\' for client `winclient1'"),
              SystemLine::NoSaveset);
    EXPECT_EQ(ClassifySystemLine(L"recover: no save set with ssid 4200001005"), SystemLine::NoSaveset);
    EXPECT_EQ(ClassifySystemLine(L"Requesting 0 file(s), this may take a while..."), SystemLine::NoObjects);
    EXPECT_EQ(ClassifySystemLine(L"Recovering 0 file(s) into their original locations"), SystemLine::NoObjects);
    EXPECT_EQ(ClassifySystemLine(L"Requesting 10 file(s), this may take a while..."), SystemLine::Restore);
    EXPECT_EQ(ClassifySystemLine(L"C:\\Windows\\Requesting 0 file(s).txt"), SystemLine::Restore) << "an object";
    EXPECT_EQ(ClassifySystemLine(L"C:\\notes\\no save set named x.txt"), SystemLine::Restore) << "an object";
}

TEST(SystemRules, LinesSayingRecoverHasNoSessionAndTheirMessages)
{
    const struct {
        const wchar_t* pLine;
        unsigned uiMessage;
    } cases[] = {
        {L"32586:recover: Recover request to server `nw1' failed: busy", MSG_SERVER_BUSY},
        {L"recover: Unable to connect to server `nw1': Remote system error - No connection could be made because "
         L"the target machine actively refused it.",
         MSG_NO_SESSION},
        {L"recover: Remote system error - No route to host", MSG_NO_SESSION},
        {L"recover: RPC cannot make a procedure call: Procedure unavailable", MSG_SERVER_NOT_CONTACTED},
        {L"recover: A connection attempt failed because the connected party did not properly respond after a "
         L"period of time",
         MSG_CONNECTION_TIMED_OUT},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifySystemLine(c.pLine), SystemLine::NoSession) << testing::PrintToString(c.pLine);
        EXPECT_EQ(NoSessionMessage(c.pLine), c.uiMessage) << testing::PrintToString(c.pLine);
    }
    // A restored file may carry such words in its name: it stays an object.
    EXPECT_EQ(ClassifySystemLine(L"C:\\logs\\RPC cannot make a procedure call.txt"), SystemLine::Restore);
    EXPECT_EQ(ClassifySystemLine(L"Received 0 file(s) from NSR server `nw1'"), SystemLine::Restore);
    EXPECT_EQ(NoSessionMessage(L"recover: busy writing"), 0u);
}

TEST(SystemRules, StagedCopiesAndTheirFinalFolders)
{
    const std::wstring sStaging = L"C:\\temp\\nsr_recover\\RecoverWriter-2\\";
    EXPECT_EQ(StagedCopy(L"C:\\Windows\\win.ini", sStaging), sStaging + L"Windows\\win.ini");
    EXPECT_EQ(StagedCopy(L"no path here", sStaging), L"");
    EXPECT_TRUE(RestoresInPlace(L"SYSTEM STATE"));
    EXPECT_FALSE(RestoresInPlace(L"VSS OTHER:\\"));

    const std::wstring sRoot = L"E:\\temp\\nsr_recover";
    std::wstring sDest;
    ASSERT_TRUE(StagedFolderDestination(sRoot, sRoot + L"\\RecoverWriter-1", L'E', sDest));
    EXPECT_EQ(sDest, L"E:\\");
    ASSERT_TRUE(StagedFolderDestination(sRoot, sRoot + L"\\RecoverWriter-1\\Windows\\System32", L'E', sDest));
    EXPECT_EQ(sDest, L"E:\\Windows\\System32");
    EXPECT_TRUE(StagedFolderDestination(L"e:\\TEMP\\nsr_recover\\", sRoot + L"\\W\\a", L'E', sDest));
    EXPECT_EQ(sDest, L"E:\\a") << "the root compares without regard to case, with or without its backslash";
    EXPECT_FALSE(StagedFolderDestination(sRoot, L"E:\\temp\\other\\x", L'E', sDest));
    EXPECT_FALSE(StagedFolderDestination(sRoot, sRoot, L'E', sDest));
}

TEST(SystemRules, HiveSuffixesAndSavedConfigurationFiles)
{
    std::wstring s;
    ASSERT_TRUE(WithoutNsrSuffix(L"C:\\Windows\\system32\\config\\SYSTEM_NSR", s));
    EXPECT_EQ(s, L"C:\\Windows\\system32\\config\\SYSTEM");
    ASSERT_TRUE(WithoutNsrSuffix(L"C:\\W\\config\\SAM_NSR.LOG_NSR", s));
    EXPECT_EQ(s, L"C:\\W\\config\\SAM.LOG_NSR") << "only the first suffix goes";
    EXPECT_FALSE(WithoutNsrSuffix(L"C:\\Windows\\system32\\config\\SYSTEM", s));

    ASSERT_TRUE(ConfigFileDestination(L"C:\\QERNCFG\\BOOT\\Boot\\BCD", L"\\BOOT\\", L'C', s));
    EXPECT_EQ(s, L"C:\\Boot\\BCD");
    ASSERT_TRUE(ConfigFileDestination(L"E:\\qerncfg\\system\\bootmgr", L"\\SYSTEM\\", L'S', s));
    EXPECT_EQ(s, L"S:\\bootmgr");
    EXPECT_FALSE(ConfigFileDestination(L"C:\\QERNCFG\\disrec.ini", L"\\BOOT\\", L'C', s));
}

TEST(SystemRules, TheChosenSavesetIsTheNewestNotAfterThePointInTime)
{
    std::vector<SsidInfo> lines = {Saveset(L"APPLICATIONS:\\", L"11", 1), Saveset(L"APPLICATIONS:\\", L"12", 8),
                                   Saveset(L"VSS:/", L"21", 8), Saveset(L"VSS:/", L"20", 1)};
    std::vector<SsidInfo> all = ChooseSavesets(lines, nullptr);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].sSsid, L"12");
    EXPECT_EQ(all[1].sSsid, L"21") << "the newest, not the last line of the report";
    SYSTEMTIME pit = Day(5);
    std::vector<SsidInfo> older = ChooseSavesets(lines, &pit);
    ASSERT_EQ(older.size(), 2u);
    EXPECT_EQ(older[0].sSsid, L"11");
    EXPECT_EQ(older[1].sSsid, L"20");
    SYSTEMTIME exact = Day(1, 22);
    EXPECT_EQ(ChooseSavesets(lines, &exact).size(), 2u) << "a saveset saved at the point in time is taken";
    SYSTEMTIME before = Day(1, 21);
    EXPECT_TRUE(ChooseSavesets(lines, &before).empty());
}

TEST(DumpText, EveryLineInOrderWithCredentialsAndComponents)
{
    DumpFacts f;
    f.sModuleVersion = L"1.2.3.4";
    f.bValidCredentials = true;
    f.sServerName = L"nwsrv";
    f.sServerAddress = L"127.0.0.1";
    f.sClientName = L"winclient1";
    f.sClientAddress = L"192.168.10.7";
    f.sNetmask = L"255.255.255.0";
    f.uiPrefix = 24;
    f.sGateway = L"192.168.10.1";
    f.sBackupClientDir = L"C:\\Program Files\\Legato\\nsr";
    f.sBackupClientVersion = L"9.2.1.5";
    f.sRecoverClientDir = L"X:\\PROGRA~1\\Legato\\nsr";
    f.sRecoverClientVersion = L"9.2.1.5";
    f.sServicePortRange = L"7937-9936";
    f.wcBoot = L'C';
    f.wcSystem = L'-';
    f.sBootFilespace = L"C:\\";
    f.sWinDir = L"\\Windows";
    f.sPointInTime = L"03/01/2021 23:00:00";
    SystemStateEntry restored, empty, counted;
    restored.eType = SST_VSS_SYSTEM_BOOT;
    restored.uiFilesRestored = 5;
    restored.uiFilesToRestore = 6;
    empty.eType = SST_VSS_ASR_DISK;
    counted.eType = SST_NMM_VSS;
    counted.uiFilesToRestore = 3;
    f.components = {restored, empty, counted};
    f.failures = {L"Failed to restore VSS SYSTEM BOOT (hives missing or empty: SAM missing)"};
    std::vector<std::wstring> expected = {
        L"CVEX.DLL version 1.2.3.4",
        L"",
        L"NetWorker Server    : nwsrv",
        L"NetWorker Server IP : 127.0.0.1",
        L"",
        L"NetWorker Client    : winclient1",
        L"NetWorker Client IP : 192.168.10.7",
        L"NetWorker Netmask   : 255.255.255.0 ( /24 )",
        L"NetWorker Gateway   : 192.168.10.1",
        L"",
        L"Backup NetWorker client directory   : C:\\Program Files\\Legato\\nsr",
        L"Backup NetWorker client version     : 9.2.1.5",
        L"",
        L"Recovery NetWorker client directory : X:\\PROGRA~1\\Legato\\nsr",
        L"Recovery NetWorker client version   : 9.2.1.5",
        L"",
        L"Service Port Range                  : 7937-9936",
        L"",
        L"BOOT drive letter   : C:",
        L"BOOT filespace      : C:\\",
        L"",
        L"SYSTEM drive letter : -:",
        L"SYSTEM filespace    : n/a",
        L"",
        L"Windows directory   : \\Windows",
        L"",
        L"Point-in-Time date  : 03/01/2021 23:00:00",
        L"",
        L"VSS SYSTEM BOOT Restored         : 5 of 6",
        L"(NMM) VSS Restored               : 0 of 3",
        L"Failed component                 : Failed to restore VSS SYSTEM BOOT (hives missing or empty: SAM missing)",
    };
    EXPECT_EQ(Lines(DumpText(f)), expected);
}

TEST(DumpText, WithoutCredentialsGatewayOrPointInTimeAndWithAnEfiPartition)
{
    DumpFacts f;
    f.sModuleVersion = L"1.0";
    f.sServerName = L"hidden";
    f.wcBoot = L'C';
    f.bEFI = true;
    f.wcEfi = L'S';
    f.sEfiFilespace = L"\\\\?\\Volume{1}\\";
    f.sShortNames = L"not supported";
    std::vector<std::wstring> lines = Lines(DumpText(f));
    std::vector<std::wstring> expected = {
        L"CVEX.DLL version 1.0",
        L"",
        L"Backup NetWorker client directory   : ",
        L"Backup NetWorker client version     : ",
        L"",
        L"Recovery NetWorker client directory : ",
        L"Recovery NetWorker client version   : ",
        L"",
        L"",
        L"BOOT drive letter   : C:",
        L"BOOT filespace      : ",
        L"",
        L"EFI drive letter    : S:",
        L"EFI filespace       : \\\\?\\Volume{1}\\",
        L"",
        L"Windows directory   : ",
        L"",
        L"Program folder short names       : not supported",
    };
    EXPECT_EQ(lines, expected);
    f.bValidCredentials = true;
    for (const std::wstring& s : Lines(DumpText(f)))
        EXPECT_EQ(s.find(L"Gateway"), std::wstring::npos) << "no gateway line without a gateway";
}
