// The top-level listing of recover, the classification of its names and the marks of the
// Windows volumes, from text.
#include "catalogue/listing.h"

#include <gtest/gtest.h>

using namespace catalogue;

namespace
{

std::wstring Line(const std::wstring& sDateTime, const std::wstring& sName)
{
    return L"       1 d       334560 " + sDateTime + L" " + sName;
}

FileSpace Filespace(const std::wstring& sLine)
{
    FileSpace fs;
    const wchar_t* pReason = nullptr;
    EXPECT_TRUE(ParseFilespace(sLine, fs, pReason)) << testing::PrintToString(sLine);
    return fs;
}

FileSpace Root(wchar_t wc)
{
    FileSpace fs;
    fs.sFsName = std::wstring(1, wc) + L":\\";
    fs.wcFsDriveLetter = wc;
    return fs;
}

std::vector<unsigned long> Flags(const FileSpaceList& list)
{
    std::vector<unsigned long> v;
    for (const FileSpace& fs : list)
        v.push_back(fs.ulFsFlags);
    return v;
}

} // namespace

TEST(ListingNames, SystemStateSavesetsAreMatchedAsTheNamesTheyAre)
{
    const std::pair<const wchar_t*, unsigned> kNames[] = {
        {L"VSS ASR DISK:\\", 6},
        {L"VSS OTHER:\\", 7},
        {L"VSS SYSTEM BOOT:\\", 8},
        {L"VSS SYSTEM FILESET:\\", 9},
        {L"VSS SYSTEM SERVICES:\\", 10},
        {L"VSS USER DATA:\\", 11},
        {L"SHAREPOINT :\\", 1},
        {L"ASR:\\", 2},
        {L"ASR", 2},
        {L"SYSTEM DB:\\", 3},
        {L"SYSTEM FILES:\\", 4},
        {L"SYSTEM STATE:\\", 5},
        {L"DISASTER_RECOVERY:\\", 12},
        {L"WINDOWS ROLES AND FEATURES:\\", 16},
        // Filespaces whose names hold a saveset word stay filespaces.
        {L"D:\\ASR Images", 0},
        {L"E:\\Backup\\SYSTEM STATE", 0},
        {L"C:\\VSS SYSTEM BOOT:\\", 0},
        {L"ASR IMAGES", 0},
        {L"SYSTEM DBX:\\", 0},
        {L"C:\\", 0},
    };
    for (const auto& [pName, eType] : kNames)
        EXPECT_EQ(SystemStateTypeOf(pName), eType) << testing::PrintToString(std::wstring(pName));
}

TEST(ListingLines, DriveRootsMountedFoldersAndTheirTimes)
{
    FileSpace c = Filespace(Line(L"03/08/2021 22:00", L"c:\\"));
    EXPECT_EQ(c.sFsName, L"c:\\");
    EXPECT_EQ(c.wcFsDriveLetter, L'C');
    EXPECT_EQ(c.sFsPath, L"");
    EXPECT_EQ(c.ulFsFlags, 0u);
    ASSERT_TRUE(c.bFsTimeValid);
    EXPECT_EQ(c.tmFsTime.tm_year, 121);
    EXPECT_EQ(c.tmFsTime.tm_mon, 2);
    EXPECT_EQ(c.tmFsTime.tm_mday, 8);
    EXPECT_EQ(c.tmFsTime.tm_hour, 22);

    FileSpace m = Filespace(L"1 d 0 03/01/2021 22:10   D:\\Data\\Mount    1");
    EXPECT_EQ(m.sFsName, L"D:\\Data\\Mount 1") << "words are joined with single blanks";
    EXPECT_EQ(m.sFsPath, L"D:\\Data\\Mount 1");
    EXPECT_EQ(m.ulFsFlags, unsigned(FS_MOUNTED_FOLDER));
    EXPECT_EQ(m.wcFsDriveLetter, L'-');
    EXPECT_EQ(m.tmFsTime.tm_min, 10);

    FileSpace asr = Filespace(Line(L"03/01/2021 22:10", L"D:\\ASR Images"));
    EXPECT_EQ(asr.sFsPath, L"D:\\ASR Images");

    FileSpace noTime = Filespace(L"1 d 0 03/01/2021 E:\\");
    EXPECT_EQ(noTime.wcFsDriveLetter, L'E');
    EXPECT_TRUE(noTime.bFsTimeValid) << "no time is midnight";
    EXPECT_EQ(noTime.tmFsTime.tm_hour, 0);

    FileSpace badDate = Filespace(Line(L"31/31/2021 22:00", L"F:\\"));
    EXPECT_FALSE(badDate.bFsTimeValid) << "a bad date does not lose the filespace";
    EXPECT_EQ(badDate.wcFsDriveLetter, L'F');
}

TEST(ListingLines, TruncatedAndGarbledLinesAreNoFilespaces)
{
    const wchar_t* pReason = nullptr;
    for (const wchar_t* pLine : {L"", L"       1 d", L"1 d 334560 03/08/2021 22:00", L"1 d 334560 03/08/2021 22:00 ab",
                                 L"1 d 334560 03/08/2021 22:00 weird:\\name", L"total 3:\\"}) {
        FileSpace fs;
        EXPECT_FALSE(ParseFilespace(pLine, fs, pReason)) << testing::PrintToString(std::wstring(pLine));
    }
    SystemStateEntry entry;
    entry.eType = SST_VSS_SYSTEM_BOOT;
    EXPECT_FALSE(ParseSystemState(L"", entry, pReason));
    EXPECT_FALSE(ParseSystemState(L"1 d 5 03/08/2021", entry, pReason));
    EXPECT_FALSE(ParseSystemState(Line(L"03/08/2021 22:00:15", L"VSS SYSTEM BOOT:\\"), entry, pReason));
    EXPECT_STREQ(pReason, L"Failed to parse backup date/time");
    ASSERT_TRUE(ParseSystemState(Line(L"03/08/2021 23:00", L"SYSTEM DB"), entry, pReason))
        << "a system-state time is read even when the name has no colon";
    EXPECT_EQ(entry.eType, unsigned(SST_VSS_SYSTEM_BOOT));
    const SYSTEMTIME& st = entry.stBackupTime;
    EXPECT_EQ(std::vector<int>({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wDayOfWeek}),
              std::vector<int>({2021, 3, 8, 23, 0, 0, 0}));
}

