// The short names of the program folders: the two passes against a fake volume, and the real
// volume's behaviour under Wine.
#include "plugin/crpl_impl.h"
#include "system/program_folders.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

namespace
{

using Call = std::pair<std::wstring, std::wstring>; // path, short name asked for

bool RestorePrivilegeOn()
{
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return false;
    PRIVILEGE_SET set = {1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    BOOL bOn = FALSE;
    bool bChecked =
        LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &set.Privilege[0].Luid) && PrivilegeCheck(hToken, &set, &bOn);
    CloseHandle(hToken);
    return bChecked && bOn;
}

// A volume in memory. Like a real directory it refuses a short name that another folder holds.
class FakeVolume : public ShortNameSeam
{
public:
    std::map<std::wstring, std::wstring> names; // present folders and their short names
    std::vector<Call> calls;
    Call failOn;             // the call that fails, when set
    std::set<size_t> failAt; // numbers of further calls that fail (from 0)
    DWORD dwFailCode = ERROR_ACCESS_DENIED;
    bool bNothingSupported = false;
    std::vector<bool> restorePrivilege; // whether the restore privilege was on at each call

    bool Exists(const std::wstring& sPath) override { return names.count(sPath) != 0; }
    std::wstring ShortName(const std::wstring& sPath) override
    {
        auto it = names.find(sPath);
        return it == names.end() ? std::wstring() : it->second;
    }
    DWORD SetShortName(const std::wstring& sPath, const std::wstring& sShortName) override
    {
        calls.push_back({sPath, sShortName});
        restorePrivilege.push_back(RestorePrivilegeOn());
        if (bNothingSupported)
            return ERROR_NOT_SUPPORTED;
        if (calls.back() == failOn || failAt.count(calls.size() - 1))
            return dwFailCode;
        if (!names.count(sPath))
            return ERROR_FILE_NOT_FOUND;
        for (const auto& [sOther, sName] : names)
            if (sOther != sPath && !sShortName.empty() && sName == sShortName)
                return ERROR_ALREADY_EXISTS;
        names[sPath] = sShortName;
        return ERROR_SUCCESS;
    }
};

// The implementation base with the installation's kind set as the configuration would.
class Installation : public CRPLImpl
{
public:
    Installation(bool bIs64Bit, bool bIsCore)
    {
        m_bIs64Bit = bIs64Bit;
        m_bIsCore = bIsCore;
    }
};

const wchar_t kFiles[] = L"D:\\Program Files";
const wchar_t kX86[] = L"D:\\Program Files (x86)";
const wchar_t kData[] = L"D:\\ProgramData";

struct Result {
    bool bRc;
    ShortNameOutcome outcome;
};

Result Correct(bool bIs64Bit, bool bIsCore, FakeVolume& volume)
{
    Installation impl(bIs64Bit, bIsCore);
    Result r{false, ShortNameOutcome::Corrected};
    r.bRc = impl.CorrectProgramFilesDirs(L'D', volume, r.outcome);
    return r;
}

// The swapped names a 64-bit restore typically leaves behind.
FakeVolume SwappedVolume64()
{
    FakeVolume v;
    v.names = {{kFiles, L"PROGRA~2"}, {kX86, L"PROGRA~1"}, {kData, L"PROGRA~3"}, {L"D:\\Programme", L"PROGRA~4"}};
    return v;
}

} // namespace

TEST(ProgramFolders, SwappedNamesOf64BitVolumeAreExchangedThroughTemporaryNames)
{
    FakeVolume v = SwappedVolume64();
    Result r = Correct(true, false, v);
    EXPECT_TRUE(r.bRc);
    EXPECT_EQ(r.outcome, ShortNameOutcome::Corrected);
    EXPECT_EQ(v.names[kFiles], L"PROGRA~1");
    EXPECT_EQ(v.names[kX86], L"PROGRA~2");
    EXPECT_EQ(v.names[kData], L"PROGRA~3");
    EXPECT_EQ(v.names[L"D:\\Programme"], L"PROGRA~4");
    // Each folder is renamed twice, every temporary name before any final one, in table order.
    const std::vector<Call> expected = {{kFiles, L"PROGRA~1.TMP"}, {kX86, L"PROGRA~2.TMP"},
                                        {kData, L"PROGRA~3.TMP"},  {L"D:\\Programme", L"PROGRA~4.TMP"},
                                        {kFiles, L"PROGRA~1"},     {kX86, L"PROGRA~2"},
                                        {kData, L"PROGRA~3"},      {L"D:\\Programme", L"PROGRA~4"}};
    EXPECT_EQ(v.calls, expected);
}

