// Directory listings. Walks never enter a reparse point (junction, directory symbolic link,
// mount point): a link back to an ancestor would otherwise be walked without end.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "restore/path_text.h"
#include "restore/win32_path.h"
#include "support/handle.h"
#include "trace/trace.h"

namespace
{

struct ListWalk {
    ListWalk(const std::wstring& sWanted, bool bSubfolders)
        : sPattern(sWanted.empty() ? L"*" : sWanted), bRecurse(bSubfolders)
    {
    }
    size_t Found() const { return pFiles ? pFiles->size() : pDirs ? pDirs->size() : 0; }

    const wchar_t* pFn = L"";
    std::wstring sPattern;
    bool bRecurse = false;
    std::vector<FileListEntry>* pFiles = nullptr; // set for the file listing
    std::vector<std::wstring>* pDirs = nullptr;   // set for the directory listing
    DWORD dwError = ERROR_SUCCESS;                // the failure that ended the walk
    std::wstring sFailedFolder;
};

bool IsDotEntry(const wchar_t* pName)
{
    return wcscmp(pName, L".") == 0 || wcscmp(pName, L"..") == 0;
}

bool WalkFolder(ListWalk& walk, const std::wstring& sBase);

bool TakeEntry(ListWalk& walk, const std::wstring& sBase, const WIN32_FIND_DATAW& fd)
{
    if (IsDotEntry(fd.cFileName))
        return true;
    bool bMatch = pathtext::MatchesPattern(fd.cFileName, walk.sPattern);
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (walk.pFiles && bMatch)
            walk.pFiles->push_back({sBase, fd.cFileName, false});
        return true;
    }
    std::wstring sPath = pathtext::Join(sBase, fd.cFileName);
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        CvexTrace().Str(TL_INFO, walk.pFn, L"Reparse point not followed", sPath);
        return true;
    }
    if (walk.pDirs && bMatch)
        walk.pDirs->push_back(sPath);
    return !walk.bRecurse || WalkFolder(walk, sPath);
}

bool WalkFolder(ListWalk& walk, const std::wstring& sBase)
{
    WIN32_FIND_DATAW fd = {};
    velmora::unique_find hFind(FindFirstFileW(pathtext::Win32Path(pathtext::Join(sBase, L"*")).c_str(), &fd));
    DWORD dwError = GetLastError();
    if (!hFind) {
        if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
            return true; // nothing there: an empty listing, not a failure
        walk.dwError = dwError;
        walk.sFailedFolder = sBase;
        return false;
    }
    do {
        if (!TakeEntry(walk, sBase, fd))
            return false;
    } while (FindNextFileW(hFind.get(), &fd));
    dwError = GetLastError();
    if (dwError != ERROR_NO_MORE_FILES) {
        walk.dwError = dwError;
        walk.sFailedFolder = sBase;
        return false;
    }
    return true;
}

// Runs a walk from the base folder; a failure posts message 132 with its code, and 139 as well
// when it happened in a subfolder.
bool RunListing(CRPLImpl& impl, const wchar_t* pFn, const wchar_t* pNothingFound, const std::wstring& sBase,
                ListWalk& walk)
{
    CvexTrace().Start(pFn);
    walk.pFn = pFn;
    impl.SetLastErrorMsg(L"");
    CvexTrace().Str(TL_VERBOSE, pFn, L"sBase", sBase);
    CvexTrace().Str(TL_VERBOSE, pFn, L"sPattern", walk.sPattern);
    size_t nBefore = walk.Found();
    if (WalkFolder(walk, sBase)) {
        if (walk.Found() == nBefore)
            CvexTrace().Line(TL_INFO, pFn, pNothingFound);
        CvexTrace().End(pFn);
        return true;
    }
    CvexTrace().Str(TL_ERROR, pFn, L"sFailedFolder", walk.sFailedFolder);
    CvexTrace().ApiFailure(pFn, L"FindFirstFile failed", walk.dwError);
    impl.LogVarMsg(ML_ERROR, MSG_FIND_FIRST_FILE_FAILED, static_cast<unsigned>(walk.dwError));
    if (walk.sFailedFolder != sBase)
        impl.LogStdMsg(ML_ERROR, MSG_GET_FILE_LIST_FAILED);
    CvexTrace().EndFail(pFn, L"FindFirstFile failed");
    SetLastError(walk.dwError);
    return false;
}

} // namespace

bool CVEXImpl::GetFileList(const std::wstring& sBase, const std::wstring& sPattern, bool bSubfolders,
                           std::vector<FileListEntry>& files)
{
    ListWalk walk(sPattern, bSubfolders);
    walk.pFiles = &files;
    return RunListing(*this, L"CVEXImpl::GetFileList", L"No files found", sBase, walk);
}

bool CVEXImpl::GetDirList(const std::wstring& sBase, const std::wstring& sPattern, bool bSubfolders,
                          std::vector<std::wstring>& dirs)
{
    ListWalk walk(sPattern, bSubfolders);
    walk.pDirs = &dirs;
    return RunListing(*this, L"CVEXImpl::GetDirList", L"No directories found", sBase, walk);
}
