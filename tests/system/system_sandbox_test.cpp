// PrepareSystem through the exported interface on a machine whose Windows volume is W:: every
// component of each store shape in backup-time order, proven by the store's verifier over the
// system state, the summary file, and what the host is told; then recover misbehaving (hives held
// open or deleted, savesets missing or empty, components short), the host aborting or throwing,
// a protected configuration item, and the client tools' versions.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "tests/common/sandbox_host.h"

#include <algorithm>
#include <stdexcept>

using namespace sandboxtest;

namespace
{

const wchar_t kDrives[] = L"W,D,S";
const wchar_t kRepair[] = L"W:\\Windows\\repair\\Backup\\BootableSystemState\\Registry\\";
const wchar_t kConfig[] = L"W:\\Windows\\System32\\config\\";

class SystemSandbox : public SandboxHost
{
protected:
    void ListStore(const std::wstring& sStore)
    {
        UseStore(sStore);
        ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        for (wchar_t wc : {L'W', L'D', L'S'})
            ClearDrive(wc);
    }
    // The listing of a store kept for the next preparation when it is the last one listed: a
    // failed preparation leaves the listing as it was.
    void ListStoreOnce(const std::wstring& sStore)
    {
        if (sStore != m_sStore || m_list.empty())
            return ListStore(sStore);
        for (wchar_t wc : {L'W', L'D', L'S'})
            ClearDrive(wc);
    }

    // Every restorable component counted and restored in full, in the order of the listing;
    // proven by the verifier.
    void ExpectEveryComponentRestored()
    {
        const std::vector<SystemStateEntry>& entries = SystemState();
        for (size_t i = 1; i < entries.size(); ++i)
            EXPECT_FALSE(EarlierThan(entries[i].stBackupTime, entries[i - 1].stBackupTime)) << "backup-time order";
        for (const SystemStateEntry& e : entries) {
            SCOPED_TRACE(e.eType);
            if (e.eType == SST_ASR || e.eType == SST_VSS_ASR_DISK || e.eType == SST_WINDOWS_ROLES_FEATURES) {
                EXPECT_EQ(e.uiFilesRestored, 0u);
                continue;
            }
            EXPECT_GT(e.uiFilesRestored, 0u);
            EXPECT_EQ(e.uiFilesRestored, e.uiFilesToRestore);
        }
        EXPECT_TRUE(ErrorIds().empty());
        EXPECT_TRUE(Logged(MSG_BOOT_FILES_COPIED, ML_INFORMATION));
        // A GPT system disk has no system partition files to copy.
        EXPECT_EQ(Logged(MSG_SYSTEM_FILES_COPIED, ML_INFORMATION), !Impl().IsEfi());
        EXPECT_FALSE(testutil::FileExists(L"W:\\temp\\nsr_recover\\RecoverWriter-1"))
            << "the staging folder is emptied";
        EXPECT_SYSTEM_VERIFIED(kDrives);
        EXPECT_TRUE(NoRecoverRunning());
    }

    // The summary file names each component with its counters, and the short-name step's outcome.
    // The short-name step finds the program folders only on a restored Windows volume.
    void ExpectDump(bool bVolumesRestored)
    {
        std::vector<std::wstring> lines = DumpLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].rfind(L"CVEX.DLL version ", 0), 0u);
        EXPECT_TRUE(Dumped(L"NetWorker Server    : localhost"));
        EXPECT_TRUE(Dumped(L"BOOT drive letter   : W:"));
        for (const SystemStateEntry& e : SystemState()) {
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
        EXPECT_EQ(lines.back(), std::wstring(L"Program folder short names       : ") +
                                    (bVolumesRestored ? L"not supported" : L"no program folders"));
    }

    bool Dumped(const std::wstring& sLine)
    {
        const std::vector<std::wstring> lines = DumpLines();
        return std::find(lines.begin(), lines.end(), sLine) != lines.end();
    }

