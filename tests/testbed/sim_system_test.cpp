// The system-state savesets of the "all" store through the simulated tools, the restore knobs
// for writer savesets, the lock helper, and what Wine does with locked, read-only and secured files.
#include "simulator/common/ini.h"
#include "simulator/common/store.h"
#include "simulator/common/text.h"
#include "tests/common/test_util.h"
#include "tests/testbed/sim_process.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <thread>

using namespace simtest;

namespace
{

const char kRestore[] = "-a -iY -s \"nwsrv\" -c \"winclient1\"";
const wchar_t kRepair[] = L"C:\\Windows\\repair\\Backup\\BootableSystemState\\Registry\\";
const wchar_t kStaging[] = L"C:\\temp\\nsr_recover";

nwsim::StoreManifest Manifest()
{
    std::string sText, sError;
    nwsim::StoreManifest m;
    nwsim::ReadWholeFile(StoreFolder() + L"\\manifest.ini", sText);
    nwsim::ParseManifest(sText, m, sError);
    return m;
}

size_t StoreObjectCount(const std::string& sSsid)
{
    std::string sText;
    int nBad = 0;
    nwsim::ReadWholeFile(StoreFolder() + L"\\objects\\" + nwsim::Wide(sSsid) + L".txt", sText);
    return nwsim::ParseObjects(sText, nBad).size();
}

// Lines naming an object (the restore module takes every line with ":\" for one).
size_t ObjectLines(const std::string& sOutput)
{
    size_t n = 0;
    for (const std::string& l : nwsim::Lines(sOutput))
        n += l.find(":\\") != std::string::npos && l.find("Recovering") == std::string::npos &&
             l.find("Current working") == std::string::npos;
    return n;
}

struct Folder {
    std::wstring sName;
    unsigned long long ullCreated = 0;
};

std::vector<Folder> Subfolders(const std::wstring& sDir)
{
    std::vector<Folder> out;
    WIN32_FIND_DATAW fd;
    velmora::unique_find find(FindFirstFileW((sDir + L"\\*").c_str(), &fd));
    for (bool bMore = static_cast<bool>(find); bMore; bMore = FindNextFileW(find.get(), &fd)) {
        std::wstring s = fd.cFileName;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && s != L"." && s != L"..")
            out.push_back({s, (static_cast<unsigned long long>(fd.ftCreationTime.dwHighDateTime) << 32) |
                                  fd.ftCreationTime.dwLowDateTime});
    }
    return out;
}

unsigned long long CreatedAt(const std::wstring& sPath)
{
    WIN32_FILE_ATTRIBUTE_DATA d{};
    GetFileAttributesExW(sPath.c_str(), GetFileExInfoStandard, &d);
    return (static_cast<unsigned long long>(d.ftCreationTime.dwHighDateTime) << 32) | d.ftCreationTime.dwLowDateTime;
}

