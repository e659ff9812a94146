// Every store shape restored through the exported interface, each filespace compared with the
// store by its verifier: the progress the host sees, a point in time, passwords, and the
// sections of hard-linked names afterwards.
#include "hostapi/message_ids.h"
#include "plugin/cvex.h"
#include "plugin/cvex_impl.h"
#include "tests/common/test_util.h"
#include "tests/restore/file_helpers.h"
#include "tests/restore/restore_host.h"

using namespace restoretest;

namespace
{

const wchar_t kCounting[] = L"Counting objects to be restored ...";

class RestoreShapes : public RestoreHost
{
protected:
    // The records of a restore of the filespace with nothing in the way: its start, the count
    // growing, the start again with the totals, one record per object, the end.
    void ExpectProgress(const FileSpace& fs, const StoreTotals& totals)
    {
        SCOPED_TRACE(testing::PrintToString(fs.sFsName));
        EXPECT_EQ(KindSequence(m_records), L"1 7 1 2 4");
        ASSERT_GE(m_records.size(), 2u);
        EXPECT_EQ(m_records.front().sText1, fs.sFsName);
        EXPECT_EQ(m_records.front().wcDriveLetter, fs.wcFsDriveLetter);
        std::vector<const Record*> counted = RecordsOfKind(PK_MESSAGE);
        for (size_t i = 0; i < counted.size(); ++i) {
            EXPECT_EQ(counted[i]->sText5, kCounting);
            EXPECT_EQ(counted[i]->uiTotalFiles, i + 1);
        }
        std::vector<const Record*> starts = RecordsOfKind(PK_PASS_START);
        ASSERT_EQ(starts.size(), 2u);
        EXPECT_EQ(starts[1]->sText1, fs.sFsName);
        EXPECT_EQ(starts[1]->uiTotalFiles, totals.uiObjects);
        EXPECT_EQ(starts[1]->ullTotalBytes, totals.ullBytes);
        std::vector<const Record*> objects = RecordsOfKind(PK_OBJECT_RESTORED);
        EXPECT_EQ(objects.size(), totals.uiObjects);
        unsigned long long ullBytes = 0;
        unsigned uiFolders = 0;
        for (size_t i = 0; i < objects.size(); ++i) {
            EXPECT_EQ(objects[i]->uiFilesRestored, i + 1);
            bool bFolder = !objects[i]->sText1.empty() && objects[i]->sText1.back() == L'\\';
            uiFolders += bFolder ? 1 : 0;
            if (bFolder) {
                EXPECT_EQ(objects[i]->ullCurrentSize, 0u) << testing::PrintToString(objects[i]->sText1);
            }
            ullBytes += objects[i]->ullCurrentSize;
        }
        EXPECT_EQ(uiFolders, totals.uiFolders);
        EXPECT_EQ(ullBytes, totals.ullBytes);
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FINISHED);
        for (const Message& m : m_messages)
            EXPECT_NE(m.uiLevel, ML_ERROR) << testing::PrintToString(m.sText);
    }

    void RestoreAndExpectProgress(const std::wstring& sName, const std::wstring& sNotAfter = L"")
    {
        FileSpace fs = Listed(sName);
        ASSERT_TRUE(Restore(fs)) << testing::PrintToString(LastError());
        ExpectProgress(fs, TotalsOf(m_sStore, sName, sNotAfter));
    }
};

} // namespace

TEST_F(RestoreShapes, EveryFilespaceOfTheStandardShapeComesBackAsTheHostIsTold)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    ClearDrive(L'D');
    SnapshotWineC();
    RestoreAndExpectProgress(L"D:\\");
    EXPECT_VERIFIED(L'D', {L"--filespace", L"D:\\"});
    RestoreAndExpectProgress(L"D:\\Data\\Mount 1");
    EXPECT_VERIFIED(L'D');
    RestoreAndExpectProgress(L"C:\\");
    EXPECT_VERIFIED(L'C', {L"--filespace", L"C:\\"});
}

