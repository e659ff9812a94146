// The client set-up's file and process pieces, on scratch folders of the build's own prefix.
#include "client/client_files.h"
#include "client/client_rules.h"
#include "tests/common/test_util.h"
#include "tests/init/client_impl.h"

#include <gtest/gtest.h>

#include <algorithm>

using testutil::ScratchFolder;

namespace
{

// A process list of a given length, handed out as EnumProcesses does: as much as fits.
DWORD g_dwFakeProcesses = 0;
int g_nFakeCalls = 0;
BOOL WINAPI FakeEnumProcesses(DWORD* pIds, DWORD dwBytes, DWORD* pdwReturned)
{
    ++g_nFakeCalls;
    DWORD n = std::min<DWORD>(dwBytes / sizeof(DWORD), g_dwFakeProcesses);
    for (DWORD i = 0; i < n; ++i)
        pIds[i] = 4 * (i + 1);
    *pdwReturned = n * sizeof(DWORD);
    return TRUE;
}
BOOL WINAPI FailingEnumProcesses(DWORD*, DWORD, DWORD*)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

std::vector<DWORD> ListFake(DWORD dwProcesses, int& nCalls)
{
    g_dwFakeProcesses = dwProcesses;
    g_nFakeCalls = 0;
    std::vector<DWORD> ids;
    DWORD dwError = 0;
    EXPECT_TRUE(nwclient::ListProcessIds(ids, dwError, &FakeEnumProcesses));
    nCalls = g_nFakeCalls;
    return ids;
}

} // namespace

TEST(ProcessList, GrowsUntilEveryProcessFits)
{
    int nCalls = 0;
    std::vector<DWORD> ids = ListFake(10, nCalls);
    EXPECT_EQ(ids.size(), 10u);
    EXPECT_EQ(nCalls, 1);
    // More than the first 256: nothing is cut off.
    ids = ListFake(1000, nCalls);
    ASSERT_EQ(ids.size(), 1000u);
    EXPECT_EQ(ids.back(), 4000u);
    EXPECT_EQ(nCalls, 3);
    // Exactly filling the room cannot be told from a cut list, so it is asked again.
    ids = ListFake(256, nCalls);
    EXPECT_EQ(ids.size(), 256u);
    EXPECT_EQ(nCalls, 2);
}

TEST(ProcessList, FailureGivesTheErrorAndTheRealListHoldsThisProcess)
{
    std::vector<DWORD> ids{1, 2};
    DWORD dwError = 0;
    EXPECT_FALSE(nwclient::ListProcessIds(ids, dwError, &FailingEnumProcesses));
    EXPECT_EQ(dwError, static_cast<DWORD>(ERROR_ACCESS_DENIED));

    ASSERT_TRUE(nwclient::ListProcessIds(ids, dwError));
    EXPECT_NE(std::find(ids.begin(), ids.end(), GetCurrentProcessId()), ids.end());
    wchar_t wsz[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, wsz, MAX_PATH);
    std::wstring sOwn = wsz;
    nwclient::ProcessName name = nwclient::ProcessBaseName(GetCurrentProcessId());
    EXPECT_EQ(name.pFailedCall, nullptr);
    EXPECT_EQ(name.sName, sOwn.substr(sOwn.rfind(L'\\') + 1));
    EXPECT_STREQ(nwclient::ProcessBaseName(0xFFFFFFF0).pFailedCall, L"OpenProcess(QUERY)");
}

TEST(ClientFiles, RecursiveWalkListsEachFolderBeforeItsContents)
{
    ScratchFolder scratch(L"walk");
    ClientImpl impl;
    const std::wstring& root = scratch.path();
    CreateDirectoryW((root + L"\\bin").c_str(), nullptr);
    CreateDirectoryW((root + L"\\bin\\en").c_str(), nullptr);
    testutil::WriteTextFile(root + L"\\bin\\en\\msg.txt", "x");
    testutil::WriteTextFile(root + L"\\top.txt", "x");
    std::vector<FileInfo> files(1); // appended to, not replaced
    ASSERT_TRUE(impl.GetNetWorkerClientFiles(root, files));
    ASSERT_EQ(files.size(), 5u);
    auto at = [&](const std::wstring& sName) {
        for (size_t i = 1; i < files.size(); ++i)
            if (files[i].sName == sName)
                return i;
        return size_t{0};
    };
    ASSERT_TRUE(at(L"bin") && at(L"en") && at(L"msg.txt") && at(L"top.txt"));
    EXPECT_LT(at(L"bin"), at(L"en"));
    EXPECT_LT(at(L"en"), at(L"msg.txt"));
    EXPECT_TRUE(files[at(L"bin")].bDirectory);
    EXPECT_FALSE(files[at(L"top.txt")].bDirectory);
    EXPECT_EQ(files[at(L"bin")].sPath, root);
    EXPECT_EQ(files[at(L"msg.txt")].sPath, root + L"\\bin\\en");
    // Only an existing folder can be walked; an empty one is a walk with nothing in it.
    files.clear();
    EXPECT_FALSE(impl.GetNetWorkerClientFiles(L"", files));
    EXPECT_FALSE(impl.GetNetWorkerClientFiles(root + L"\\top.txt", files));
    EXPECT_FALSE(impl.GetNetWorkerClientFiles(root + L"\\missing", files));
    EXPECT_TRUE(impl.GetNetWorkerClientFiles(root + L"\\bin\\en", files));
    EXPECT_EQ(files.size(), 1u);
    CreateDirectoryW((root + L"\\empty").c_str(), nullptr);
    files.clear();
    EXPECT_TRUE(impl.GetNetWorkerClientFiles(root + L"\\empty", files));
    EXPECT_TRUE(files.empty());
}

