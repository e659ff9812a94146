// The catalogue through the exported interface in a sandbox machine: Init, the filespace listing,
// the system-state check and the configuration fetch for every store shape and variant, each
// version of the client tools, and each way the tools fail.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "tests/common/sandbox_host.h"

using namespace sandboxtest;

namespace
{

// One expected filespace record, saved on a day of March 2021 at an hour and minute.
struct ExpectedFilespace {
    const wchar_t* pName;
    wchar_t wcLetter;
    unsigned long ulFlags;
    const wchar_t* pFsType;
    int iDay, iHour, iMinute;
};
// One expected system-state entry, at a day of March 2021, hour and minute.
struct ExpectedEntry {
    unsigned eType;
    int iDay, iHour, iMinute;
};

// C:\, D:\ and the mounted folder of the sample machine, saved on a day of March 2021.
std::vector<ExpectedFilespace> SampleVolumes(int iDay, unsigned long ulFlagsC = 7)
{
    return {{L"C:\\", L'C', ulFlagsC, L"NTFS", iDay, 22, 0},
            {L"D:\\", L'D', 0, L"NTFS", iDay, 22, 10},
            {L"D:\\Data\\Mount 1", L'-', FS_MOUNTED_FOLDER, L"", iDay, 22, 10}};
}

// The VSS savesets of the sample machine in the order they are listed, then others at a time.
std::vector<ExpectedEntry> Entries(int iDay, std::vector<unsigned> types = {8, 9, 10, 7, 11, 6, 16}, int iHour = 23,
                                   int iMinute = 0)
{
    std::vector<ExpectedEntry> v;
    for (unsigned eType : types)
        v.push_back({eType, iDay, iHour, iMinute});
    return v;
}

std::vector<ExpectedEntry> operator+(std::vector<ExpectedEntry> a, const std::vector<ExpectedEntry>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const wchar_t kPit[] = L"05/03/2021 12:00:00";
const wchar_t kPitInStore[] = L"2021-03-05 12:00:00";

class Catalogue : public SandboxHost
{
protected:
    // The command lines and output of the listing, the check and the fetch go into the trace.
    Catalogue() { m_sNetWorkerTrace = L"219"; }

    void ExpectFilespaces(const std::vector<ExpectedFilespace>& expected)
    {
        ASSERT_EQ(m_list.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const FileSpace& fs = m_list[i];
            const ExpectedFilespace& e = expected[i];
            SCOPED_TRACE(testing::PrintToString(std::wstring(e.pName)));
            EXPECT_EQ(fs.sFsName, e.pName);
            EXPECT_EQ(fs.wcFsDriveLetter, e.wcLetter);
            EXPECT_EQ(fs.ulFsFlags, e.ulFlags);
            EXPECT_EQ(fs.sFsType, e.pFsType);
            EXPECT_EQ(fs.sFsPath, (e.ulFlags & FS_MOUNTED_FOLDER) ? e.pName : L"");
            EXPECT_TRUE(fs.bFsTimeValid);
            const tm& t = fs.tmFsTime;
            EXPECT_EQ(std::vector<int>({t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec}),
                      std::vector<int>({121, 2, e.iDay, e.iHour, e.iMinute, 0}));
            for (unsigned char b : fs.reserved)
                EXPECT_EQ(b, 0);
        }
    }

    void ExpectSystemState(const std::vector<ExpectedEntry>& expected)
    {
        const std::vector<SystemStateEntry>& entries = SystemState();
        ASSERT_EQ(entries.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            const SYSTEMTIME& st = entries[i].stBackupTime;
            const ExpectedEntry& e = expected[i];
            EXPECT_EQ(entries[i].eType, e.eType);
            EXPECT_EQ(std::vector<int>({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wDayOfWeek,
                                        st.wMilliseconds}),
                      std::vector<int>({2021, 3, e.iDay, e.iHour, e.iMinute, 0, 0, 0}));
            EXPECT_EQ(entries[i].uiFilesToRestore, 0u);
            EXPECT_EQ(entries[i].uiFilesRestored, 0u);
        }
    }

    // The four configuration items in the host's folder are those of the store; the certificate
    // and key were imported.
    void ExpectConfigurationFrom(const std::wstring& sStore, const std::wstring& sNotAfter = L"")
    {
        auto stored = [&](const wchar_t* pItem) {
            return StoreFile(sStore, L"C:\\", std::wstring(L"C:\\QERNCFG\\") + pItem, sNotAfter);
        };
        for (const wchar_t* pItem : {L"disrec.ini", L"NWInfo", L"NWCert", L"NWPKey"}) {
            SCOPED_TRACE(testing::PrintToString(std::wstring(pItem)));
            EXPECT_FALSE(stored(pItem).empty());
            EXPECT_EQ(FileBytes(std::wstring(kConfigDir) + pItem), stored(pItem));
        }
        EXPECT_EQ(FileBytes(std::wstring(kResDir) + L"nsrcert.pem"), stored(L"NWCert"));
        EXPECT_EQ(FileBytes(std::wstring(kResDir) + L"nsrkey.pem"), stored(L"NWPKey"));
    }

    void ExpectFailedListing(const std::vector<unsigned>& ids)
    {
        EXPECT_FALSE(List());
        EXPECT_EQ(MessageIds(), ids);
        EXPECT_EQ(LastErrorId(), ids.back());
        EXPECT_TRUE(m_list.empty()) << "a failed listing hands the host nothing";
    }
};

using Ids = std::vector<unsigned>;

} // namespace

// The report without its type column (7.4, 7.5), a recovery client older than the backup's (8.2),
// a newer one (19.4). First in the program: after the other shapes' listings in the same process
// the 7.4 listing has been seen to read the backup's client version of an earlier store.
TEST_F(Catalogue, EachVersionOfTheClientTools)
{
    for (const wchar_t* pTools : {L"bin-7.4", L"bin-7.5"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pTools)));
        UseTools(pTools);
        UseStore(L"nmm-74"); // backed up with client 7.4, so that the recovery client is not older
        ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        EXPECT_EQ(m_list.size(), 3u);
        ExpectSystemState(Entries(7, {13, 14, 15}, 12, 30));
        EXPECT_TRUE(testutil::Contains(NewTrace(), std::wstring(L"Recovery Client Version ") + pTools[4] + L"." +
                                                       pTools[6] + L".x, so no 'Type' present"));
    }
    UseStore(L"standard");
    UseTools(L"bin-8.2");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ExpectFailedListing({MSG_LISTING_SAVESETS, MSG_CONFIG_FILES_COPIED, MSG_CLIENT_VERSION_TOO_OLD});
    ExpectLastError(MSG_CLIENT_VERSION_TOO_OLD, {L"(8.2.4.1)", L"(9.2.1)"});
    EXPECT_TRUE(testutil::ProcessesNamed(L"nsrexecd.exe").empty()) << "the daemon was stopped";

    UseTools(L"bin-19.4");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    EXPECT_EQ(m_list.size(), 3u);
    EXPECT_EQ(SystemState().size(), 7u);
}

