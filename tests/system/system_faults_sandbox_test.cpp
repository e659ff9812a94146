// PrepareSystem when recover does not behave: hives held open or deleted by recover, an older
// staging folder with a higher name, an empty saveset, a saveset recover cannot find, a hive
// lost or emptied before it is held, a component that brings back fewer objects than it
// counted, the host aborting in the middle; and the configuration fetch of a protected item.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "tests/common/test_util.h"
#include "tests/system/system_host.h"

#include <stdexcept>

using namespace restoretest;

namespace
{

const wchar_t kNwsimIni[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.ini";

class SystemFaults : public SystemHost
{
protected:
    void TearDown() override
    {
        WritePrivateProfileStringW(L"restore", nullptr, nullptr, kNwsimIni);
        WritePrivateProfileStringW(L"nwsim", L"noise", nullptr, kNwsimIni);
        WritePrivateProfileStringW(L"nwsim", L"password_timeout", nullptr, kNwsimIni);
        SetFaults({});
        SystemHost::TearDown();
    }
    void ListStore(const std::wstring& sStore)
    {
        UseStore(sStore);
        ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        for (wchar_t wc : {L'W', L'D', L'S'})
            ClearDrive(wc);
    }
    static void SetRestoreKnob(const wchar_t* pKey, const wchar_t* pValue)
    {
        WritePrivateProfileStringW(L"restore", pKey, pValue, kNwsimIni);
    }
    // Whether a hive of the repair folder is free: absent, or open to an exclusive writer. The
    // module's capture would keep such a writer out.
    static bool RepairHiveFree(const wchar_t* pName)
    {
        return FileFree(std::wstring(L"W:\\Windows\\repair\\Backup\\BootableSystemState\\Registry\\") + pName);
    }
    static bool FileFree(const std::wstring& sPath)
    {
        velmora::unique_file h(
            CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return h || GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    }
    // The summary file names the failed component and why.
    bool Dumped(const std::wstring& sFailure)
    {
        const std::vector<std::wstring> lines = DumpLines();
        return std::find(lines.begin(), lines.end(), L"Failed component                 : " + sFailure) != lines.end();
    }
    const SystemStateEntry* Entry(unsigned eType)
    {
        for (const SystemStateEntry& e : Impl().SystemState())
            if (e.eType == eType)
                return &e;
        return nullptr;
    }
};

} // namespace

TEST_F(SystemFaults, HivesThatRecoverHoldsOpenOrDeletesAreCapturedAndPutInPlace)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-w"));
    SetRestoreKnob(L"hold_file", L"SYSTEM");
    SetRestoreKnob(L"hold_ms", L"2500");
    SetRestoreKnob(L"delete_direct", L"yes");
    EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
    EXPECT_TRUE(FileFree(L"W:\\Windows\\System32\\config\\SYSTEM")) << "the hive is let go where it went";
    EXPECT_SYSTEM_VERIFIED(L"W,D,S");
}

TEST_F(SystemFaults, TheNewestStagingFolderByCreationTimeSizesTheWriterFiles)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-w"));
    SetRestoreKnob(L"old_staging", L"RecoverWriter-FFFFFFFF-0");
    EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
    unsigned long long ullSized = 0;
    for (const Record& r : m_records)
        if (r.uiKind == PK_OBJECT_RESTORED && r.sText1.find(L"nwsim-") != std::wstring::npos)
            ullSized += r.ullCurrentSize;
    EXPECT_GT(ullSized, 0u) << "writer files are sized from the staging folder recover wrote to";
    EXPECT_SYSTEM_VERIFIED(L"W,D,S");
}

TEST_F(SystemFaults, AnEmptySavesetIsRestoredInFull)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-empty-w"));
    EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
    const SystemStateEntry* pEmpty = Entry(SST_VSS_USER_DATA);
    ASSERT_TRUE(pEmpty);
    EXPECT_EQ(pEmpty->uiFilesToRestore, 0u);
    EXPECT_EQ(pEmpty->uiFilesRestored, 0u);
    EXPECT_SYSTEM_VERIFIED(L"W,D,S");
}