// Without a translation table the British block is read; programs without a version, or no
// programs at all, fail quietly.
TEST(ReleaseVersion, TheBritishBlockWithoutTranslationTableOtherwiseAQuietFailure)
{
    ScratchFolder scratch(L"release");
    ClientImpl impl;
    FileInfo tool{testutil::ProgramFolder(), L"init_no_translation.exe", false};
    tool.sPath.pop_back();
    std::wstring sRelease, sVersion;
    ASSERT_TRUE(impl.GetReleaseVersion(tool, sRelease, sVersion));
    EXPECT_EQ(sVersion, L"5.6.7.9"); // the product version, not the file version
    EXPECT_EQ(sRelease, L"5.6.7.8.Build.42");

    testutil::WriteTextFile(scratch.file(L"nsrexecd.exe"), "not a program");
    EXPECT_FALSE(impl.GetReleaseVersion({scratch.path(), L"nsrexecd.exe", false}, sRelease, sVersion));
    EXPECT_FALSE(impl.GetReleaseVersion({scratch.path(), L"missing.exe", false}, sRelease, sVersion));
    tool.sName = L"client_tests.exe"; // a 64-bit program without a version resource
    EXPECT_FALSE(impl.GetReleaseVersion(tool, sRelease, sVersion));
    EXPECT_EQ(sRelease, L"5.6.7.8.Build.42");
    EXPECT_TRUE(impl.messages.empty());
}

TEST(ClientEnvironment, PathGetsTheClientFolderOnce)
{
    std::wstring sSaved(32767, L'\0');
    sSaved.resize(GetEnvironmentVariableW(L"PATH", sSaved.data(), 32767));
    ClientImpl impl;
    EXPECT_FALSE(impl.SetNetWorkerClientEnv()); // the client folder is not known yet
    impl.SetClientDir(L"X:\\PROGRA~1\\Legato\\nsr\\bin");
    SetEnvironmentVariableW(L"PATH", L"c:\\windows;c:\\bin");
    ASSERT_TRUE(impl.SetNetWorkerClientEnv());
    ASSERT_TRUE(impl.SetNetWorkerClientEnv());
    wchar_t wsz[512] = {};
    GetEnvironmentVariableW(L"PATH", wsz, 512);
    EXPECT_STREQ(wsz, L"X:\\PROGRA~1\\LEGATO\\NSR\\BIN;C:\\WINDOWS;C:\\BIN");
    SetEnvironmentVariableW(L"PATH", nullptr);
    EXPECT_FALSE(impl.SetNetWorkerClientEnv()); // no PATH to rewrite
    SetEnvironmentVariableW(L"PATH", sSaved.c_str());
}

namespace
{

// A CreateProcessA that fails a given number of times with a given error, then starts.
unsigned g_uiStarts = 0, g_uiStartFailures = 0;
DWORD g_dwStartError = 0;
BOOL WINAPI FlakyCreateProcess(LPCSTR a, LPSTR b, LPSECURITY_ATTRIBUTES c, LPSECURITY_ATTRIBUTES d, BOOL e, DWORD f,
                               LPVOID g, LPCSTR h, LPSTARTUPINFOA i, LPPROCESS_INFORMATION j)
{
    if (++g_uiStarts <= g_uiStartFailures) {
        SetLastError(g_dwStartError);
        return FALSE;
    }
    return CreateProcessA(a, b, c, d, e, f, g, h, i, j);
}

} // namespace

// A daemon start that fails now and then is tried again; one that keeps failing, or a missing
// program, is given up with its error.
TEST(ExecDaemon, AFailedStartIsTriedAgainUnlessTheProgramIsUnusable)
{
    velmora::process_start start;
    start.sApplication = testutil::ProgramFolder() + L"init_no_translation.exe";
    start.sCommandLine = L"\"" + start.sApplication + L"\"";
    start.pfnCreateProcess = &FlakyCreateProcess;
    struct Case {
        unsigned uiFailures;
        DWORD dwError;
        DWORD dwResult;
        unsigned uiStarts;
    };
    const Case kCases[] = {
        {2, ERROR_INTERNAL_ERROR, ERROR_SUCCESS, 3},
        {1000, ERROR_INTERNAL_ERROR, ERROR_INTERNAL_ERROR, 5},
        {1000, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, 1},
        {1000, ERROR_BAD_EXE_FORMAT, ERROR_BAD_EXE_FORMAT, 1},
    };
    for (const Case& c : kCases) {
        g_uiStarts = 0;
        g_uiStartFailures = c.uiFailures;
        g_dwStartError = c.dwError;
        velmora::started_process started;
        EXPECT_EQ(nwclient::StartDaemonProcess(start, started, 5, 1), c.dwResult) << c.dwError;
        EXPECT_EQ(g_uiStarts, c.uiStarts) << c.dwError;
        EXPECT_EQ(static_cast<bool>(started.process), c.dwResult == ERROR_SUCCESS) << c.dwError;
        if (started.process)
            WaitForSingleObject(started.process.get(), 5000);
    }
}

TEST(ExecDaemon, NotStartedWithoutCredentialsOrServer)
{
    ClientImpl impl;
    EXPECT_FALSE(impl.StartNsrExecDaemon());
    impl.AcceptServer(L"");
    EXPECT_FALSE(impl.StartNsrExecDaemon());
}
