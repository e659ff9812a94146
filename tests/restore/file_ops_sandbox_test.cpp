// The file operations on a sandbox disk D: (every other letter but C:, X: and Z: is absent).
#include "hostapi/message_ids.h"
#include "restore/file_copy.h"
#include "restore/file_security.h"
#include "tests/restore/file_helpers.h"
#include "tests/restore/restore_impl.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace filehelp;

namespace
{

struct FileOps : ::testing::Test {
    RestoreImpl impl;
    std::wstring sDir = FolderForThisTest(L"D:\\ops");
    std::wstring P(const std::wstring& sName) const { return sDir + L"\\" + sName; }
    // A file of the test's folder with its attributes, its write time moved by some hours.
    void Put(const std::wstring& sName, const std::string& sText, DWORD dwAttributes = 0, int iHours = 0)
    {
        ASSERT_TRUE(WriteFileText(P(sName), sText));
        ASSERT_TRUE(iHours == 0 || ShiftWriteTime(P(sName), iHours));
        ASSERT_TRUE(dwAttributes == 0 || SetFileAttributesW(P(sName).c_str(), dwAttributes));
    }
    // The operation failed with one error message carrying that code; the messages start afresh.
    void ExpectFailed(bool bResult, unsigned uiMessage, DWORD dwCode)
    {
        EXPECT_FALSE(bResult);
        EXPECT_EQ(impl.OnlyError(), Error(uiMessage, dwCode));
        impl.messages.clear();
    }
};

// A folder name of 48 letters, repeated until the path is over 400 characters.
std::wstring DeepFolder(const std::wstring& sBase)
{
    std::wstring s = sBase;
    for (wchar_t c = L'a'; s.size() < 400; ++c)
        s += L"\\" + std::wstring(48, c);
    return s;
}

} // namespace