// Nothing came back and recover never said the saveset was empty, or said it was not there: the
// component fails with its message, nothing is put in place, and the summary says why.
TEST_F(SystemFaults, AComponentWhoseObjectsDidNotAllComeBackFailsItsPreparation)
{
    const std::wstring sConfig = L"W:\\Windows\\System32\\config\\";
    const struct {
        const wchar_t* pStore;
        const wchar_t* pSection; // the knob of the simulated tools
        const wchar_t* pKey;
        const wchar_t* pValue;
        unsigned uiMessage;
        const wchar_t* pWhy;
    } cases[] = {
        {L"vss-w", L"restore", L"missing_saveset", L"VSS SYSTEM BOOT:\\", MSG_RESTORE_VSS_SYSTEM_BOOT_FAILED,
         L" (saveset not found)"},
        {L"legacy-w", L"restore", L"missing_saveset", L"SYSTEM FILES:\\", MSG_RESTORE_SYSTEM_FILES_FAILED,
         L" (saveset not found)"},
        {L"nmm-w", L"restore", L"missing_saveset", L"VSS:/", MSG_RESTORE_NMM_VSS_FAILED, L" (saveset not found)"},
        {L"dr-w", L"restore", L"missing_saveset", L"OSSR_D_", MSG_RESTORE_DISASTER_RECOVERY_FAILED,
         L" (saveset not found)"},
        {L"vss-empty-w", L"nwsim", L"noise", L"no", MSG_RESTORE_VSS_USER_DATA_FAILED, L""},
        {L"vss-w", L"restore", L"missing_hive", L"SAM", MSG_RESTORE_VSS_SYSTEM_BOOT_FAILED,
         L" (hives missing or empty: SAM missing)"},
        {L"vss-w", L"restore", L"empty_hive", L"system", MSG_RESTORE_VSS_SYSTEM_BOOT_FAILED,
         L" (hives missing or empty: system empty)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.pStore) + L" " + c.pKey + L"=" + c.pValue));
        ASSERT_NO_FATAL_FAILURE(ListStore(c.pStore));
        WritePrivateProfileStringW(c.pSection, c.pKey, c.pValue, kNwsimIni);
        EXPECT_FALSE(PrepareSystem());
        WritePrivateProfileStringW(c.pSection, c.pKey, nullptr, kNwsimIni);
        EXPECT_EQ(LastError(), Text(c.uiMessage));
        EXPECT_TRUE(Logged(c.uiMessage, ML_ERROR));
        EXPECT_TRUE(Dumped(Text(c.uiMessage) + c.pWhy));
        EXPECT_FALSE(Logged(MSG_BOOT_FILES_COPIED, ML_INFORMATION)) << "no boot files from a failed preparation";
        EXPECT_TRUE(RepairHiveFree(L"SOFTWARE"));
        if (c.uiMessage == MSG_RESTORE_VSS_SYSTEM_BOOT_FAILED)
            EXPECT_EQ(GetFileAttributesW((sConfig + L"SOFTWARE").c_str()), INVALID_FILE_ATTRIBUTES)
                << "no hive of an incomplete set is moved into place";
        EXPECT_TRUE(NoRecoverRunning());
        EXPECT_TRUE(m_pPlugin->Fini(true));
    }
}

// The saved configuration put back onto the Windows volume did not arrive whole: its boot and
// system files are not copied from it.
TEST_F(SystemFaults, TheConfigurationsRestoreFailsOnTheFetchsFailureLines)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-w"));
    const std::pair<const wchar_t*, unsigned> cases[] = {
        {L"line:2 say ddcl", MSG_DDCL_OPEN_FAILED},
        {L"line:2 say busy", MSG_SERVER_BUSY},
        {L"line:2 say no_volumes", MSG_NO_VOLUMES},
        {L"line:2 say stale_rpc", MSG_STALE_RPC_HANDLE},
        {L"end say threads_failed", MSG_RECOVER_THREADS_FAILED},
        {L"line:3 say forcibly_closed", MSG_CONNECTION_FORCIBLY_CLOSED},
        {L"object:2 crash", 0},
    };
    for (const auto& [pFault, uiMessage] : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pFault)));
        SetFaults({std::wstring(L"for:\"W:\\QERNCFG\" recover restore ") + pFault});
        EXPECT_FALSE(PrepareSystem());
        EXPECT_EQ(LastError(), Text(MSG_RESTORE_BOOT_SYSTEM_FAILED));
        if (uiMessage)
            EXPECT_TRUE(Logged(uiMessage, ML_ERROR));
        EXPECT_FALSE(Logged(MSG_BOOT_FILES_COPIED, ML_INFORMATION));
        EXPECT_FALSE(Logged(MSG_SYSTEM_FILES_COPIED, ML_INFORMATION));
        EXPECT_TRUE(NoRecoverRunning());
    }
}

