// The console engine driving the simulated NetWorker tools inside a sandbox machine.
#include "tests/engine/engine_fixture.h"
#include "tests/init/sandbox_client.h"

using testutil::Contains;

namespace
{

const std::wstring kBin = sandbox::kBin;
const std::wstring kClientArgs = L" -s \"nwsrv\" -c \"winclient1\"";

} // namespace

// An interactive recover is answered at its prompts; Abort or Fini leaves no tool running.
TEST_F(EngineTest, AnInteractiveRecoverSessionIsAnsweredAtItsPromptsAndEndedByAbort)
{
    auto prompt = [](const std::wstring& l) { return l == L"recover> "; };
    std::wstring s;
    ASSERT_TRUE(impl.RunCommand(kBin + L"recover.exe" + kClientArgs, true));
    ASSERT_TRUE(ReadUntil(prompt, s));
    impl.Abort();
    EXPECT_TRUE(sandbox::RunningClientTools().empty());
    ASSERT_TRUE(impl.RunCommand(kBin + L"recover.exe" + kClientArgs, true));
    ASSERT_TRUE(ReadUntil(prompt, s));
    EXPECT_TRUE(impl.CheckNetWorkerConnection4()); // recover holds its connection to the server
    ASSERT_TRUE(impl.SendResponse(L"cd /\r\n", false));
    ASSERT_TRUE(ReadUntil(prompt, s));
    ASSERT_TRUE(impl.SendResponse(L"ll -S\r\n", false));
    bool bDriveC = false;
    while (impl.GetLine(s, true) && s != L"recover> ")
        bDriveC = bDriveC || Contains(s, L"C:\\");
    EXPECT_TRUE(bDriveC) << "the listing names the C:\\ filespace";
    ASSERT_TRUE(impl.SendResponse(L"EXIT\r\n", false));
    while (impl.GetLine(s, true)) {
    }
    EXPECT_TRUE(impl.Fini(false));
    EXPECT_TRUE(sandbox::RunningClientTools().empty());
}

TEST_F(EngineTest, AProtectedFileIsRestoredWithThePasswordTheHostGives)
{
    DeleteFileW(L"D:\\Secret\\plan.txt");
    host.sPassword = L"secret";
    ASSERT_TRUE(impl.RunCommand(kBin + L"recover.exe -a -iY" + kClientArgs + L" \"D:\\Secret\"", true));
    std::wstring s;
    bool bRestored = false;
    while (impl.GetLine(s, true)) {
        if (s.empty())
            impl.ProvidePassword();
        bRestored = bRestored || s == L"D:\\Secret\\plan.txt";
    }
    EXPECT_TRUE(bRestored);
    EXPECT_EQ(host.Count(PK_PASSWORD_REQUEST), 1u);
    EXPECT_EQ(testutil::ReadTextFile(L"D:\\Secret\\plan.txt"), L"secret plan\r\n");
    EXPECT_FALSE(impl.UserAborted());
}
