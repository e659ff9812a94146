// Stand-in for Visual C++'s vcruntime.h: the macros and types that the standard library and the C
// runtime headers expect from it. Wine's corecrt.h supplies the C runtime's own part.
#pragma once
#define _VCRUNTIME_H

#include <corecrt.h>
#include <sal.h>
#include <vadefs.h>

#ifndef _VCRTIMP
#define _VCRTIMP __declspec(dllimport)
#endif
// The standard library's functions are reached through the import library's thunks, its data
// (std::cout and the like) through _CRTIMP2_IMPORT.
#ifndef _CRTIMP2
#define _CRTIMP2
#endif
#ifndef _MSVC_CONSTEXPR
#define _MSVC_CONSTEXPR
#endif
// Functions of the standard library's satellite DLLs (memory resources, special maths).
#ifndef _CRT_SATELLITE_1
#define _CRT_SATELLITE_1 __declspec(dllimport)
#endif
#ifndef _CRT_SATELLITE_2
#define _CRT_SATELLITE_2 __declspec(dllimport)
#endif
#ifndef _MRTIMP2
#define _MRTIMP2
#endif
#ifndef _PGLOBAL
#define _PGLOBAL
#endif
// The char16_t and char32_t conversion facets' ids live in a satellite DLL that Wine lacks; the
// module does not use those facets.
#ifndef _CRT_SATELLITE_CODECVT_IDS
#define _CRT_SATELLITE_CODECVT_IDS
#endif
#ifndef _CRT_SATELLITE_CODECVT_IDS_NOIMPORT
#define _CRT_SATELLITE_CODECVT_IDS_NOIMPORT
#endif
#ifndef __CLR_OR_THIS_CALL
#define __CLR_OR_THIS_CALL
#endif
#ifndef __CLRCALL_OR_CDECL
#define __CLRCALL_OR_CDECL __cdecl
#endif
#ifndef __CLRCALL_PURE_OR_CDECL
#define __CLRCALL_PURE_OR_CDECL __cdecl
#endif

#ifdef __cplusplus
#define _CRT_BEGIN_C_HEADER extern "C" {
#define _CRT_END_C_HEADER }
#define _VCRT_EXTERN_C extern "C"
#else
#define _CRT_BEGIN_C_HEADER
#define _CRT_END_C_HEADER
#define _VCRT_EXTERN_C
#endif

#ifndef _HAS_CXX17
#if defined(_MSVC_LANG) && _MSVC_LANG > 201402L
#define _HAS_CXX17 1
#else
#define _HAS_CXX17 0
#endif
#endif
#ifndef _HAS_CXX20
#if _HAS_CXX17 && _MSVC_LANG > 201703L
#define _HAS_CXX20 1
#else
#define _HAS_CXX20 0
#endif
#endif
#ifndef _HAS_CXX23
#if _HAS_CXX20 && _MSVC_LANG > 202002L
#define _HAS_CXX23 1
#else
#define _HAS_CXX23 0
#endif
#endif
#ifndef _HAS_NODISCARD
#define _HAS_NODISCARD 1
#endif
#define _NODISCARD [[nodiscard]]
#define _VCRT_COMPILER_PREPROCESSOR 1
#ifndef _countof
#define _countof(_Array) (sizeof(_Array) / sizeof(_Array[0]))
#endif
#define _VCRUNTIME_DISABLE_WARNINGS
#define _VCRUNTIME_RESTORE_WARNINGS
#define _VCRT_NOALIAS __declspec(noalias)
#define _VCRT_RESTRICT __declspec(restrict)
#define _VCRT_ALLOCATOR __declspec(allocator)
#define _CRT_PACKING 8
#ifndef _HAS_EXCEPTIONS
#define _HAS_EXCEPTIONS 1
#endif
#ifndef _CRT_STRINGIZE
#define _CRT_STRINGIZE_(x) #x
#define _CRT_STRINGIZE(x) _CRT_STRINGIZE_(x)
#endif
#ifndef _CRT_WIDE
#define _CRT_WIDE_(s) L##s
#define _CRT_WIDE(s) _CRT_WIDE_(s)
#endif
#define _CRT_CONCATENATE_(a, b) a##b
#define _CRT_CONCATENATE(a, b) _CRT_CONCATENATE_(a, b)
#define _CRT_UNPARENTHESIZE_(...) __VA_ARGS__
#define _CRT_UNPARENTHESIZE(...) _CRT_UNPARENTHESIZE_ __VA_ARGS__
#ifndef _CRT_DEPRECATE_TEXT
#define _CRT_DEPRECATE_TEXT(_Text) __declspec(deprecated(_Text))
#endif
#ifndef _CRT_INSECURE_DEPRECATE
#define _CRT_INSECURE_DEPRECATE(_Replacement)
#endif
#ifndef _CRT_GUARDOVERFLOW
#define _CRT_GUARDOVERFLOW
#endif
#ifndef _CRT_HYBRIDPATCHABLE
#define _CRT_HYBRIDPATCHABLE
#endif
#ifndef __CRTDECL
#define __CRTDECL __cdecl
#endif
#ifndef _VCRTIMP2
#define _VCRTIMP2 _VCRTIMP
#endif
#ifndef _CRT_ALIGN
#define _CRT_ALIGN(x) __declspec(align(x))
#endif
#ifndef _UNALIGNED
#define _UNALIGNED __unaligned
#endif
#ifndef _CRT_UNUSED
#define _CRT_UNUSED(x) (void)x
#endif
#ifndef _CRT_HAS_CXX17
#if defined(__cplusplus) && _MSVC_LANG >= 201703L
#define _CRT_HAS_CXX17 1
#else
#define _CRT_HAS_CXX17 0
#endif
#endif
#define _CRT_SECURE_CPP_NOTHROW throw()
#ifndef _CRT_NONSTDC_DEPRECATE
#define _CRT_NONSTDC_DEPRECATE(x)
#endif

#ifdef __cplusplus
extern "C" {
#endif
extern uintptr_t __security_cookie;
void __cdecl __security_init_cookie(void);
void __cdecl __security_check_cookie(uintptr_t _StackCookie);
__declspec(noreturn) void __cdecl __report_gsfailure(uintptr_t _StackCookie);
#ifdef __cplusplus
}
#endif