TEST_F(Catalogue, StandardShapeListsVolumesVssStateAndFetchesTheConfiguration)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    // What an earlier fetch left in the staging folder is not taken for this backup's.
    const std::wstring sStaging = L"X:\\Program Files\\Velmora\\QERNCFG\\";
    CreateDirectoryW(sStaging.c_str(), nullptr);
    testutil::WriteTextFile(sStaging + L"stale.dat", "from another backup");
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    EXPECT_FALSE(testutil::FileExists(std::wstring(kConfigDir) + L"stale.dat"));
    EXPECT_FALSE(testutil::FileExists(sStaging + L"stale.dat"));
    ExpectFilespaces(SampleVolumes(8));
    ExpectSystemState(Entries(8));
    EXPECT_EQ(MessageIds(), (Ids{MSG_LISTING_SAVESETS, MSG_CONFIG_FILES_COPIED}));
    ExpectConfigurationFrom(L"standard");
    EXPECT_TRUE(testutil::FileExists(std::wstring(kResDir) + L"IDinitialize")) << "the certificate was imported";
    EXPECT_TRUE(CheckSystemState());
    EXPECT_TRUE(m_messages.empty());
    CVEXImpl& impl = Impl();
    EXPECT_EQ(impl.BootFilespace(), L"C:\\");
    EXPECT_EQ(impl.SystemFilespace(), L"C:\\");
    EXPECT_EQ(impl.EfiFilespace(), L"");
    EXPECT_EQ(impl.WinDir(), L"\\Windows") << "kept for the system-state restore";
    EXPECT_EQ(impl.BackupClientVersion(), L"9.2.1");

    // The saved folder goes back onto the restored Windows volume.
    testutil::RemoveTree(L"C:\\QERNCFG");
    ASSERT_TRUE(impl.RestoreQERNCFG()) << testing::PrintToString(LastError());
    EXPECT_EQ(FileBytes(L"C:\\QERNCFG\\BOOT\\Boot\\nwsim-bootcfg.dat"),
              StoreFile(L"standard", L"C:\\", L"C:\\QERNCFG\\BOOT\\Boot\\nwsim-bootcfg.dat"));
    SetFaults({L"recover restore line:1 say not_configured"});
    EXPECT_FALSE(impl.RestoreQERNCFG());
    ExpectLastError(MSG_CLIENT_NAME_NOT_REGISTERED, {L"server localhost"});
    SetFaults({});
    testutil::RemoveTree(L"C:\\QERNCFG");

    // A second listing neither doubles the system state nor keeps old marks.
    ASSERT_TRUE(List());
    ExpectSystemState(Entries(8));
    ExpectFilespaces(SampleVolumes(8));
    // A second Init starts from a reset object: no component is left for a later listing to add to.
    ASSERT_TRUE(Init());
    EXPECT_TRUE(SystemState().empty());
    EXPECT_TRUE(impl.BootFilespace().empty());
    EXPECT_EQ(impl.WinBootLetter(), L'-');

    // A point in time picks the older backup for the listing, the check and the fetch.
    ASSERT_TRUE(Init(kPit)) << testing::PrintToString(LastError());
    MarkTrace();
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    ExpectFilespaces(SampleVolumes(1));
    ExpectSystemState(Entries(1));
    ExpectConfigurationFrom(L"standard", kPitInStore);
    std::wstring sTrace = NewTrace();
    const std::wstring sPit = L"-t \"March 05,2021 12:00:00\"";
    // The listing and the configuration check run the same interactive command line.
    const std::wstring sSession = L"recover.exe -s \"localhost\" -c \"winclient1\" " + sPit;
    size_t nSessions = 0;
    for (size_t at = sTrace.find(sSession); at != std::wstring::npos; at = sTrace.find(sSession, at + 1))
        ++nSessions;
    EXPECT_GE(nSessions, 2u);
    EXPECT_TRUE(testutil::Contains(sTrace, sPit + L" -d\"X:\\Program Files\\Velmora\\QERNCFG\" "
                                                  L"\"C:\\QERNCFG\\disrec.ini\""));
}