TEST_F(FileOps, ReadOnlyDestinationsAreReplacedUnlessNewer)
{
    Put(L"src.txt", "new content");
    Put(L"dst.txt", "old", FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(impl.CrplCopyFile(P(L"src.txt"), P(L"dst.txt")));
    EXPECT_EQ(ReadFileText(P(L"dst.txt")), "new content");

    Put(L"perm.txt", "older", FILE_ATTRIBUTE_READONLY, -48);
    ASSERT_TRUE(SetFileAttributesW(P(L"src.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(impl.CopyFileWithPerms(P(L"src.txt"), P(L"perm.txt")));
    EXPECT_EQ(ReadFileText(P(L"perm.txt")), "new content");
    // The destination takes the source's attributes; the source keeps its own.
    EXPECT_EQ(Attributes(P(L"perm.txt")) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(Attributes(P(L"src.txt")) & FILE_ATTRIBUTE_HIDDEN, static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));

    // A newer destination is left exactly as it is.
    Put(L"old.txt", "from the backup", 0, -24);
    Put(L"newer.txt", "newer", FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(impl.CopyFileWithPerms(P(L"old.txt"), P(L"newer.txt")));
    EXPECT_EQ(ReadFileText(P(L"newer.txt")), "newer");
    EXPECT_EQ(Attributes(P(L"newer.txt")) & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));

    Put(L"moving.txt", "moved");
    EXPECT_TRUE(impl.CrplMoveFile(P(L"moving.txt"), P(L"dst.txt")));
    EXPECT_EQ(ReadFileText(P(L"dst.txt")), "moved");
    EXPECT_FALSE(Exists(P(L"moving.txt")));
    EXPECT_TRUE(impl.messages.empty());
}

TEST_F(FileOps, ThreeMissingParentLevelsAreCreated)
{
    EXPECT_TRUE(impl.CreateParentDir(P(L"a\\b\\c\\file.txt")));
    EXPECT_TRUE(Attributes(P(L"a\\b\\c")) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(Exists(P(L"a\\b\\c\\file.txt")));
    Put(L"src.txt", "x");
    EXPECT_TRUE(impl.CrplCopyFile(P(L"src.txt"), P(L"d\\e\\f\\copy.txt")));
    EXPECT_TRUE(impl.CrplMoveFile(P(L"src.txt"), P(L"g\\h\\i\\moved.txt")));
    EXPECT_TRUE(impl.MyCreateHardLink(P(L"j\\k\\l\\link.txt"), P(L"g\\h\\i\\moved.txt")));
    EXPECT_TRUE(impl.CopyFileWithPerms(P(L"d\\e\\f\\copy.txt"), P(L"m\\n\\o\\perms.txt")));
    EXPECT_EQ(ReadFileText(P(L"d\\e\\f\\copy.txt")), "x");
    EXPECT_EQ(ReadFileText(P(L"m\\n\\o\\perms.txt")), "x");
    EXPECT_TRUE(SameFile(P(L"j\\k\\l\\link.txt"), P(L"g\\h\\i\\moved.txt")));
    // Relative parts are resolved before the long form is made.
    EXPECT_TRUE(impl.CrplCopyFile(P(L"d\\e\\..\\e\\f\\copy.txt"), P(L"p\\..\\q\\r.txt")));
    EXPECT_EQ(ReadFileText(P(L"q\\r.txt")), "x");
    EXPECT_TRUE(impl.messages.empty());
}

TEST_F(FileOps, PathsOf400CharactersWork)
{
    std::wstring sDeep = DeepFolder(sDir);
    ASSERT_GT(sDeep.size(), 400u);
    Put(L"src.txt", "deep");
    EXPECT_TRUE(impl.CrplCopyFile(P(L"src.txt"), sDeep + L"\\copy.txt"));
    EXPECT_TRUE(impl.CopyFileWithPerms(sDeep + L"\\copy.txt", sDeep + L"\\perms.txt"));
    EXPECT_TRUE(impl.CrplMoveFile(sDeep + L"\\perms.txt", sDeep + L"\\x\\moved.txt"));
    EXPECT_TRUE(impl.MyCreateHardLink(sDeep + L"\\link.txt", sDeep + L"\\copy.txt"));
    EXPECT_EQ(ReadFileText(sDeep + L"\\x\\moved.txt"), "deep");
    EXPECT_TRUE(SameFile(sDeep + L"\\link.txt", sDeep + L"\\copy.txt"));

    std::vector<FileListEntry> files;
    EXPECT_TRUE(impl.GetFileList(sDir, L"*.txt", true, files));
    std::vector<std::wstring> found;
    for (const FileListEntry& e : files)
        found.push_back(e.sFolder + L"\\" + e.sName);
    std::sort(found.begin(), found.end());
    std::vector<std::wstring> want = {sDeep + L"\\copy.txt", sDeep + L"\\link.txt", sDeep + L"\\x\\moved.txt",
                                      P(L"src.txt")};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(found, want);
    EXPECT_TRUE(impl.messages.empty());
}

TEST_F(FileOps, AbsentDriveFailsWithAMessageAndStopsAtTheRoot)
{
    Put(L"src.txt", "x");
    ExpectFailed(impl.CreateParentDir(L"Q:\\a\\b\\c\\file.txt"), MSG_CREATE_FILE_FAILED, ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(impl.CrplCopyFile(P(L"src.txt"), L"Q:\\a\\b.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(impl.OnlyError(), Error(MSG_COPY_FILE_FAILED, ERROR_PATH_NOT_FOUND));
    impl.messages.clear();
    ExpectFailed(impl.CopyFileWithPerms(L"Q:\\a\\b.txt", P(L"b.txt")), MSG_COPY_FILE_FAILED, ERROR_PATH_NOT_FOUND);
    ExpectFailed(impl.CopyFileWithPerms(P(L"missing.txt"), P(L"b.txt")), MSG_COPY_FILE_FAILED, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(Exists(P(L"b.txt")));
    ExpectFailed(impl.CrplMoveFile(P(L"src.txt"), L"Q:\\moved.txt"), MSG_MOVE_FILE_FAILED, ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(Exists(P(L"src.txt")));
    // The same copy for callers that decide about failures themselves: the code, no message.
    EXPECT_EQ(CopyFileNoMessage(P(L"src.txt"), L"Q:\\a\\b.txt"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(CopyFileNoMessage(P(L"src.txt"), P(L"quiet\\b.txt")), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileText(P(L"quiet\\b.txt")), "x");

    // The destination check is a question: false for an absent volume, with no message.
    EXPECT_FALSE(impl.CheckDestExists(L"Q:", false));
    EXPECT_TRUE(impl.CheckDestExists(L"D:", false));
    EXPECT_TRUE(impl.CheckDestExists(L"D:\\", false));
    // A mounted folder needs its volume there: a plain folder, or a link to a folder of the same
    // volume, would put the files on D:.
    EXPECT_FALSE(impl.CheckDestExists(sDir, true));
    EXPECT_FALSE(impl.CheckDestExists(L"D:\\loop_tree\\sub\\loop", true));
    EXPECT_FALSE(impl.CheckDestExists(P(L"no such mount"), true));
    EXPECT_FALSE(impl.CheckDestExists(L"Q:\\Data", true));
    EXPECT_TRUE(impl.messages.empty());
}

TEST_F(FileOps, ListingsNeverFollowALinkBackToAnAncestor)
{
    // D:\loop_tree comes from the build tree: a.txt, sub\b.txt, sub\deeper\c.log and the Linux
    // link sub\loop -> "..", which Wine shows as a directory reparse point.
    const std::wstring sTree = L"D:\\loop_tree";
    ASSERT_EQ(Attributes(sTree + L"\\sub\\loop") & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY),
              static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
    ASSERT_TRUE(Exists(sTree + L"\\sub\\loop\\sub\\loop\\a.txt")); // it does loop

    std::vector<FileListEntry> files;
    EXPECT_TRUE(impl.GetFileList(sTree, L"*", true, files));
    std::vector<std::wstring> found;
    for (const FileListEntry& e : files) {
        found.push_back(e.sFolder + L"|" + e.sName);
        EXPECT_FALSE(e.bMarked);
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (std::vector<std::wstring>{sTree + L"\\sub\\deeper|c.log", sTree + L"\\sub|b.txt", sTree + L"|a.txt"}));

    // A pattern picks the files but does not keep the walk out of folders that do not match it.
    files.clear();
    EXPECT_TRUE(impl.GetFileList(sTree, L"*.LOG", true, files));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].sName, L"c.log");

    std::vector<std::wstring> dirs;
    EXPECT_TRUE(impl.GetDirList(sTree, L"*", true, dirs));
    EXPECT_EQ(dirs, (std::vector<std::wstring>{sTree + L"\\sub", sTree + L"\\sub\\deeper"}));
    dirs.clear();
    EXPECT_TRUE(impl.GetDirList(sTree, L"*", false, dirs));
    EXPECT_EQ(dirs, (std::vector<std::wstring>{sTree + L"\\sub"}));

    // A folder that is not there is an empty listing, not a failure.
    files.clear();
    EXPECT_TRUE(impl.GetFileList(P(L"nowhere"), L"*", true, files));
    EXPECT_TRUE(impl.GetFileList(L"Q:\\nowhere", L"*", true, files));
    EXPECT_TRUE(files.empty());
    EXPECT_TRUE(impl.messages.empty());
}

TEST_F(FileOps, HardLinksToExistingNamesAndTakenNames)
{
    Put(L"target.txt", "t");
    Put(L"other.txt", "o");
    EXPECT_TRUE(impl.MyCreateHardLink(P(L"link.txt"), P(L"target.txt")));
    // Asking again for a link that is there already is a success.
    EXPECT_TRUE(impl.MyCreateHardLink(P(L"link.txt"), P(L"target.txt")));
    EXPECT_TRUE(impl.messages.empty());
    // A name taken by another file is never overwritten.
    ExpectFailed(impl.MyCreateHardLink(P(L"other.txt"), P(L"target.txt")), MSG_CREATE_FILE_FAILED,
                 ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ReadFileText(P(L"other.txt")), "o");
    ExpectFailed(impl.MyCreateHardLink(P(L"x\\link.txt"), P(L"missing.txt")), MSG_CREATE_FILE_FAILED,
                 ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(Exists(P(L"x")));
    ExpectFailed(impl.MyCreateHardLink(L"", P(L"target.txt")), MSG_CREATE_FILE_FAILED, ERROR_INVALID_PARAMETER);
}

TEST_F(FileOps, OwnershipIsNeverTakenOfAFolderOrAVolumeRoot)
{
    for (const std::wstring& s : {sDir, std::wstring(L"D:\\"), std::wstring(L"D:")}) {
        SCOPED_TRACE(testing::PrintToString(s));
        OwnershipGuard guard(impl);
        ExpectFailed(impl.TakeOwnership(s, guard), MSG_CREATE_FILE_FAILED, ERROR_NOT_SUPPORTED);
    }
    Put(L"file.txt", "f");
    {
        OwnershipGuard guard(impl);
        EXPECT_TRUE(impl.TakeOwnership(P(L"file.txt"), guard));
    }
    OwnershipGuard guard(impl);
    ExpectFailed(impl.TakeOwnership(P(L"missing.txt"), guard), MSG_CREATE_FILE_FAILED, ERROR_FILE_NOT_FOUND);
}