bool Exists(const std::wstring& sPath)
{
    return GetFileAttributesW(sPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Touch(const std::wstring& sPath)
{
    velmora::unique_file f(CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

} // namespace

TEST(SimSystemSavesets, EachNamedSavesetCountsAndRestoresAsThePlugInAsks)
{
    nwsim::StoreManifest m = Manifest();
    unsigned uNames = 0, uInStore = 0;
    // The names as the restore passes them: legacy ones without ":\", one with a trailing blank.
    for (const char* name : {"VSS SYSTEM BOOT:\\", "VSS SYSTEM FILESET:\\", "VSS SYSTEM SERVICES:\\", "VSS OTHER:\\",
                             "SHAREPOINT ", "SYSTEM DB", "SYSTEM FILES", "SYSTEM STATE"}) {
        for (const nwsim::Saveset& any : m.savesets) {
            if (any.sName == name || any.sName == std::string(name) + ":\\") {
                ++uInStore;
                break;
            }
        }
        const nwsim::Saveset* s = nwsim::SavesetByName(m, "winclient1", name, std::nullopt);
        if (!s) // another shape's store (the test runs in any of them)
            continue;
        ++uNames;
        std::string sName = std::string("-N\"") + name + "\"";
        ToolResult count = RunTool(L"recover.exe", "-n " + std::string(kRestore) + " " + sName);
        ASSERT_EQ(count.dwExit, 0u) << name << count.sOutput;
        EXPECT_EQ(ObjectLines(count.sOutput), StoreObjectCount(s->sSsid)) << name << count.sOutput;
        ToolResult early = RunTool(L"recover.exe", "-n " + std::string(kRestore) + " -t \"03/02/2021 00:00\" " + sName);
        if (s->sKind == "writer") { // the first backup has them too
            EXPECT_EQ(ObjectLines(early.sOutput), StoreObjectCount(s->sSsid)) << name;
        }
        ToolResult real = RunTool(L"recover.exe", std::string(kRestore) + " " + sName);
        ASSERT_EQ(real.dwExit, 0u) << name << real.sOutput;
        EXPECT_EQ(ObjectLines(real.sOutput), StoreObjectCount(s->sSsid)) << name << real.sOutput;
    }
    EXPECT_EQ(uNames, uInStore); // every one the store holds was found by its name
    // Hives went to their own folder, the legacy hives to their "_NSR" names.
    if (nwsim::SavesetByName(m, "winclient1", "VSS SYSTEM BOOT", std::nullopt)) {
        EXPECT_EQ(ReadFileBytes(std::wstring(kRepair) + L"SOFTWARE").size(), 32768u + 4096u);
        EXPECT_GE(Subfolders(kStaging).size(), 4u); // one staging folder per writer saveset restored
    }
    if (nwsim::SavesetByName(m, "winclient1", "SYSTEM STATE", std::nullopt)) {
        EXPECT_EQ(ReadFileBytes(L"C:\\Windows\\System32\\config\\SYSTEM_NSR").size(), 16384u);
    }
    testutil::RemoveTree(kStaging);
}

TEST(SimSystemSavesets, NmmAndDisasterRecoverySavesetsBySsid)
{
    ToolResult report = RunTool(L"mminfo.exe", "-v -s \"nwsrv\" -c \"winclient1\" -xc,");
    ASSERT_EQ(report.dwExit, 0u) << report.sOutput;
    unsigned uChecked = 0;
    for (const std::string& line : nwsim::Lines(report.sOutput)) {
        std::vector<std::string> f = nwsim::Split(line, ',');
        if (f.size() < 9 || f[0].find(".RO") != std::string::npos)
            continue;
        const std::string& sName = f[8];
        bool bDr = sName.rfind("OSSR_", 0) == 0;
        if (!bDr && sName.find("APPLICATIONS:\\") != 0 && sName != "SYSTEM COMPONENTS:\\ " && sName != "VSS:/")
            continue;
        std::string sArgs = "-a -iY -s \"nwsrv\" -S " + f[5] + (bDr ? " -d \"" + sName.substr(5, 1) + ":\\..\"" : "");
        ToolResult count = RunTool(L"recover.exe", "-n " + sArgs);
        EXPECT_EQ(count.dwExit, 0u) << sName << count.sOutput;
        EXPECT_EQ(ObjectLines(count.sOutput), StoreObjectCount(f[5])) << sName << count.sOutput;
        ToolResult real = RunTool(L"recover.exe", sArgs);
        EXPECT_EQ(real.dwExit, 0u) << sName << real.sOutput;
        ++uChecked;
    }
    unsigned uInStore = 0, uNmm = 0;
    for (const nwsim::Saveset& s : Manifest().savesets) {
        uInStore += s.sKind == "nmm" || (s.sKind == "dr" && s.sName.rfind("OSSR_", 0) == 0);
        uNmm += s.sKind == "nmm";
    }
    EXPECT_EQ(uChecked, uInStore); // every one of them, each once (not its read-only clone)
    if (uNmm) {
        EXPECT_EQ(ReadFileBytes(L"C:\\NMM Data\\nmm-vss.dat").size(), 4000u);
    }
    if (uInStore > uNmm) {
        EXPECT_EQ(ReadFileBytes(L"D:\\Recovery Data\\OSSR_D_.dat").size(), 5000u);
    }
}

TEST(SimSystemSavesets, EmptySavesetIsListedButHasNoObjects)
{
    // The machine's store was built with --empty-saveset "VSS USER DATA:\".
    ToolResult report = RunTool(L"mminfo.exe", "-v -s \"nwsrv\" -c \"winclient1\" -xc,");
    EXPECT_NE(report.sOutput.find(",0 B,"), std::string::npos) << report.sOutput;
    EXPECT_NE(report.sOutput.find("VSS USER DATA:\\"), std::string::npos);
    ToolResult count = RunTool(L"recover.exe", "-n " + std::string(kRestore) + " -N\"VSS USER DATA:\\\"");
    EXPECT_EQ(ObjectLines(count.sOutput), 0u) << count.sOutput;
    EXPECT_NE(count.sOutput.find("Requesting 0 file(s)"), std::string::npos) << count.sOutput;
}

TEST(SimSystemKnobs, AsrLineCarriesNoDrivePath)
{
    Knobs knobs("[faults]\r\na = recover restore object:2 say asr");
    ToolResult r = RunTool(L"recover.exe", std::string(kRestore) + " -N\"VSS OTHER:\\\"");
    ASSERT_EQ(r.dwExit, 0u) << r.sOutput;
    bool bSeen = false;
    for (const std::string& l : nwsim::Lines(r.sOutput)) {
        if (l.rfind("ASR: ", 0) == 0) {
            bSeen = true;
            EXPECT_EQ(l.find(":\\"), std::string::npos) << l;
        }
    }
    EXPECT_TRUE(bSeen) << r.sOutput;
    testutil::RemoveTree(kStaging);
}

TEST(SimSystemKnobs, OlderStagingFolderWithAHigherName)
{
    Knobs knobs("[restore]\r\nold_staging = RecoverWriter-FFFFFFFF-0");
    ToolResult r = RunTool(L"recover.exe", std::string(kRestore) + " -N\"VSS OTHER:\\\"");
    ASSERT_EQ(r.dwExit, 0u) << r.sOutput;
    std::vector<Folder> folders = Subfolders(kStaging);
    ASSERT_EQ(folders.size(), 2u);
    const Folder& byName = folders[0].sName > folders[1].sName ? folders[0] : folders[1];
    const Folder& byTime = folders[0].ullCreated > folders[1].ullCreated ? folders[0] : folders[1];
    EXPECT_EQ(byName.sName, L"RecoverWriter-FFFFFFFF-0");
    EXPECT_NE(byTime.sName, byName.sName);
    EXPECT_TRUE(Exists(std::wstring(kStaging) + L"\\" + byTime.sName + L"\\Windows\\System32\\nwsim-other.dat"));
    testutil::RemoveTree(kStaging);
}

TEST(SimSystemKnobs, HiveHeldOpenThenDeletedUnlessSomebodyHoldsIt)
{
    testutil::RemoveTree(L"C:\\Windows\\repair\\Backup"); // left by the tests before
    Knobs knobs("[restore]\r\nhold_file = SYSTEM\r\nhold_ms = 3000\r\ndelete_direct = yes");
    ToolResult r;
    std::wstring sHive = std::wstring(kRepair) + L"SYSTEM";
    bool bRefused = false;
    velmora::unique_file held;
    // The open races recover's clean-up at the end of its run; on a busy machine the clean-up can
    // win, so the run is repeated a few times.
    for (int iAttempt = 0; iAttempt < 3 && !held; ++iAttempt) {
        std::thread restore([&] { r = RunTool(L"recover.exe", std::string(kRestore) + " -N\"VSS SYSTEM BOOT:\\\""); });
        // What the hive capture does: open for reading, read sharing only, until it works.
        for (DWORD dwStart = GetTickCount(); !held && GetTickCount() - dwStart < 30000; Sleep(1)) {
            held.reset(CreateFileW(sHive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            bRefused = bRefused || (!held && GetLastError() == ERROR_SHARING_VIOLATION);
            if (!held && bRefused && GetFileAttributesW(sHive.c_str()) == INVALID_FILE_ATTRIBUTES)
                break; // written, closed and deleted before this open came
        }
        restore.join();
    }
    ASSERT_EQ(r.dwExit, 0u) << r.sOutput;
    EXPECT_EQ(r.sOutput.find("cannot be recovered"), std::string::npos) << r.sOutput;
    EXPECT_TRUE(bRefused); // recover still had it open for writing
    ASSERT_TRUE(held);
    EXPECT_TRUE(Exists(sHive)); // the clean-up could not delete the held hive
    EXPECT_FALSE(Exists(std::wstring(kRepair) + L"SAM"));
    EXPECT_TRUE(Exists(std::wstring(kRepair) + L"SYSTEM.LOG")); // not a hive name
    held.reset();
    EXPECT_EQ(ReadFileBytes(sHive).size(), 32768u);
    testutil::RemoveTree(L"C:\\Windows\\repair\\Backup");
    testutil::RemoveTree(kStaging);
}

TEST(SimSystemWine, LockedAndReadOnlyDestinations)
{
    std::wstring sLock = nwsim::Wide(NWSIM_BUILD_DIR) + L"\\simulator\\tools\\nwsim-lock.exe";
    std::wstring sCmd = L"\"" + sLock + L"\" D:\\locked.dat 20";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, sCmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    velmora::unique_handle_null process(pi.hProcess), thread(pi.hThread);
    DWORD dwError = 0;
    for (DWORD dwStart = GetTickCount(); dwError != ERROR_SHARING_VIOLATION && GetTickCount() - dwStart < 20000;
         Sleep(20)) {
        velmora::unique_file probe(
            CreateFileW(L"D:\\locked.dat", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        dwError = probe ? 0 : GetLastError();
    }
    ASSERT_EQ(dwError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    Touch(L"D:\\source.dat");
    EXPECT_FALSE(MoveFileExW(L"D:\\source.dat", L"D:\\locked.dat", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileW(L"D:\\locked.dat"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 5000);
    // A read-only attribute does not stop a replacing move under Wine (Windows refuses it).
    Touch(L"D:\\readonly.dat");
    ToolResult ro = RunTool(sLock, "--read-only D:\\readonly.dat");
    ASSERT_EQ(ro.dwExit, 0u) << ro.sOutput;
    EXPECT_TRUE(GetFileAttributesW(L"D:\\readonly.dat") & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(MoveFileExW(L"D:\\source.dat", L"D:\\readonly.dat", MOVEFILE_REPLACE_EXISTING));
    // A folder the sandbox made read-only (--read-only: no write bits, immutable) takes nothing.
    Touch(L"D:\\source.dat");
    EXPECT_FALSE(MoveFileExW(L"D:\\source.dat", L"D:\\Immutable\\new.dat", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(SimSystemWine, CreationTimeCannotBeSetAndFollowsChanges)
{
    testutil::ScratchFolder scratch(L"sim_ctime");
    std::wstring sDir = scratch.path() + L"\\folder";
    ASSERT_TRUE(CreateDirectoryW(sDir.c_str(), nullptr));
    unsigned long long ullMade = CreatedAt(sDir);
    SYSTEMTIME st{2020, 1, 3, 1, 0, 0, 0, 0};
    FILETIME ftOld;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ftOld));
    {
        velmora::unique_file dir(CreateFileW(sDir.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(dir);
        EXPECT_TRUE(SetFileTime(dir.get(), &ftOld, nullptr, nullptr)); // accepted ...
    }
    unsigned long long ullOld = (static_cast<unsigned long long>(ftOld.dwHighDateTime) << 32) | ftOld.dwLowDateTime;
    EXPECT_NE(CreatedAt(sDir), ullOld); // ... and not kept
    Sleep(50);
    Touch(sDir + L"\\inside.dat");
    EXPECT_GT(CreatedAt(sDir), ullMade); // a new entry makes the folder "newer"
}

TEST(SimSystemWine, SecurityDescriptorsAreNotKept)
{
    Touch(L"D:\\secured.dat");
    auto Owner = [](const wchar_t* p) {
        PSID pOwner = nullptr;
        PSECURITY_DESCRIPTOR psd = nullptr;
        std::string s;
        if (GetNamedSecurityInfoW(p, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &pOwner, nullptr, nullptr, nullptr,
                                  &psd) == ERROR_SUCCESS) {
            s.assign(static_cast<const char*>(pOwner), GetLengthSid(pOwner));
            LocalFree(psd);
        }
        return s;
    };
    std::string sBefore = Owner(L"D:\\secured.dat");
    ASSERT_FALSE(sBefore.empty());
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID pSystem = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &pSystem));
    EXPECT_EQ(SetNamedSecurityInfoW(const_cast<wchar_t*>(L"D:\\secured.dat"), SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION, pSystem, nullptr, nullptr, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(EqualSid(pSystem, const_cast<char*>(Owner(L"D:\\secured.dat").data())));
    EXPECT_EQ(Owner(L"D:\\secured.dat"), sBefore);
    FreeSid(pSystem);
}
