// Every store shape through the exported interface: Init, the filespace listing and the
// system-state check, as the host sees them.
#include "hostapi/message_ids.h"
#include "plugin/cvex.h"
#include "plugin/cvex_impl.h"
#include "tests/catalogue/catalogue_host.h"
#include "tests/common/test_util.h"

using namespace cataloguetest;

namespace
{

// C:\, D:\ and the mounted folder of the sample machine, saved on a day of March 2021.
std::vector<ExpectedFilespace> SampleVolumes(int iDay, unsigned long ulFlagsC = 7)
{
    return {{L"C:\\", L'C', ulFlagsC, L"NTFS", iDay, 22, 0},
            {L"D:\\", L'D', 0, L"NTFS", iDay, 22, 10},
            {L"D:\\Data\\Mount 1", L'-', FS_MOUNTED_FOLDER, L"", iDay, 22, 10}};
}

// The VSS savesets of the sample machine, in the order they are listed.
std::vector<ExpectedEntry> VssEntries(int iDay)
{
    std::vector<ExpectedEntry> v;
    for (unsigned eType : {8u, 9u, 10u, 7u, 11u, 6u, 16u})
        v.push_back({eType, iDay, 23, 0});
    return v;
}

} // namespace

TEST_F(CatalogueHost, StandardShapeListsVolumesVssStateAndFetchesTheConfiguration)
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
    ExpectSystemState(VssEntries(8));
    EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_CONFIG_FILES_COPIED}));
    ExpectConfigurationFrom(L"standard", 0);
    EXPECT_TRUE(testutil::FileExists(std::wstring(kResDir) + L"IDinitialize")) << "the certificate was imported";
    m_messages.clear();
    EXPECT_TRUE(m_pPlugin->CheckSystemState());
    EXPECT_TRUE(m_messages.empty());
    CVEXImpl& impl = *static_cast<CVEX*>(m_pPlugin)->Impl();
    EXPECT_EQ(impl.BootFilespace(), L"C:\\");
    EXPECT_EQ(impl.SystemFilespace(), L"C:\\");
    EXPECT_EQ(impl.EfiFilespace(), L"");
    EXPECT_EQ(impl.WinDir(), L"\\Windows") << "kept for the system-state restore";
    EXPECT_EQ(impl.BackupClientVersion(), L"9.2.1");

    // The saved folder goes back onto the restored Windows volume.
    testutil::RemoveTree(L"C:\\QERNCFG");
    ASSERT_TRUE(impl.RestoreQERNCFG()) << testing::PrintToString(LastError());
    EXPECT_EQ(FileBytes(L"C:\\QERNCFG\\BOOT\\Boot\\nwsim-bootcfg.dat"),
              StoreFile(L"standard", L"C:\\", L"C:\\QERNCFG\\BOOT\\Boot\\nwsim-bootcfg.dat", 0));
    SetFaults({L"recover restore line:1 say not_configured"});
    m_messages.clear();
    EXPECT_FALSE(impl.RestoreQERNCFG());
    EXPECT_EQ(LastError(), L"The specified client name is not registered on NetWorker server localhost");
    SetFaults({});
    testutil::RemoveTree(L"C:\\QERNCFG");

    // A second listing neither doubles the system state nor keeps old marks.
    ASSERT_TRUE(List());
    ExpectSystemState(VssEntries(8));
    ExpectFilespaces(SampleVolumes(8));
    // A second Init starts from a reset object: no component is left for a later listing to add to.
    ASSERT_TRUE(Init());
    EXPECT_TRUE(SystemState().empty());
    EXPECT_TRUE(impl.BootFilespace().empty());
    EXPECT_EQ(impl.WinBootLetter(), L'-');
}

