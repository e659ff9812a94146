// Answer files that are damaged, foreign or odd: each loads or fails with its reason traced.
#include "credentials/cvex_credentials.h"
#include "tests/credentials/cred_test_util.h"
#include "tests/credentials/fake_cnm.h"

#include <gtest/gtest.h>

using credtest::Section;
using credtest::TraceWatch;
using credtest::ValidKeys;

namespace
{

struct BadAnswerFile : ::testing::Test {
    testutil::ScratchFolder folder{L"bad_answer_file"};
    void SetUp() override { fakecnm::State() = fakecnm::Script(); }

    // Writes the bytes to a file of its own (the profile API caches files by name).
    std::wstring Put(const wchar_t* pName, const std::string& sBytes)
    {
        std::wstring sPath = folder.file(pName);
        testutil::WriteTextFile(sPath, sBytes);
        return sPath;
    }
    // Loads the file; when it fails, the trace must say why.
    bool Load(const std::wstring& sPath, CvexCredentials& cred, const wchar_t* pReasonIfFailed)
    {
        TraceWatch watch;
        bool bLoaded = cred.GetCredentialsFromAnsFile(sPath);
        if (!bLoaded) {
            EXPECT_TRUE(watch.Saw(std::wstring(L"ending(") + pReasonIfFailed + L")")) << watch.New();
        }
        return bLoaded;
    }
};

std::string Utf16Le(const std::wstring& sText)
{
    return std::string(reinterpret_cast<const char*>(sText.data()), sText.size() * sizeof(wchar_t));
}

TEST_F(BadAnswerFile, FilesWithoutTheSectionFailAtTheFirstKey)
{
    const char kNulInside[] = "[QernBackupLocation]\r\nServerIPAddress=10.0.\0"
                              "0.5\r\n";
    std::string binary;
    for (int i = 0; i < 70000; ++i)
        binary.push_back(static_cast<char>((i * 7919 + i / 13) & 0xFF));
    const std::pair<const wchar_t*, std::string> files[] = {
        {L"empty.ini", ""},
        {L"prose.ini", "This is a letter, not a settings file.\r\nServerName: nwserver\r\n"},
        {L"keys_without_section.ini", ValidKeys()},
        {L"other_section.ini", "[QernBackup]\r\n" + ValidKeys()},
        {L"binary.ini", binary},
        {L"nul_inside.ini", std::string(kNulInside, sizeof(kNulInside) - 1)},
    };
    for (const auto& [pName, sBytes] : files) {
        CvexCredentials cred;
        EXPECT_FALSE(Load(Put(pName, sBytes), cred, L"ServerIPAddress not valid")) << pName;
    }
    // A missing file and a folder fail the same way, and the trace says why.
    CvexCredentials cred;
    TraceWatch watch;
    EXPECT_FALSE(Load(folder.file(L"absent.ini"), cred, L"ServerIPAddress not valid"));
    EXPECT_TRUE(watch.Saw(L"GetFileAttributesW(answer file) : dwLastError = 2"));
    EXPECT_FALSE(Load(folder.path(), cred, L"ServerIPAddress not valid"));
    EXPECT_TRUE(watch.Saw(L"The answer file path names a folder"));
}

TEST_F(BadAnswerFile, Utf16WithByteOrderMarkLoadsNamesBeyondTheCodePage)
{
    std::wstring sText = L"\uFEFF[QernBackupLocation]\r\nServerName=nw\r\nServerIPAddress=10.0.0.5\r\n"
                         L"ClientName=Klient-\u00e9\u4e2d\r\nClientIPAddress=10.0.0.20\r\n"
                         L"ClientSubnetPrefixLength=24\r\nClientDefaultGateway=10.0.0.1\r\n";
    CvexCredentials cred;
    ASSERT_TRUE(Load(Put(L"utf16_names.ini", Utf16Le(sText)), cred, L""));
    EXPECT_EQ(cred.m_sClientName, L"Klient-\u00e9\u4e2d");
}

TEST_F(BadAnswerFile, Utf16WithoutByteOrderMarkLoadsRightOrFailsCleanly)
{
    // Windows reads such a file in the ANSI code page; Wine guesses the encoding.
    std::wstring sText = L"[QernBackupLocation]\r\n" + velmora::widen(ValidKeys());
    CvexCredentials cred;
    if (Load(Put(L"utf16_nobom.ini", Utf16Le(sText)), cred, L"ServerIPAddress not valid")) {
        EXPECT_EQ(cred.m_sServerName, L"nwserver");
        EXPECT_EQ(cred.m_ClientSubnetPrefix, 24);
    }
}

TEST_F(BadAnswerFile, HugeFileAndHugeValuesLoadWithValuesCut)
{
    std::string sBytes = "[Padding]\r\n";
    while (sBytes.size() < 8u * 1024 * 1024)
        sBytes += "Key" + std::to_string(sBytes.size()) + "=" + std::string(100, 'v') + "\r\n";
    sBytes += Section("ServerName=" + std::string(1024 * 1024, 'n') + "\r\n" + ValidKeys());
    CvexCredentials cred;
    ASSERT_TRUE(Load(Put(L"huge.ini", sBytes), cred, L""));
    EXPECT_EQ(cred.m_sServerName, std::wstring(256, L'n'));
}

} // namespace
