// Native stand-in for the module's one <windows.h> include, for the fuzz build on Linux: the few
// Win32 types, constants and calls that the parsers use. The calls are models (win_shim.cpp)
// that behave as the documented API does for the cases the parsers meet.
#pragma once
#include <arpa/inet.h>
#include <cstdint>
#include <cwchar>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <wctype.h> // windows.h declares the wide character classes too

typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef unsigned int UINT;
typedef int BOOL;
typedef wchar_t WCHAR;
typedef const wchar_t* LPCWSTR;
typedef wchar_t* LPWSTR;
typedef int INT;
typedef std::uint8_t BYTE;
typedef std::int64_t LONGLONG;
union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        std::int32_t HighPart;
    } u;
    LONGLONG QuadPart;
};

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

void SetLastError(DWORD dwError);

// Drives: the model is a machine without any, so that nothing reads the build machine's disks.
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_CDROM 5
#define SEM_FAILCRITICALERRORS 0x0001
DWORD GetLogicalDrives();
UINT GetDriveTypeW(LPCWSTR pRootPathName);
BOOL SetThreadErrorMode(DWORD dwNewMode, DWORD* pOldMode);
DWORD GetCurrentProcessId();
BOOL QueryPerformanceCounter(LARGE_INTEGER* pCount);

// Winsock: the start-up and the two address conversions, modelled over the C library's
// inet_pton/inet_aton/inet_ntop (winsock_shim.cpp). Errors go to the thread's last error.
#define MAKEWORD(lo, hi) (static_cast<WORD>((static_cast<BYTE>(lo)) | (static_cast<WORD>(static_cast<BYTE>(hi)) << 8)))
#define SOCKET_ERROR (-1)
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAHOST_NOT_FOUND 11001
struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
};
struct WSAPROTOCOL_INFOW;
int WSAStartup(WORD wVersionRequested, WSADATA* pData);
int WSAGetLastError();
INT WSAStringToAddressW(LPWSTR pAddressString, INT iAddressFamily, WSAPROTOCOL_INFOW* pProtocolInfo, sockaddr* pAddress,
                        INT* pAddressLength);
INT WSAAddressToStringW(sockaddr* pAddress, DWORD dwAddressLength, WSAPROTOCOL_INFOW* pProtocolInfo,
                        LPWSTR pAddressString, DWORD* pAddressStringLength);

int _wcsicmp(const wchar_t* a, const wchar_t* b);
int _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t n);
