// Loading, checking and storing the credentials; copies and comparison.
#include "credentials/cvex_credentials.h"
#include "tests/credentials/cred_test_util.h"
#include "tests/credentials/fake_cnm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

using credtest::Addr;
using credtest::Section;
using credtest::TraceWatch;
using credtest::ValidKeys;
using testutil::Contains;

namespace
{

struct AnswerFile : ::testing::Test {
    testutil::ScratchFolder folder{L"answer_file"};
    std::wstring sPath = folder.file(L"answer.ini");
    void SetUp() override { fakecnm::State() = fakecnm::Script(); }
    void Write(const std::string& sContent) { testutil::WriteTextFile(sPath, sContent); }
    static CvexCredentials Valid()
    {
        CvexCredentials cred;
        cred.m_sServerName = L"nwserver";
        cred.m_ServerIPAddress = Addr(L"10.0.0.5");
        cred.m_sClientName = L"client1";
        cred.m_ClientIPAddress = Addr(L"10.0.0.20");
        cred.m_ClientDefaultGateway = Addr(L"10.0.0.1");
        cred.m_ClientSubnetPrefix = 24;
        return cred;
    }
};

TEST_F(AnswerFile, ValidFileLoadsEveryField)
{
    Write(Section(ValidKeys() + "PointInTime=05/06/2021 07:08:09\r\n"));
    CvexCredentials cred;
    ASSERT_TRUE(cred.GetCredentialsFromAnsFile(sPath));
    CvexCredentials expected = Valid();
    expected.ParsePit(L"05/06/2021 07:08:09");
    EXPECT_EQ(cred, expected);
    EXPECT_TRUE(cred.Check());
}

// The keys up to the client's address, for the cases about the keys that follow.
const std::string kUpToClientAddress =
    "ServerIPAddress=10.0.0.5\r\nServerName=s\r\nClientName=c\r\nClientIPAddress=10.0.0.20\r\n";

template <typename Case> struct AnswerFileWith : AnswerFile, ::testing::WithParamInterface<Case> {
};

struct LoadFailure {
    std::string sLines;
    const wchar_t* pReason;
};
using AnswerFileLoadFailure = AnswerFileWith<LoadFailure>;

TEST_P(AnswerFileLoadFailure, StopsAtTheFirstBadKeyWithItsReason)
{
    Write(Section(GetParam().sLines));
    CvexCredentials cred;
    TraceWatch watch;
    EXPECT_FALSE(cred.GetCredentialsFromAnsFile(sPath));
    EXPECT_TRUE(watch.Saw(std::wstring(L"GetCredentialsFromAnsFile : ... ending(") + GetParam().pReason + L")"))
        << watch.New();
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AnswerFileLoadFailure,
    ::testing::Values(
        LoadFailure{"ServerName=nwserver\r\n", L"ServerIPAddress not valid"},
        LoadFailure{"ServerIPAddress=nwserver\r\nServerName=nwserver\r\n", L"ServerIPAddress not valid"},
        LoadFailure{"ServerIPAddress=010.0.0.5\r\nServerName=nwserver\r\n", L"ServerIPAddress not valid"},
        LoadFailure{"ServerIPAddress=10.0.0.5\r\nServerName=\r\n", L"ServerName not found"},
        LoadFailure{"ServerIPAddress=10.0.0.5\r\nServerName=nwserver\r\n", L"ClientName not found"},
        LoadFailure{"ServerIPAddress=10.0.0.5\r\nServerName=nwserver\r\nClientName=c\r\nClientIPAddress=10.0.0\r\n",
                    L"ClientIPAddress not valid"},
        LoadFailure{kUpToClientAddress, L"ClientNetMask not valid"},
        LoadFailure{kUpToClientAddress + "ClientSubnetPrefixLength=abc\r\nClientNetMask=255.255.255\r\n",
                    L"ClientNetMask not valid"},
        LoadFailure{kUpToClientAddress + "ClientSubnetPrefixLength=280\r\nClientNetMask=255.255.255.0\r\n",
                    L"ClientSubnetPrefixLength not valid"},
        LoadFailure{kUpToClientAddress + "ClientSubnetPrefixLength=-8\r\n", L"ClientSubnetPrefixLength not valid"},
        LoadFailure{kUpToClientAddress + "ClientSubnetPrefixLength=24\r\n", L"ClientDefaultGateway not valid"}));

TEST_F(AnswerFile, FieldsReadBeforeAFailureStayChanged)
{
    Write(Section("ServerIPAddress=10.0.0.5\r\nServerName=nwserver\r\nClientName=c1\r\nClientIPAddress=x\r\n"));
    CvexCredentials cred;
    cred.m_ClientDefaultGateway = Addr(L"192.168.1.1");
    EXPECT_FALSE(cred.GetCredentialsFromAnsFile(sPath));
    EXPECT_EQ(cred.m_ServerIPAddress, Addr(L"10.0.0.5"));
    EXPECT_EQ(cred.m_sServerName, L"nwserver");
    EXPECT_EQ(cred.m_sClientName, L"c1");
    EXPECT_FALSE(cred.m_ClientIPAddress.is_valid());
    EXPECT_EQ(cred.m_ClientDefaultGateway, Addr(L"192.168.1.1"));
}

struct PrefixCase {
    const char* pLines;
    unsigned uiPrefix;
};
using AnswerFilePrefix = AnswerFileWith<PrefixCase>;

TEST_P(AnswerFilePrefix, PrefixLengthOrNetmask)
{
    Write(Section(kUpToClientAddress + "ClientDefaultGateway=0.0.0.0\r\n" + GetParam().pLines));
    CvexCredentials cred;
    ASSERT_TRUE(cred.GetCredentialsFromAnsFile(sPath));
    EXPECT_EQ(cred.m_ClientSubnetPrefix, GetParam().uiPrefix);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AnswerFilePrefix,
    ::testing::Values(PrefixCase{"ClientSubnetPrefixLength=24\r\n", 24},
                      PrefixCase{"ClientSubnetPrefixLength=24\r\nClientNetMask=255.0.0.0\r\n", 24},
                      PrefixCase{"ClientNetMask=255.255.255.0\r\n", 24},
                      PrefixCase{"ClientSubnetPrefixLength=0\r\nClientNetMask=255.255.0.0\r\n", 16},
                      PrefixCase{"ClientSubnetPrefixLength=abc\r\nClientNetMask=255.255.240.0\r\n", 20},
                      PrefixCase{"ClientSubnetPrefixLength=255\r\n", 255}));

TEST_F(AnswerFile, BadPointInTimeLoadsWithoutOne)
{
    Write(Section(ValidKeys() + "PointInTime=31/02/2021 10:00:00\r\n"));
    CvexCredentials cred;
    TraceWatch watch;
    ASSERT_TRUE(cred.GetCredentialsFromAnsFile(sPath));
    SYSTEMTIME zero = {};
    EXPECT_EQ(std::memcmp(&cred.m_Pit, &zero, sizeof(zero)), 0);
    EXPECT_TRUE(watch.Saw(L"GetPitFromAnsFile : ... ending(PointInTime not valid)"));
    EXPECT_TRUE(watch.Saw(L"No valid Point-in-Time"));
}

TEST_F(AnswerFile, MissingOrEmptyPointInTimeClearsTheOneHeld)
{
    // A file without a point in time asks for the newest backup, whatever an earlier file said.
    for (const char* pPit : {"", "PointInTime=\r\n"}) {
        Write(Section(ValidKeys() + pPit));
        CvexCredentials cred;
        cred.ParsePit(L"01/02/2003 04:05:06");
        ASSERT_TRUE(cred.GetCredentialsFromAnsFile(sPath));
        EXPECT_FALSE(cred.HasPit()) << pPit;
        EXPECT_EQ(cred.m_Pit.wYear, 0) << pPit;
    }
}

TEST_F(AnswerFile, ValuesAreCutToTheirLimits)
{
    // The point in time takes 19 characters: the seconds are 05, not 0512.
    Write(Section(
        "ServerName=" + std::string(300, 's') +
        "\r\nServerIPAddress=10.0.0.5\r\nClientName=c\r\nClientIPAddress=10.0.0.20\r\n"
        "ClientSubnetPrefixLength=24\r\nClientDefaultGateway=10.0.0.1\r\nPointInTime=01/02/2021 10:00:0512\r\n"));
    CvexCredentials cred;
    ASSERT_TRUE(cred.GetCredentialsFromAnsFile(sPath));
    EXPECT_EQ(cred.m_Pit.wSecond, 5);
    EXPECT_EQ(cred.m_sServerName.size(), 256u);
}

TEST_F(AnswerFile, StoreWritesEveryKeyButTheNetmaskAndReplacesOnlyItsSection)
{
    Write("[Other]\r\nKeep=1\r\n" + Section("ClientNetMask=255.0.0.0\r\nStale=1\r\n"));
    CvexCredentials cred = Valid();
    cred.ParsePit(L"5/6/2021 7:8:9");
    ASSERT_TRUE(cred.SetAnsFileFromCredentials(sPath));
    std::wstring sText = testutil::ReadTextFile(sPath);
    for (const wchar_t* pLine : {L"Keep=1", L"ServerIPAddress=10.0.0.5", L"ServerName=nwserver", L"ClientName=client1",
                                 L"ClientIPAddress=10.0.0.20", L"ClientSubnetPrefixLength=24",
                                 L"ClientDefaultGateway=10.0.0.1", L"PointInTime=05/06/2021 07:08:09"})
        EXPECT_TRUE(Contains(sText, pLine)) << pLine;
    EXPECT_FALSE(Contains(sText, L"ClientNetMask"));
    EXPECT_FALSE(Contains(sText, L"Stale"));

    cred.m_Pit.wDay = 0; // without a day there is no point in time: the key stays, empty
    ASSERT_TRUE(cred.SetAnsFileFromCredentials(sPath));
    std::vector<std::wstring> lines = testutil::SplitLines(testutil::ReadTextFile(sPath));
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"PointInTime="), lines.end());
}

