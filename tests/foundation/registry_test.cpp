#include "support/handle.h"
#include "support/registry.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

using velmora::Registry;
using velmora::Registry_Software;
using velmora::Registry_System;

namespace
{

const wchar_t* const kScratchRoot = L"SOFTWARE\\CvexRegistryTest";

void DeleteTree(const std::wstring& sKey)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, sKey.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, sKey.c_str());
}

struct RawValue {
    LONG lResult = ERROR_FILE_NOT_FOUND;
    DWORD dwType = REG_NONE;
    std::vector<BYTE> data;
};

RawValue ReadRaw(const std::wstring& sKey, const std::wstring& sName)
{
    RawValue v;
    DWORD dwBytes = 0;
    v.lResult = RegGetValueW(HKEY_LOCAL_MACHINE, sKey.c_str(), sName.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &v.dwType,
                             nullptr, &dwBytes);
    if (v.lResult != ERROR_SUCCESS)
        return v;
    v.data.resize(dwBytes);
    v.lResult = RegGetValueW(HKEY_LOCAL_MACHINE, sKey.c_str(), sName.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &v.dwType,
                             v.data.data(), &dwBytes);
    v.data.resize(dwBytes);
    return v;
}

std::vector<BYTE> WideBytes(const std::wstring& s)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(s.data());
    return std::vector<BYTE>(p, p + s.size() * sizeof(wchar_t));
}

bool KeyExists(const std::wstring& sKey)
{
    velmora::unique_hkey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, sKey.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void UnloadLeftoverHives();

// A scratch tree under HKLM\SOFTWARE, deleted before and after each test, and a registry log
// moved into a scratch folder.
struct RegistryScratch : ::testing::Test {
    testutil::ScratchFolder folder{L"registry"};
    Registry reg{false, HKEY_LOCAL_MACHINE, std::wstring(kScratchRoot) + L"\\"};
    std::wstring sKey = std::wstring(kScratchRoot) + L"\\A\\B";

    void SetUp() override
    {
        DeleteTree(kScratchRoot);
        velmora::SetRegistryLogPath(folder.file(L"registry.log"));
    }
    void TearDown() override
    {
        UnloadLeftoverHives();
        DeleteTree(kScratchRoot);
        velmora::SetRegistryLogPath(L"");
    }
    std::wstring Log() { return testutil::ReadTextFile(folder.file(L"registry.log")); }
};

} // namespace

TEST(RegistryPaths, PrefixKeyAndAccessMasks)
{
    EXPECT_EQ(velmora::JoinKeyPath(L"SYSTEM\\", L"Setup"), L"SYSTEM\\Setup");
    EXPECT_EQ(velmora::JoinKeyPath(L"SYSTEM", L"\\Setup\\"), L"SYSTEM\\Setup");
    EXPECT_EQ(velmora::JoinKeyPath(L"SYSTEM\\", L""), L"SYSTEM");
    EXPECT_EQ(velmora::JoinKeyPath(L"", Registry_System::kMountKey), L"{D0B3D3F4-05F2-4671-80D5-B569ABD77343}");
    EXPECT_EQ(Registry_Software().FullPath(L"Legato\\NetWorker"), L"SOFTWARE\\Legato\\NetWorker");
    EXPECT_EQ(Registry_System().FullPath(L"Setup"), L"SYSTEM\\Setup");
    EXPECT_EQ(Registry().ReadAccess(), 0x20019u);
    EXPECT_EQ(Registry(true).ReadAccess(), 0x20119u);
    EXPECT_EQ(Registry().WriteAccess(), 0x2001Fu);
}