TEST(ProgramFolders, EveryRenameHoldsTheRestorePrivilegeWhichIsDroppedAfterwards)
{
    Installation impl(true, false);
    ASSERT_TRUE(impl.SetPrivilege(SE_RESTORE_NAME, false));
    ASSERT_FALSE(RestorePrivilegeOn());
    FakeVolume v = SwappedVolume64();
    ShortNameOutcome outcome = ShortNameOutcome::Failed;
    EXPECT_TRUE(impl.CorrectProgramFilesDirs(L'D', v, outcome));
    EXPECT_EQ(v.restorePrivilege, std::vector<bool>(v.calls.size(), true));
    EXPECT_FALSE(RestorePrivilegeOn());
}

TEST(ProgramFolders, TablesByKindOfInstallation)
{
    // 32-bit: no row for the x86 folder, the localised folder is the third.
    FakeVolume v32;
    v32.names = {{kFiles, L"PROGRA~2"}, {kData, L"PROGRA~1"}, {kX86, L"PROGRA~5"}, {L"D:\\Programme", L""}};
    EXPECT_TRUE(Correct(false, false, v32).bRc);
    EXPECT_EQ(v32.names[L"D:\\Programme"], L"PROGRA~3");
    EXPECT_EQ(v32.names[kFiles], L"PROGRA~1");
    EXPECT_EQ(v32.names[kData], L"PROGRA~2");
    EXPECT_EQ(v32.names[kX86], L"PROGRA~5");
    for (const Call& c : v32.calls)
        EXPECT_NE(c.first, kX86);

    // Server Core: ProgramData is the first, the localised folder the fourth.
    FakeVolume vCore = SwappedVolume64();
    vCore.names.erase(L"D:\\Programme");
    vCore.names[L"D:\\Programmi"] = L"PROGRA~4";
    Result r = Correct(true, true, vCore);
    EXPECT_TRUE(r.bRc);
    EXPECT_EQ(r.outcome, ShortNameOutcome::Corrected);
    EXPECT_EQ(vCore.names[kData], L"PROGRA~1");
    EXPECT_EQ(vCore.names[kFiles], L"PROGRA~2");
    EXPECT_EQ(vCore.names[kX86], L"PROGRA~3");
    EXPECT_EQ(vCore.names[L"D:\\Programmi"], L"PROGRA~4");

    EXPECT_EQ(ProgramFolderTable(true, false).size(), 9u);
    EXPECT_EQ(ProgramFolderTable(false, true).size(), 8u) << "a 32-bit Core installation uses the 32-bit table";
}

TEST(ProgramFolders, VolumeWithoutProgramFoldersIsLeftAlone)
{
    FakeVolume v;
    v.names = {{L"D:\\Windows", L""}, {L"D:\\Program Files Old", L"PROGRA~1"}};
    Result r = Correct(true, false, v);
    EXPECT_TRUE(r.bRc);
    EXPECT_EQ(r.outcome, ShortNameOutcome::NothingPresent);
    EXPECT_TRUE(v.calls.empty());
}

