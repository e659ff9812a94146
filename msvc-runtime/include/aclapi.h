// Wine's aclapi.h takes a non-const path in GetNamedSecurityInfoW; Windows' takes a const one.
#pragma once
#include_next <aclapi.h>

#ifdef __cplusplus
inline DWORD GetNamedSecurityInfoW(LPCWSTR pObjectName, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION info,
                                   PSID* ppOwner, PSID* ppGroup, PACL* ppDacl, PACL* ppSacl,
                                   PSECURITY_DESCRIPTOR* ppDescriptor)
{
    return GetNamedSecurityInfoW(const_cast<LPWSTR>(pObjectName), objectType, info, ppOwner, ppGroup, ppDacl, ppSacl,
                                 ppDescriptor);
}
#endif