TEST(ListingOrder, SystemStateIsSortedOldestFirstKeepingEqualTimesInOrder)
{
    auto entry = [](unsigned eType, WORD wDay, WORD wHour) {
        SystemStateEntry e;
        e.eType = eType;
        e.stBackupTime = {2021, 3, 0, wDay, wHour, 0, 0, 0};
        return e;
    };
    std::vector<SystemStateEntry> v = {entry(8, 8, 23), entry(3, 8, 22), entry(9, 8, 23), entry(12, 1, 0)};
    SortByBackupTime(v);
    std::vector<unsigned> types;
    for (const SystemStateEntry& e : v)
        types.push_back(e.eType);
    EXPECT_EQ(types, (std::vector<unsigned>{12, 3, 8, 9}));
}

TEST(ListingMarks, BootSystemAndEfiVolumes)
{
    FileSpace mounted;
    mounted.sFsName = mounted.sFsPath = L"C:\\Mount";
    mounted.ulFsFlags = FS_MOUNTED_FOLDER;
    FileSpaceList list = {Root(L'C'), Root(L'D'), Root(L'S'), mounted};
    SystemLetters mbr;
    mbr.wcBoot = L'C';
    mbr.wcSystem = L'D';
    mbr.wcEfi = L'S';
    SystemFilespaces names;
    MarkSystemVolumes(list, mbr, names);
    // The EFI letter counts only on a GPT disk.
    EXPECT_EQ(Flags(list), (std::vector<unsigned long>{3, 5, 0, FS_MOUNTED_FOLDER}));
    EXPECT_EQ(names.sBoot + L"|" + names.sSystem + L"|" + names.sEfi, L"C:\\|D:\\|");

    list = {Root(L'C'), Root(L'D'), Root(L'S')};
    SystemLetters gpt = mbr;
    gpt.bEfi = true;
    names = SystemFilespaces();
    MarkSystemVolumes(list, gpt, names);
    // The SYSTEM letter is not used with an EFI partition.
    EXPECT_EQ(Flags(list), (std::vector<unsigned long>{3, 0, 5}));
    EXPECT_EQ(names.sBoot + L"|" + names.sSystem + L"|" + names.sEfi, L"C:\\||S:\\");

    list = {Root(L'C')};
    SystemLetters same;
    same.wcBoot = same.wcSystem = L'C';
    names = SystemFilespaces();
    MarkSystemVolumes(list, same, names);
    EXPECT_EQ(list[0].ulFsFlags, 7u) << "Windows and the boot manager on one volume";
}

TEST(ListingConfigCheck, QueryAndAnswers)
{
    EXPECT_EQ(ConfigFolderQuery(L"C:\\"), L"ls -l C:\\QERNCFG\r\n");
    EXPECT_EQ(ClassifyConfigAnswer(L"recover> "), ConfigAnswer::Prompt);
    EXPECT_EQ(ClassifyConfigAnswer(L"  recover> "), ConfigAnswer::Prompt);
    EXPECT_EQ(ClassifyConfigAnswer(L"C:\\QERNCFG: not found"), ConfigAnswer::NotFound);
    EXPECT_EQ(ClassifyConfigAnswer(L"-rw-rw-rw-   1 SYSTEM   SYSTEM   1000 Mar  8 22:00 disrec.ini"),
              ConfigAnswer::Entry);
    EXPECT_EQ(ClassifyConfigAnswer(L" -rw-rw-rw-"), ConfigAnswer::Entry);
    EXPECT_EQ(ClassifyConfigAnswer(L"drwxrwxrwx   1 SYSTEM   SYSTEM   0 Mar  8 22:00 BOOT\\"), ConfigAnswer::Other);
    EXPECT_EQ(ClassifyConfigAnswer(L""), ConfigAnswer::Other);
}

// An error line amid the listing's answer, by message id; an entry whose name holds the words is
// an entry.
TEST(ListingErrors, EachLineGivesItsMessage)
{
    const std::pair<const wchar_t*, unsigned> kRows[] = {
        {L"An existing connection was forcibly closed by the remote host.", 189},
        {L"recover: nsrd: failed: busy", 131},
        {L"Stale asynchronous RPC handle", 195},
        {L"352:Remote system error - Connection timed out", 108},
        {L"A connection attempt failed because the connected party did not properly respond", 108},
        {L"RPC error: Remote system error", 106},
        {L"RPC cannot make a procedure call", 106},
        {L"Remote system error - No route to host", 163},
        {L"       1 d       334560 03/08/2021 22:00 D:\\Remote system error - No route to host", 0},
        {L"Current working directory is /", 0},
    };
    for (const auto& [pLine, uiId] : kRows)
        EXPECT_EQ(ListingErrorMessage(pLine), uiId) << testing::PrintToString(std::wstring(pLine));
}