    // Whether a file is free: absent, or open to an exclusive writer. The module's hive capture
    // would keep such a writer out.
    static bool FileFree(const std::wstring& sPath)
    {
        velmora::unique_file h(
            CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return h || GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    }

    const SystemStateEntry* Entry(unsigned eType)
    {
        for (const SystemStateEntry& e : SystemState())
            if (e.eType == eType)
                return &e;
        return nullptr;
    }

    // A failed preparation: no boot or system files copied, recover gone.
    void ExpectFailedPreparation(unsigned uiError)
    {
        EXPECT_FALSE(PrepareSystem());
        ExpectLastError(uiError);
        EXPECT_FALSE(Logged(MSG_BOOT_FILES_COPIED, ML_INFORMATION)) << "no boot files from a failed preparation";
        EXPECT_FALSE(Logged(MSG_SYSTEM_FILES_COPIED, ML_INFORMATION));
        EXPECT_TRUE(NoRecoverRunning());
    }
};

} // namespace

TEST_F(SystemSandbox, EveryShapeComesBackIntoTheOfflineInstallation)
{
    const std::vector<std::wstring> wineWindows = WineWindowsFiles();
    wchar_t wszTemp[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TEMP", wszTemp, MAX_PATH);
    // "all" holds the VSS, legacy and disaster-recovery components together.
    for (const wchar_t* pStore : {L"standard-w", L"nmm-w", L"efi-w", L"all-w"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pStore)));
        ASSERT_NO_FATAL_FAILURE(ListStore(pStore));
        // Once after the volumes came back, as the host does; the others on empty disks.
        const bool bVolumes = std::wstring(pStore) == L"standard-w";
        if (bVolumes)
            ASSERT_TRUE(RestoreFilespaces());
        EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
        ExpectEveryComponentRestored();
        ExpectDump(bVolumes);
        wchar_t wszDuring[MAX_PATH] = {};
        GetEnvironmentVariableW(L"TMP", wszDuring, MAX_PATH);
        EXPECT_STREQ(wszDuring, L"W:\\TEMP") << "TEMP and TMP point at the Windows volume until Fini";
        // NMM savesets alone are no complete system state, though they are restored.
        EXPECT_EQ(CheckSystemState(), std::wstring(pStore) != L"nmm-w") << testing::PrintToString(LastError());
        EXPECT_TRUE(m_pPlugin->Fini(true));
        wchar_t wszAfter[MAX_PATH] = {};
        GetEnvironmentVariableW(L"TEMP", wszAfter, MAX_PATH);
        EXPECT_STREQ(wszAfter, wszTemp);
    }
    EXPECT_EQ(WineWindowsFiles(), wineWindows) << "nothing of the machine's own Windows folder changed";
}

// Only the boot component's count command line is traced under this mask, which the module reads
// when it is made.
class SystemSandboxTraceGroups : public SystemSandbox
{
protected:
    SystemSandboxTraceGroups() { m_sNetWorkerTrace = std::to_wstring(0x10101); }
};

