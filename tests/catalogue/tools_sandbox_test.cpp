// The listing with each version of the client tools: the report without its type column (7.4,
// 7.5), a recovery client older than the backup's (8.2), a newer one (19.4).
#include "hostapi/message_ids.h"
#include "tests/catalogue/catalogue_host.h"
#include "tests/common/test_util.h"

using namespace cataloguetest;

TEST_F(CatalogueHost, OldClientToolsReadTheReportWithoutItsTypeColumn)
{
    for (const wchar_t* pTools : {L"bin-7.4", L"bin-7.5"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pTools)));
        UseTools(pTools);
        UseStore(L"nmm-74"); // backed up with client 7.4, so that the recovery client is not older
        ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        EXPECT_EQ(m_list.size(), 3u);
        const std::vector<SystemStateEntry>& entries = SystemState();
        ASSERT_EQ(entries.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(entries[i].eType, 13u + i);
            EXPECT_EQ(entries[i].stBackupTime.wDay, 7);
            EXPECT_EQ(entries[i].stBackupTime.wHour, 12);
        }
        EXPECT_TRUE(testutil::Contains(NewTrace(), std::wstring(L"Recovery Client Version ") + pTools[4] + L"." +
                                                       pTools[6] + L".x, so no 'Type' present"));
    }
}

TEST_F(CatalogueHost, ARecoveryClientOlderThanTheBackupsIsRefused)
{
    UseTools(L"bin-8.2");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    EXPECT_FALSE(List());
    EXPECT_EQ(LastError(), L"The NetWorker client version being used for the recovery (8.2.4.1) is earlier than the "
                           L"NetWorker client version used for the backup (9.2.1). This is not supported.");
    EXPECT_EQ(MessageIds(),
              (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_CONFIG_FILES_COPIED, MSG_CLIENT_VERSION_TOO_OLD}));
    EXPECT_TRUE(testutil::ProcessesNamed(L"nsrexecd.exe").empty()) << "the daemon was stopped";

    UseTools(L"bin-19.4");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    EXPECT_EQ(m_list.size(), 3u);
    EXPECT_EQ(SystemState().size(), 7u);
}
