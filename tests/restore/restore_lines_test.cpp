// The lines of the count and restore passes, recover's command lines and the filespace rules, called
// with text.
#include "plugin/cvex_impl.h"
#include "restore/filespace_rules.h"
#include "restore/recover_args.h"
#include "restore/restore_lines.h"

#include <gtest/gtest.h>

TEST(ListLine, FieldsSizesOver4GiBAndBlanksInNames)
{
    ListedObject o;
    ASSERT_TRUE(ParseListLine(L"       1 -         1234 06/01/2026 13:45 D:\\Data\\a  b.txt", o));
    EXPECT_EQ(o.ullSize, 1234u);
    EXPECT_EQ(o.sDate, L"06/01/2026");
    EXPECT_EQ(o.sTime, L"13:45");
    EXPECT_EQ(o.sPath, L"D:\\Data\\a  b.txt");
    ASSERT_TRUE(ParseListLine(L"1 - 6442450944 06/01/2026 13:45 D:\\big.vhd\r", o));
    EXPECT_EQ(o.ullSize, 6442450944ull);
    EXPECT_EQ(o.sPath, L"D:\\big.vhd");
    ASSERT_TRUE(ParseListLine(L"1 - 18446744073709551615 06/01/2026 13:45 D:\\max", o));
    EXPECT_EQ(o.ullSize, 18446744073709551615ull);

    ListedObject untouched;
    untouched.ullSize = 7;
    for (const wchar_t* p : {L"", L"recover> ", L"1 - 18446744073709551616 06/01/2026 13:45 D:\\over",
                             L"1 - 12x 06/01/2026 13:45 D:\\x", L"1 -- 12 06/01/2026 13:45 D:\\x", L"1 - 12 06/01/2026",
                             L"1 - 12 06/01/2026 13:45", L"D:\\x: not found", L"-1 - 12 06/01/2026 13:45 D:\\x"}) {
        EXPECT_FALSE(ParseListLine(p, untouched)) << p;
        EXPECT_EQ(untouched.ullSize, 7u) << p;
    }
}

TEST(ListLine, ParseFileWritesBothCurrentSizes)
{
    ProgressRecord progress;
    ASSERT_TRUE(CVEXImpl::ParseFile(L"1 - 5000000000 06/01/2026 13:45 D:\\v.bin", progress));
    EXPECT_EQ(progress.ullCurrentSize, 5000000000ull);
    EXPECT_EQ(progress.ullCurrentSize2, 5000000000ull);
    EXPECT_FALSE(CVEXImpl::ParseFile(L"", progress));
    EXPECT_FALSE(CVEXImpl::ParseFile(L"D:\\v.bin: Permission denied", progress));
    EXPECT_EQ(progress.ullCurrentSize, 5000000000ull);
}

TEST(CountLines, OnlyObjectsOfTheListingCount)
{
    ListedObject o;
    EXPECT_EQ(ClassifyCountLine(L"Current working directory is /", o), CountLine::Banner);
    EXPECT_EQ(ClassifyCountLine(L"recover> ", o), CountLine::Prompt);
    EXPECT_EQ(ClassifyCountLine(L"       1 d            0 06/01/2026 13:45 D:\\Data\\", o), CountLine::Directory);
    EXPECT_EQ(o.sPath, L"D:\\Data\\");
    EXPECT_EQ(ClassifyCountLine(L"       1 d          512 06/01/2026 13:45 D:\\Mount 1\\", o), CountLine::Directory);
    EXPECT_EQ(o.ullSize, 0u); // a folder adds no bytes, whatever the listing says
    EXPECT_EQ(ClassifyCountLine(L"       1 -   4294967296 06/01/2026 13:45 D:\\Data\\f.bin", o), CountLine::File);
    EXPECT_EQ(o.ullSize, 4294967296ull);
    for (const wchar_t* p :
         {L"D:\\Data\\f.bin: not found in the index of client `pc1'",
          L"1 - 12 06/01/2026 13:45 D:\\Data\\f.bin: Permission denied", L"3 file(s) marked for recovery",
          L"1 - 12 06/01/2026 13:45 relative\\name", L"Recovering files into D:\\"})
        EXPECT_EQ(ClassifyCountLine(p, o), CountLine::Other) << p;
}

