// Native stand-in for the module's one <windows.h> include, for the fuzz build on Linux: the few
// Win32 types, constants and calls that the parsers use. The calls are models (win_shim.cpp)
// that behave as the documented API does for the cases the parsers meet.
#pragma once
#include <cstdint>
#include <cwchar>
#include <sys/socket.h>

typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef unsigned int UINT;
typedef int BOOL;
typedef wchar_t WCHAR;
typedef const wchar_t* LPCWSTR;
typedef wchar_t* LPWSTR;

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

#define MAX_PATH 260
#define LOWORD(dw) (static_cast<WORD>(static_cast<DWORD>(dw) & 0xFFFF))
#define HIWORD(dw) (static_cast<WORD>((static_cast<DWORD>(dw) >> 16) & 0xFFFF))
#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x08
#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(-1))
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_NORMAL 0x80

// CP_UTF8 gives UTF-16 code units (as on Windows, so lengths match); CP_ACP is taken as Latin-1.
int MultiByteToWideChar(UINT uiCodePage, DWORD dwFlags, const char* pText, int nBytes, wchar_t* pOut, int nOut);
int WideCharToMultiByte(UINT uiCodePage, DWORD dwFlags, const wchar_t* pText, int nChars, char* pOut, int nOut,
                        const char* pDefault, BOOL* pUsedDefault);

// The profile API over the in-memory files of fuzzshim::SetFile (see profile_model.h).
DWORD GetPrivateProfileStringW(LPCWSTR pSection, LPCWSTR pKey, LPCWSTR pDefault, LPWSTR pOut, DWORD nSize,
                               LPCWSTR pFile);
UINT GetPrivateProfileIntW(LPCWSTR pSection, LPCWSTR pKey, int iDefault, LPCWSTR pFile);
BOOL WritePrivateProfileStringW(LPCWSTR pSection, LPCWSTR pKey, LPCWSTR pValue, LPCWSTR pFile);
DWORD GetFileAttributesW(LPCWSTR pPath);
DWORD GetLastError();

int _wcsicmp(const wchar_t* a, const wchar_t* b);
int _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t n);
