// Wine's math.h, completed with what the standard library's <cmath> expects of the runtime's header:
// the long double functions (long double is double in this ABI), the few C99 functions Wine does
// not declare, float_t and double_t, and, for C++, fpclassify and signbit as overloaded functions
// instead of Wine's macros (the library defines the other classifications itself).
#pragma once
#include_next <math.h>

#ifdef __cplusplus
extern "C" {
#endif
typedef float float_t;
typedef double double_t;

static __inline long double __cdecl acosl(long double _X)
{
    return acos((double)_X);
}
static __inline long double __cdecl asinl(long double _X)
{
    return asin((double)_X);
}
static __inline long double __cdecl atanl(long double _X)
{
    return atan((double)_X);
}
static __inline long double __cdecl ceill(long double _X)
{
    return ceil((double)_X);
}
static __inline long double __cdecl coshl(long double _X)
{
    return cosh((double)_X);
}
static __inline long double __cdecl cosl(long double _X)
{
    return cos((double)_X);
}
static __inline long double __cdecl expl(long double _X)
{
    return exp((double)_X);
}
static __inline long double __cdecl fabsl(long double _X)
{
    return fabs((double)_X);
}
static __inline long double __cdecl floorl(long double _X)
{
    return floor((double)_X);
}
static __inline long double __cdecl log10l(long double _X)
{
    return log10((double)_X);
}
static __inline long double __cdecl logl(long double _X)
{
    return log((double)_X);
}
static __inline long double __cdecl sinhl(long double _X)
{
    return sinh((double)_X);
}
static __inline long double __cdecl sinl(long double _X)
{
    return sin((double)_X);
}
static __inline long double __cdecl sqrtl(long double _X)
{
    return sqrt((double)_X);
}
static __inline long double __cdecl tanhl(long double _X)
{
    return tanh((double)_X);
}
static __inline long double __cdecl tanl(long double _X)
{
    return tan((double)_X);
}
static __inline long double __cdecl atan2l(long double _X, long double _Y)
{
    return atan2((double)_X, (double)_Y);
}
static __inline long double __cdecl fmodl(long double _X, long double _Y)
{
    return fmod((double)_X, (double)_Y);
}
static __inline long double __cdecl hypotl(long double _X, long double _Y)
{
    return hypot((double)_X, (double)_Y);
}
static __inline long double __cdecl powl(long double _X, long double _Y)
{
    return pow((double)_X, (double)_Y);
}
static __inline long double __cdecl frexpl(long double _X, int* _Y)
{
    return frexp((double)_X, _Y);
}
static __inline long double __cdecl ldexpl(long double _X, int _Y)
{
    return ldexp((double)_X, _Y);
}
static __inline long double __cdecl modfl(long double _X, long double* _Y)
{
    double _I;
    double _F = modf((double)_X, &_I);
    *_Y = _I;
    return _F;
}
_ACRTIMP long double __cdecl acoshl(long double);
_ACRTIMP long double __cdecl asinhl(long double);
_ACRTIMP long double __cdecl atanhl(long double);
_ACRTIMP long double __cdecl cbrtl(long double);
_ACRTIMP long double __cdecl erfcl(long double);
_ACRTIMP long double __cdecl erfl(long double);
_ACRTIMP long double __cdecl exp2l(long double);
_ACRTIMP long double __cdecl expm1l(long double);
_ACRTIMP long double __cdecl lgammal(long double);
_ACRTIMP long double __cdecl log1pl(long double);
_ACRTIMP long double __cdecl log2l(long double);
_ACRTIMP long double __cdecl logbl(long double);
_ACRTIMP long double __cdecl nearbyintl(long double);
_ACRTIMP long double __cdecl rintl(long double);
_ACRTIMP long double __cdecl roundl(long double);
_ACRTIMP long double __cdecl tgammal(long double);
_ACRTIMP long double __cdecl truncl(long double);
_ACRTIMP long double __cdecl copysignl(long double, long double);
_ACRTIMP long double __cdecl fdiml(long double, long double);
_ACRTIMP long double __cdecl fmaxl(long double, long double);
_ACRTIMP long double __cdecl fminl(long double, long double);
_ACRTIMP long double __cdecl nextafterl(long double, long double);
_ACRTIMP long double __cdecl remainderl(long double, long double);
_ACRTIMP long double __cdecl nexttowardl(long double, long double);
_ACRTIMP long double __cdecl fmal(long double, long double, long double);
_ACRTIMP int __cdecl ilogbl(long double);
_ACRTIMP long long __cdecl llrintl(long double);
_ACRTIMP long long __cdecl llroundl(long double);
_ACRTIMP long __cdecl lrintl(long double);
_ACRTIMP long __cdecl lroundl(long double);
_ACRTIMP long double __cdecl remquol(long double, long double, int*);
_ACRTIMP long double __cdecl scalblnl(long double, long);
_ACRTIMP long double __cdecl scalbnl(long double, int);
_ACRTIMP long double __cdecl nanl(char const*);
_ACRTIMP double __cdecl nan(char const*);
_ACRTIMP float __cdecl nanf(char const*);
_ACRTIMP double __cdecl erfc(double);
_ACRTIMP float __cdecl erfcf(float);
_ACRTIMP double __cdecl fma(double, double, double);
_ACRTIMP float __cdecl fmaf(float, float, float);
_ACRTIMP double __cdecl nexttoward(double, long double);
_ACRTIMP float __cdecl nexttowardf(float, long double);
#ifdef __cplusplus
}

#undef fpclassify
#undef signbit
#undef isinf
#undef isnan
#undef isnormal
#undef isfinite
#undef isgreater
#undef isgreaterequal
#undef isless
#undef islessequal
#undef islessgreater
#undef isunordered
extern "C++" {
inline int fpclassify(float _X) noexcept
{
    return __builtin_fpclassify(FP_NAN, FP_INFINITE, FP_NORMAL, FP_SUBNORMAL, FP_ZERO, _X);
}
inline int fpclassify(double _X) noexcept
{
    return __builtin_fpclassify(FP_NAN, FP_INFINITE, FP_NORMAL, FP_SUBNORMAL, FP_ZERO, _X);
}
inline int fpclassify(long double _X) noexcept
{
    return __builtin_fpclassify(FP_NAN, FP_INFINITE, FP_NORMAL, FP_SUBNORMAL, FP_ZERO, _X);
}
inline bool signbit(float _X) noexcept
{
    return __builtin_signbit(_X) != 0;
}
inline bool signbit(double _X) noexcept
{
    return __builtin_signbit(_X) != 0;
}
inline bool signbit(long double _X) noexcept
{
    return __builtin_signbit(_X) != 0;
}
}
#endif