TEST_F(SystemSandboxTraceGroups, TheComponentsRunInListingOrderWithTheirTraceGroups)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-w"));
    MarkTrace();
    ASSERT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
    static const std::pair<unsigned, const wchar_t*> kTitles[] = {{SST_VSS_OTHER, L"VSS OTHER:\\"},
                                                                  {SST_VSS_SYSTEM_BOOT, L"VSS SYSTEM BOOT:\\"},
                                                                  {SST_VSS_SYSTEM_FILESET, L"VSS SYSTEM FILESET:\\"},
                                                                  {SST_VSS_SYSTEM_SERVICES, L"VSS SYSTEM SERVICES:\\"},
                                                                  {SST_VSS_USER_DATA, L"VSS USER DATA:\\"}};
    std::vector<std::wstring> expected;
    for (const SystemStateEntry& e : SystemState())
        for (const auto& [eType, pTitle] : kTitles)
            if (e.eType == eType)
                expected.push_back(pTitle);
    EXPECT_EQ(ComponentTitles(), expected);
    // Right after each component's last record the host hears that its files go into place.
    size_t nMoving = 0;
    for (size_t i = 1; i < m_records.size(); ++i) {
        if (m_records[i].uiKind == PK_MESSAGE && IdOf(m_records[i].sText5) == MSG_MOVING_SYSTEM_STATE) {
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

TEST_F(SystemSandbox, RecoverHoldingOrDeletingHivesAnOldStagingFolderAndAnEmptySaveset)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-w"));
    SetKnob(L"restore", L"hold_file", L"SYSTEM");
    SetKnob(L"restore", L"hold_ms", L"2500");
    SetKnob(L"restore", L"delete_direct", L"yes");
    EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
    EXPECT_TRUE(FileFree(std::wstring(kConfig) + L"SYSTEM")) << "the hive is let go where it went";
    EXPECT_SYSTEM_VERIFIED(kDrives);
    for (const wchar_t* pKey : {L"hold_file", L"hold_ms", L"delete_direct"})
        SetKnob(L"restore", pKey, nullptr);

    ASSERT_NO_FATAL_FAILURE(ListStoreOnce(L"vss-w"));
    SetKnob(L"restore", L"old_staging", L"RecoverWriter-FFFFFFFF-0");
    EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
    unsigned long long ullSized = 0;
    for (const Record& r : m_records)
        if (r.uiKind == PK_OBJECT_RESTORED && r.sText1.find(L"nwsim-") != std::wstring::npos)
            ullSized += r.ullCurrentSize;
    EXPECT_GT(ullSized, 0u) << "writer files are sized from the newest staging folder by creation time";
    EXPECT_SYSTEM_VERIFIED(kDrives);

    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-empty-w"));
    EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
    const SystemStateEntry* pEmpty = Entry(SST_VSS_USER_DATA);
    ASSERT_TRUE(pEmpty);
    EXPECT_EQ(pEmpty->uiFilesToRestore, 0u);
    EXPECT_EQ(pEmpty->uiFilesRestored, 0u);
    EXPECT_SYSTEM_VERIFIED(kDrives);
}

// Nothing came back and recover never said the saveset was empty, or said it was not there; a
// component fails; a hive cannot be put in place: the preparation fails with the component's
// message, nothing of an incomplete set is put in place, and the summary says why.
TEST_F(SystemSandbox, AComponentThatDidNotComeBackFailsThePreparation)
{
    const struct {
        const wchar_t* pStore;
        const wchar_t* pSection; // the knob of the simulated tools
        const wchar_t* pKey;
        const wchar_t* pValue;
        unsigned uiMessage;
        const wchar_t* pWhy;
    } kCases[] = {
        {L"dr-w", L"restore", L"missing_saveset", L"OSSR_D_", MSG_RESTORE_DISASTER_RECOVERY_FAILED,
         L" (saveset not found)"},
        {L"vss-empty-w", L"nwsim", L"noise", L"no", MSG_RESTORE_VSS_USER_DATA_FAILED, L""},
        {L"vss-w", L"restore", L"missing_saveset", L"VSS SYSTEM BOOT:\\", MSG_RESTORE_VSS_SYSTEM_BOOT_FAILED,
         L" (saveset not found)"},
        {L"vss-w", L"restore", L"missing_hive", L"SAM", MSG_RESTORE_VSS_SYSTEM_BOOT_FAILED,
         L" (hives missing or empty: SAM missing)"},
        {L"vss-w", L"restore", L"empty_hive", L"system", MSG_RESTORE_VSS_SYSTEM_BOOT_FAILED,
         L" (hives missing or empty: system empty)"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.pStore) + L" " + c.pKey + L"=" + c.pValue));
        ASSERT_NO_FATAL_FAILURE(ListStoreOnce(c.pStore));
        SetKnob(c.pSection, c.pKey, c.pValue);
        ExpectFailedPreparation(c.uiMessage);
        SetKnob(c.pSection, c.pKey, nullptr);
        EXPECT_TRUE(Logged(c.uiMessage, ML_ERROR));
        EXPECT_TRUE(Dumped(L"Failed component                 : " + LastError() + c.pWhy));
        EXPECT_TRUE(FileFree(std::wstring(kRepair) + L"SOFTWARE"));
        if (c.uiMessage == MSG_RESTORE_VSS_SYSTEM_BOOT_FAILED)
            EXPECT_FALSE(testutil::FileExists(std::wstring(kConfig) + L"SOFTWARE"))
                << "no hive of an incomplete set is moved into place";
    }
    {
        SCOPED_TRACE("one failing component among several: the others still come back");
        ASSERT_NO_FATAL_FAILURE(ListStoreOnce(L"vss-w"));
        SetFaults({L"for:\"VSS SYSTEM SERVICES:\\\" recover restore object:2 fail ddcl"});
        ExpectFailedPreparation(MSG_RESTORE_VSS_SYSTEM_SERVICES_FAILED);
        EXPECT_TRUE(Logged(MSG_DDCL_OPEN_FAILED, ML_ERROR));
        EXPECT_GT(Entry(SST_VSS_SYSTEM_BOOT)->uiFilesRestored, 0u);
        EXPECT_GT(Entry(SST_VSS_SYSTEM_FILESET)->uiFilesRestored, 0u);
        SetFaults({});
    }
    {
        SCOPED_TRACE("a hive that cannot be put in place fails the boot step and is released");
        ASSERT_NO_FATAL_FAILURE(ListStoreOnce(L"vss-w"));
        CreateDirectoryW(L"W:\\Windows", nullptr);
        CreateDirectoryW(L"W:\\Windows\\System32", nullptr);
        CreateDirectoryW(kConfig, nullptr);
        velmora::unique_file hLocked(CreateFileW((std::wstring(kConfig) + L"SYSTEM").c_str(), GENERIC_WRITE, 0, nullptr,
                                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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
        velmora::unique_file hHive(CreateFileW((std::wstring(kRepair) + L"SYSTEM").c_str(), GENERIC_WRITE, 0, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(hHive) << "the hive that was not moved can be opened again: " << GetLastError();
    }
    {
        SCOPED_TRACE("a component that brings back fewer objects than it counted is a warning");
        ASSERT_NO_FATAL_FAILURE(ListStoreOnce(L"vss-w"));
        SetFaults({L"for:\"VSS OTHER:\\\" recover restore object:2 exit 0"});
        EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
        EXPECT_TRUE(Logged(MSG_COMPONENT_INCOMPLETE, ML_WARNING));
        const SystemStateEntry* pOther = Entry(SST_VSS_OTHER);
        ASSERT_TRUE(pOther);
        EXPECT_EQ(pOther->uiFilesRestored, 1u);
        EXPECT_TRUE(Dumped(L"VSS OTHER Restored               : 1 of " + std::to_wstring(pOther->uiFilesToRestore)));
    }
}

// The saved configuration put back onto the Windows volume did not arrive whole: its boot and
// system files are not copied from it (which line gives which message is the fetch's, as in the
// listing). Without a listing nothing is touched.
TEST_F(SystemSandbox, TheConfigurationsRestoreFailsOnTheFetchsFailureLines)
{
    UseStore(L"vss-w");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    EXPECT_FALSE(PrepareSystem());
    ExpectLastError(MSG_NO_BOOT_LETTER);
    EXPECT_TRUE(testutil::ProcessesNamed(L"recover.exe").empty());

    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-w"));
    const std::pair<const wchar_t*, unsigned> kCases[] = {
        {L"line:2 say ddcl", MSG_DDCL_OPEN_FAILED},
        {L"end say threads_failed", MSG_RECOVER_THREADS_FAILED},
        {L"object:2 crash", 0},
    };
    for (const auto& [pFault, uiMessage] : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pFault)));
        SetFaults({std::wstring(L"for:\"W:\\QERNCFG\" recover restore ") + pFault});
        ExpectFailedPreparation(MSG_RESTORE_BOOT_SYSTEM_FAILED);
        EXPECT_TRUE(uiMessage == 0 || Logged(uiMessage, ML_ERROR));
    }
}

