// Wine's stdlib.h, with quick_exit and at_quick_exit, which the standard library's <cstdlib> names,
// and atexit as each module's own function (Wine imports it from the C runtime; a module's
// destructors must run when that module ends).
#pragma once
#define atexit __wine_imported_atexit
#include_next <stdlib.h>
#undef atexit
#include <errno.h>

#ifdef __cplusplus
extern "C" {
#endif
typedef void(__cdecl* _PVFV_QUICK)(void);
int __cdecl atexit(void(__cdecl* _Function)(void));
_ACRTIMP errno_t __cdecl _dupenv_s(char** _Buffer, size_t* _BufferCount, char const* _VarName);
_ACRTIMP errno_t __cdecl _wdupenv_s(wchar_t** _Buffer, size_t* _BufferCount, wchar_t const* _VarName);
_ACRTIMP unsigned int __cdecl _set_abort_behavior(unsigned int _Flags, unsigned int _Mask);
_ACRTIMP __declspec(noreturn) void __cdecl quick_exit(int _Code);
_ACRTIMP int __cdecl _crt_at_quick_exit(_PVFV_QUICK _Function);
static __inline int __cdecl at_quick_exit(_PVFV_QUICK _Function)
{
    return _crt_at_quick_exit(_Function);
}
#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
extern "C++" {
inline long abs(long const _X) noexcept
{
    return labs(_X);
}
inline long long abs(long long const _X) noexcept
{
    return llabs(_X);
}
}
#endif
