// PrepareSystem through the exported interface on a machine whose Windows volume is W:, after the
// volumes were restored: every component of each store shape in backup-time order, proven by the
// store's verifier over the system state, the summary file, and what the host is told; then the
// faults: a failing component among several, a hive that cannot be put in place, no listing.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "tests/common/test_util.h"
#include "tests/system/system_host.h"

#include <algorithm>

using namespace restoretest;

namespace
{

const wchar_t kDrives[] = L"W,D,S";

class SystemShapes : public SystemHost
{
protected:
    void RecoverVolumes(const std::wstring& sStore)
    {
        UseStore(sStore);
        ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        for (wchar_t wc : {L'W', L'D', L'S'})
            ClearDrive(wc);
        ASSERT_TRUE(RestoreFilespaces());
    }

    // Every restorable component counted and restored in full, in the order of the listing.
    void ExpectEveryComponentRestored()
    {
        const std::vector<SystemStateEntry>& entries = Impl().SystemState();
        for (size_t i = 1; i < entries.size(); ++i)
            EXPECT_FALSE(EarlierThan(entries[i].stBackupTime, entries[i - 1].stBackupTime)) << "backup-time order";
        std::vector<std::wstring> dumped;
        for (const SystemStateEntry& e : entries) {
            SCOPED_TRACE(e.eType);
            bool bSkipped = e.eType == SST_ASR || e.eType == SST_VSS_ASR_DISK || e.eType == SST_WINDOWS_ROLES_FEATURES;
            if (bSkipped) {
                EXPECT_EQ(e.uiFilesRestored, 0u);
                continue;
            }
            EXPECT_GT(e.uiFilesRestored, 0u);
            EXPECT_EQ(e.uiFilesRestored, e.uiFilesToRestore);
        }
        for (const Message& m : m_messages)
            EXPECT_NE(m.uiLevel, ML_ERROR) << testing::PrintToString(m.sText);
        EXPECT_TRUE(Logged(MSG_BOOT_FILES_COPIED, ML_INFORMATION));
        // A GPT system disk has no system partition files to copy.
        EXPECT_EQ(Logged(MSG_SYSTEM_FILES_COPIED, ML_INFORMATION), !Impl().IsEfi());
        EXPECT_EQ(GetFileAttributesW(L"W:\\temp\\nsr_recover\\RecoverWriter-1"), INVALID_FILE_ATTRIBUTES)
            << "the staging folder is emptied";
    }

    // The summary file names each component with its counters, and the short-name step's outcome.
    void ExpectDump()
    {
        std::vector<std::wstring> lines = DumpLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].rfind(L"CVEX.DLL version ", 0), 0u);
        EXPECT_NE(std::find(lines.begin(), lines.end(), L"NetWorker Server    : localhost"), lines.end());
        EXPECT_NE(std::find(lines.begin(), lines.end(), L"BOOT drive letter   : W:"), lines.end());
        for (const SystemStateEntry& e : Impl().SystemState()) {
            if (e.uiFilesRestored == 0)
                continue;
            std::wstring sCounters = std::to_wstring(e.uiFilesRestored) + L" of " + std::to_wstring(e.uiFilesToRestore);
            auto it = std::find_if(lines.begin(), lines.end(), [&](const std::wstring& s) {
                return s.size() > sCounters.size() &&
                       s.compare(s.size() - sCounters.size(), sCounters.size(), sCounters) == 0 &&
                       s.find(L" Restored ") != std::wstring::npos;
            });
            EXPECT_NE(it, lines.end()) << "type " << e.eType << ": " << testing::PrintToString(sCounters);
        }
        EXPECT_EQ(lines.back(), L"Program folder short names       : not supported");
    }
};

} // namespace

TEST_F(SystemShapes, EveryShapeComesBackIntoTheOfflineInstallation)
{
    const std::vector<std::wstring> wineWindows = WineWindowsFiles();
    for (const wchar_t* pStore : {L"standard-w", L"vss-w", L"legacy-w", L"nmm-w", L"dr-w", L"efi-w", L"all-w"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pStore)));
        ASSERT_NO_FATAL_FAILURE(RecoverVolumes(pStore));
        EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
        ExpectEveryComponentRestored();
        ExpectDump();
        EXPECT_SYSTEM_VERIFIED(kDrives);
        EXPECT_TRUE(NoRecoverRunning());
        // NMM savesets alone are no complete system state, though they are restored.
        EXPECT_EQ(m_pPlugin->CheckSystemState(), std::wstring(pStore) != L"nmm-w")
            << testing::PrintToString(LastError());
        EXPECT_TRUE(m_pPlugin->Fini(true));
    }
    EXPECT_EQ(WineWindowsFiles(), wineWindows) << "nothing of the machine's own Windows folder changed";
}