TEST_F(RestoreShapes, TheEfiSystemPartitionComesBack)
{
    UseStore(L"efi");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    ClearDrive(L'S');
    RestoreAndExpectProgress(L"S:\\");
    EXPECT_VERIFIED(L'S');
}

TEST_F(RestoreShapes, ABulkFilespaceWithDeepPathsOtherScriptsAndAFileOver4GiBComesBack)
{
    UseStore(L"bulk");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    ClearDrive(L'E');
    StoreTotals totals = TotalsOf(L"bulk", L"E:\\");
    ASSERT_GT(totals.ullBytes, 1ULL << 32) << "the store holds a file over 4 GiB";
    RestoreAndExpectProgress(L"E:\\");
    unsigned long long ullLargest = 0;
    for (const Record* r : RecordsOfKind(PK_OBJECT_RESTORED))
        ullLargest = std::max(ullLargest, r->ullCurrentSize);
    EXPECT_GT(ullLargest, 1ULL << 32);
    EXPECT_EQ(ullLargest, totals.ullLargest) << "counted in full";
    EXPECT_VERIFIED(L'E');
}

TEST_F(RestoreShapes, APointInTimeCountsAndRestoresTheOlderBackup)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    ClearDrive(L'D');
    RestoreAndExpectProgress(L"D:\\");
    EXPECT_VERIFIED(L'D', {L"--filespace", L"D:\\"});

    const std::wstring sOlder = L"2021-03-05 12:00:00";
    ASSERT_TRUE(Init(L"05/03/2021 12:00:00")) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    ClearDrive(L'D');
    RestoreAndExpectProgress(L"D:\\", sOlder);
    EXPECT_VERIFIED(L'D', {L"--filespace", L"D:\\", L"--pit", sOlder});
    EXPECT_FALSE(VerifyDrive(L'D', {L"--filespace", L"D:\\"}).empty()) << "the backups differ";
}

TEST_F(RestoreShapes, PasswordProtectedFilesNeedTheRightPassword)
{
    UseStore(L"password");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    {
        SCOPED_TRACE("the right password");
        ClearDrive(L'D');
        m_passwords = {L"secret"};
        RestoreAndExpectProgress(L"D:\\");
        EXPECT_GE(m_uiPasswordRequests, 1u);
        EXPECT_VERIFIED(L'D', {L"--filespace", L"D:\\"});
    }
    {
        SCOPED_TRACE("a wrong one, then the right one");
        ASSERT_TRUE(Init()) << "a new Init forgets the password";
        ClearDrive(L'D');
        m_passwords = {L"wrong", L"secret"};
        ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
        EXPECT_GE(m_uiPasswordRequests, 2u) << "asked again after the wrong one";
        EXPECT_TRUE(m_passwords.empty());
        EXPECT_EQ(RecordsOfKind(PK_OBJECT_RESTORED).size(), TotalsOf(L"password", L"D:\\").uiObjects);
        EXPECT_VERIFIED(L'D', {L"--filespace", L"D:\\"});
    }
    {
        SCOPED_TRACE("no password");
        ASSERT_TRUE(Init());
        ClearDrive(L'D');
        m_passwords.clear();
        EXPECT_FALSE(Restore(L"D:\\"));
        EXPECT_TRUE(Logged(MSG_USER_ABORTED, ML_ERROR));
        EXPECT_EQ(LastError(), Text(MSG_USER_ABORTED));
        ASSERT_FALSE(m_records.empty());
        EXPECT_EQ(m_records.back().uiKind, PK_PASS_FAILED);
        EXPECT_TRUE(NoRecoverRunning());
    }
}

