// Types shared with the host: callbacks, the progress record, the filespace record.
// Their layout is the host's; do not reorder fields.
#pragma once
#include "support/win.h"

#include <ctime>
#include <string>
#include <vector>

enum MessageLevel : unsigned {
    ML_INFORMATION = 1,
    ML_WARNING = 2,
    ML_ERROR = 3,
};

enum ProgressKind : unsigned {
    PK_PASS_START = 1,
    PK_OBJECT_RESTORED = 2,
    PK_PASS_FAILED = 3,
    PK_PASS_FINISHED = 4,
    PK_HEARTBEAT = 5,
    PK_PASSWORD_REQUEST = 6,
    PK_MESSAGE = 7,
};

struct ProgressRecord {
    std::wstring sText1; // current item: filespace, saveset or restored path
    std::wstring sText2; // password typed by the host in answer to a kind 6 record
    std::wstring sText3;
    std::wstring sText4;
    std::wstring sText5; // message text sent with kind 7
    wchar_t wcDriveLetter = L'-';
    unsigned uiReserved = 1;
    unsigned uiFilesRestored = 0;
    unsigned uiTotalFiles = 0;
    unsigned long long ullCurrentSize = 0;
    unsigned long long ullCurrentSize2 = 0;
    unsigned long long ullTotalBytes = 0;
    unsigned uiKind = PK_MESSAGE;
};

// Log callback: (level, text, caller context) -> answer (non-zero to 192 aborts Init).
typedef int (*LogMsgCallbackFn)(unsigned uiLevel, const wchar_t* pText, void* pContext);
// Progress callback: (record, caller context) -> non-zero asks to abort.
typedef unsigned (*ProgMsgCallbackFn)(ProgressRecord* pRecord, void* pContext);

enum FileSpaceFlags : unsigned long {
    FS_NEEDED_TO_START = 1,
    FS_BOOT_VOLUME = 2,
    FS_SYSTEM_VOLUME = 4,
    FS_MOUNTED_FOLDER = 8,
};

struct FileSpace {
    std::wstring sFsType;
    std::wstring sFsName;
    std::wstring sFsPath;
    unsigned char reserved[16] = {};
    unsigned long ulFsFlags = 0;
    bool bFsTimeValid = false;
    struct tm tmFsTime = {};
    wchar_t wcFsDriveLetter = L'-';
};

typedef std::vector<FileSpace> FileSpaceList;

#ifdef _MSC_VER
// The sizes a Visual C++ host has for these records (docs/host-guide.md lists every offset).
static_assert(sizeof(ProgressRecord) == 208, "the progress record must keep the host's layout");
static_assert(sizeof(FileSpace) == 160, "the filespace record must keep the host's layout");
static_assert(sizeof(FileSpaceList) == 24, "the filespace list must be the host's std::vector");
#endif
