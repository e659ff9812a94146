// The staging folder of the saved configuration: emptied before a fetch, copied into the host's
// configuration folder after it.
#include "catalogue/saved_config.h"
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "restore/file_copy.h"
#include "trace/trace.h"

namespace
{

const DWORD kGroupCopyConfig = 0x800000;

// Deletes one file; a file that is not there is as good as deleted.
bool DeleteIfThere(const wchar_t* pFn, const std::wstring& sPath)
{
    if (DeleteFileW(sPath.c_str()))
        return true;
    DWORD dwError = GetLastError();
    if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
        return true;
    CvexTrace().ApiFailure(pFn, L"DeleteFile", dwError);
    CvexTrace().Str(TL_ERROR, pFn, L"sPath", sPath);
    return false;
}

} // namespace

// Nothing of an earlier fetch (another backup, another point in time) may pass for this one's:
// the staging folder is emptied, and the items are removed from the configuration folder.
bool CVEXImpl::PrepareConfigFolders(const std::wstring& sStaging)
{
    const wchar_t* fn = L"CVEXImpl::PrepareConfigFolders";
    CvexTrace().Start(fn);
    if (!CreateDirectoryW(sStaging.c_str(), nullptr)) {
        DWORD dwError = GetLastError();
        if (dwError != ERROR_ALREADY_EXISTS) {
            CvexTrace().ApiFailure(fn, L"CreateDirectory", dwError);
            CvexTrace().EndFail(fn, L"Cannot create the staging folder");
            return false;
        }
    }
    std::vector<FileListEntry> files;
    if (!GetFileList(sStaging, L"*", false, files)) {
        CvexTrace().EndFail(fn, L"GetFileList failed");
        return false;
    }
    for (const FileListEntry& f : files) {
        if (!DeleteIfThere(fn, f.sFolder + L"\\" + f.sName)) {
            CvexTrace().EndFail(fn, L"Cannot empty the staging folder");
            return false;
        }
    }
    for (const wchar_t* pItem : catalogue::kConfigItems) {
        if (!DeleteIfThere(fn, m_sConfigDir + L"\\" + pItem)) {
            CvexTrace().EndFail(fn, L"Cannot remove an earlier configuration");
            return false;
        }
    }
    CvexTrace().End(fn);
    return true;
}

bool CVEXImpl::CopyConfig()
{
    const wchar_t* fn = L"CVEXImpl::CopyConfig";
    CvexTrace().Start(fn);
    SetLastErrorMsg(L"");
    const std::wstring sSource = catalogue::StagingFolder(m_sConfigDir);
    std::vector<FileListEntry> files;
    if (!GetFileList(sSource, L"*", false, files)) {
        LogStdMsg(ML_ERROR, MSG_CONFIG_FILE_LIST_FAILED);
        CvexTrace().EndFail(fn, L"GetFileList failed");
        return false;
    }
    const bool bTrace = CvexTrace().TraceOutput(kGroupCopyConfig);
    for (const FileListEntry& f : files) {
        const std::wstring sFrom = f.sFolder + L"\\" + f.sName;
        if (bTrace)
            CvexTrace().Str(TL_INFO, fn, L"sFrom", sFrom);
        DWORD dwError = CopyFileNoMessage(sFrom, m_sConfigDir + L"\\" + f.sName);
        if (dwError == ERROR_ACCESS_DENIED) {
            CvexTrace().Str(TL_WARNING, fn, L"Access denied, not copied", sFrom);
        } else if (dwError != ERROR_SUCCESS) {
            LogVarMsg(ML_ERROR, MSG_COPY_FILE_FAILED, dwError);
            CvexTrace().EndFail(fn, L"CopyFile failed");
            return false;
        }
    }
    LogStdMsg(ML_INFORMATION, MSG_CONFIG_FILES_COPIED);
    CvexTrace().End(fn);
    return true;
}