TEST_F(CatalogueHost, APointInTimePicksTheOlderBackupForTheListingTheCheckAndTheFetch)
{
    ASSERT_TRUE(Init(L"05/03/2021 12:00:00")) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    ExpectFilespaces(SampleVolumes(1));
    ExpectSystemState(VssEntries(1));
    ExpectConfigurationFrom(L"standard", 5);
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

TEST_F(CatalogueHost, EveryOtherShape)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    {
        SCOPED_TRACE("legacy");
        UseStore(L"legacy");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        ExpectFilespaces(SampleVolumes(8));
        ExpectSystemState({{5, 8, 23, 30}, {4, 8, 23, 30}, {3, 8, 23, 30}, {2, 8, 23, 30}, {1, 8, 23, 30}});
        EXPECT_TRUE(m_pPlugin->CheckSystemState());
    }
    {
        SCOPED_TRACE("dr");
        UseStore(L"dr");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        ExpectFilespaces(SampleVolumes(8));
        ExpectSystemState({{12, 8, 23, 45}});
        EXPECT_TRUE(m_pPlugin->CheckSystemState());
    }
    {
        SCOPED_TRACE("nmm: no system state in the listing, so the media database is asked");
        UseStore(L"nmm");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        ExpectFilespaces(SampleVolumes(8));
        // The report's first NMM saveset (noon, "12:30:00 PM") dates all three components.
        ExpectSystemState({{13, 7, 12, 30}, {14, 7, 12, 30}, {15, 7, 12, 30}});
        m_messages.clear();
        EXPECT_FALSE(m_pPlugin->CheckSystemState());
        EXPECT_EQ(MessageIds(), std::vector<unsigned>{MSG_NO_SYSTEM_STATE});
        EXPECT_TRUE(Logged(MSG_NO_SYSTEM_STATE, ML_ERROR));
    }
    {
        SCOPED_TRACE("efi");
        UseStore(L"efi");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        std::vector<ExpectedFilespace> volumes = SampleVolumes(8, 3);
        volumes.push_back({L"S:\\", L'S', 5, L"FAT32", 8, 22, 20});
        ExpectFilespaces(volumes);
        ExpectSystemState(VssEntries(8));
        ExpectConfigurationFrom(L"efi", 0);
        EXPECT_TRUE(m_pPlugin->CheckSystemState());
    }
    {
        SCOPED_TRACE("vss and password: as standard");
        for (const wchar_t* pShape : {L"vss", L"password"}) {
            UseStore(pShape);
            ASSERT_TRUE(List()) << testing::PrintToString(LastError());
            ExpectFilespaces(SampleVolumes(8));
            ExpectSystemState(VssEntries(8));
            EXPECT_TRUE(m_pPlugin->CheckSystemState());
        }
    }
    {
        SCOPED_TRACE("all: the disaster-recovery marker, legacy and VSS; NMM savesets are not listed");
        UseStore(L"all");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        ExpectFilespaces(SampleVolumes(8));
        std::vector<ExpectedEntry> entries = VssEntries(8);
        for (unsigned eType : {5u, 4u, 3u, 2u, 1u})
            entries.push_back({eType, 8, 23, 30});
        entries.push_back({12, 8, 23, 45});
        ExpectSystemState(entries);
        EXPECT_TRUE(m_pPlugin->CheckSystemState());
    }
}

TEST_F(CatalogueHost, WithoutTheSavedConfigurationOrAnyBackupTheListingFails)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    UseStore(L"noconfig");
    EXPECT_FALSE(List());
    EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_EXTRACT_CONFIG_FAILED}));
    EXPECT_EQ(LastError(), Text(MSG_EXTRACT_CONFIG_FAILED));
    EXPECT_TRUE(m_list.empty()) << "a failed listing hands the host nothing";

    ASSERT_TRUE(Init(L"05/03/2021 12:00:00"));
    EXPECT_FALSE(List());
    EXPECT_EQ(LastError(), L"Failed to extract configuration from backup for Point-in-Time 'March 05,2021 12:00:00'");

    UseStore(L"empty");
    EXPECT_FALSE(List());
    EXPECT_EQ(LastError(), L"No files have been backed up for client 'winclient1' on NetWorker server 'localhost'");
    m_messages.clear();
    EXPECT_FALSE(m_pPlugin->CheckSystemState());
    EXPECT_EQ(MessageIds(), std::vector<unsigned>{MSG_NO_SYSTEM_STATE});
}
