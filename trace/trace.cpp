#include "trace/trace.h"

#include "support/handle.h"
#include "support/winver.h"

#include <cwchar>
#include <sstream>
#include <vector>

namespace
{

const wchar_t kDefaultHostFolder[] = L"X:\\Program Files\\Velmora\\HALVO\\";
const DWORD kLockTimeoutMs = 60000;

// Holds the trace mutex for one write; a wait that times out leaves it unlocked.
class MutexLock
{
public:
    explicit MutexLock(HANDLE hMutex) : m_hMutex(hMutex)
    {
        DWORD dw = hMutex ? WaitForSingleObject(hMutex, kLockTimeoutMs) : WAIT_FAILED;
        m_bLocked = dw == WAIT_OBJECT_0 || dw == WAIT_ABANDONED;
    }
    ~MutexLock()
    {
        if (m_bLocked)
            ReleaseMutex(m_hMutex);
    }
    bool locked() const { return m_bLocked; }

private:
    HANDLE m_hMutex;
    bool m_bLocked = false;
};

bool AppendUtf8(const std::wstring& sPath, const std::wstring& sText, bool bTruncate = false)
{
    velmora::unique_file file(CreateFileW(sPath.c_str(), bTruncate ? GENERIC_WRITE : FILE_APPEND_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          bTruncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    std::string utf8 = velmora::to_utf8(sText);
    DWORD dwWritten = 0;
    return utf8.empty() || WriteFile(file.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &dwWritten, nullptr);
}

bool IsDirectory(const std::wstring& sPath)
{
    DWORD dwAttr = GetFileAttributesW(sPath.c_str());
    return dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Frame(const wchar_t* pFn, const wchar_t* pName)
{
    std::wstring s = pFn ? pFn : L"";
    s += L" : ";
    s += pName ? pName : L"";
    return s;
}

} // namespace

CTrace::CTrace(const wchar_t* pLogFileName, const wchar_t* pLevelKey)
    : m_sLogFileName(pLogFileName), m_sLevelKey(pLevelKey)
{
    m_hMutex.reset(CreateMutexW(nullptr, FALSE, m_sLogFileName.c_str()));
    std::wstring sFolder;
    GetLogFolder(sFolder);
    m_sLogPath = sFolder + L"\\" + m_sLogFileName;
    if (GetFileAttributesW(m_sLogPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // Keep the previous run's log as ".old" and start afresh.
        CopyFileW(m_sLogPath.c_str(), tracefmt::OldLogPath(m_sLogPath).c_str(), FALSE);
        DeleteFileW(m_sLogPath.c_str());
    }
    velmora::winver& wv = velmora::winver::instance();
    wv.initialise();
    m_dwWindowsKind = wv.kind();
}

CTrace::~CTrace() = default;

void CTrace::GetModuleFolder(std::wstring& sFolder)
{
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) {
            sFolder = kDefaultHostFolder;
            return;
        }
        if (n < buf.size() && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
        buf.resize(buf.size() + MAX_PATH);
    }
    std::wstring sPath = buf.data();
    size_t slash = sPath.rfind(L'\\');
    sFolder = slash == std::wstring::npos ? std::wstring(kDefaultHostFolder) : sPath.substr(0, slash + 1);
}

void CTrace::GetLogFolder(std::wstring& sFolder)
{
    if (m_bLogFolderSet) {
        sFolder = m_sLogFolder;
        return;
    }
    std::wstring sModule;
    GetModuleFolder(sModule);
    std::wstring sDefault = m_dwWindowsKind == 16 ? std::wstring(L"Z:\\HALVO\\Logfiles") : sModule + L"Logfiles";
    std::wstring sIni = sModule + L"hlv.ini";
    wchar_t wsz[MAX_PATH] = {};
    GetPrivateProfileStringW(L"File Locations", L"Logfiles", sDefault.c_str(), wsz, MAX_PATH, sIni.c_str());
    sFolder = wsz;
    if (!IsDirectory(sFolder))
        CreateDirectoryW(sFolder.c_str(), nullptr);
    m_sLogFolder = sFolder;
}

bool CTrace::SetLogFolder(const std::wstring& sFolder)
{
    if (!IsDirectory(sFolder))
        return false;
    m_sLogFolder = sFolder;
    m_bLogFolderSet = true;
    m_sLogPath = sFolder + L"\\" + m_sLogFileName;
    return true;
}

void CTrace::SetLevel(unsigned uiLevel)
{
    m_dwMask = tracefmt::MaskForLevel(static_cast<int>(uiLevel), m_dwMask);
}

std::wstring CTrace::FolderOfSettings()
{
    if (m_dwWindowsKind == 16)
        return L"Z:\\HALVO\\";
    std::wstring sModule;
    GetModuleFolder(sModule);
    return sModule;
}

void CTrace::ReadLevelFromFile()
{
    std::wstring sIni = FolderOfSettings() + L"trace.ini";
    UINT ui = GetPrivateProfileIntW(L"Main", m_sLevelKey.c_str(), 5, sIni.c_str());
    m_dwMask = tracefmt::MaskForLevel(static_cast<int>(ui), m_dwMask);
}

void CTrace::StartNewLog(const std::wstring& sFolder, unsigned uiLevel)
{
    if (sFolder.empty())
        return;
    SetLevel(uiLevel);
    m_sLogPath = sFolder + L"\\" + m_sLogFileName;
    DeleteFileW(m_sLogPath.c_str());
}

bool CTrace::TruncateLog()
{
    MutexLock lock(m_hMutex.get());
    if (!lock.locked())
        return false;
    AppendUtf8(m_sLogPath, L"", true);
    return true;
}

void CTrace::WriteLine(DWORD dwLevel, const std::wstring& sBody)
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    std::wstring sLine = tracefmt::Header(st, GetCurrentThreadId(), dwLevel) + sBody + L"\n";
    DWORD dwSaved = GetLastError(); // tracing must not disturb the caller's error code
    MutexLock lock(m_hMutex.get());
    if (lock.locked())
        AppendUtf8(m_sLogPath, sLine);
    SetLastError(dwSaved);
}

void CTrace::Line(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pText)
{
    if (!IsOn(dwLevel))
        return;
    WriteLine(dwLevel, std::wstring(pFn ? pFn : L"") + L" : " + (pText ? pText : L""));
}

void CTrace::Char(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, wchar_t wc)
{
    if (!IsOn(dwLevel))
        return;
    WriteLine(dwLevel, Frame(pFn, pName) + L" = '" + tracefmt::CharText(wc) + L"'");
}

void CTrace::Char(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, char c)
{
    if (!IsOn(dwLevel))
        return;
    std::wstring w = c ? velmora::widen(std::string(1, c)) : std::wstring(1, L'\0');
    Char(dwLevel, pFn, pName, w.empty() ? L'?' : w[0]);
}

void CTrace::Str(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const wchar_t* pValue)
{
    if (!IsOn(dwLevel))
        return;
    WriteLine(dwLevel, Frame(pFn, pName) + (pValue ? L" = \"" + std::wstring(pValue) + L"\"" : L" = <null>"));
}

void CTrace::Str(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const char* pValue)
{
    if (!IsOn(dwLevel))
        return;
    if (!pValue)
        return Str(dwLevel, pFn, pName, static_cast<const wchar_t*>(nullptr));
    Str(dwLevel, pFn, pName, velmora::widen(pValue).c_str());
}

void CTrace::Str(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const std::wstring& sValue)
{
    if (IsOn(dwLevel))
        WriteLine(dwLevel, Frame(pFn, pName) + L" = \"" + sValue + L"\"");
}

void CTrace::Str(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const std::string& sValue)
{
    if (IsOn(dwLevel))
        Str(dwLevel, pFn, pName, velmora::widen(sValue));
}

void CTrace::Str(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const velmora::string& sValue)
{
    Str(dwLevel, pFn, pName, static_cast<const std::wstring&>(sValue));
}

void CTrace::Int(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, long long llValue)
{
    if (IsOn(dwLevel))
        WriteLine(dwLevel, Frame(pFn, pName) + L" = " + std::to_wstring(llValue));
}

void CTrace::Hex(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, unsigned long long ullValue)
{
    if (!IsOn(dwLevel))
        return;
    wchar_t wsz[24];
    _snwprintf(wsz, 24, L"%llX", ullValue);
    wsz[23] = L'\0';
    WriteLine(dwLevel, Frame(pFn, pName) + L" = 0x" + wsz);
}

void CTrace::Bool(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, BOOL bValue)
{
    if (IsOn(dwLevel))
        WriteLine(dwLevel, Frame(pFn, pName) + (bValue ? L" = true" : L" = false"));
}

void CTrace::Bool(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, bool bValue)
{
    Bool(dwLevel, pFn, pName, static_cast<BOOL>(bValue));
}

void CTrace::Double(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, double dValue)
{
    if (!IsOn(dwLevel))
        return;
    std::wostringstream os;
    os << dValue;
    WriteLine(dwLevel, Frame(pFn, pName) + L" = " + os.str());
}

void CTrace::Buffer(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const void* pData, DWORD dwLength)
{
    if (!IsOn(dwLevel))
        return;
    if (!pData)
        dwLength = 0;
    WriteLine(dwLevel, Frame(pFn, pName) + L" = " + tracefmt::HexBytes(pData, dwLength));
}

void CTrace::Banner(const wchar_t* pText)
{
    if (m_dwMask == 0)
        return;
    std::wstring sText = pText ? pText : L"";
    std::wstring sRow(sText.size() + 6, L'*');
    std::wstring sBlock = L"\n" + sRow + L"\n** " + sText + L" **\n" + sRow + L"\n\n\n";
    DWORD dwSaved = GetLastError();
    MutexLock lock(m_hMutex.get());
    if (lock.locked())
        AppendUtf8(m_sLogPath, sBlock);
    SetLastError(dwSaved);
}

void CTrace::IPv4(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, DWORD dwAddress, bool bHostOrder)
{
    if (!IsOn(dwLevel))
        return;
    in_addr addr;
    addr.s_addr = bHostOrder ? htonl(dwAddress) : dwAddress;
    const char* p = inet_ntoa(addr);
    WriteLine(dwLevel, Frame(pFn, pName) + L" = " + (p && *p ? velmora::widen(p) : std::wstring(L"<invalid>")));
}

void CTrace::IPv6(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const wchar_t* pAddress)
{
    if (!IsOn(dwLevel))
        return;
    std::wstring s = tracefmt::ExpandIPv6(pAddress ? pAddress : L"");
    WriteLine(dwLevel, Frame(pFn, pName) + L" = " + (s.empty() ? std::wstring(L"<Invalid IPv6 address>") : s));
}

void CTrace::IPv6(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const char* pAddress)
{
    if (IsOn(dwLevel))
        IPv6(dwLevel, pFn, pName, velmora::widen(pAddress ? pAddress : "").c_str());
}

void CTrace::Guid(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const GUID& g)
{
    if (!IsOn(dwLevel))
        return;
    wchar_t wsz[64];
    _snwprintf(wsz, 64, L"%8.8lX-%4.4X-%4.4X-%2.2X%2.2X-%2.2X%2.2X%2.2X%2.2X%2.2X%2.2X", g.Data1, g.Data2, g.Data3,
               g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    wsz[63] = L'\0';
    WriteLine(dwLevel, Frame(pFn, pName) + L" = { " + wsz + L" }");
}

void CTrace::Time(DWORD dwLevel, const wchar_t* pFn, const wchar_t* pName, const SYSTEMTIME& st)
{
    if (!IsOn(dwLevel))
        return;
    wchar_t wsz[40];
    _snwprintf(wsz, 40, L"%2.2u/%2.2u/%4.4u %2.2u:%2.2u:%2.2u", st.wDay, st.wMonth, st.wYear, st.wHour, st.wMinute,
               st.wSecond);
    wsz[39] = L'\0';
    WriteLine(dwLevel, Frame(pFn, pName) + L" = " + wsz);
}

void CTrace::EndFail(const wchar_t* pFn, const wchar_t* pReason, DWORD dwLevel)
{
    if (IsOn(dwLevel))
        Line(dwLevel, pFn, (L"... ending(" + std::wstring(pReason ? pReason : L"") + L")").c_str());
}

void CTrace::ApiFailure(const wchar_t* pFn, const wchar_t* pCall, DWORD dwLastError)
{
    if (!IsOn(TL_ERROR))
        return;
    std::wstring sName = std::wstring(pCall ? pCall : L"") + L" : dwLastError";
    Int(TL_ERROR, pFn, sName.c_str(), dwLastError);
}

CVEXTrace::CVEXTrace() : CTrace(L"CVEX_trace.log", L"CVEX_TraceLevel") {}

void CVEXTrace::ReadNetWorkerLevel()
{
    std::wstring sIni = FolderOfSettings() + L"trace.ini";
    m_dwNwMask = GetPrivateProfileIntW(L"Main", m_sNwKey.c_str(), 10, sIni.c_str());
}

CVEXTrace& CvexTrace()
{
    static CVEXTrace trace;
    return trace;
}

CTrace& CrplTrace()
{
    static CTrace trace(L"CRPL_trace.log", L"CRPL_TraceLevel");
    return trace;
}

namespace
{
// Both instances exist from module load on, before any export is called.
struct BuildTracesAtLoad {
    BuildTracesAtLoad()
    {
        CvexTrace();
        CrplTrace();
    }
} g_buildTracesAtLoad;
} // namespace
