// A copy that gives the destination the source's owner, group and DACL, as the restored
// system expects of its own files. A newer destination is left exactly as it is.
#include "hostapi/message_ids.h"
#include "restore/file_op_failure.h"
#include "restore/file_security.h"
#include "restore/folders.h"
#include "restore/win32_path.h"
#include "trace/trace.h"

namespace
{

const wchar_t kFn[] = L"CRPLImpl::CopyFileWithPerms";
const SECURITY_INFORMATION kFileSecurity =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

DWORD ReadFileSecurity(const std::wstring& sPath, CRPLImpl::SecurityThunk& sec)
{
    velmora::unique_file h(CreateFileW(sPath.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h)
        return GetLastError();
    DWORD rc = GetSecurityInfo(h.get(), SE_FILE_OBJECT, kFileSecurity, &sec.pOwner, &sec.pGroup, &sec.pDacl, nullptr,
                               sec.descriptor.put());
    DWORD dwRevision = 0;
    if (rc == ERROR_SUCCESS && !GetSecurityDescriptorControl(sec.descriptor.get(), &sec.control, &dwRevision))
        rc = GetLastError();
    return rc;
}

DWORD WriteFileSecurity(CRPLImpl& impl, const std::wstring& sPath, const CRPLImpl::SecurityThunk& sec)
{
    velmora::unique_file h(CreateFileW(sPath.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h)
        return GetLastError();
    SECURITY_INFORMATION si =
        kFileSecurity | ((sec.control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                                           : UNPROTECTED_DACL_SECURITY_INFORMATION);
    // Another account may be made owner only with the restore privilege.
    bool bEnabled = impl.SetPrivilege(SE_RESTORE_NAME, true);
    DWORD rc = SetSecurityInfo(h.get(), SE_FILE_OBJECT, si, sec.pOwner, sec.pGroup, sec.pDacl, nullptr);
    if (bEnabled)
        impl.SetPrivilege(SE_RESTORE_NAME, false);
    return rc;
}

// ERROR_SUCCESS with bNewer set when the destination was written later than the source.
DWORD CompareWriteTimes(const std::wstring& sSrc, const std::wstring& sDst, bool& bNewer)
{
    WIN32_FILE_ATTRIBUTE_DATA src = {}, dst = {};
    if (!GetFileAttributesExW(sSrc.c_str(), GetFileExInfoStandard, &src) ||
        !GetFileAttributesExW(sDst.c_str(), GetFileExInfoStandard, &dst))
        return GetLastError();
    bNewer = CompareFileTime(&dst.ftLastWriteTime, &src.ftLastWriteTime) > 0;
    return ERROR_SUCCESS;
}

// The copy; a destination that refuses it is taken over for the copy only.
DWORD CopyOver(const std::wstring& sSrc, const std::wstring& sDst, OwnershipGuard& guard)
{
    if (CopyFileW(sSrc.c_str(), sDst.c_str(), FALSE))
        return ERROR_SUCCESS;
    DWORD dwError = GetLastError();
    if (dwError != ERROR_ACCESS_DENIED || GetFileAttributesW(sDst.c_str()) == INVALID_FILE_ATTRIBUTES)
        return dwError;
    CrplTrace().Line(TL_INFO, kFn, L"Destination refused the copy - taking ownership");
    if (DWORD rc = guard.Take(sDst))
        return rc;
    if (CopyFileW(sSrc.c_str(), sDst.c_str(), FALSE))
        return ERROR_SUCCESS;
    return GetLastError();
}

} // namespace

bool CRPLImpl::CopyFileWithPerms(const std::wstring& sSource, const std::wstring& sDestination)
{
    CrplTrace().Start(kFn);
    CrplTrace().Str(TL_VERBOSE, kFn, L"sSource", sSource);
    CrplTrace().Str(TL_VERBOSE, kFn, L"sDestination", sDestination);
    std::wstring sSrc = pathtext::Win32Path(sSource), sDst = pathtext::Win32Path(sDestination);
    DWORD dwSrcAttributes = sSrc.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(sSrc.c_str());
    DWORD dwError = sSrc.empty() ? ERROR_FILE_NOT_FOUND : GetLastError();
    if (dwSrcAttributes == INVALID_FILE_ATTRIBUTES || (dwSrcAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return FileOpFailed(*this, kFn, L"Invalid src file", MSG_COPY_FILE_FAILED,
                            dwSrcAttributes == INVALID_FILE_ATTRIBUTES ? dwError : ERROR_FILE_NOT_FOUND);
    if (sDst.empty())
        return FileOpFailed(*this, kFn, L"Invalid dst file", MSG_COPY_FILE_FAILED, ERROR_INVALID_PARAMETER);
    SecurityThunk source;
    if (DWORD rc = ReadFileSecurity(sSrc, source))
        return FileOpFailed(*this, kFn, L"GetSecurityInfo failed", MSG_COPY_FILE_FAILED, rc);
    if (DWORD rc = MakeParentFolders(sDst))
        return FileOpFailed(*this, kFn, L"CreateParentDir failed", MSG_COPY_FILE_FAILED, rc);

    DWORD dwDstAttributes = GetFileAttributesW(sDst.c_str());
    if (dwDstAttributes != INVALID_FILE_ATTRIBUTES) {
        bool bNewer = false;
        if (DWORD rc = CompareWriteTimes(sSrc, sDst, bNewer))
            return FileOpFailed(*this, kFn, L"GetFileAttributesEx failed", MSG_COPY_FILE_FAILED, rc);
        if (bNewer) {
            CrplTrace().Line(TL_INFO, kFn, L"Destination file is newer than source ... skipping");
            CrplTrace().End(kFn);
            return true;
        }
        if (!SetFileAttributesW(sDst.c_str(), FILE_ATTRIBUTE_NORMAL)) {
            dwError = GetLastError();
            return FileOpFailed(*this, kFn, L"SetFileAttributes(destination) failed", MSG_COPY_FILE_FAILED, dwError);
        }
    }
    // A failed copy leaves an existing destination with the attributes it had.
    velmora::scope_exit putBack([&] {
        if (dwDstAttributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesW(sDst.c_str(), dwDstAttributes);
    });
    OwnershipGuard guard(*this);
    if (DWORD rc = CopyOver(sSrc, sDst, guard))
        return FileOpFailed(*this, kFn, L"CopyFile failed", MSG_COPY_FILE_FAILED, rc);
    if (DWORD rc = WriteFileSecurity(*this, sDst, source))
        return FileOpFailed(*this, kFn, L"SetSecurityInfo failed", MSG_COPY_FILE_FAILED, rc);
    guard.Keep(); // the destination now carries the source's own security
    putBack.release();
    if (!SetFileAttributesW(sDst.c_str(), dwSrcAttributes)) {
        dwError = GetLastError();
        return FileOpFailed(*this, kFn, L"SetFileAttributes failed", MSG_COPY_FILE_FAILED, dwError);
    }
    CrplTrace().End(kFn);
    return true;
}
