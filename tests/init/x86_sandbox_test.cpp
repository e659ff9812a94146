// A sandbox machine whose nsrexecd.exe is a 32-bit program: the client cannot run there.
#include "tests/init/sandbox_client.h"

using namespace sandbox;

TEST_F(ClientSandbox, ThirtyTwoBitDaemonIsRefusedWithBothMessages)
{
    std::wstring sVersion;
    EXPECT_FALSE(impl.GetNetWorkerClientVersion(sVersion));
    EXPECT_EQ(impl.messages, (std::vector<std::wstring>{impl.Text(199), impl.Text(105)}));
    EXPECT_FALSE(KeyExists(L"SOFTWARE\\Legato"));
    EXPECT_FALSE(IsFolder(std::wstring(kNsr) + L"tmp"));
}