// The configuration's NWInfo is password-protected: without the password the listing fails at
// once, the host asked once; with it the listing and the preparation work, the password kept.
TEST_F(SystemSandbox, AProtectedConfigurationItemIsFetchedOnlyWithItsPassword)
{
    UseStore(L"protected-w");
    // An old fault would ask again every ten seconds; recover gives up on its own after a minute.
    SetKnob(L"nwsim", L"password_timeout", L"60");
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    const ULONGLONG ullStart = GetTickCount64();
    EXPECT_FALSE(List());
    EXPECT_LT(GetTickCount64() - ullStart, 20000u);
    EXPECT_EQ(m_uiPasswordRequests, 1u);
    ExpectLastError(MSG_EXTRACT_CONFIG_FAILED);
    EXPECT_TRUE(NoRecoverRunning());

    m_passwords = {L"secret"};
    m_uiPasswordRequests = 0;
    ASSERT_NO_FATAL_FAILURE(ListStore(L"protected-w"));
    EXPECT_EQ(m_uiPasswordRequests, 1u);
    EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
    EXPECT_EQ(m_uiPasswordRequests, 1u) << "the configuration's restore types the password it was given";
    EXPECT_SYSTEM_VERIFIED(kDrives);
}

// The host aborting stops the walk; an exception out of the host's callback while the boot
// component is restored fails the preparation and ends the hive capture all the same.
TEST_F(SystemSandbox, AnAbortOrAnExceptionOfTheHostEndsThePreparationCleanly)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-w"));
    AbortAt(PK_OBJECT_RESTORED, 2);
    EXPECT_FALSE(PrepareSystem());
    EXPECT_TRUE(NoRecoverRunning());
    EXPECT_EQ(ComponentTitles().size(), 1u) << "no component after the aborted one is started";
    EXPECT_FALSE(Logged(MSG_BOOT_FILES_COPIED, ML_INFORMATION));
    AbortAt(0, 0);
    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-w"));
    EXPECT_TRUE(PrepareSystem()) << "the next preparation works: " << testing::PrintToString(LastError());
    EXPECT_SYSTEM_VERIFIED(kDrives);

    ASSERT_NO_FATAL_FAILURE(ListStoreOnce(L"vss-w"));
    m_pPlugin->SetProgMsgCallbackFn(
        [](ProgressRecord* pRecord, void*) -> unsigned {
            if (pRecord->uiKind == PK_OBJECT_RESTORED &&
                pRecord->sText1.find(L"\\Registry\\SYSTEM") != std::wstring::npos)
                throw std::runtime_error("host callback failed");
            return 0;
        },
        nullptr);
    EXPECT_FALSE(PrepareSystem());
    Sleep(2500); // a thread still running would take the hives again within a second
    EXPECT_TRUE(FileFree(std::wstring(kRepair) + L"SYSTEM"));
    EXPECT_TRUE(FileFree(std::wstring(kRepair) + L"SAM"));
    EXPECT_TRUE(m_pPlugin->Fini(true));
}

// The port query runs for recovery clients from 8.2.2 on; clients 7.4 and 7.5 print the media
// database report without its type column, and the NMM and disaster-recovery savesets are still
// found by their ids and come back whole.
TEST_F(SystemSandbox, EachVersionOfTheClientTools)
{
    for (const wchar_t* pTools : {L"bin-8.2.1", L"bin"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pTools)));
        UseTools(pTools);
        ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-821-w"));
        MarkTrace();
        EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
        EXPECT_SYSTEM_VERIFIED(kDrives);
        std::wstring sTrace = NewTrace();
        const bool bNewer = std::wstring(pTools) == L"bin";
        EXPECT_EQ(testutil::Contains(sTrace, L"sHost = \"localhost\""), bNewer);
        EXPECT_EQ(testutil::Contains(sTrace, L"sHost = \"winclient1\""), bNewer);
    }
    UseTools(L"bin-7.4");
    for (const wchar_t* pStore : {L"nmm-74-w", L"dr-74-w"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pStore)));
        ASSERT_NO_FATAL_FAILURE(ListStore(pStore));
        EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
        ExpectEveryComponentRestored();
        EXPECT_TRUE(m_pPlugin->Fini(true));
    }
}
