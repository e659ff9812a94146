// Security objects of the file operations, and ownership taken for the time of one change.
#pragma once
#include "plugin/crpl_impl.h"
#include "support/handle.h"
#include "support/noncopyable.h"

#include <aclapi.h>
#include <string>

namespace velmora
{
struct sid_traits {
    using type = PSID;
    static type invalid() noexcept { return nullptr; }
    static void close(type p) noexcept { ::FreeSid(p); }
};
struct local_traits {
    using type = HLOCAL;
    static type invalid() noexcept { return nullptr; }
    static void close(type p) noexcept { ::LocalFree(p); }
};
// SIDs from AllocateAndInitializeSid.
using unique_sid = unique_handle<sid_traits>;
// Memory the security functions allocate for the caller (descriptors, DACLs).
using unique_local = unique_handle<local_traits>;
} // namespace velmora

// What one operation built or read. It frees only what was allocated for it: the owner, group
// and DACL read from an object point into that object's descriptor and go with it.
struct CRPLImpl::SecurityThunk {
    PSID pOwner = nullptr; // inside descriptor
    PSID pGroup = nullptr; // inside descriptor
    PACL pDacl = nullptr;  // inside descriptor
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    velmora::unique_sid admins;
    velmora::unique_sid everyone;
    velmora::unique_local newDacl;
    velmora::unique_local descriptor;

    // "BUILTIN\Administrators" and "Everyone"; ERROR_SUCCESS or the Win32 code.
    DWORD BuildSids();
    // Everyone may read, the administrators may do everything; no inheritance.
    DWORD BuildOpenDacl();
};

// Ownership of one file taken by the administrators with an open DACL, for the time of one
// change. When it ends it puts back the owner and the DACL it replaced, unless Keep() says that
// the file has been given security of its own since. Never used on a folder or a volume root.
class OwnershipGuard : velmora::noncopyable
{
public:
    explicit OwnershipGuard(CRPLImpl& impl) : m_impl(impl) {}
    ~OwnershipGuard() { Restore(); }
    // ERROR_SUCCESS or the Win32 code of the step that failed (what was changed is put back).
    DWORD Take(const std::wstring& sWin32Path);
    void Keep() { m_bOwnerChanged = m_bDaclChanged = false; }
    void Restore();

private:
    DWORD SetOwner(PSID pOwner, const wchar_t* pPrivilege);

    CRPLImpl& m_impl;
    std::wstring m_sPath;
    CRPLImpl::SecurityThunk m_old;
    CRPLImpl::SecurityThunk m_new;
    bool m_bOwnerChanged = false;
    bool m_bDaclChanged = false;
};
