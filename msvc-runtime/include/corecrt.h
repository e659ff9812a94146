// Wine's corecrt.h, with the runtime's 8-byte multibyte conversion state that the standard
// library's stream positions and conversions carry.
#pragma once
#include_next <corecrt.h>

#ifndef _MBSTATET_DEFINED
#define _MBSTATET_DEFINED
typedef struct _Mbstatet {
    unsigned long _Wchar;
    unsigned short _Byte, _State;
} _Mbstatet;
#endif

#ifdef __cplusplus
extern "C" {
#endif
_ACRTIMP __declspec(noreturn) void __cdecl _invoke_watson(wchar_t const*, wchar_t const*, wchar_t const*, unsigned int,
                                                          uintptr_t);
#ifdef __cplusplus
}
#endif