// Only the boot component's count command line is traced under this mask, which the module reads
// when it is made.
class SystemShapesTraceGroups : public SystemShapes
{
protected:
    void SetUp() override
    {
        WritePrivateProfileStringW(L"Main", L"NetWorker_TraceLevel", std::to_wstring(0x10101).c_str(),
                                   TraceIni().c_str());
        SystemShapes::SetUp();
    }
    void TearDown() override
    {
        SystemShapes::TearDown();
        WritePrivateProfileStringW(L"Main", L"NetWorker_TraceLevel", nullptr, TraceIni().c_str());
    }
    static std::wstring TraceIni() { return testutil::ProgramFolder() + L"trace.ini"; }
};

TEST_F(SystemShapesTraceGroups, TheComponentsRunInListingOrderWithTheirTraceGroups)
{
    ASSERT_NO_FATAL_FAILURE(RecoverVolumes(L"vss-w"));
    MarkTrace();
    ASSERT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
    std::vector<std::wstring> expected;
    for (const SystemStateEntry& e : Impl().SystemState()) {
        static const std::pair<unsigned, const wchar_t*> kTitles[] = {
            {SST_VSS_OTHER, L"VSS OTHER:\\"},
            {SST_VSS_SYSTEM_BOOT, L"VSS SYSTEM BOOT:\\"},
            {SST_VSS_SYSTEM_FILESET, L"VSS SYSTEM FILESET:\\"},
            {SST_VSS_SYSTEM_SERVICES, L"VSS SYSTEM SERVICES:\\"},
            {SST_VSS_USER_DATA, L"VSS USER DATA:\\"}};
        for (const auto& [eType, pTitle] : kTitles)
            if (e.eType == eType)
                expected.push_back(pTitle);
    }
    EXPECT_EQ(ComponentTitles(), expected);
    // Right after each component's last record the host hears that its files go into place.
    size_t nMoving = 0;
    for (size_t i = 1; i < m_records.size(); ++i) {
        if (m_records[i].uiKind == PK_MESSAGE && m_records[i].sText5 == Text(MSG_MOVING_SYSTEM_STATE)) {
            EXPECT_EQ(m_records[i - 1].uiKind, PK_PASS_FINISHED);
            ++nMoving;
        }
    }
    EXPECT_EQ(nMoving, expected.size());
    std::wstring sTrace = NewTrace();
    EXPECT_TRUE(testutil::Contains(sTrace, L"-n -a -iY -s \"localhost\" -c \"winclient1\" -N\"VSS SYSTEM BOOT:\\\""));
    EXPECT_FALSE(testutil::Contains(sTrace, L"-n -a -iY -s \"localhost\" -c \"winclient1\" -N\"VSS OTHER:\\\""));
    EXPECT_FALSE(
        testutil::Contains(sTrace, L"recover.exe -a -iY -s \"localhost\" -c \"winclient1\" -N\"VSS SYSTEM BOOT"));
}

TEST_F(SystemShapes, OneFailingComponentFailsThePreparationAndTheOthersStillComeBack)
{
    ASSERT_NO_FATAL_FAILURE(RecoverVolumes(L"vss-w"));
    SetFaults({L"for:\"VSS SYSTEM SERVICES:\\\" recover restore object:2 fail ddcl"});
    EXPECT_FALSE(PrepareSystem());
    EXPECT_EQ(LastError(), Text(MSG_RESTORE_VSS_SYSTEM_SERVICES_FAILED));
    EXPECT_TRUE(Logged(MSG_DDCL_OPEN_FAILED, ML_ERROR));
    EXPECT_FALSE(Logged(MSG_BOOT_FILES_COPIED, ML_INFORMATION)) << "no boot or system copies after a failure";
    for (const SystemStateEntry& e : Impl().SystemState()) {
        if (e.eType == SST_VSS_SYSTEM_BOOT || e.eType == SST_VSS_SYSTEM_FILESET) {
            EXPECT_GT(e.uiFilesRestored, 0u) << e.eType;
        }
    }
    EXPECT_TRUE(NoRecoverRunning());
    SetFaults({});
}