TEST(RestoreLines, ObjectsErrorsAndFailuresInOrder)
{
    const std::wstring sClient = L"pc1";
    struct Case {
        const wchar_t* pLine;
        RestoreLine kind;
    } cases[] = {
        {L"D:\\Data\\file.txt", RestoreLine::Object},
        {L"D:\\Data\\", RestoreLine::Object},
        {L"D:\\Data\\Password for file.txt", RestoreLine::Object},
        {L"D:\\Data\\file.txt: Permission denied", RestoreLine::PerFileError},
        {L"D:\\Data\\file.txt: not found in the index of client `pc1'", RestoreLine::PerFileError},
        {L"D:\\Data\\sub\\: cannot create the folder", RestoreLine::PerFileError},
        {L"D:\\Data\\file.txt: file exists, overwriting", RestoreLine::FileExists},
        {L"Incorrect password for file D:\\p.txt", RestoreLine::IncorrectPassword},
        {L"Password for file D:\\p.txt: ", RestoreLine::PasswordPrompt},
        {L"recover: Cannot recover secured data to this file system", RestoreLine::SecuredData},
        {L"recover: client pc1 is not properly configured on the NetWorker Server", RestoreLine::ClientNotRegistered},
        {L"recover: 10.0.0.7 is not properly configured on the NetWorker Server", RestoreLine::AddressNotRegistered},
        {L"Cannot open file via DDCL for save-set D:\\Data", RestoreLine::DdclOpenFailed},
        {L"nsrd: Stale asynchronous RPC handle", RestoreLine::StaleRpcHandle},
        {L"One or more recover threads failed to exit successfully", RestoreLine::RecoverThreadsFailed},
        {L"53357:recover: Cannot find D:\\x", RestoreLine::RecoverMessage},
        {L"6202:recover: RPC receive operation failed; An existing connection was forcibly closed by the remote host.",
         RestoreLine::ConnectionClosed},
        {L"Recovering 3 file(s) into their original locations", RestoreLine::Other},
        {L"Requesting 3 file(s), D:\\ first", RestoreLine::Other},
        {L"", RestoreLine::Other},
        {L"d:", RestoreLine::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<int>(ClassifyRestoreLine(c.pLine, sClient)), static_cast<int>(c.kind)) << c.pLine;
}

TEST(RecoverArguments, FilespaceNameIsOneArgument)
{
    EXPECT_EQ(QuoteArgument(L"C:\\"), L"C:\\");
    EXPECT_EQ(QuoteArgument(L"D:\\Data"), L"D:\\Data");
    EXPECT_EQ(QuoteArgument(L"D:\\Data\\Mount 1"), L"\"D:\\Data\\Mount 1\"");
    EXPECT_EQ(QuoteArgument(L"D:\\Data\\Mount 1\\"), L"\"D:\\Data\\Mount 1\\\\\"");
    EXPECT_EQ(QuoteArgument(L"D:\\a\\\"b c"), L"\"D:\\a\\\\\\\"b c\"");
    EXPECT_EQ(QuoteArgument(L""), L"\"\"");

    EXPECT_EQ(RestoreCommandLine(L"X:\\r.exe", L"srv", L"pc1", L"", L"D:\\My Data\\"),
              L"X:\\r.exe -a -iY -s \"srv\" -c \"pc1\" \"D:\\My Data\\\\\"");
    EXPECT_EQ(RestoreCommandLine(L"X:\\r.exe", L"srv", L"pc1", L"06/01/2026 13:45:00", L"C:\\"),
              L"X:\\r.exe -a -iY -s \"srv\" -c \"pc1\" -t \"06/01/2026 13:45:00\" C:\\");
    EXPECT_EQ(CountCommandLine(L"X:\\r.exe", L"srv", L"pc1"), L"X:\\r.exe -s \"srv\" -c \"pc1\"");
}

TEST(FilespaceRules, RecordsThatCannotBeRestoredAndTheirTargets)
{
    FileSpace fs;
    EXPECT_STREQ(restorerules::FilespaceProblem(fs), L"Invalid argument");
    fs.sFsName = L"D:\\";
    EXPECT_STREQ(restorerules::FilespaceProblem(fs), L"Invalid drive letter"); // '-'
    fs.wcFsDriveLetter = L'd';
    EXPECT_STREQ(restorerules::FilespaceProblem(fs), L"Invalid drive letter"); // lower case is not a letter here
    fs.wcFsDriveLetter = L'D';
    EXPECT_EQ(restorerules::FilespaceProblem(fs), nullptr);
    EXPECT_EQ(restorerules::RestoreTarget(fs), L"D:");

    FileSpace mount;
    mount.sFsName = L"D:\\Data\\Mount 1";
    mount.ulFsFlags = FS_MOUNTED_FOLDER;
    EXPECT_STREQ(restorerules::FilespaceProblem(mount), L"Invalid mount directory");
    mount.sFsPath = L"D:\\Data\\Mount 1";
    EXPECT_EQ(restorerules::FilespaceProblem(mount), nullptr); // no letter needed
    EXPECT_EQ(restorerules::RestoreTarget(mount), L"D:\\Data\\Mount 1");
}

TEST(FilespaceRules, FailureLinesAndTheirMessages)
{
    const std::pair<RestoreLine, unsigned> kFailures[] = {
        {RestoreLine::SecuredData, 128u},          {RestoreLine::ClientNotRegistered, 104u},
        {RestoreLine::AddressNotRegistered, 103u}, {RestoreLine::DdclOpenFailed, 168u},
        {RestoreLine::StaleRpcHandle, 195u},       {RestoreLine::RecoverThreadsFailed, 107u},
        {RestoreLine::ConnectionClosed, 189u}};
    for (auto [kind, uiMessage] : kFailures)
        EXPECT_EQ(restorerules::FailureMessage(kind), uiMessage) << static_cast<int>(kind);
    for (RestoreLine kind : {RestoreLine::Object, RestoreLine::PerFileError, RestoreLine::RecoverMessage,
                             RestoreLine::IncorrectPassword, RestoreLine::FileExists, RestoreLine::Other})
        EXPECT_EQ(restorerules::FailureMessage(kind), 0u) << static_cast<int>(kind);
    EXPECT_TRUE(restorerules::ToolCrashed(0xC0000005UL));
    EXPECT_FALSE(restorerules::ToolCrashed(1));
    EXPECT_FALSE(restorerules::ToolCrashed(0));
}

TEST(FilespaceRules, CountCommandsCarryThePointInTimeAndTheWholeName)
{
    auto plain = restorerules::CountCommands(L"", L"D:\\Data\\Mount 1");
    ASSERT_EQ(plain.size(), 3u);
    EXPECT_EQ(plain[0], L"add -q D:\\Data\\Mount 1\r\n");
    EXPECT_EQ(plain[1], L"list -l\r\n");
    EXPECT_EQ(plain[2], L"EXIT\r\n");
    auto pit = restorerules::CountCommands(L"03/01/2021 23:00:00", L"C:\\");
    ASSERT_EQ(pit.size(), 4u);
    EXPECT_EQ(pit[0], L"changetime \"03/01/2021 23:00:00\"\r\n");
}

// What recover says when its session is lost, by message id; an object whose name holds the words is
// no such line.
TEST(SessionLoss, EachLineGivesItsMessage)
{
    const std::pair<const wchar_t*, unsigned> kRows[] = {
        {L"recover: nsrd: failed: busy", 131},
        {L"352:Remote system error - Connection timed out", 108},
        {L"A connection attempt failed because the connected party did not properly respond", 108},
        {L"RPC cannot make a procedure call: Remote system error", 106},
        {L"Remote system error - No route to host", 163},
        {L"No connection could be made because the target machine actively refused it.", 163},
        {L"D:\\Data\\Remote system error - No route to host.txt", 0},
        {L"Recovering 12 files into their original locations", 0},
    };
    for (const auto& [pLine, uiId] : kRows)
        EXPECT_EQ(restorerules::SessionLossMessage(pLine), uiId) << testing::PrintToString(std::wstring(pLine));
}