TEST(ProgramFolders, FailuresPutBackWhatTheyCan)
{
    struct Row {
        const char* pWhat;
        Call failOn;
        std::set<size_t> failAt;
        bool bUnsupported;
        ShortNameOutcome outcome;
        std::map<std::wstring, std::wstring> changed; // names that differ from the original at the end
        size_t nCalls;                                // 0: not counted
    } kRows[] = {
        // After two folders already have their final names; the one without a short name gets none back.
        {"a final rename fails", {kData, L"PROGRA~3"}, {}, false, ShortNameOutcome::SecondPassUndone, {}, 0},
        // Nothing after the failure is tried; only the first folder is put back.
        {"a temporary rename fails", {kX86, L"PROGRA~2.TMP"}, {}, false, ShortNameOutcome::Failed, {}, 3},
        // Calls 0-3 set the temporary names, 4 and 5 the final ones of the first two folders; 6 fails,
        // and so does 7, the first folder's way back to its temporary name. The second folder's
        // original name is then still held by the first folder.
        {"the undo cannot finish",
         {},
         {6, 7},
         false,
         ShortNameOutcome::Failed,
         {{kFiles, L"PROGRA~1"}, {kX86, L"PROGRA~2.TMP"}},
         0},
        {"a final name cannot be undone", {}, {7, 10}, false, ShortNameOutcome::Failed, {{kData, L"PROGRA~3"}}, 0},
        {"the undo's way back fails", {}, {6, 10}, false, ShortNameOutcome::Failed, {{kX86, L"PROGRA~2.TMP"}}, 0},
        {"the volume cannot set short names", {}, {}, true, ShortNameOutcome::NotSupported, {}, 1},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.pWhat);
        FakeVolume v = SwappedVolume64();
        v.names[kData] = L"";
        auto expected = v.names;
        for (const auto& [sPath, sName] : row.changed)
            expected[sPath] = sName;
        v.failOn = row.failOn;
        v.failAt = row.failAt;
        v.bNothingSupported = row.bUnsupported;
        v.dwFailCode = ERROR_NOT_SUPPORTED; // "not supported" only while nothing has changed
        Result r = Correct(true, false, v);
        EXPECT_FALSE(r.bRc);
        EXPECT_EQ(r.outcome, row.outcome);
        EXPECT_EQ(v.names, expected);
        EXPECT_TRUE(row.nCalls == 0 || v.calls.size() == row.nCalls) << v.calls.size();
    }
    EXPECT_STREQ(ShortNameOutcomeText(ShortNameOutcome::Corrected), L"corrected");
    EXPECT_STREQ(ShortNameOutcomeText(ShortNameOutcome::NothingPresent), L"no program folders");
    EXPECT_STREQ(ShortNameOutcomeText(ShortNameOutcome::NotSupported), L"not supported");
    EXPECT_STREQ(ShortNameOutcomeText(ShortNameOutcome::Failed), L"failed");
    EXPECT_STREQ(ShortNameOutcomeText(ShortNameOutcome::SecondPassUndone), L"failed, first pass undone");
}

// Under Wine the real volume reads short names but is never asked to set one: the call would
// end this process.
TEST(ProgramFolders, RealVolumeUnderWine)
{
    ASSERT_TRUE(Win32ShortNames::UnderWine()) << "these checks expect Wine";
    testutil::ScratchFolder scratch(L"program_folders");
    const std::wstring sLong = scratch.file(L"Program Files Long");
    ASSERT_TRUE(CreateDirectoryW(sLong.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(scratch.file(L"SHORT").c_str(), nullptr));

    Win32ShortNames seam;
    EXPECT_TRUE(seam.Exists(sLong));
    EXPECT_FALSE(seam.Exists(scratch.file(L"absent")));
    std::wstring sShort = seam.ShortName(sLong);
    ASSERT_FALSE(sShort.empty());
    EXPECT_LE(sShort.size(), 12u);
    EXPECT_NE(GetFileAttributesW(scratch.file(sShort).c_str()), INVALID_FILE_ATTRIBUTES)
        << "the short name does not lead to the folder";
    EXPECT_EQ(seam.ShortName(scratch.file(L"absent")), L"");

    EXPECT_EQ(seam.SetShortName(sLong, L"PROGRA~1"), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(seam.ShortName(sLong), sShort);

    // The prefix's C: drive has a "Program Files": the whole fix-up stops at its first folder.
    Installation impl(true, false);
    EXPECT_FALSE(impl.CorrectProgramFilesDirs(L'C'));
    ShortNameOutcome outcome = ShortNameOutcome::Corrected;
    EXPECT_FALSE(impl.CorrectProgramFilesDirs(L'C', seam, outcome));
    EXPECT_EQ(outcome, ShortNameOutcome::NotSupported);
}
