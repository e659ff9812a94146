// CRPLImpl: the implementation base shared by the host's plug-ins. It owns the channel back
// to the host (last error, log and progress callbacks, message table) and small utilities.
#pragma once
#include "console/console_handles.h"
#include "hostapi/host_types.h"
#include "restore/link_entry.h"
#include "support/export.h"
#include "support/vstring.h"
#include "support/win.h"

#include <string>

class OwnershipGuard;
class ShortNameSeam;
enum class ShortNameOutcome;

class CRPLImpl
{
public:
    static const size_t kLastErrorChars = 1024;

    CRPLImpl();
    CVEX_EXPORT CRPLImpl(const CRPLImpl& other);
    CVEX_EXPORT CRPLImpl& operator=(const CRPLImpl& other);
    virtual ~CRPLImpl();                                                      // 0
    virtual void GetLastErrorMsg(std::wstring& sMsg);                         // 1
    virtual void SetLastErrorMsg(const wchar_t* pText);                       // 2
    virtual void SetLogMsgCallbackFn(LogMsgCallbackFn pFn, void* pContext);   // 3
    virtual void SetProgMsgCallbackFn(ProgMsgCallbackFn pFn, void* pContext); // 4
    // A section of hard-linked names (restore/hard_links.cpp): ProcessSection marks the names
    // that exist and has FixHardLinks, through its slot, link the missing ones to one of them.
    virtual bool ProcessSection(const std::wstring& sSection, LinkEntries& entries); // 5
    virtual bool FixHardLinks(const std::wstring& sSection, LinkEntries& entries);   // 6

    // Messages of the string table to the host; a level 3 message becomes the last error.
    int LogStdMsg(unsigned uiLevel, unsigned uiId);
    int LogVarMsg(unsigned uiLevel, unsigned uiId, ...);
    // The text of a message of the string table; empty when it cannot be loaded.
    std::wstring LoadMessageText(unsigned uiId);
    // Sends a progress record; returns the host's answer (0 without a callback).
    unsigned SendProgress(ProgressRecord& record);
    bool HasProgressCallback() const { return m_pProgMsgFn != nullptr; }

    bool GetEnvVar(const std::wstring& sName, std::wstring& sValue);
    bool GetAdvancedOption(const std::wstring& sTag);
    void UserEditCfg();
    bool GetConfigDirectory(std::wstring& sFolder);
    bool GetLogDirectory(std::wstring& sFolder);
    void GetResourceVersionStr(unsigned uiSelector, std::wstring& sVersion);
    bool SetPrivilege(const wchar_t* pName, bool bEnable);

    // File operations of the restores (restore/). Paths may be longer than MAX_PATH. A false
    // always comes with an error message for the host and leaves the Win32 code as last error.
    struct SecurityThunk;
    bool CrplCopyFile(const std::wstring& sSource, const std::wstring& sDestination);
    bool CrplMoveFile(const std::wstring& sSource, const std::wstring& sDestination);
    bool CopyFileWithPerms(const std::wstring& sSource, const std::wstring& sDestination);
    // Ownership of one file (never a folder) for as long as the guard holds it.
    bool TakeOwnership(const std::wstring& sPath, OwnershipGuard& guard);
    bool MyCreateHardLink(const std::wstring& sLink, const std::wstring& sTarget);
    bool CreateParentDir(const std::wstring& sPath);
    // An answer, not a failure: false (no message) when the destination volume is absent.
    bool CheckDestExists(const std::wstring& sDestination, bool bMountedFolder);

    // Gives the program folders of the restored Windows volume their fixed short names
    // (system/program_folders.cpp). False when a rename failed or the volume cannot set them.
    bool CorrectProgramFilesDirs(wchar_t wcDrive);
    bool CorrectProgramFilesDirs(wchar_t wcDrive, ShortNameSeam& seam, ShortNameOutcome& outcome);

protected:
    // The host's program folder, where "hlv.ini" lives (trailing backslash).
    std::wstring HostFolder();
    bool GetFileLocation(const wchar_t* pKey, const wchar_t* pKind16Default, const wchar_t* pDefault,
                         std::wstring& sFolder);
    int DeliverMessage(unsigned uiLevel, const wchar_t* pText, bool bLoaded);

    // Mirrors of the console session's command mutex and handles, kept in the exported layout;
    // ConsoleSession owns the handles (CVEXImpl refreshes these after each engine call).
    HANDLE m_hCommandMutex = nullptr;
    bool m_bUserEditCfg = false;
    ConsoleHandles m_Handles;
    DWORD m_dwWindowsKind = 0;
    LogMsgCallbackFn m_pLogMsgFn = nullptr;
    void* m_pLogMsgContext = nullptr;
    ProgMsgCallbackFn m_pProgMsgFn = nullptr;
    void* m_pProgMsgContext = nullptr;
    HMODULE m_hModule = nullptr;
    wchar_t m_wszLastErrorMsg[kLastErrorChars] = {};
    bool m_bIsCore = false;
    bool m_bIs64Bit = false;
};

// Formats a message text the way the host's messages are written: "%s" takes a wide
// string and "%S" a narrow one, whatever the C library's own convention is.
std::wstring FormatMessageText(const wchar_t* pFormat, va_list args, size_t nMaxChars);
std::wstring FormatMessageTextV(const wchar_t* pFormat, ...);
