// The files that the system-state restores leave where recover put them, moved to their places
// in the offline Windows installation, and the boot and system files of the saved configuration
// copied onto their volumes.
#include "hostapi/message_ids.h"
#include "plugin/cvex_impl.h"
#include "restore/folders.h"
#include "restore/path_text.h"
#include "restore/win32_path.h"
#include "system/system_rules.h"
#include "trace/trace_scope.h"

namespace
{
const wchar_t kStagingFolder[] = L"\\temp\\nsr_recover";

std::wstring DriveRoot(wchar_t wcLetter)
{
    return std::wstring(1, wcLetter) + L":";
}

// Deletes everything below the folder, the folder itself kept; ERROR_SUCCESS or the first code.
DWORD EmptyFolder(const std::wstring& sFolder)
{
    WIN32_FIND_DATAW fd = {};
    velmora::unique_find hFind(FindFirstFileW(pathtext::Win32Path(pathtext::Join(sFolder, L"*")).c_str(), &fd));
    if (!hFind) {
        DWORD dwError = GetLastError();
        return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : dwError;
    }
    DWORD rc = ERROR_SUCCESS;
    do {
        if (wcscmp(fd.cFileName, L".") == 0 || wcscmp(fd.cFileName, L"..") == 0)
            continue;
        std::wstring sPath = pathtext::Win32Path(pathtext::Join(sFolder, fd.cFileName));
        DWORD rcOne = ERROR_SUCCESS;
        SetFileAttributesW(sPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            rcOne = EmptyFolder(pathtext::Join(sFolder, fd.cFileName));
        if (rcOne == ERROR_SUCCESS) {
            BOOL bOk = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(sPath.c_str())
                                                                        : DeleteFileW(sPath.c_str());
            rcOne = bOk ? ERROR_SUCCESS : GetLastError();
        }
        if (rc == ERROR_SUCCESS)
            rc = rcOne;
    } while (FindNextFileW(hFind.get(), &fd));
    return rc;
}
} // namespace

// Moves the files of a list into one folder; the first failure ends it (CrplMoveFile posts 155).
bool CVEXImpl::MoveListedFiles(const std::vector<FileListEntry>& files, const std::wstring& sDestination,
                               bool bHivesOnly)
{
    for (const FileListEntry& file : files) {
        if (bHivesOnly && file.sName.find(L'.') != std::wstring::npos)
            continue; // logs and backup copies of hives stay where they are
        if (!CrplMoveFile(pathtext::Join(file.sFolder, file.sName), pathtext::Join(sDestination, file.sName)))
            return false;
    }
    return true;
}

bool CVEXImpl::MoveRegistryFilesNSR()
{
    TraceScope scope(L"CVEXImpl::MoveRegistryFilesNSR");
    const std::wstring sFolder = DriveRoot(m_wcWinBOOT) + m_sWinDir + L"\\system32\\config";
    std::vector<FileListEntry> files;
    if (!GetFileList(sFolder, L"*", false, files))
        return scope.Fail(L"GetFileList(Repair) failed");
    for (const FileListEntry& file : files) {
        std::wstring sSource = pathtext::Join(file.sFolder, file.sName), sDestination;
        if (!systemrules::WithoutNsrSuffix(sSource, sDestination))
            continue;
        // A hive that is not in place would leave the machine booting with the old one.
        if (!CrplMoveFile(sSource, sDestination))
            return scope.Fail(L"CrplMoveFile failed");
    }
    return scope.End();
}

bool CVEXImpl::MoveRegistryFilesRepair()
{
    TraceScope scope(L"CVEXImpl::MoveRegistryFilesRepair");
    if (m_wcWinBOOT == L'-') {
        LogStdMsg(ML_ERROR, MSG_NO_BOOT_LETTER);
        return scope.Fail(L"No BOOT drive letter");
    }
    const std::wstring sBase = DriveRoot(m_wcWinBOOT) + m_sWinDir;
    std::vector<FileListEntry> files;
    if (!GetFileList(sBase + L"\\repair\\Backup\\BootableSystemState\\Registry", L"*", false, files))
        return scope.Fail(L"GetFileList(Repair) failed");
    if (!MoveListedFiles(files, sBase + L"\\System32\\config", true))
        return scope.Fail(L"CrplMoveFile failed");
    return scope.End();
}

bool CVEXImpl::MoveSystemFiles()
{
    TraceScope scope(L"CVEXImpl::MoveSystemFiles");
    const std::wstring sRoot = DriveRoot(m_wcWinBOOT) + kStagingFolder;
    std::vector<std::wstring> dirs;
    if (!GetDirList(sRoot, L"*", true, dirs))
        return scope.Fail(L"GetDirList failed");
    if (dirs.empty())
        return scope.End();
    for (const std::wstring& sDir : dirs) {
        std::wstring sDestination;
        if (!systemrules::StagedFolderDestination(sRoot, sDir, m_wcWinBOOT, sDestination))
            continue;
        std::vector<FileListEntry> files;
        if (!GetFileList(sDir, L"*", false, files))
            return scope.Fail(L"GetFileList failed");
        if (!files.empty() && !MoveListedFiles(files, sDestination, false))
            return scope.Fail(L"CrplMoveFile failed");
    }
    if (DWORD rc = EmptyFolder(sRoot)) {
        LogVarMsg(ML_ERROR, MSG_DELETE_FILE_FAILED, rc);
        return scope.Fail(L"Staging folder not emptied");
    }
    return scope.End();
}

// Copies the files below <Windows letter>:\QERNCFG\<kind> to the root of the volume they came
// from. Only files are written: no folder or volume root gets another owner or permissions.
bool CVEXImpl::CopyConfigFiles(TraceScope& scope, const wchar_t* pKind, wchar_t wcTarget)
{
    if (!SetPrivilege(SE_RESTORE_NAME, true) || !SetPrivilege(SE_SECURITY_NAME, true))
        return scope.Fail(L"SetPrivilege failed");
    const std::wstring sSource = DriveRoot(m_wcWinBOOT) + L"\\QERNCFG\\" + pKind;
    std::vector<FileListEntry> files;
    if (!IsDirectory(pathtext::Win32Path(sSource)) || !GetFileList(sSource, L"*", true, files)) {
        LogStdMsg(ML_ERROR, MSG_GET_FILE_LIST_FAILED);
        return scope.Fail(L"GetFileList failed");
    }
    const std::wstring sMarker = std::wstring(L"\\") + pKind + L"\\";
    for (const FileListEntry& file : files) {
        std::wstring sPath = pathtext::Join(file.sFolder, file.sName), sDestination;
        if (!systemrules::ConfigFileDestination(sPath, sMarker.c_str(), wcTarget, sDestination))
            continue;
        if (!CreateParentDir(sDestination) || !CopyFileWithPerms(sPath, sDestination)) {
            LogVarMsg(ML_ERROR, MSG_COPY_FILE_FAILED, 266u);
            return scope.Fail(L"CRPLImpl::CopyFileWithPerms failed");
        }
    }
    return scope.End();
}

bool CVEXImpl::CopyBOOT()
{
    TraceScope scope(L"CVEXImpl::CopyBOOT");
    if (m_wcWinBOOT == L'-') {
        LogStdMsg(ML_ERROR, MSG_NO_BOOT_LETTER);
        return scope.Fail(L"No BOOT drive letter");
    }
    if (!CopyConfigFiles(scope, L"BOOT", m_wcWinBOOT))
        return false;
    LogStdMsg(ML_INFORMATION, MSG_BOOT_FILES_COPIED);
    return true;
}

bool CVEXImpl::CopySYSTEM()
{
    TraceScope scope(L"CVEXImpl::CopySYSTEM");
    if (!m_bCopySYSTEM || m_wcWinSYSTEM == L'-' || m_wcWinBOOT == L'-') {
        LogStdMsg(ML_ERROR, MSG_NO_SYSTEM_LETTER);
        return scope.Fail(L"No SYSTEM drive letter");
    }
    if (!CopyConfigFiles(scope, L"SYSTEM", m_wcWinSYSTEM))
        return false;
    LogStdMsg(ML_INFORMATION, MSG_SYSTEM_FILES_COPIED);
    return true;
}