TEST_F(AnswerFile, RoundTripsCompareEqual)
{
    std::vector<CvexCredentials> cases(3, Valid());
    cases[1].ParsePit(L"29/02/2024 23:59:59");
    cases[1].m_ClientSubnetPrefix = 1;
    cases[2].m_ServerIPAddress = Addr(L"fe80::5");
    cases[2].m_ClientIPAddress = Addr(L"2001:db8::20");
    cases[2].m_ClientDefaultGateway = Addr(L"2001:db8::1");
    cases[2].m_ClientSubnetPrefix = 64;
    cases[2].m_sClientName = L"Client-Mixed.Case";
    for (size_t i = 0; i < cases.size(); ++i) {
        ASSERT_TRUE(cases[i].SetAnsFileFromCredentials(sPath)) << i;
        CvexCredentials loaded;
        ASSERT_TRUE(loaded.GetCredentialsFromAnsFile(sPath)) << i;
        EXPECT_EQ(loaded, cases[i]) << i;
    }
}

struct StoreFailure {
    const wchar_t* pReason;
    std::vector<const wchar_t*> keysLeft;
    void (*spoil)(CvexCredentials&);
};

using AnswerFileStoreFailure = AnswerFileWith<StoreFailure>;

TEST_P(AnswerFileStoreFailure, LeavesExactlyTheKeysWrittenBeforeIt)
{
    Write("[Other]\r\nKeep=1\r\n" + Section("Stale=1\r\n"));
    CvexCredentials cred = Valid();
    GetParam().spoil(cred);
    TraceWatch watch;
    EXPECT_FALSE(cred.SetAnsFileFromCredentials(sPath));
    EXPECT_TRUE(watch.Saw(std::wstring(L"SetAnsFileFromCredentials : ... ending(") + GetParam().pReason + L")"));
    std::vector<std::wstring> keys;
    wchar_t wsz[4096] = {};
    DWORD n = GetPrivateProfileStringW(L"QernBackupLocation", nullptr, L"", wsz, 4096, sPath.c_str());
    for (const wchar_t* p = wsz; p < wsz + n && *p; p += wcslen(p) + 1)
        keys.push_back(p);
    EXPECT_EQ(keys, std::vector<std::wstring>(GetParam().keysLeft.begin(), GetParam().keysLeft.end()));
    EXPECT_EQ(GetPrivateProfileIntW(L"Other", L"Keep", 0, sPath.c_str()), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, AnswerFileStoreFailure,
    ::testing::Values(StoreFailure{L"ServerIPAddress not in Credentials",
                                   {},
                                   [](CvexCredentials& c) { c.m_ServerIPAddress = Addr(L"x"); }},
                      StoreFailure{L"ServerName not in Credentials",
                                   {L"ServerIPAddress"},
                                   [](CvexCredentials& c) { c.m_sServerName.clear(); }},
                      StoreFailure{L"ClientName not in Credentials",
                                   {L"ServerIPAddress", L"ServerName"},
                                   [](CvexCredentials& c) { c.m_sClientName.clear(); }},
                      StoreFailure{L"Invalid character in client name",
                                   {L"ServerIPAddress", L"ServerName"},
                                   [](CvexCredentials& c) { c.m_sClientName = L"c1\r\nServerName=evil"; }},
                      StoreFailure{L"ClientIPAddress not in Credentials",
                                   {L"ServerIPAddress", L"ServerName", L"ClientName"},
                                   [](CvexCredentials& c) { c.m_ClientIPAddress = Addr(L""); }},
                      StoreFailure{L"ClientSubnetPrefix not in Credentials",
                                   {L"ServerIPAddress", L"ServerName", L"ClientName", L"ClientIPAddress"},
                                   [](CvexCredentials& c) { c.m_ClientSubnetPrefix = 0; }},
                      StoreFailure{L"ClientDefaultGateway not in Credentials",
                                   {L"ServerIPAddress", L"ServerName", L"ClientName", L"ClientIPAddress",
                                    L"ClientSubnetPrefixLength"},
                                   [](CvexCredentials& c) { c.m_ClientDefaultGateway = Addr(L"gw"); }}));

TEST_F(AnswerFile, AnEmptyPathOrAFileThatCannotBeWrittenFails)
{
    CvexCredentials cred = Valid();
    TraceWatch watch;
    EXPECT_FALSE(cred.GetCredentialsFromAnsFile(L""));
    EXPECT_FALSE(cred.SetAnsFileFromCredentials(L""));
    EXPECT_TRUE(watch.Saw(L"GetCredentialsFromAnsFile : ... ending(Invalid answer file path)"));
    EXPECT_TRUE(watch.Saw(L"SetAnsFileFromCredentials : ... ending(Invalid answer file path)"));
    EXPECT_FALSE(cred.SetAnsFileFromCredentials(folder.file(L"no such folder\\answer.ini")));
    EXPECT_TRUE(watch.Saw(L"CreateFileW(answer file) : dwLastError = 3"));
    EXPECT_TRUE(watch.Saw(L"ending(Failed to write answer file)"));

    Write(Section(ValidKeys()));
    ASSERT_TRUE(SetFileAttributesW(sPath.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(cred.SetAnsFileFromCredentials(sPath));
    SetFileAttributesW(sPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(watch.Saw(L"The answer file is read-only"));
    EXPECT_EQ(testutil::ReadTextFile(sPath), velmora::widen(Section(ValidKeys())));
}

struct CheckCase {
    const wchar_t* pReason;
    void (*spoil)(CvexCredentials&);
};

using CredentialsCheck = AnswerFileWith<CheckCase>;

TEST_P(CredentialsCheck, FirstFailingTestGivesItsReason)
{
    CvexCredentials cred = Valid();
    GetParam().spoil(cred);
    TraceWatch watch;
    EXPECT_FALSE(cred.Check());
    EXPECT_TRUE(watch.Saw(std::wstring(L"CvexCredentials::Check : ... ending(") + GetParam().pReason + L")"))
        << watch.New();
}

INSTANTIATE_TEST_SUITE_P(
    Fields, CredentialsCheck,
    ::testing::Values(
        CheckCase{L"Empty server name", [](CvexCredentials& c) { c = CvexCredentials(); }},
        CheckCase{L"Empty client name", [](CvexCredentials& c) { c.m_sClientName.clear(); }},
        CheckCase{L"Invalid character in server name", [](CvexCredentials& c) { c.m_sServerName = L"nw\"server"; }},
        CheckCase{L"Invalid character in client name", [](CvexCredentials& c) { c.m_sClientName = L"c1\n"; }},
        CheckCase{L"Invalid character in client name",
                  [](CvexCredentials& c) { c.m_sClientName = std::wstring(L"c\0", 2) + L"1"; }},
        CheckCase{L"Invalid server IP address", [](CvexCredentials& c) { c.m_ServerIPAddress = Addr(L"?"); }},
        CheckCase{L"Invalid client IP address", [](CvexCredentials& c) { c.m_ClientIPAddress = Addr(L"?"); }},
        CheckCase{L"Invalid client subnet prefix", [](CvexCredentials& c) { c.m_ClientSubnetPrefix = 0; }},
        CheckCase{L"server and client IP address are the same",
                  [](CvexCredentials& c) { c.m_ClientIPAddress = Addr(L"10.0.0.5"); }}));

TEST_F(AnswerFile, CheckIgnoresGatewayAndUpperPrefixAndAcceptsPrintableNames)
{
    CvexCredentials cred = Valid();
    cred.m_ClientDefaultGateway = Addr(L"not an address");
    cred.m_ClientSubnetPrefix = 200;
    cred.m_sServerName = L"nw-server.corp.example";
    cred.m_sClientName = L"Client \u00e9 \u4e2d";
    EXPECT_TRUE(cred.Check());
}

TEST_F(AnswerFile, CopyTakesEverythingButTheProduct)
{
    CvexCredentials source = Valid();
    source.ParsePit(L"01/02/2003 04:05:06");
    source.m_Pit.wMilliseconds = 7;
    source.m_sProduct = L"OTHER";
    CvexCredentials copy;
    copy = source;
    EXPECT_EQ(copy, source);
    EXPECT_EQ(copy.m_sProduct, L"QERN");
    CvexCredentials& self = copy;
    copy = self;
    EXPECT_EQ(copy, source);
    EXPECT_EQ(CvexCredentials(source), source);
}

TEST_F(AnswerFile, EqualityLooksAtEveryFieldAndAllOfThePointInTime)
{
    const CvexCredentials base = Valid();
    std::vector<void (*)(CvexCredentials&)> changes = {
        [](CvexCredentials& c) { c.m_sServerName = L"NWSERVER"; },
        [](CvexCredentials& c) { c.m_sClientName = L"client2"; },
        [](CvexCredentials& c) { c.m_ServerIPAddress = Addr(L"10.0.0.6"); },
        [](CvexCredentials& c) { c.m_ClientIPAddress = Addr(L"10.0.0.21"); },
        [](CvexCredentials& c) { c.m_ClientDefaultGateway = Addr(L"10.0.0.2"); },
        [](CvexCredentials& c) { c.m_ClientSubnetPrefix = 25; },
        [](CvexCredentials& c) { c.m_Pit.wDayOfWeek = 1; },
        [](CvexCredentials& c) { c.m_Pit.wMilliseconds = 1; },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        CvexCredentials changed = base;
        changes[i](changed);
        EXPECT_FALSE(changed == base) << i;
        EXPECT_TRUE(changed != base) << i;
    }
    CvexCredentials other = base;
    other.m_sProduct = L"OTHER";
    EXPECT_TRUE(other == base);
    other.m_ClientDefaultGateway = Addr(L"none"); // an invalid address is not even equal to itself
    EXPECT_FALSE(other == other);
    EXPECT_TRUE(other != other);
}

} // namespace