TEST_F(RegistryScratch, StringValuesRoundTripWithTerminatorCounted)
{
    ASSERT_TRUE(reg.Write_String(L"A\\B", L"Path", L"X:\\PROGRA~1\\Legato\\nsr\\"));
    std::wstring sValue;
    EXPECT_EQ(reg.Read_String(L"A\\B", L"Path", sValue), ERROR_SUCCESS);
    EXPECT_EQ(sValue, L"X:\\PROGRA~1\\Legato\\nsr\\");
    RawValue raw = ReadRaw(sKey, L"Path");
    EXPECT_EQ(raw.dwType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw.data, WideBytes(std::wstring(L"X:\\PROGRA~1\\Legato\\nsr\\") + L'\0'));

    // Overwrite with an empty text, then with one longer than the first read buffer.
    ASSERT_TRUE(reg.Write_String(L"A\\B", L"Path", L""));
    EXPECT_EQ(reg.Read_String(L"A\\B", L"Path", sValue), ERROR_SUCCESS);
    EXPECT_EQ(sValue, L"");
    std::wstring sLong(1000, L'\u00e9');
    ASSERT_TRUE(reg.Write_String(L"A\\B", L"Path", sLong));
    EXPECT_EQ(reg.Read_String(L"A\\B", L"Path", sValue), ERROR_SUCCESS);
    EXPECT_EQ(sValue, sLong);
}

