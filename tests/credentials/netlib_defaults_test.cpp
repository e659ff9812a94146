// New credentials over the network library stand-in (halvo_nm.dll and its state file), the
// way the module runs on a test machine.
#include "credentials/cvex_credentials.h"
#include "tests/credentials/cred_test_util.h"

#include <gtest/gtest.h>

namespace
{

using credtest::Addr;

struct StandIn : ::testing::Test {
    testutil::ScratchFolder folder{L"netlib_defaults"};
    std::wstring sState = folder.file(L"state.ini");
    void SetUp() override { SetEnvironmentVariableW(L"HALVO_NM_STATE", sState.c_str()); }
    void TearDown() override { SetEnvironmentVariableW(L"HALVO_NM_STATE", nullptr); }
};

TEST_F(StandIn, FirstOperationalAdapterGivesTheDefaultsAndNetmasksConvert)
{
    testutil::WriteTextFile(sState, "[Adapter]\nName={A1}\nDescription=Down NIC\nIndex=11\nStatus=Down\n"
                                    "Address=10.0.0.9/8\nGateway=10.0.0.1\n"
                                    "[Adapter]\nName={A2}\nDescription=Lab NIC\nIndex=12\nStatus=Up\n"
                                    "Address=fe80::215:5dff:fe01:203/64\nAddress=192.168.10.50/23\n"
                                    "Gateway=fe80::1\nGateway=192.168.10.1\n");
    CvexCredentials cred;
    EXPECT_EQ(cred.m_ClientIPAddress, Addr(L"192.168.10.50"));
    EXPECT_EQ(cred.m_ClientSubnetPrefix, 23);
    EXPECT_EQ(cred.m_ClientDefaultGateway, Addr(L"192.168.10.1"));

    std::wstring sAnswers = folder.file(L"answers.ini");
    testutil::WriteTextFile(sAnswers, "[QernBackupLocation]\r\nServerName=nw\r\nServerIPAddress=10.0.0.5\r\n"
                                      "ClientName=c\r\nClientIPAddress=10.0.0.20\r\nClientNetMask=255.255.252.0\r\n"
                                      "ClientDefaultGateway=10.0.0.1\r\n");
    ASSERT_TRUE(cred.GetCredentialsFromAnsFile(sAnswers));
    EXPECT_EQ(cred.m_ClientSubnetPrefix, 22);
}

TEST_F(StandIn, MachineWithoutAdaptersKeepsTheDefaults)
{
    CvexCredentials cred; // no state file: a machine without adapters
    EXPECT_EQ(cred.m_ClientIPAddress, Addr(L"0.0.0.0"));
    EXPECT_EQ(cred.m_ClientSubnetPrefix, 8);
    EXPECT_EQ(cred.m_ClientDefaultGateway, Addr(L"0.0.0.0"));
}

} // namespace
