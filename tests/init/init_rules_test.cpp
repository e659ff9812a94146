// The decisions of Init, QueryNetwork and the server version query over text, and the hosts
// file rewritten through a scratch SystemRoot.
#include "client/init.h"
#include "client/query_network.h"
#include "client/server_version.h"
#include "tests/common/test_util.h"
#include "tests/credentials/cred_test_util.h"

#include <gtest/gtest.h>

using credtest::Addr;
using initseq::RecoverLine;
using velmora::ip_address;

TEST(InitRules, PointInTimeInTheToolsForm)
{
    EXPECT_EQ(initseq::FormatPointInTime(testutil::MakeTime(2021, 6, 5, 13, 45, 0)), L"June 05,2021 13:45:00");
    EXPECT_EQ(initseq::FormatPointInTime(testutil::MakeTime(2021, 9, 30, 23, 59, 59)), L"September 30,2021 23:59:59");
    EXPECT_EQ(initseq::FormatPointInTime(testutil::MakeTime(2021, 9, 0, 1, 2, 3)), L"") << "day 0: no point in time";
    EXPECT_EQ(initseq::FormatPointInTime(testutil::MakeTime(2021, 13, 1, 1, 2, 3)), L"");
    EXPECT_EQ(initseq::FormatPointInTime(testutil::MakeTime(2021, 0, 1, 1, 2, 3)), L"");
    // Too wide a year is cut at the tools' 26 characters instead of running over.
    EXPECT_EQ(initseq::FormatPointInTime(testutil::MakeTime(65535, 9, 30, 23, 59, 59)).size(), 26u);
}

TEST(InitRules, ClientVersionSplitsAtPointsAndSkipsOtherCharacters)
{
    initseq::ClientVersion v = initseq::SplitClientVersion(L"9.2.1.5");
    EXPECT_EQ(v.usMajor, 9);
    EXPECT_EQ(v.usMinor, 2);
    EXPECT_EQ(v.usSP, 1);
    v = initseq::SplitClientVersion(L"19.4b.x0");
    EXPECT_EQ(v.usMajor, 19);
    EXPECT_EQ(v.usMinor, 4);
    EXPECT_EQ(v.usSP, 0);
    v = initseq::SplitClientVersion(L"");
    EXPECT_EQ(v.usMajor + v.usMinor + v.usSP, 0);
}

// A line holding two texts goes by the earlier one in the order; the prompt has its blank.
TEST(InitRules, RecoverOutputIsClassifiedByTheFirstTextInOrder)
{
    const std::pair<const wchar_t*, RecoverLine> kCases[] = {
        {L"12548:recover: Cannot connect to `nw': Remote system error - No route to host", RecoverLine::NoRoute},
        {L"Current working directory is C:\\", RecoverLine::SessionOpen},
        {L"recover> ", RecoverLine::Prompt},
        {L"recover>", RecoverLine::Other},
        {L"An existing connection was forcibly closed by the remote host.", RecoverLine::ForciblyClosed},
        {L"No files have been backed up for this client; current working directory is C:\\", RecoverLine::NoBackups},
        {L"RPC cannot make a procedure call: x is not properly configured on the NetWorker Server",
         RecoverLine::RpcCannotCall},
        {L"Recovering files", RecoverLine::Other},
    };
    for (const auto& [pLine, kind] : kCases)
        EXPECT_EQ(initseq::ClassifyRecoverLine(pLine), kind) << testing::PrintToString(pLine);
}

TEST(InitRules, NotConfiguredNamesTheClientOrTheAddress)
{
    EXPECT_EQ(initseq::NotConfiguredMessage(L"Client `pc7' is not properly configured on the NetWorker Server", L"pc7"),
              104u);
    EXPECT_EQ(
        initseq::NotConfiguredMessage(L"Host 192.0.2.1 is not properly configured on the NetWorker Server", L"pc7"),
        103u);
}

TEST(InitRules, CommandLinesQuoteTheNames)
{
    EXPECT_EQ(initseq::RecoverCommandLine(L"X:\\b\\recover.exe", L"nw srv", L"pc 7"),
              L"X:\\b\\recover.exe -s \"nw srv\" -c \"pc 7\"");
    EXPECT_EQ(serverversion::CommandLine(L"X:\\b\\nsradmin.exe", L"nwsrv", L"C:\\cfg\\nsradmin_args.txt"),
              L"X:\\b\\nsradmin.exe -s \"nwsrv\" -i \"C:\\cfg\\nsradmin_args.txt\"");
    EXPECT_STREQ(serverversion::kCommandFileText, ". type: nsr\r\nprint\r\nquit\r\n");
    EXPECT_TRUE(initseq::SameHostName(L"WinClient1", L"WINCLIENT1"));
    EXPECT_FALSE(initseq::SameHostName(L"winclient1", L"winclient"));
}

TEST(ServerVersion, VersionLineLosesItsLeadAndItsLastSlashPart)
{
    std::wstring s = L"unchanged";
    EXPECT_TRUE(serverversion::VersionFromLine(L"NetWorker 19.4.0.1.Build.142 Network Edition/64;", s));
    EXPECT_EQ(s, L"19.4.0.1.Build.142 Network Edition");
    EXPECT_TRUE(serverversion::VersionFromLine(L"NetWorker 9.2.1.Build.5 a/b/c", s));
    EXPECT_EQ(s, L"9.2.1.Build.5 a/b");
    EXPECT_TRUE(serverversion::VersionFromLine(L"NetWorker 8.0.Build.1", s)) << "no slash keeps the rest";
    EXPECT_EQ(s, L"8.0.Build.1");
    EXPECT_TRUE(serverversion::VersionFromLine(L"NetWorkerBuild", s)) << "another layout: what the cuts leave";
    EXPECT_EQ(s, L"uild");
    s = L"unchanged";
    EXPECT_FALSE(serverversion::VersionFromLine(L"                     version: \\", s));
    EXPECT_FALSE(serverversion::VersionFromLine(L"NetWorker 19.4 Network Edition", s));
    EXPECT_EQ(s, L"unchanged");
}

