// Wine's stdio.h, with the scanf variants taking a va_list that the standard library expects.
#pragma once
#include_next <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif
_ACRTIMP errno_t __cdecl _get_stream_buffer_pointers(FILE* _Stream, char*** _Base, char*** _Pointer, int** _Count);
static __inline int __cdecl vfscanf(FILE* _Stream, char const* _Format, va_list _Args)
{
    return __stdio_common_vfscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, _Stream, _Format, NULL, _Args);
}
static __inline int __cdecl vscanf(char const* _Format, va_list _Args)
{
    return vfscanf(stdin, _Format, _Args);
}
static __inline int __cdecl vsscanf(char const* _Buffer, char const* _Format, va_list _Args)
{
    return __stdio_common_vsscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, _Buffer, (size_t)-1, _Format, NULL, _Args);
}
#ifdef __cplusplus
}
#endif
