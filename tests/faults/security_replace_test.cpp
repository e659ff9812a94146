// Files the module replaces are never left cut short: a write that fails part-way (a test seam
// stops it after N bytes, as a full disk would) or a move that cannot happen leaves the original
// byte for byte, and no temporary file behind.
#include "client/query_network.h"
#include "support/file_replace.h"
#include "support/handle.h"
#include "tests/common/test_util.h"
#include "tests/faults/security_impl.h"

#include <gtest/gtest.h>

namespace
{

// Lifts the write limit however the test ends.
struct WriteLimit {
    explicit WriteLimit(size_t n) { velmora::set_replace_write_limit_for_testing(n); }
    ~WriteLimit() { velmora::set_replace_write_limit_for_testing(velmora::kNoWriteLimit); }
};

// An original with bytes a text-mode rewrite would lose: no line end at the end, a lone CR,
// Latin-1 and a NUL.
const std::string kOriginal = std::string("127.0.0.1 localhost\r\n10.0.0.9 caf\xe9\rx\n#") + '\0' + "end";

} // namespace

TEST(SecurityReplace, AWriteThatStopsAnywhereLeavesTheOriginalByteForByte)
{
    testutil::ScratchFolder scratch(L"security_replace");
    const std::wstring sPath = scratch.file(L"servers");
    const std::string sNew(5000, 'n');
    for (size_t n : {size_t{0}, size_t{1}, sNew.size() / 2, sNew.size() - 1}) {
        SCOPED_TRACE(n);
        WriteBytes(sPath, kOriginal);
        {
            WriteLimit limit(n);
            EXPECT_EQ(velmora::replace_file(sPath, sNew), static_cast<DWORD>(ERROR_DISK_FULL));
        }
        EXPECT_EQ(ReadBytes(sPath), kOriginal);
        EXPECT_FALSE(testutil::FileExists(velmora::replacement_path(sPath))) << "the cut-short copy is removed";
    }
    // With room for every byte the same call replaces the file exactly.
    WriteLimit limit(sNew.size());
    EXPECT_EQ(velmora::replace_file(sPath, sNew), 0u);
    EXPECT_EQ(ReadBytes(sPath), sNew);
    EXPECT_FALSE(testutil::FileExists(velmora::replacement_path(sPath)));
}

TEST(SecurityReplace, AFileThatCannotBeReplacedKeepsItsBytesAndANewOneIsCreated)
{
    testutil::ScratchFolder scratch(L"security_replace_move");
    const std::wstring sPath = scratch.file(L"hosts");
    WriteBytes(sPath, kOriginal);
    {
        // Held open without delete sharing: the move over it is refused.
        velmora::unique_file held(CreateFileW(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        EXPECT_NE(velmora::replace_file(sPath, "new\r\n"), 0u);
    }
    EXPECT_EQ(ReadBytes(sPath), kOriginal);
    EXPECT_FALSE(testutil::FileExists(velmora::replacement_path(sPath)));
    // A folder in the way of the new file's path: nothing is written.
    ASSERT_TRUE(CreateDirectoryW(scratch.file(L"dir").c_str(), nullptr));
    EXPECT_NE(velmora::replace_file(scratch.file(L"dir"), "x"), 0u);
    // A file that does not exist yet is simply created.
    EXPECT_EQ(velmora::replace_file(scratch.file(L"fresh"), "abc"), 0u);
    EXPECT_EQ(ReadBytes(scratch.file(L"fresh")), "abc");
}

// The hosts file below a scratch SystemRoot, rewritten by the real writer with the seam set.
TEST(SecurityReplace, TheHostsFileSurvivesAFailedRewriteAndTheNextOneSucceeds)
{
    testutil::ScratchFolder scratch(L"security_hosts");
    wchar_t wsz[MAX_PATH] = {};
    GetEnvironmentVariableW(L"SystemRoot", wsz, MAX_PATH);
    const std::wstring sOldRoot = wsz;
    for (const wchar_t* p : {L"\\system32", L"\\system32\\drivers", L"\\system32\\drivers\\etc"})
        CreateDirectoryW((scratch.path() + p).c_str(), nullptr);
    SetEnvironmentVariableW(L"SystemRoot", scratch.path().c_str());
    const std::wstring sHosts = scratch.path() + L"\\system32\\drivers\\etc\\hosts";
    WriteBytes(sHosts, kOriginal);
    QueryNetwork query;
    const velmora::ip_address address(velmora::string(L"10.1.1.5"));
    {
        WriteLimit limit(kOriginal.size() / 2);
        EXPECT_FALSE(query.CheckHostEntry(L"nwserver", address));
    }
    EXPECT_EQ(ReadBytes(sHosts), kOriginal);
    EXPECT_FALSE(testutil::FileExists(velmora::replacement_path(sHosts)));
    EXPECT_TRUE(query.CheckHostEntry(L"nwserver", address));
    EXPECT_NE(ReadBytes(sHosts).find("10.1.1.5\tnwserver\r\n"), std::string::npos);
    SetEnvironmentVariableW(L"SystemRoot", sOldRoot.c_str());
}

TEST(SecurityReplace, TheRecoverySummaryAndTheNsradminFileAreReplacedWhole)
{
    SecurityImpl impl;
    std::wstring sLogs;
    impl.GetLogDirectory(sLogs);
    const std::wstring sDump = sLogs + L"\\CVEX_dump.log";
    WriteBytes(sDump, kOriginal);
    {
        WriteLimit limit(10);
        impl.Dump();
    }
    EXPECT_EQ(ReadBytes(sDump), kOriginal) << "the previous summary stays whole";
    impl.Dump();
    const std::string sWritten = ReadBytes(sDump);
    EXPECT_NE(sWritten, kOriginal);
    EXPECT_FALSE(sWritten.empty());

    testutil::ScratchFolder scratch(L"security_nsradmin");
    const std::wstring sArgs = scratch.file(L"nsradmin_args.txt");
    WriteBytes(sArgs, kOriginal);
    {
        WriteLimit limit(3);
        EXPECT_FALSE(impl.WriteNsradminCommandFile(sArgs));
    }
    EXPECT_EQ(ReadBytes(sArgs), kOriginal);
    EXPECT_TRUE(impl.WriteNsradminCommandFile(sArgs));
    EXPECT_EQ(ReadBytes(sArgs), ". type: nsr\r\nprint\r\nquit\r\n");
}
