// Wine's winbase.h, with the short-name setter that Wine implements but does not declare.
#pragma once
#include_next <winbase.h>

#ifdef __cplusplus
extern "C" {
#endif
WINBASEAPI BOOL WINAPI SetFileShortNameA(HANDLE hFile, LPCSTR lpShortName);
WINBASEAPI BOOL WINAPI SetFileShortNameW(HANDLE hFile, LPCWSTR lpShortName);
#ifdef __cplusplus
}
#endif
