// Wine's time.h, with timespec and timespec_get, which the standard library's <ctime> names.
#pragma once
#include_next <time.h>

#ifdef __cplusplus
extern "C" {
#endif
#ifndef _CRT_TIMESPEC_DEFINED
#define _CRT_TIMESPEC_DEFINED
struct _timespec64 {
    __time64_t tv_sec;
    long tv_nsec;
};
struct timespec {
    time_t tv_sec;
    long tv_nsec;
};
#endif
#ifndef TIME_UTC
#define TIME_UTC 1
#endif
_ACRTIMP int __cdecl _timespec64_get(struct _timespec64* _Ts, int _Base);
static __inline int __cdecl timespec_get(struct timespec* const _Ts, int const _Base)
{
    return _timespec64_get((struct _timespec64*)_Ts, _Base);
}
static __inline errno_t __cdecl localtime_s(struct tm* const _Tm, time_t const* const _Time)
{
    return _localtime64_s(_Tm, _Time);
}
_ACRTIMP errno_t __cdecl _gmtime64_s(struct tm* _Tm, __time64_t const* _Time);
static __inline errno_t __cdecl gmtime_s(struct tm* const _Tm, time_t const* const _Time)
{
    return _gmtime64_s(_Tm, _Time);
}
#ifdef __cplusplus
}
#endif
