// Stand-in for the runtime's eh.h. Wine's gives these functions C++ linkage; the runtime DLLs
// export them under their C names.
#pragma once
#include <corecrt.h>

#ifdef __cplusplus
struct _EXCEPTION_POINTERS;
extern "C" {
typedef void(__cdecl* terminate_handler)(void);
typedef void(__cdecl* terminate_function)(void);
typedef void(__cdecl* unexpected_handler)(void);
typedef void(__cdecl* unexpected_function)(void);
typedef void(__cdecl* _se_translator_function)(unsigned int, struct _EXCEPTION_POINTERS*);
__declspec(dllimport) __declspec(noreturn) void __cdecl terminate() throw();
__declspec(dllimport) void __cdecl unexpected();
__declspec(dllimport) terminate_handler __cdecl set_terminate(terminate_handler _NewTerminateHandler) throw();
__declspec(dllimport) terminate_handler __cdecl _get_terminate();
__declspec(dllimport) unexpected_handler __cdecl set_unexpected(unexpected_handler _NewUnexpectedHandler) throw();
__declspec(dllimport) unexpected_handler __cdecl _get_unexpected();
__declspec(dllimport) _se_translator_function __cdecl _set_se_translator(_se_translator_function _NewSETranslator);
}
#endif
