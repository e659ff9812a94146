// PrepareSystem when recover does not behave: hives held open or deleted by recover, an older
// staging folder with a higher name, an empty saveset, a component that brings back fewer
// objects than it counted, and the host aborting in the middle.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "tests/common/test_util.h"
#include "tests/system/system_host.h"

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
    EXPECT_EQ(CVEXImpl::HeldRegistryHives(), 0u);
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
    m_uiAbortAtObject = 2;
    EXPECT_FALSE(PrepareSystem());
    EXPECT_TRUE(NoRecoverRunning());
    const std::vector<std::wstring> titles = ComponentTitles();
    EXPECT_EQ(titles.size(), 1u) << "no component after the aborted one is started";
    EXPECT_FALSE(Logged(MSG_BOOT_FILES_COPIED, ML_INFORMATION));
    m_uiAbortAtObject = 0;
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    EXPECT_TRUE(PrepareSystem()) << "the next preparation works: " << testing::PrintToString(LastError());
}