TEST(HostsFile, QualifiedServerName)
{
    EXPECT_EQ(hostsfile::QualifiedName(L"nwsrv", L"corp.example"), L"nwsrv.corp.example");
    EXPECT_EQ(hostsfile::QualifiedName(L"nwsrv.lab", L"corp.example"), L"nwsrv.lab");
    EXPECT_EQ(hostsfile::QualifiedName(L"nwsrv", L""), L"nwsrv");
}

TEST(HostsFile, ConflictNeedsTheAddressAndALinkLocalOneOfItsFamily)
{
    const ip_address target = Addr(L"192.168.10.7");
    auto notes = [&](std::initializer_list<const wchar_t*> bound) {
        hostsfile::ConflictNotes n;
        for (const wchar_t* p : bound)
            hostsfile::NoteBoundAddress(n, Addr(p), target);
        return n.Both();
    };
    EXPECT_TRUE(notes({L"192.168.10.7", L"169.254.3.4"}));
    EXPECT_TRUE(notes({L"169.254.3.4", L"10.0.0.1", L"192.168.10.7"}));
    EXPECT_FALSE(notes({L"192.168.10.7", L"fe80::1"})) << "another family does not count";
    EXPECT_FALSE(notes({L"169.254.3.4"}));
    EXPECT_FALSE(notes({L"192.168.10.7", L"10.169.254.1"}));
    const ip_address target6 = Addr(L"2001:db8::7");
    hostsfile::ConflictNotes n6;
    hostsfile::NoteBoundAddress(n6, target6, target6);
    hostsfile::NoteBoundAddress(n6, Addr(L"fe80::215:5dff:fe01:203"), target6);
    EXPECT_TRUE(n6.Both());
}

// The hosts file below a scratch SystemRoot, as CheckHostEntry rewrites it.
class HostsFileOnDisk : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t wsz[MAX_PATH] = {};
        GetEnvironmentVariableW(L"SystemRoot", wsz, MAX_PATH);
        m_sOldRoot = wsz;
        CreateDirectoryW((scratch.path() + L"\\system32").c_str(), nullptr);
        CreateDirectoryW((scratch.path() + L"\\system32\\drivers").c_str(), nullptr);
        CreateDirectoryW((scratch.path() + L"\\system32\\drivers\\etc").c_str(), nullptr);
        SetEnvironmentVariableW(L"SystemRoot", scratch.path().c_str());
    }
    void TearDown() override { SetEnvironmentVariableW(L"SystemRoot", m_sOldRoot.c_str()); }
    std::wstring Hosts() const { return scratch.path() + L"\\system32\\drivers\\etc\\hosts"; }

    testutil::ScratchFolder scratch{L"hosts_file"};
    std::wstring m_sOldRoot;
};

TEST_F(HostsFileOnDisk, AnEntryIsReplacedOrAppendedAndTheFileReplacedWhole)
{
    testutil::WriteTextFile(Hosts(), "10.1.1.9 nwserver # old\n#10.1.1.8 nwserver\n127.0.0.1 localhost");
    QueryNetwork query;
    ASSERT_TRUE(query.CheckHostEntry(L"NWSERVER", Addr(L"10.1.1.5")));
    EXPECT_EQ(testutil::ReadTextFile(Hosts()), L"10.1.1.5\tNWSERVER\r\n#10.1.1.8 nwserver\r\n127.0.0.1 localhost\r\n");
    ASSERT_TRUE(query.CheckHostEntry(L"pc7", Addr(L"fe80::1")));
    EXPECT_EQ(testutil::ReadTextFile(Hosts()),
              L"10.1.1.5\tNWSERVER\r\n#10.1.1.8 nwserver\r\n127.0.0.1 localhost\r\nfe80::1\tpc7\r\n");
    EXPECT_FALSE(testutil::FileExists(Hosts() + L".cvex-new")) << "no temporary file is left";
}

TEST_F(HostsFileOnDisk, RefusedInputAndAFailedWriteLeaveTheFileAsItWas)
{
    testutil::WriteTextFile(Hosts(), "10.1.1.9 nwserver\r\n");
    QueryNetwork query;
    EXPECT_FALSE(query.CheckHostEntry(L"", Addr(L"10.1.1.5")));
    EXPECT_FALSE(query.CheckHostEntry(L"nwserver", Addr(L"not an address")));
    // The new contents cannot be written (a folder holds the temporary file's name): the hosts
    // file keeps its contents.
    ASSERT_TRUE(CreateDirectoryW((Hosts() + L".cvex-new").c_str(), nullptr));
    EXPECT_FALSE(query.CheckHostEntry(L"nwserver", Addr(L"10.1.1.5")));
    EXPECT_EQ(testutil::ReadTextFile(Hosts()), L"10.1.1.9 nwserver\r\n");
    RemoveDirectoryW((Hosts() + L".cvex-new").c_str());
    // No hosts file at all: nothing to map, nothing created.
    DeleteFileW(Hosts().c_str());
    EXPECT_FALSE(query.CheckHostEntry(L"nwserver", Addr(L"10.1.1.5")));
    EXPECT_FALSE(testutil::FileExists(Hosts()));
}