TEST_F(SystemShapes, AHiveThatCannotBePutInPlaceFailsTheBootStepAndIsReleased)
{
    ASSERT_NO_FATAL_FAILURE(RecoverVolumes(L"vss-w"));
    const std::wstring sConfig = L"W:\\Windows\\System32\\config";
    CreateDirectoryW(sConfig.c_str(), nullptr);
    velmora::unique_file hLocked(CreateFileW((sConfig + L"\\SYSTEM").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(hLocked);
    EXPECT_FALSE(PrepareSystem());
    EXPECT_TRUE(Logged(MSG_MOVE_FILE_FAILED, ML_ERROR));
    EXPECT_TRUE(Logged(MSG_MOVE_VSS_SYSTEM_BOOT_FAILED, ML_ERROR));
    unsigned uiLastKind = 0; // the boot component's last word to the host: its end, failed
    bool bBoot = false;
    for (const Record& r : m_records) {
        if (r.uiKind == PK_PASS_START)
            bBoot = r.sText1 == L"VSS SYSTEM BOOT:\\";
        else if (bBoot && (r.uiKind == PK_PASS_FINISHED || r.uiKind == PK_PASS_FAILED))
            uiLastKind = r.uiKind;
    }
    EXPECT_EQ(uiLastKind, PK_PASS_FAILED);
    const std::wstring sRepair = L"W:\\Windows\\repair\\Backup\\BootableSystemState\\Registry\\SYSTEM";
    velmora::unique_file hHive(
        CreateFileW(sRepair.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(hHive) << "the hive that was not moved can be opened again: " << GetLastError();
}

TEST_F(SystemShapes, WithoutAListingNothingIsTouched)
{
    UseStore(L"vss-w");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    EXPECT_FALSE(PrepareSystem());
    EXPECT_EQ(LastError(), Text(MSG_NO_BOOT_LETTER));
    EXPECT_TRUE(testutil::ProcessesNamed(L"recover.exe").empty());
}

TEST_F(SystemShapes, TempAndTmpPointAtTheWindowsVolumeUntilFini)
{
    wchar_t wszBefore[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TEMP", wszBefore, MAX_PATH);
    ASSERT_NO_FATAL_FAILURE(RecoverVolumes(L"legacy-w"));
    EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
    wchar_t wszDuring[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", wszDuring, MAX_PATH);
    EXPECT_STREQ(wszDuring, L"W:\\TEMP");
    EXPECT_TRUE(m_pPlugin->Fini(true));
    wchar_t wszAfter[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TEMP", wszAfter, MAX_PATH);
    EXPECT_STREQ(wszAfter, wszBefore);
}

TEST_F(SystemShapes, ThePortQueryRunsForRecoveryClientsFrom822On)
{
    for (const wchar_t* pTools : {L"bin-8.2.1", L"bin"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pTools)));
        UseTools(pTools);
        UseStore(L"vss-821-w");
        ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        MarkTrace();
        EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
        std::wstring sTrace = NewTrace();
        const bool bNewer = std::wstring(pTools) == L"bin";
        EXPECT_EQ(testutil::Contains(sTrace, L"sHost = \"localhost\""), bNewer);
        EXPECT_EQ(testutil::Contains(sTrace, L"sHost = \"winclient1\""), bNewer);
    }
}

// Recovery clients 7.4 and 7.5 print the media database report without its type column: the NMM
// and disaster-recovery savesets are still found by their ids and come back whole.
TEST_F(SystemShapes, NmmAndDisasterRecoveryFindTheirSavesetsWithA74Client)
{
    UseTools(L"bin-7.4");
    for (const wchar_t* pStore : {L"nmm-74-w", L"dr-74-w"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pStore)));
        ASSERT_NO_FATAL_FAILURE(RecoverVolumes(pStore));
        EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
        ExpectEveryComponentRestored();
        EXPECT_SYSTEM_VERIFIED(kDrives);
        EXPECT_TRUE(m_pPlugin->Fini(true));
    }
}
