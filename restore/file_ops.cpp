// Copy, move, hard link, parent folders and the destination check of the restores. Every path
// goes to Win32 in its full "\\?\" form, so that paths beyond MAX_PATH work.
#include "hostapi/message_ids.h"
#include "plugin/crpl_impl.h"
#include "restore/file_copy.h"
#include "restore/file_op_failure.h"
#include "restore/file_security.h"
#include "restore/folders.h"
#include "restore/path_text.h"
#include "restore/win32_path.h"
#include "trace/trace.h"

namespace
{

void TracePaths(const wchar_t* pFn, const std::wstring& sFrom, const std::wstring& sTo)
{
    CrplTrace().Start(pFn);
    CrplTrace().Str(TL_VERBOSE, pFn, L"sSource", sFrom);
    CrplTrace().Str(TL_VERBOSE, pFn, L"sDestination", sTo);
}

bool VolumeSerial(const std::wstring& sPath, DWORD& dwSerial)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    velmora::unique_file h(CreateFileW(sPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h || !GetFileInformationByHandle(h.get(), &info))
        return false;
    dwSerial = info.dwVolumeSerialNumber;
    return true;
}

// A folder through which another volume is reached: opened, it lies on a volume other than its
// parent's. A plain folder of the parent volume is no place for the mounted volume's files.
bool LeadsToAnotherVolume(const std::wstring& sFolder)
{
    std::wstring sParent;
    DWORD dwFolder = 0, dwParent = 0;
    if (!pathtext::ParentFolder(sFolder, sParent))
        return false;
    return VolumeSerial(pathtext::Win32Path(sFolder), dwFolder) &&
           VolumeSerial(pathtext::Win32Path(sParent), dwParent) && dwFolder != dwParent;
}

bool SameFile(const std::wstring& sA, const std::wstring& sB)
{
    BY_HANDLE_FILE_INFORMATION a = {}, b = {};
    for (auto [pPath, pInfo] : {std::pair{&sA, &a}, std::pair{&sB, &b}}) {
        velmora::unique_file h(CreateFileW(pPath->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!h || !GetFileInformationByHandle(h.get(), pInfo))
            return false;
    }
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// One attempt; a name that is already a link to the target counts as made.
DWORD CreateLink(const std::wstring& sLink, const std::wstring& sTarget)
{
    if (CreateHardLinkW(sLink.c_str(), sTarget.c_str(), nullptr))
        return ERROR_SUCCESS;
    DWORD dwError = GetLastError();
    if (dwError == ERROR_ALREADY_EXISTS && SameFile(sLink, sTarget))
        return ERROR_SUCCESS;
    return dwError;
}

} // namespace

DWORD CopyFileNoMessage(const std::wstring& sSource, const std::wstring& sDestination)
{
    std::wstring sSrc = pathtext::Win32Path(sSource), sDst = pathtext::Win32Path(sDestination);
    if (GetFileAttributesW(sSrc.c_str()) == INVALID_FILE_ATTRIBUTES)
        return GetLastError();
    if (DWORD rc = MakeParentFolders(sDst))
        return rc;
    if (CopyFileW(sSrc.c_str(), sDst.c_str(), FALSE))
        return ERROR_SUCCESS;
    DWORD dwError = GetLastError();
    if (dwError != ERROR_ACCESS_DENIED)
        return dwError;
    // A read-only destination: clear its attributes and try once more.
    if (SetFileAttributesW(sDst.c_str(), FILE_ATTRIBUTE_NORMAL) && CopyFileW(sSrc.c_str(), sDst.c_str(), FALSE))
        return ERROR_SUCCESS;
    return GetLastError();
}

bool CRPLImpl::CrplCopyFile(const std::wstring& sSource, const std::wstring& sDestination)
{
    const wchar_t* fn = L"CRPLImpl::CrplCopyFile";
    TracePaths(fn, sSource, sDestination);
    if (DWORD rc = CopyFileNoMessage(sSource, sDestination))
        return FileOpFailed(*this, fn, L"CopyFile failed", MSG_COPY_FILE_FAILED, rc);
    CrplTrace().End(fn);
    return true;
}

bool CRPLImpl::CrplMoveFile(const std::wstring& sSource, const std::wstring& sDestination)
{
    const wchar_t* fn = L"CRPLImpl::CrplMoveFile";
    TracePaths(fn, sSource, sDestination);
    std::wstring sSrc = pathtext::Win32Path(sSource), sDst = pathtext::Win32Path(sDestination);
    if (GetFileAttributesW(sSrc.c_str()) == INVALID_FILE_ATTRIBUTES) {
        DWORD dwError = GetLastError();
        return FileOpFailed(*this, fn, L"GetFileAttributes(source) failed", MSG_MOVE_FILE_FAILED, dwError);
    }
    if (DWORD rc = MakeParentFolders(sDst))
        return FileOpFailed(*this, fn, L"CreateParentDir failed", MSG_MOVE_FILE_FAILED, rc);
    if (!MoveFileExW(sSrc.c_str(), sDst.c_str(), MOVEFILE_COPY_ALLOWED)) {
        DWORD dwError = GetLastError();
        if (dwError != ERROR_ALREADY_EXISTS && dwError != ERROR_FILE_EXISTS)
            return FileOpFailed(*this, fn, L"MoveFile failed", MSG_MOVE_FILE_FAILED, dwError);
        // Replaced in one step, so that the old file is gone only once the new one is in place.
        if (!SetFileAttributesW(sDst.c_str(), FILE_ATTRIBUTE_NORMAL) ||
            !MoveFileExW(sSrc.c_str(), sDst.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING)) {
            dwError = GetLastError();
            return FileOpFailed(*this, fn, L"MoveFile failed", MSG_MOVE_FILE_FAILED, dwError);
        }
    }
    CrplTrace().End(fn);
    return true;
}

bool CRPLImpl::CreateParentDir(const std::wstring& sPath)
{
    const wchar_t* fn = L"CRPLImpl::CreateParentDir";
    CrplTrace().Start(fn);
    CrplTrace().Str(TL_VERBOSE, fn, L"sPath", sPath);
    if (sPath.empty())
        return FileOpFailed(*this, fn, L"Invalid path", MSG_CREATE_FILE_FAILED, ERROR_INVALID_PARAMETER);
    if (DWORD rc = MakeParentFolders(pathtext::Win32Path(sPath)))
        return FileOpFailed(*this, fn, L"CreateDirectory failed", MSG_CREATE_FILE_FAILED, rc);
    CrplTrace().End(fn);
    return true;
}

bool CRPLImpl::MyCreateHardLink(const std::wstring& sLink, const std::wstring& sTarget)
{
    const wchar_t* fn = L"CRPLImpl::MyCreateHardLink";
    TracePaths(fn, sTarget, sLink);
    if (sLink.empty())
        return FileOpFailed(*this, fn, L"Invalid parameter - Link", MSG_CREATE_FILE_FAILED, ERROR_INVALID_PARAMETER);
    if (sTarget.empty())
        return FileOpFailed(*this, fn, L"Invalid parameter - Target", MSG_CREATE_FILE_FAILED, ERROR_INVALID_PARAMETER);
    std::wstring sLnk = pathtext::Win32Path(sLink), sTgt = pathtext::Win32Path(sTarget);
    DWORD rc = CreateLink(sLnk, sTgt);
    if ((rc == ERROR_PATH_NOT_FOUND || rc == ERROR_FILE_NOT_FOUND) &&
        GetFileAttributesW(sTgt.c_str()) != INVALID_FILE_ATTRIBUTES) {
        rc = MakeParentFolders(sLnk);
        if (rc == ERROR_SUCCESS)
            rc = CreateLink(sLnk, sTgt);
    }
    if (rc == ERROR_ACCESS_DENIED) {
        // Opened up for the link only: the guard puts the target's owner and DACL back.
        OwnershipGuard guard(*this);
        rc = guard.Take(sTgt);
        if (rc == ERROR_SUCCESS)
            rc = CreateLink(sLnk, sTgt);
    }
    if (rc != ERROR_SUCCESS)
        return FileOpFailed(*this, fn, L"CreateHardLink failed", MSG_CREATE_FILE_FAILED, rc);
    CrplTrace().End(fn);
    return true;
}

bool CRPLImpl::CheckDestExists(const std::wstring& sDestination, bool bMountedFolder)
{
    const wchar_t* fn = L"CRPLImpl::CheckDestExists";
    CrplTrace().Start(fn);
    CrplTrace().Str(TL_VERBOSE, fn, L"sDestination", sDestination);
    std::wstring sRoot = pathtext::Join(sDestination, L"");
    DWORD dwFlags = 0;
    if (sDestination.empty() ||
        !GetVolumeInformationW(sRoot.c_str(), nullptr, 0, nullptr, nullptr, &dwFlags, nullptr, 0)) {
        DWORD dwError = sDestination.empty() ? ERROR_INVALID_PARAMETER : GetLastError();
        // A folder that is no volume root: the mounted volume is there only when the folder leads
        // to a volume of its own (a link to another volume's root, as Wine shows a mount).
        // Otherwise its files would land on the parent volume, which is not where they belong.
        if (bMountedFolder && dwError == ERROR_DIR_NOT_ROOT && IsDirectory(pathtext::Win32Path(sDestination))) {
            if (LeadsToAnotherVolume(sDestination)) {
                CrplTrace().Line(TL_INFO, fn, L"Mounted folder leads to a volume of its own");
                CrplTrace().End(fn);
                return true;
            }
            CrplTrace().Line(TL_WARNING, fn, L"Mounted folder is not a volume root - its volume is absent");
        }
        CrplTrace().ApiFailure(fn, L"GetVolumeInformation failed", dwError);
        CrplTrace().EndFail(fn, L"Destination missing", TL_WARNING);
        return false;
    }
    if (!bMountedFolder) {
        if (GetDriveTypeW(sRoot.c_str()) != DRIVE_FIXED)
            CrplTrace().Line(TL_INFO, fn, L"Filesystem is not a fixed drive");
        else if (dwFlags & FILE_READ_ONLY_VOLUME)
            CrplTrace().Line(TL_WARNING, fn, L"Filesystem is read-only");
    }
    CrplTrace().End(fn);
    return true;
}
