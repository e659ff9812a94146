// The reference host's answer-file options: its pure pieces, then the program itself.
#include "host/answer_file_command.h"
#include "support/handle.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

using testutil::Contains;

namespace
{

TEST(HostAnswerFile, ReasonIsTakenFromTheLastEndingOfThatFunction)
{
    std::wstring sTrace = L"[t]:[E]: CvexCredentials::Check : ... ending(Empty server name)\r\n"
                          L"[t]:[E]: Other::Fn : ... ending(other)\r\n"
                          L"[t]:[E]: CvexCredentials::Check : ... ending(Invalid client IP address)\r\n"
                          L"[t]:[I]: CvexCredentials::Check : x = 1\r\n";
    EXPECT_EQ(refhost::LastEndingReason(sTrace, L"CvexCredentials::Check"), L"Invalid client IP address");
    EXPECT_EQ(refhost::LastEndingReason(sTrace, L"Other::Fn"), L"other");
    EXPECT_EQ(refhost::LastEndingReason(sTrace, L"Missing::Fn"), L"");
    EXPECT_EQ(refhost::LastEndingReason(L"F : ... ending(cut", L"F"), L"");
}

// Runs refhost.exe with the arguments; its standard output goes to a file. Returns the exit code.
DWORD RunHost(const std::wstring& sArgs, const std::wstring& sOutput)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    velmora::unique_file out(CreateFileW(sOutput.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                         CREATE_ALWAYS, 0, nullptr));
    if (!out)
        return 0xFFFFFFFF;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out.get();
    si.hStdError = out.get();
    PROCESS_INFORMATION pi = {};
    std::wstring sCommand = L"\"" + testutil::ProgramFolder() + L"refhost.exe\" " + sArgs;
    if (!CreateProcessW(nullptr, sCommand.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return 0xFFFFFFFF;
    velmora::unique_handle_null process(pi.hProcess);
    velmora::unique_handle_null thread(pi.hThread);
    WaitForSingleObject(process.get(), 60000);
    DWORD dwCode = 0xFFFFFFFF;
    GetExitCodeProcess(process.get(), &dwCode);
    return dwCode;
}

TEST(HostAnswerFile, HostLoadsChecksShowsAndWritesBack)
{
    testutil::ScratchFolder folder(L"host_answer_file");
    std::wstring sIn = folder.file(L"in.ini"), sOut = folder.file(L"out.ini"), sLog = folder.file(L"host1.txt");
    testutil::WriteTextFile(sIn, "[QernBackupLocation]\r\nServerName=nwserver\r\nServerIPAddress=127.0.0.5\r\n"
                                 "ClientName=client1\r\nClientIPAddress=127.0.0.20\r\nClientSubnetPrefixLength=24\r\n"
                                 "ClientDefaultGateway=127.0.0.1\r\nPointInTime=29/02/2024 23:59:59\r\n");
    EXPECT_EQ(RunHost(L"--answer-file \"" + sIn + L"\" --write-answer-file \"" + sOut + L"\"", sLog), 0u);
    std::wstring sShown = testutil::ReadTextFile(sLog);
    EXPECT_TRUE(Contains(sShown, L"Client IP address:      127.0.0.20")) << sShown;
    EXPECT_TRUE(Contains(sShown, L"Point in time:          29/02/2024 23:59:59")) << sShown;
    EXPECT_TRUE(Contains(sShown, L"Check: passed")) << sShown;
    CvexCredentials in, out;
    ASSERT_TRUE(in.GetCredentialsFromAnsFile(sIn));
    ASSERT_TRUE(out.GetCredentialsFromAnsFile(sOut));
    EXPECT_EQ(in, out);

    testutil::WriteTextFile(sIn, "[QernBackupLocation]\r\nServerName=nwserver\r\nServerIPAddress=127.0.0.5\r\n"
                                 "ClientName=client1\r\nClientIPAddress=127.0.0.5\r\nClientSubnetPrefixLength=24\r\n"
                                 "ClientDefaultGateway=127.0.0.1\r\n");
    sLog = folder.file(L"host2.txt");
    EXPECT_EQ(RunHost(L"--answer-file \"" + sIn + L"\"", sLog), 1u);
    sShown = testutil::ReadTextFile(sLog);
    EXPECT_TRUE(Contains(sShown, L"Check: failed (server and client IP address are the same)")) << sShown;
}

} // namespace