namespace
{

// The groups of hard-linked names of a store, first name first.
std::vector<std::vector<std::wstring>> LinkGroups(const std::wstring& sStore)
{
    const std::wstring sIni = StoreFolder(sStore) + L"\\hardlinks.ini";
    std::wstring sNames(65536, L'\0');
    DWORD n = GetPrivateProfileSectionNamesW(sNames.data(), 65536, sIni.c_str());
    std::vector<std::vector<std::wstring>> groups;
    for (const wchar_t* p = sNames.c_str(); p < sNames.c_str() + n && *p; p += wcslen(p) + 1) {
        groups.emplace_back();
        for (int i = 1;; ++i) {
            wchar_t wsz[1024] = {};
            GetPrivateProfileStringW(p, (L"name" + std::to_wstring(i)).c_str(), L"", wsz, 1024, sIni.c_str());
            if (!*wsz)
                break;
            groups.back().push_back(wsz);
        }
    }
    return groups;
}

using Section = filehelp::LinkSection;

} // namespace

TEST_F(RestoreShapes, SectionsOfHardLinkedNamesAfterARestore)
{
    UseStore(L"bulk");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    ClearDrive(L'D');
    ASSERT_TRUE(Restore(L"D:\\")) << testing::PrintToString(LastError());
    const std::vector<std::wstring> pendingIgnored = {L"--filespace", L"D:\\", L"--ignore",
                                                      L"D:\\Temp\\PendingDeletes"};
    EXPECT_VERIFIED(L'D', pendingIgnored);
    std::vector<std::vector<std::wstring>> groups = LinkGroups(L"bulk");
    ASSERT_EQ(groups.size(), 2u);
    ASSERT_EQ(groups[0].size(), 3u);                         // original, second name, third name
    ASSERT_EQ(groups[1].size(), 2u);                         // pending.dat and its pending delete
    CRPLImpl& host = *static_cast<CVEX*>(m_pPlugin)->Impl(); // the slot the host calls
    {
        SCOPED_TRACE("every name present");
        Section s(groups[0]);
        EXPECT_TRUE(host.ProcessSection(L"[links 1]", s.refs));
        for (const LinkEntry& e : s.entries)
            EXPECT_TRUE(e.bExists);
        EXPECT_VERIFIED(L'D', pendingIgnored);
    }
    {
        SCOPED_TRACE("names missing: recreated as links of a present one");
        ASSERT_TRUE(DeleteFileW(groups[0][1].c_str()));
        Section one(groups[0]);
        EXPECT_TRUE(host.ProcessSection(L"[links 1]", one.refs));
        EXPECT_TRUE(filehelp::SameFile(groups[0][1], groups[0][0]));
        ASSERT_TRUE(DeleteFileW(groups[0][2].c_str()));
        Section again(groups[0]);
        EXPECT_TRUE(host.ProcessSection(L"[links 1]", again.refs));
        EXPECT_TRUE(filehelp::SameFile(groups[0][2], groups[0][0]));
        std::vector<std::wstring> links = pendingIgnored;
        links.push_back(L"--links");
        EXPECT_VERIFIED(L'D', links);
    }
    {
        SCOPED_TRACE("a pending delete is never recreated");
        ASSERT_TRUE(DeleteFileW(groups[1][1].c_str()));
        Section s(groups[1]);
        host.ProcessSection(L"[links 2]", s.refs);
        EXPECT_FALSE(testutil::FileExists(groups[1][1]));
        EXPECT_TRUE(testutil::FileExists(groups[1][0]));
    }
    {
        SCOPED_TRACE("no name present: fails and creates nothing");
        for (const std::wstring& sName : groups[0])
            ASSERT_TRUE(DeleteFileW(sName.c_str()));
        Section s(groups[0]);
        m_messages.clear();
        EXPECT_FALSE(host.ProcessSection(L"[links 1]", s.refs));
        for (const std::wstring& sName : groups[0])
            EXPECT_FALSE(testutil::FileExists(sName));
        EXPECT_FALSE(m_messages.empty()) << "the host is told";
    }
}
