// The registry hive capture on a real folder: the monitoring thread holds each hive as soon as it
// can open it, also one still open for writing when it appears and one that arrives last; it
// ignores names with an extension and other files, and lets everything go when released.
#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

namespace
{

class HiveCapture : public ::testing::Test
{
protected:
    void TearDown() override
    {
        CVEXImpl::StopHiveCapture(m_hThread);
        CVEXImpl::ReleaseRegistryHives();
    }
    std::wstring Path(const wchar_t* pName) const { return m_sDir + L"\\" + pName; }
    // Creates the file and keeps it open for writing without sharing.
    velmora::unique_file Write(const wchar_t* pName)
    {
        velmora::unique_file h(
            CreateFileW(Path(pName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(h) << GetLastError();
        DWORD dw = 0;
        WriteFile(h.get(), "regf", 4, &dw, nullptr);
        return h;
    }
    // Whether another writer (or a deleter) is kept out: the sign that the capture holds the file.
    bool Held(const wchar_t* pName)
    {
        velmora::unique_file h(CreateFileW(Path(pName).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return !h && GetLastError() == ERROR_SHARING_VIOLATION;
    }
    bool WaitUntilHeld(unsigned uiCount)
    {
        for (int i = 0; i < 100 && CVEXImpl::HeldRegistryHives() < uiCount; ++i)
            Sleep(50);
        return CVEXImpl::HeldRegistryHives() == uiCount;
    }

    testutil::ScratchFolder m_scratch{L"hive_capture"};
    const std::wstring m_sDir = m_scratch.path();
    velmora::unique_handle_null m_hThread;
};

} // namespace

TEST_F(HiveCapture, HoldsEveryHiveFromItsArrivalUntilReleased)
{
    Write(L"SAM").reset(); // there before the watch begins
    ASSERT_TRUE(CVEXImpl::StartHiveCapture(m_sDir + L"\\", m_hThread));
    ASSERT_TRUE(WaitUntilHeld(1));
    EXPECT_TRUE(Held(L"SAM"));

    velmora::unique_file hSystem = Write(L"SYSTEM"); // still being written: picked up later
    Write(L"software.LOG1").reset();
    Write(L"security.sav").reset();
    Write(L"notahive").reset();
    Write(L"software").reset();
    ASSERT_TRUE(WaitUntilHeld(2));
    Sleep(300);
    EXPECT_EQ(CVEXImpl::HeldRegistryHives(), 2u) << "SAM and software; SYSTEM is open for writing";
    hSystem.reset();
    // Closing a file is no change of names: the next notification picks it up.
    Write(L"default").reset(); // the hive that arrives last
    ASSERT_TRUE(WaitUntilHeld(4));
    EXPECT_TRUE(Held(L"SYSTEM"));
    EXPECT_TRUE(Held(L"default"));
    EXPECT_FALSE(Held(L"software.LOG1")) << "a name with an extension is never held";
    EXPECT_FALSE(Held(L"notahive"));
    EXPECT_FALSE(DeleteFileW(Path(L"software").c_str())) << "a held hive cannot be deleted";

    CVEXImpl::StopHiveCapture(m_hThread);
    EXPECT_FALSE(m_hThread);
    EXPECT_EQ(CVEXImpl::HeldRegistryHives(), 4u) << "stopping the thread keeps the hives held";
    EXPECT_TRUE(CVEXImpl::ReleaseRegistryHives());
    EXPECT_EQ(CVEXImpl::HeldRegistryHives(), 0u);
    EXPECT_FALSE(Held(L"SYSTEM"));
    EXPECT_TRUE(DeleteFileW(Path(L"software").c_str()));
    EXPECT_TRUE(CVEXImpl::ReleaseRegistryHives()) << "a release with nothing held is fine";
}

TEST_F(HiveCapture, AThreadOnAMissingFolderEndsAndStopReturns)
{
    ASSERT_TRUE(CVEXImpl::StartHiveCapture(m_sDir + L"\\absent\\", m_hThread));
    DWORD dwStart = GetTickCount();
    CVEXImpl::StopHiveCapture(m_hThread);
    EXPECT_LT(GetTickCount() - dwStart, 3000u);
    EXPECT_EQ(CVEXImpl::HeldRegistryHives(), 0u);
}

TEST_F(HiveCapture, AHiveMissingOrEmptyIsNamedAndAFailedCloseIsReported)
{
    for (const wchar_t* pName : {L"default", L"software", L"security"})
        Write(pName).reset();
    velmora::unique_file(
        CreateFileW(Path(L"SYSTEM").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))
        .reset();
    Write(L"SAM.LOG1").reset(); // a log is no hive
    EXPECT_EQ(CVEXImpl::MissingOrEmptyHives(m_sDir), (std::vector<std::wstring>{L"SAM missing", L"system empty"}));
    Write(L"SAM").reset();
    Write(L"system").reset();
    EXPECT_TRUE(CVEXImpl::MissingOrEmptyHives(m_sDir + L"\\").empty());

    ASSERT_TRUE(CVEXImpl::StartHiveCapture(m_sDir + L"\\", m_hThread));
    ASSERT_TRUE(WaitUntilHeld(5));
    CVEXImpl::StopHiveCapture(m_hThread);
    // The second close fails: the release says so, and every row is let go all the same.
    static unsigned s_uiCloses;
    s_uiCloses = 0;
    CVEXImpl::SetHiveCloseForTesting([](HANDLE h) -> BOOL {
        CloseHandle(h);
        if (++s_uiCloses != 2)
            return TRUE;
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    });
    EXPECT_FALSE(CVEXImpl::ReleaseRegistryHives());
    CVEXImpl::SetHiveCloseForTesting(nullptr);
    EXPECT_EQ(s_uiCloses, 5u);
    EXPECT_EQ(CVEXImpl::HeldRegistryHives(), 0u);
    EXPECT_FALSE(Held(L"software"));
    EXPECT_TRUE(CVEXImpl::ReleaseRegistryHives()) << "nothing left to close";
}
