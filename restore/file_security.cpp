#include "restore/file_security.h"

#include "hostapi/message_ids.h"
#include "restore/file_op_failure.h"
#include "restore/win32_path.h"
#include "trace/trace.h"

namespace
{

const wchar_t kTakeFn[] = L"CRPLImpl::TakeOwnership";

EXPLICIT_ACCESSW AllowGroup(PSID pSid, DWORD dwAccess, TRUSTEE_TYPE type)
{
    EXPLICIT_ACCESSW ea = {};
    ea.grfAccessPermissions = dwAccess;
    ea.grfAccessMode = SET_ACCESS;
    ea.grfInheritance = NO_INHERITANCE;
    ea.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    ea.Trustee.TrusteeType = type;
    ea.Trustee.ptstrName = static_cast<LPWSTR>(pSid);
    return ea;
}

} // namespace

DWORD CRPLImpl::SecurityThunk::BuildSids()
{
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.put()))
        return GetLastError();
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  admins.put()))
        return GetLastError();
    return ERROR_SUCCESS;
}

DWORD CRPLImpl::SecurityThunk::BuildOpenDacl()
{
    EXPLICIT_ACCESSW entries[2] = {AllowGroup(everyone.get(), GENERIC_READ, TRUSTEE_IS_WELL_KNOWN_GROUP),
                                   AllowGroup(admins.get(), GENERIC_ALL, TRUSTEE_IS_GROUP)};
    PACL pAcl = nullptr;
    DWORD rc = SetEntriesInAclW(2, entries, nullptr, &pAcl);
    newDacl.reset(pAcl);
    return rc;
}

DWORD OwnershipGuard::SetOwner(PSID pOwner, const wchar_t* pPrivilege)
{
    bool bEnabled = m_impl.SetPrivilege(pPrivilege, true);
    DWORD rc = SetNamedSecurityInfoW(const_cast<LPWSTR>(m_sPath.c_str()), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                     pOwner, nullptr, nullptr, nullptr);
    if (bEnabled)
        m_impl.SetPrivilege(pPrivilege, false);
    return rc;
}

DWORD OwnershipGuard::Take(const std::wstring& sWin32Path)
{
    Restore();
    DWORD dwAttributes = GetFileAttributesW(sWin32Path.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError();
    if (dwAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return ERROR_NOT_SUPPORTED; // a folder's or a volume root's permissions are never changed
    m_sPath = sWin32Path;
    m_old = CRPLImpl::SecurityThunk();
    DWORD rc =
        GetNamedSecurityInfoW(m_sPath.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &m_old.pOwner, nullptr, &m_old.pDacl, nullptr, m_old.descriptor.put());
    DWORD dwRevision = 0;
    if (rc == ERROR_SUCCESS && !GetSecurityDescriptorControl(m_old.descriptor.get(), &m_old.control, &dwRevision))
        rc = GetLastError();
    if (rc == ERROR_SUCCESS)
        rc = m_new.BuildSids();
    if (rc == ERROR_SUCCESS)
        rc = m_new.BuildOpenDacl();
    if (rc == ERROR_SUCCESS)
        rc = SetOwner(m_new.admins.get(), SE_TAKE_OWNERSHIP_NAME);
    if (rc != ERROR_SUCCESS)
        return rc;
    m_bOwnerChanged = true;
    rc = SetNamedSecurityInfoW(const_cast<LPWSTR>(m_sPath.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                               nullptr, static_cast<PACL>(m_new.newDacl.get()), nullptr);
    if (rc != ERROR_SUCCESS) {
        Restore();
        return rc;
    }
    m_bDaclChanged = true;
    return ERROR_SUCCESS;
}

void OwnershipGuard::Restore()
{
    if (m_bDaclChanged) {
        SECURITY_INFORMATION si =
            DACL_SECURITY_INFORMATION | ((m_old.control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                             : UNPROTECTED_DACL_SECURITY_INFORMATION);
        DWORD rc = SetNamedSecurityInfoW(const_cast<LPWSTR>(m_sPath.c_str()), SE_FILE_OBJECT, si, nullptr, nullptr,
                                         m_old.pDacl, nullptr);
        if (rc != ERROR_SUCCESS)
            CrplTrace().ApiFailure(kTakeFn, L"SetNamedSecurityInfo(old DACL)", rc);
    }
    if (m_bOwnerChanged) {
        // Another account may be put back as owner only with the restore privilege.
        DWORD rc = SetOwner(m_old.pOwner, SE_RESTORE_NAME);
        if (rc != ERROR_SUCCESS)
            CrplTrace().ApiFailure(kTakeFn, L"SetNamedSecurityInfo(old owner)", rc);
    }
    m_bOwnerChanged = m_bDaclChanged = false;
}

bool CRPLImpl::TakeOwnership(const std::wstring& sPath, OwnershipGuard& guard)
{
    CrplTrace().Start(kTakeFn);
    CrplTrace().Str(TL_VERBOSE, kTakeFn, L"sPath", sPath);
    if (sPath.empty())
        return FileOpFailed(*this, kTakeFn, L"Invalid path", MSG_CREATE_FILE_FAILED, ERROR_INVALID_PARAMETER);
    DWORD rc = guard.Take(pathtext::Win32Path(sPath));
    if (rc != ERROR_SUCCESS)
        return FileOpFailed(*this, kTakeFn, L"Taking ownership failed", MSG_CREATE_FILE_FAILED, rc);
    CrplTrace().End(kTakeFn);
    return true;
}