TEST_F(RegistryScratch, ReadingMissingOrNonStringValuesFailsAndLeavesTheOutputAlone)
{
    std::wstring sValue = L"unchanged";
    EXPECT_EQ(reg.Read_String(L"A\\B", L"Version", sValue), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ASSERT_TRUE(reg.Write_DWORD(L"A\\B", L"SystemSetupInProgress", 0));
    ASSERT_TRUE(reg.Write_MultiString(L"A\\B", L"Servers", {L"one"}));
    EXPECT_EQ(reg.Read_String(L"A\\B", L"Version", sValue), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg.Read_String(L"A\\B", L"SystemSetupInProgress", sValue), ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(reg.Read_String(L"A\\B", L"Servers", sValue), ERROR_UNSUPPORTED_TYPE);
    std::wstring sExpand = L"%SystemRoot%";
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, sKey.c_str(), L"Expand", REG_EXPAND_SZ, sExpand.c_str(),
                              static_cast<DWORD>((sExpand.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    EXPECT_EQ(reg.Read_String(L"A\\B", L"Expand", sValue), ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(sValue, L"unchanged");
    // Written by another tool without its terminator, and with an odd trailing byte.
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, sKey.c_str(), L"Bare", REG_SZ, L"xyz", 7), ERROR_SUCCESS);
    EXPECT_EQ(reg.Read_String(L"A\\B", L"Bare", sValue), ERROR_SUCCESS);
    EXPECT_EQ(sValue, L"xyz");
}

TEST_F(RegistryScratch, DwordAndMultiStringValuesAreStoredWithTheirTypes)
{
    ASSERT_TRUE(reg.Write_DWORD(L"A\\B", L"Flag", 0x12345678));
    RawValue raw = ReadRaw(sKey, L"Flag");
    ASSERT_EQ(raw.dwType, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(raw.data.size(), 4u);
    DWORD dw = 0;
    memcpy(&dw, raw.data.data(), 4);
    EXPECT_EQ(dw, 0x12345678u);

    ASSERT_TRUE(reg.Write_MultiString(L"A\\B", L"List", {L"first", L"second"}));
    raw = ReadRaw(sKey, L"List");
    EXPECT_EQ(raw.dwType, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(raw.data, WideBytes(std::wstring(L"first\0second\0\0", 14)));
    ASSERT_TRUE(reg.Write_MultiString(L"A\\B", L"Empty", {}));
    EXPECT_EQ(ReadRaw(sKey, L"Empty").data, WideBytes(std::wstring(1, L'\0')));

    // A list that cannot be stored faithfully is refused and writes nothing.
    EXPECT_FALSE(reg.Write_MultiString(L"A\\B", L"Broken", {L"a", L"", L"b"}));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(reg.Write_MultiString(L"A\\B", L"Broken", {std::wstring(L"a\0b", 3)}));
    EXPECT_EQ(ReadRaw(sKey, L"Broken").lResult, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryScratch, WriteToLocationCreatesTheKeyWithAnEmptyDefaultValue)
{
    ASSERT_TRUE(reg.Write_To_Location(L"A\\B"));
    EXPECT_TRUE(reg.Key_Exists(L"A\\B"));
    RawValue raw = ReadRaw(sKey, L"");
    EXPECT_EQ(raw.lResult, ERROR_SUCCESS);
    EXPECT_EQ(raw.dwType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw.data, WideBytes(std::wstring(1, L'\0')));
    // Done again, the key stays and nothing fails.
    EXPECT_TRUE(reg.Write_To_Location(L"A\\B"));
}

TEST_F(RegistryScratch, DeletingWhatIsNotThereSucceedsAndProtectedKeysAreRefused)
{
    ASSERT_TRUE(reg.Write_String(L"A\\B", L"PendingFileRenameOperations", L"x"));
    ASSERT_TRUE(reg.Write_String(L"A\\B", L"Keep", L"y"));
    EXPECT_TRUE(reg.Delete_Value(L"A\\B", L"PendingFileRenameOperations"));
    EXPECT_EQ(ReadRaw(sKey, L"PendingFileRenameOperations").lResult, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadRaw(sKey, L"Keep").lResult, ERROR_SUCCESS);
    EXPECT_TRUE(reg.Delete_Value(L"A\\B", L"PendingFileRenameOperations"));
    EXPECT_TRUE(reg.Delete_Value(L"No\\Such\\Key", L"Value"));

    EXPECT_TRUE(reg.Delete_Key(L"A\\B"));
    EXPECT_FALSE(KeyExists(sKey));
    EXPECT_TRUE(reg.Delete_Key(L"A\\B"));
    EXPECT_TRUE(reg.Delete_Key(L"No\\Such\\Key"));
    ASSERT_TRUE(reg.Write_String(L"A\\B", L"v", L"x"));
    // An empty key would address the prefix key itself.
    EXPECT_FALSE(reg.Delete_Key(L""));
    EXPECT_FALSE(reg.Delete_Key(L"\\"));
    EXPECT_FALSE(reg.Write_To_Location(L""));
    EXPECT_TRUE(KeyExists(kScratchRoot));
    EXPECT_FALSE(Registry().Delete_Key(L""));
    // A key with subkeys is not deleted (nor reported as deleted).
    EXPECT_FALSE(reg.Delete_Key(L"A"));
    EXPECT_TRUE(KeyExists(sKey));
}

namespace
{

// Enables a privilege for the test's own hive operations and puts it back afterwards.
class TestPrivilege
{
public:
    explicit TestPrivilege(const wchar_t* pName)
    {
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, m_token.put());
        TOKEN_PRIVILEGES tp = {};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        LookupPrivilegeValueW(nullptr, pName, &tp.Privileges[0].Luid);
        DWORD dwBytes = sizeof(m_previous);
        AdjustTokenPrivileges(m_token.get(), FALSE, &tp, sizeof(tp), &m_previous, &dwBytes);
    }
    ~TestPrivilege() { AdjustTokenPrivileges(m_token.get(), FALSE, &m_previous, 0, nullptr, nullptr); }

private:
    velmora::unique_handle_null m_token;
    TOKEN_PRIVILEGES m_previous = {};
};

bool PrivilegeEnabled(const wchar_t* pName)
{
    velmora::unique_handle_null token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put());
    PRIVILEGE_SET set = {};
    set.PrivilegeCount = 1;
    LookupPrivilegeValueW(nullptr, pName, &set.Privilege[0].Luid);
    BOOL bEnabled = FALSE;
    PrivilegeCheck(token.get(), &set, &bEnabled);
    return bEnabled != FALSE;
}

// Saves the scratch tree as a hive file and loads it at sMountKey.
LONG MountScratchHive(const std::wstring& sFile, const std::wstring& sMountKey)
{
    TestPrivilege restore(SE_RESTORE_NAME);
    TestPrivilege backup(SE_BACKUP_NAME);
    velmora::unique_hkey key;
    LONG lResult = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kScratchRoot, 0, KEY_READ, key.put());
    if (lResult == ERROR_SUCCESS)
        lResult = RegSaveKeyW(key.get(), sFile.c_str(), nullptr);
    if (lResult == ERROR_SUCCESS)
        lResult = RegLoadKeyW(HKEY_LOCAL_MACHINE, sMountKey.c_str(), sFile.c_str());
    return lResult;
}

// A failed test must not leave a hive mounted for the next one.
void UnloadLeftoverHives()
{
    TestPrivilege restore(SE_RESTORE_NAME);
    TestPrivilege backup(SE_BACKUP_NAME);
    for (const wchar_t* pMountKey : {Registry_System::kMountKey, Registry_Software::kMountKey}) {
        std::wstring sMount = velmora::JoinKeyPath(L"", pMountKey);
        if (KeyExists(sMount))
            RegUnLoadKeyW(HKEY_LOCAL_MACHINE, sMount.c_str());
    }
}

} // namespace

TEST_F(RegistryScratch, DestroyingUnloadsAHiveMountedAtItsMountKeyAndLogsEachStep)
{
    { // nothing mounted: nothing done, nothing logged
        Registry_System system;
        Registry_Software software;
    }
    EXPECT_FALSE(testutil::FileExists(folder.file(L"registry.log")));
    for (bool bSystem : {true, false}) {
        std::wstring sMount =
            velmora::JoinKeyPath(L"", bSystem ? Registry_System::kMountKey : Registry_Software::kMountKey);
        ASSERT_TRUE(reg.Write_String(L"A", L"marker", L"offline"));
        testutil::ScratchFolder hive{L"registry_hive"};
        ASSERT_EQ(MountScratchHive(hive.file(L"SYSTEM"), sMount), ERROR_SUCCESS);
        std::wstring sValue;
        ASSERT_EQ(Registry().Read_String(sMount + L"\\A", L"marker", sValue), ERROR_SUCCESS);
        ASSERT_FALSE(PrivilegeEnabled(SE_RESTORE_NAME));

        if (bSystem) {
            Registry_System system;
        } else {
            Registry_Software software;
        }
        EXPECT_FALSE(KeyExists(sMount)) << "still mounted at " << testing::PrintToString(sMount);
        // The privileges are back to what they were (off).
        EXPECT_FALSE(PrivilegeEnabled(SE_RESTORE_NAME));
        EXPECT_FALSE(PrivilegeEnabled(SE_BACKUP_NAME));
    }
    std::vector<std::wstring> lines = testutil::SplitLines(Log());
    const std::vector<std::wstring> expected = {L"RegUnLoadKeyW returned 0",
                                                L"Disable_Privilege(SE_RESTORE_NAME) returned 1",
                                                L"Disable_Privilege(SE_BACKUP_NAME) returned 1"};
    ASSERT_EQ(lines.size(), 2 * expected.size()) << testing::PrintToString(Log());
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], expected[i % expected.size()]);
}

TEST(RegistryLog, AnUnwritableLogIsIgnoredAndEntriesAppend)
{
    testutil::ScratchFolder folder{L"registry_log"};
    velmora::SetRegistryLogPath(folder.file(L"missing\\folder\\registry.log"));
    velmora::WriteRegistryLog("lost");
    EXPECT_FALSE(testutil::FileExists(folder.file(L"missing\\folder\\registry.log")));
    velmora::SetRegistryLogPath(folder.file(L"registry.log"));
    velmora::WriteRegistryLog("first");
    velmora::WriteRegistryLog("second");
    EXPECT_EQ(testutil::ReadTextFile(folder.file(L"registry.log")), L"first\r\nsecond\r\n");
    velmora::SetRegistryLogPath(L"");
    EXPECT_EQ(velmora::RegistryLogPath(), L"X:\\Program Files\\velmora\\HALVO\\Logfiles\\registry.log");
}