TEST_F(Catalogue, EveryOtherShapeAndVariant)
{
    const struct {
        const wchar_t* pStore;
        unsigned long ulFlagsC; // of C:\ in the listing
        std::vector<ExpectedEntry> entries;
        bool bComplete; // what the system-state check answers
    } kShapes[] = {
        {L"legacy", 7, Entries(8, {5, 4, 3, 2, 1}, 23, 30), true},
        {L"dr", 7, Entries(8, {12}, 23, 45), true},
        {L"vss", 7, Entries(8), true},
        {L"password", 7, Entries(8), true},
        {L"efi", 3, Entries(8), true},
        // No system state in the listing, so the media database is asked; the report's first NMM
        // saveset (noon, "12:30:00 PM") dates all three components.
        {L"nmm", 7, Entries(7, {13, 14, 15}, 12, 30), false},
        // The disaster-recovery marker, legacy and VSS; NMM savesets are not listed.
        {L"all", 7, Entries(8) + Entries(8, {5, 4, 3, 2, 1}, 23, 30) + Entries(8, {12}, 23, 45), true},
    };
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    for (const auto& shape : kShapes) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(shape.pStore)));
        UseStore(shape.pStore);
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        std::vector<ExpectedFilespace> volumes = SampleVolumes(8, shape.ulFlagsC);
        if (shape.ulFlagsC == 3)
            volumes.push_back({L"S:\\", L'S', 5, L"FAT32", 8, 22, 20});
        ExpectFilespaces(volumes);
        ExpectSystemState(shape.entries);
        ExpectConfigurationFrom(shape.pStore);
        EXPECT_EQ(CheckSystemState(), shape.bComplete);
        EXPECT_EQ(MessageIds(), shape.bComplete ? Ids{} : Ids{MSG_NO_SYSTEM_STATE});
        EXPECT_EQ(Logged(MSG_NO_SYSTEM_STATE, ML_ERROR), !shape.bComplete);
    }
    {
        SCOPED_TRACE("GPT without an EFI letter");
        UseStore(L"gpt-no-efi");
        ExpectFailedListing(
            {MSG_LISTING_SAVESETS, MSG_CONFIG_FILES_COPIED, MSG_NO_SYSTEM_RESERVED_LETTER, MSG_NO_BOOT_SYSTEM_LETTERS});
    }
    {
        SCOPED_TRACE("an empty boot letter: the boot partition's letter is used");
        UseStore(L"boot-partition");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        ASSERT_EQ(m_list.size(), 3u);
        EXPECT_EQ(m_list[0].ulFsFlags, 7u) << "the lower-case letter of partition 2 names C:";
        EXPECT_EQ(Impl().WinSystemLetter(), L'C');
    }
    {
        SCOPED_TRACE("a missing key");
        UseStore(L"no-windir-directory");
        EXPECT_FALSE(List());
        EXPECT_TRUE(Logged(MSG_NO_WINDOWS_DIRECTORY, ML_ERROR));
    }
    {
        SCOPED_TRACE("Server Core, 32-bit, another computer name, Windows on E:");
        UseStore(L"core-x86-e");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        CVEXImpl& impl = Impl();
        EXPECT_TRUE(impl.IsCore());
        EXPECT_FALSE(impl.Is64Bit());
        EXPECT_EQ(impl.WinBootLetter(), L'E');
        EXPECT_EQ(impl.BootFilespace(), L"E:\\");
        EXPECT_EQ(impl.WinDir(), L"\\Windows");
        wchar_t wsz[64] = {};
        GetPrivateProfileStringW(L"ComputerName", L"ComputerName", L"", wsz, 64,
                                 (std::wstring(kConfigDir) + L"disrec.ini").c_str());
        EXPECT_STREQ(wsz, L"winclient1") << "the client name replaces another computer name";
    }
    {
        SCOPED_TRACE("an incomplete VSS set");
        UseStore(L"vss-no-services");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        EXPECT_FALSE(CheckSystemState());
        ExpectLastError(MSG_SYSTEM_STATE_ONE_MISSING, {L"'VSS SYSTEM BOOT:\\' and 'VSS SYSTEM FILESET:\\', but "
                                                       L"'VSS SYSTEM SERVICES:\\'"});
    }
    {
        SCOPED_TRACE("a filespace whose name holds a saveset word is a filespace");
        UseStore(L"asr-images");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        bool bFound = false;
        for (const FileSpace& fs : m_list)
            bFound = bFound || (fs.sFsName == L"D:\\ASR Images" && fs.ulFsFlags == FS_MOUNTED_FOLDER &&
                                fs.sFsPath == L"D:\\ASR Images");
        EXPECT_TRUE(bFound);
        for (const SystemStateEntry& e : SystemState())
            EXPECT_NE(e.eType, unsigned(SST_ASR));
    }
}