// The configuration's NWInfo is password-protected: without the password the listing fails at
// once, the host asked once; with it the listing and the preparation work, the password kept.
TEST_F(SystemFaults, AProtectedConfigurationItemIsFetchedOnlyWithItsPassword)
{
    UseStore(L"protected-w");
    // An old fault would ask again every ten seconds; recover gives up on its own after a minute.
    WritePrivateProfileStringW(L"nwsim", L"password_timeout", L"60", kNwsimIni);
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    const ULONGLONG ullStart = GetTickCount64();
    EXPECT_FALSE(List());
    EXPECT_LT(GetTickCount64() - ullStart, 20000u);
    EXPECT_EQ(m_uiPasswordRequests, 1u);
    EXPECT_EQ(LastError(), Text(MSG_EXTRACT_CONFIG_FAILED));
    EXPECT_TRUE(NoRecoverRunning());

    m_passwords = {L"secret"};
    m_uiPasswordRequests = 0;
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    EXPECT_EQ(m_uiPasswordRequests, 1u);
    for (wchar_t wc : {L'W', L'D', L'S'})
        ClearDrive(wc);
    EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
    EXPECT_EQ(m_uiPasswordRequests, 1u) << "the configuration's restore types the password it was given";
    EXPECT_SYSTEM_VERIFIED(L"W,D,S");
}

// An exception out of the host's callback while the boot component is restored: the preparation
// fails and the hive capture is over all the same, its thread ended and every hive let go.
TEST_F(SystemFaults, AnExceptionDuringTheBootRestoreEndsTheHiveCapture)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-w"));
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
    EXPECT_TRUE(RepairHiveFree(L"SYSTEM"));
    EXPECT_TRUE(RepairHiveFree(L"SAM"));
    EXPECT_TRUE(m_pPlugin->Fini(true));
}

TEST_F(SystemFaults, AComponentThatBringsBackFewerObjectsThanCountedIsAWarning)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-w"));
    SetFaults({L"for:\"VSS OTHER:\\\" recover restore object:2 exit 0"});
    EXPECT_TRUE(PrepareSystem()) << testing::PrintToString(LastError());
    EXPECT_TRUE(Logged(MSG_COMPONENT_INCOMPLETE, ML_WARNING));
    const SystemStateEntry* pOther = Entry(SST_VSS_OTHER);
    ASSERT_TRUE(pOther);
    EXPECT_EQ(pOther->uiFilesRestored, 1u);
    std::wstring sLine = L"VSS OTHER Restored               : 1 of " + std::to_wstring(pOther->uiFilesToRestore);
    std::vector<std::wstring> lines = DumpLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), sLine), lines.end()) << testing::PrintToString(sLine);
}

TEST_F(SystemFaults, AnAbortStopsTheWalkAndLeavesNoToolRunning)
{
    ASSERT_NO_FATAL_FAILURE(ListStore(L"vss-w"));
    AbortAt(PK_OBJECT_RESTORED, 2);
    EXPECT_FALSE(PrepareSystem());
    EXPECT_TRUE(NoRecoverRunning());
    const std::vector<std::wstring> titles = ComponentTitles();
    EXPECT_EQ(titles.size(), 1u) << "no component after the aborted one is started";
    EXPECT_FALSE(Logged(MSG_BOOT_FILES_COPIED, ML_INFORMATION));
    AbortAt(0, 0);
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    EXPECT_TRUE(PrepareSystem()) << "the next preparation works: " << testing::PrintToString(LastError());
}
