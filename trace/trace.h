// CTrace: the diagnostic trace. Each line is appended to the log file under a named mutex
// and the file is closed again, so that the log stays complete if the process dies.
#pragma once
#include "support/handle.h"
#include "support/vstring.h"
#include "support/win.h"

#include <string>

enum TraceLevel : DWORD {
    TL_ERROR = 1,
    TL_WARNING = 2,
    TL_INFO = 4,
    TL_VERBOSE = 8,
};

class CTrace
{
public:
    CTrace(const wchar_t* pLogFileName, const wchar_t* pLevelKey);
    virtual ~CTrace();
    CTrace(const CTrace&) = delete;
    CTrace& operator=(const CTrace&) = delete;

    virtual void GetLogFolder(std::wstring& sFolder);
    virtual bool SetLogFolder(const std::wstring& sFolder);
    virtual void GetModuleFolder(std::wstring& sFolder);
    virtual void SetLevel(unsigned uiLevel);
    virtual void ReadLevelFromFile();
    virtual void StartNewLog(const std::wstring& sFolder, unsigned uiLevel);
    virtual bool TruncateLog();
    virtual DWORD GetLevelMask() const { return m_dwMask; }

    virtual void Line(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pText);
    virtual void Char(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, wchar_t wc);
    virtual void Char(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, char c);
    virtual void Str(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const wchar_t* pValue);
    virtual void Str(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const char* pValue);
    virtual void Str(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const std::wstring& sValue);
    virtual void Str(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const std::string& sValue);
    virtual void Str(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const velmora::string& sValue);
    virtual void Int(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, long long llValue);
    virtual void Hex(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, unsigned long long ullValue);
    virtual void Bool(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, BOOL bValue);
    virtual void Bool(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, bool bValue);
    virtual void Double(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, double dValue);
    virtual void Buffer(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const void* pData, DWORD dwLength);
    virtual void Banner(const wchar_t* pText);
    virtual void IPv4(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, DWORD dwAddress, bool bHostOrder);
    virtual void IPv6(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const wchar_t* pAddress);
    virtual void IPv6(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const char* pAddress);
    virtual void Guid(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const GUID& guid);
    virtual void Time(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const SYSTEMTIME& st);

    bool IsOn(DWORD dwLevel) const { return (m_dwMask & dwLevel) != 0; }
    const std::wstring& LogPath() const { return m_sLogPath; }

    // Entry and exit convention shared by every operation of the module.
    void Start(const wchar_t* pFn) { Line(TL_VERBOSE, pFn, L"starting ..."); }
    void End(const wchar_t* pFn) { Line(TL_VERBOSE, pFn, L"... ending"); }
    void EndFail(const wchar_t* pFn, const wchar_t* pReason, DWORD dwLevel = TL_ERROR);
    // A failed system call: the call's text, then its dwLastError.
    void ApiFailure(const wchar_t* pFn, const wchar_t* pCall, DWORD dwLastError);

protected:
    // Writes header + body + line break under the mutex; drops the line on failure.
    void WriteLine(DWORD dwLevel, const std::wstring& sBody);
    std::wstring FolderOfSettings();

    DWORD m_dwMask = 7;
    velmora::unique_handle_null m_hMutex;
    DWORD m_dwWindowsKind = 0;
    std::wstring m_sLogFileName;
    std::wstring m_sLevelKey;
    std::wstring m_sLogPath;
    std::wstring m_sLogFolder;
    bool m_bLogFolderSet = false;
};

// The CVEX trace adds the NetWorker trace mask, which decides whether the console engine
// echoes command lines and tool output for a group of operations.
class CVEXTrace : public CTrace
{
public:
    CVEXTrace();
    void ReadNetWorkerLevel();
    DWORD NetWorkerMask() const { return m_dwNwMask; }
    void SetNetWorkerMask(DWORD dwMask) { m_dwNwMask = dwMask; }
    bool TraceCommands(DWORD dwGroup) const { return NwMaskSelects(m_dwNwMask, dwGroup, 1); }
    bool TraceOutput(DWORD dwGroup) const { return NwMaskSelects(m_dwNwMask, dwGroup, 2); }
    static bool NwMaskSelects(DWORD dwMask, DWORD dwGroup, DWORD dwKind)
    {
        DWORD dwWant = dwGroup | dwKind;
        return (dwMask & dwWant) == dwWant;
    }

private:
    std::wstring m_sNwKey = L"NetWorker_TraceLevel";
    DWORD m_dwNwMask = 10;
};

// Both instances live for the whole life of the module.
CVEXTrace& CvexTrace();
CTrace& CrplTrace();

// Pure formatting pieces, exposed for tests.
namespace tracefmt
{
std::wstring Header(const SYSTEMTIME& st, DWORD dwThreadId, DWORD dwLevel);
std::wstring CharText(wchar_t wc);
std::wstring HexBytes(const void* pData, DWORD dwLength);
std::wstring ExpandIPv6(const std::wstring& sAddress);
std::wstring OldLogPath(const std::wstring& sLogPath);
DWORD MaskForLevel(int iLevel, DWORD dwCurrent);
} // namespace tracefmt