TEST_F(Catalogue, WithoutTheSavedConfigurationOrAnyBackupTheListingFails)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    UseStore(L"noconfig");
    ExpectFailedListing({MSG_LISTING_SAVESETS, MSG_EXTRACT_CONFIG_FAILED});
    ASSERT_TRUE(Init(kPit));
    EXPECT_FALSE(List());
    ExpectLastError(MSG_EXTRACT_CONFIG_PIT_FAILED, {L"'March 05,2021 12:00:00'"});
    UseStore(L"empty");
    EXPECT_FALSE(List());
    ExpectLastError(MSG_NO_BACKUPS, {L"client 'winclient1'", L"server 'localhost'"});
    EXPECT_FALSE(CheckSystemState());
    EXPECT_EQ(MessageIds(), Ids{MSG_NO_SYSTEM_STATE});
}

TEST_F(Catalogue, EachFailureOfTheListingAndTheFetchIsTheHostsMessage)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    const std::pair<const wchar_t*, unsigned> kFaults[] = {
        // The configuration fetch.
        {L"recover restore line:2 say ddcl", MSG_DDCL_OPEN_FAILED},
        {L"recover restore line:2 say busy", MSG_SERVER_BUSY},
        {L"recover restore line:2 say forcibly_closed", MSG_CONNECTION_FORCIBLY_CLOSED},
        {L"recover restore line:2 say no_volumes", MSG_NO_VOLUMES},
        {L"recover restore line:2 say stale_rpc", MSG_STALE_RPC_HANDLE},
        {L"recover restore line:2 say threads_failed", MSG_RECOVER_THREADS_FAILED},
        {L"recover restore line:2 say compressed", MSG_CONFIG_COMPRESSED},
        {L"for:\"C:\\QERNCFG\\disrec.ini\" recover restore start exit 0", MSG_EXTRACT_CONFIG_FAILED},
        // An error line amid the answer to the listing: a partial list is no list.
        {L"once recover session line:6 say busy", MSG_SERVER_BUSY},
        {L"once recover session line:6 say stale_rpc", MSG_STALE_RPC_HANDLE},
        {L"once recover session line:6 say timed_out", MSG_CONNECTION_TIMED_OUT},
        {L"once recover session line:6 say rpc_call", MSG_SERVER_NOT_CONTACTED},
        {L"once recover session line:6 say rpc_error", MSG_SERVER_NOT_CONTACTED},
        {L"once recover session line:6 say forcibly_closed", MSG_CONNECTION_LOST},
        {L"recover session command:ll crash", MSG_FILESPACE_LIST_FAILED},
        // The configuration check.
        {L"recover session command:ls say forcibly_closed", MSG_CONNECTION_LOST},
        {L"recover session command:ls password 5", MSG_NETWORKER_MESSAGE},
    };
    for (const auto& [pFault, uiMessage] : kFaults) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pFault)));
        SetFaults({pFault});
        ExpectFailedListing({MSG_LISTING_SAVESETS, uiMessage});
    }
    EXPECT_TRUE(testutil::Contains(LastError(), L"asked for a password where none is expected"));
    EXPECT_FALSE(testutil::FileExists(std::wstring(kConfigDir) + L"disrec.ini"));
    {
        SCOPED_TRACE("the certificate cannot be imported");
        SetFaults({L"nwinstcreate any start exit 1"});
        ExpectFailedListing({MSG_LISTING_SAVESETS, MSG_CONFIG_FILES_COPIED, MSG_CERTIFICATE_IMPORT_FAILED});
    }
    {
        SCOPED_TRACE("recover cannot be started");
        testutil::FileAside tool(std::wstring(kBin) + L"recover.exe");
        ASSERT_TRUE(tool.moved());
        ExpectFailedListing({MSG_LISTING_SAVESETS, MSG_FILESPACE_LIST_FAILED});
    }
    {
        SCOPED_TRACE("lines that cannot be parsed are passed over");
        SetFaults({L"recover session command:ll say \"garbled :\\ line\"",
                   L"recover session command:ll say \"1 d 5 VSS SYSTEM BOOT:\\\"",
                   L"recover session command:ll say \"       1 d  0 13/45/2021 99:99 VSS OTHER:\\\""});
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        EXPECT_EQ(m_list.size(), 3u);
        EXPECT_EQ(SystemState().size(), 7u);
    }
    {
        SCOPED_TRACE("lines that leave the fetch going: a recover message is passed on as a warning");
        SetFaults({L"recover restore line:2 say recover_message", L"recover restore line:3 say skipping_password",
                   L"recover restore line:4 say password_prompt", L"recover restore line:5 say incorrect_password"});
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        EXPECT_EQ(m_list.size(), 3u);
        EXPECT_TRUE(Logged(MSG_NETWORKER_MESSAGE, ML_WARNING));
        EXPECT_TRUE(LoggedNaming(MSG_NETWORKER_MESSAGE, L"Recovery completed with warnings from localhost"));
        Ids expected = {MSG_LISTING_SAVESETS};
        expected.insert(expected.end(), 4, MSG_NETWORKER_MESSAGE); // one for each item
        expected.push_back(MSG_CONFIG_FILES_COPIED);
        EXPECT_EQ(MessageIds(), expected);
    }
    {
        SCOPED_TRACE("a connection dropped during the listing fails it, and the next listing works");
        SetFaults({});
        SetServerKnobs({{L"drop_after_lines", L"3"}, {L"drop_tool", L"recover"}, {L"drop_sessions", L"1"}});
        ExpectFailedListing({MSG_LISTING_SAVESETS, MSG_CONNECTION_LOST});
        SetServerKnobs({});
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        EXPECT_EQ(m_list.size(), 3u);
    }
    UseStore(L"nmm");
    {
        SCOPED_TRACE("the report says the connection was closed: not a backup without system state");
        SetFaults({L"mminfo any object:2 say forcibly_closed"});
        ExpectFailedListing({MSG_LISTING_SAVESETS, MSG_CONNECTION_LOST});
    }
    {
        SCOPED_TRACE("a report with an error line still gives the NMM components");
        SetFaults({L"mminfo any object:2 say rpc_error", L"mminfo any object:3 say dns_lookup"});
        MarkTrace();
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        EXPECT_EQ(SystemState().size(), 3u);
        EXPECT_TRUE(testutil::Contains(NewTrace(), L"Check for NMM module failed"));
    }
    {
        SCOPED_TRACE("mminfo cannot be started");
        SetFaults({});
        testutil::FileAside tool(std::wstring(kBin) + L"mminfo.exe");
        ASSERT_TRUE(tool.moved());
        ExpectFailedListing({MSG_LISTING_SAVESETS, MSG_FILESPACE_LIST_FAILED});
    }
}

