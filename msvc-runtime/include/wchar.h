// Wine's wchar.h, with the runtime's 8-byte conversion state (Wine has an int) and the inline
// functions the standard library expects from the runtime's header.
#pragma once
#include <corecrt.h>

#define mbstate_t __wine_int_mbstate_t
#include_next <wchar.h>
#undef mbstate_t
typedef _Mbstatet mbstate_t;

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif
static __inline int __cdecl fwide(FILE* _Stream, int _Mode)
{
    (void)_Stream;
    return _Mode;
}
static __inline int __cdecl mbsinit(mbstate_t const* _State)
{
    return _State == NULL || _State->_Wchar == 0;
}
static __inline int __cdecl vfwscanf(FILE* _Stream, wchar_t const* _Format, va_list _Args)
{
    return __stdio_common_vfwscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, _Stream, _Format, NULL, _Args);
}
static __inline int __cdecl vwscanf(wchar_t const* _Format, va_list _Args)
{
    return vfwscanf(stdin, _Format, _Args);
}
static __inline int __cdecl vswscanf(wchar_t const* _Buffer, wchar_t const* _Format, va_list _Args)
{
    return __stdio_common_vswscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, _Buffer, (size_t)-1, _Format, NULL, _Args);
}
static __inline long double __cdecl wcstold(wchar_t const* _String, wchar_t** _End)
{
    return wcstod(_String, _End);
}
#ifdef __cplusplus
}
#endif