TEST_F(Catalogue, ATimedOutFetchIsRepeatedBoundedToFiveTriesAndEndedByAnAbort)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    SetFaults({L"once for:\"C:\\QERNCFG\\NWInfo\" recover restore start fail timed_out"});
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    EXPECT_EQ(MessageIds(), (Ids{MSG_LISTING_SAVESETS, MSG_CONNECTION_RETRYING, MSG_CONFIG_FILES_COPIED}));
    EXPECT_TRUE(Logged(MSG_CONNECTION_RETRYING, ML_WARNING));
    ExpectConfigurationFrom(L"standard");

    SetFaults({L"recover restore line:1 say timed_out"});
    Ids expected = {MSG_LISTING_SAVESETS};
    expected.insert(expected.end(), 5, MSG_CONNECTION_RETRYING);
    expected.push_back(MSG_CONNECTION_TIMED_OUT);
    ExpectFailedListing(expected);
    EXPECT_TRUE(Logged(MSG_CONNECTION_RETRYING, ML_WARNING));

    // The pause before the next try is a heartbeat's: the host's abort there ends the fetch.
    AbortAt(PK_HEARTBEAT, 1);
    const ULONGLONG ullStart = GetTickCount64();
    ExpectFailedListing({MSG_LISTING_SAVESETS, MSG_CONNECTION_RETRYING, MSG_USER_ABORTED});
    EXPECT_LT(GetTickCount64() - ullStart, 5000u) << "not a whole pause, let alone five tries";
    EXPECT_TRUE(testutil::ProcessesNamed(L"recover.exe").empty());

    // An abort while recover hangs in the fetch: the host hears of it once, though the reader and
    // the engine both see it, and recover is ended.
    SetFaults({L"recover restore line:1 hang 60"});
    AbortAt(PK_HEARTBEAT, 1);
    ExpectFailedListing({MSG_LISTING_SAVESETS, MSG_USER_ABORTED});
    EXPECT_TRUE(testutil::ProcessesNamed(L"recover.exe").empty()) << "recover was ended";
}
