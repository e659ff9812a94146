#include "plugin/crpl_impl.h"

#include "support/handle.h"
#include "support/winver.h"
#include "trace/trace_scope.h"

#include <cstdarg>
#include <cwchar>
#include <process.h>
#include <vector>

namespace
{

const wchar_t kDefaultHostFolder[] = L"X:\\Program Files\\Velmora\\HALVO\\";
const size_t kStdMsgChars = 1024;
const size_t kVarFormatChars = 200;
const size_t kVarMsgChars = 2048;

std::wstring LoadMessage(HMODULE hModule, unsigned uiId, size_t nMaxChars)
{
    std::vector<wchar_t> buf(nMaxChars + 1, L'\0');
    int n = hModule ? LoadStringW(hModule, uiId, buf.data(), static_cast<int>(buf.size())) : 0;
    return n > 0 ? std::wstring(buf.data(), static_cast<size_t>(n)) : std::wstring();
}

// Keeps the leading fields of a version text: "1.2.3.4" or "1, 2, 3, 4" -> "1.2.3".
std::wstring ShortenVersion(const std::wstring& s, size_t nFields)
{
    std::wstring out;
    size_t nField = 1;
    for (wchar_t c : s) {
        if (c == L' ')
            continue;
        if (c == L',' || c == L'.') {
            if (nField++ == nFields)
                break;
            out += L'.';
            continue;
        }
        out += c;
    }
    return out;
}

} // namespace

std::wstring FormatMessageText(const wchar_t* pFormat, va_list args, size_t nMaxChars)
{
    std::vector<wchar_t> buf(nMaxChars + 2, L'\0');
    // The C runtime's own _vsnwprintf reads "%s" as a wide string, as the message texts expect.
    // Given one character more than is kept, a long text fills the kept part whether the runtime
    // ends a cut text with a NUL (the standard's way) or not (Visual C++'s legacy way).
    int n = _vsnwprintf(buf.data(), nMaxChars + 1, pFormat, args);
    if (n < 0 || static_cast<size_t>(n) > nMaxChars)
        n = static_cast<int>(nMaxChars);
    return std::wstring(buf.data(), static_cast<size_t>(n));
}

std::wstring FormatMessageTextV(const wchar_t* pFormat, ...)
{
    va_list args;
    va_start(args, pFormat);
    std::wstring s = FormatMessageText(pFormat, args, kVarMsgChars);
    va_end(args);
    return s;
}

CRPLImpl::CRPLImpl()
{
    velmora::winver& wv = velmora::winver::instance();
    wv.initialise();
    m_dwWindowsKind = wv.kind();
}

CRPLImpl::CRPLImpl(const CRPLImpl& other)
{
    *this = other;
}

CRPLImpl& CRPLImpl::operator=(const CRPLImpl& other)
{
    if (this == &other)
        return *this;
    m_hCommandMutex = other.m_hCommandMutex;
    m_bUserEditCfg = other.m_bUserEditCfg;
    m_Handles = other.m_Handles;
    m_dwWindowsKind = other.m_dwWindowsKind;
    m_pLogMsgFn = other.m_pLogMsgFn;
    m_pLogMsgContext = other.m_pLogMsgContext;
    m_pProgMsgFn = other.m_pProgMsgFn;
    m_pProgMsgContext = other.m_pProgMsgContext;
    m_hModule = other.m_hModule;
    wmemcpy(m_wszLastErrorMsg, other.m_wszLastErrorMsg, kLastErrorChars);
    m_bIsCore = other.m_bIsCore;
    m_bIs64Bit = other.m_bIs64Bit;
    return *this;
}

CRPLImpl::~CRPLImpl()
{
    CrplTrace().Line(TL_VERBOSE, L"CRPLImpl::~CRPLImpl", L"Destructor");
}

void CRPLImpl::GetLastErrorMsg(std::wstring& sMsg)
{
    sMsg = m_wszLastErrorMsg[0] ? m_wszLastErrorMsg : L"No error";
}

void CRPLImpl::SetLastErrorMsg(const wchar_t* pText)
{
    if (!pText)
        pText = L"";
    wcsncpy(m_wszLastErrorMsg, pText, kLastErrorChars - 1);
    m_wszLastErrorMsg[kLastErrorChars - 1] = L'\0';
}

void CRPLImpl::SetLogMsgCallbackFn(LogMsgCallbackFn pFn, void* pContext)
{
    const wchar_t* fn = L"CRPLImpl::SetLogMsgCallbackFn";
    TraceScope scope(fn, CrplTrace());
    m_pLogMsgFn = pFn;
    m_pLogMsgContext = pFn ? pContext : nullptr;
}

void CRPLImpl::SetProgMsgCallbackFn(ProgMsgCallbackFn pFn, void* pContext)
{
    const wchar_t* fn = L"CRPLImpl::SetProgMsgCallbackFn";
    TraceScope scope(fn, CrplTrace());
    m_pProgMsgFn = pFn;
    m_pProgMsgContext = pFn ? pContext : nullptr;
}

int CRPLImpl::DeliverMessage(unsigned uiLevel, const wchar_t* pText, bool bLoaded)
{
    if (bLoaded && uiLevel == ML_ERROR)
        SetLastErrorMsg(pText);
    if (bLoaded && m_pLogMsgFn)
        return m_pLogMsgFn(uiLevel, pText, m_pLogMsgContext);
    return uiLevel == ML_ERROR ? 1 : 0;
}

std::wstring CRPLImpl::LoadMessageText(unsigned uiId)
{
    return LoadMessage(m_hModule, uiId, kStdMsgChars);
}

int CRPLImpl::LogStdMsg(unsigned uiLevel, unsigned uiId)
{
    const wchar_t* fn = L"CRPLImpl::LogStdMsg";
    std::wstring sText = LoadMessage(m_hModule, uiId, kStdMsgChars);
    if (sText.empty()) {
        CrplTrace().ApiFailure(fn, L"LoadString failed", GetLastError());
        return DeliverMessage(uiLevel, L"", false);
    }
    CrplTrace().Str(TL_INFO, fn, L"wszMsgBuf", sText);
    return DeliverMessage(uiLevel, sText.c_str(), true);
}

int CRPLImpl::LogVarMsg(unsigned uiLevel, unsigned uiId, ...)
{
    const wchar_t* fn = L"CRPLImpl::LogVarMsg";
    std::wstring sFormat = LoadMessage(m_hModule, uiId, kVarFormatChars);
    if (sFormat.empty()) {
        CrplTrace().ApiFailure(fn, L"LoadString failed", GetLastError());
        return DeliverMessage(uiLevel, L"", false);
    }
    va_list args;
    va_start(args, uiId);
    std::wstring sText = FormatMessageText(sFormat.c_str(), args, kVarMsgChars);
    va_end(args);
    CrplTrace().Str(TL_INFO, fn, L"wszMsgBuf", sText);
    return DeliverMessage(uiLevel, sText.c_str(), true);
}

unsigned CRPLImpl::SendProgress(ProgressRecord& record)
{
    return m_pProgMsgFn ? m_pProgMsgFn(&record, m_pProgMsgContext) : 0;
}

bool CRPLImpl::GetEnvVar(const std::wstring& sName, std::wstring& sValue)
{
    const wchar_t* fn = L"CRPLImpl::GetEnvVar";
    TraceScope scope(fn, CrplTrace());
    if (sName.empty())
        return scope.Fail(L"Invalid argument - Blank Env Var Name");
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetEnvironmentVariableW(sName.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
        DWORD dwError = GetLastError();
        if (n == 0) {
            if (dwError == ERROR_ENVVAR_NOT_FOUND)
                CrplTrace().Line(TL_WARNING, fn, L"GetEnvironmentVariable failed : ERROR_ENVVAR_NOT_FOUND");
            else
                CrplTrace().ApiFailure(fn, L"GetEnvironmentVariable failed", dwError);
            return scope.Fail(L"GetEnvironmentVariable failed", TL_WARNING);
        }
        if (n < buf.size()) {
            sValue.assign(buf.data(), n);
            break;
        }
        buf.resize(n + 1);
    }
    CrplTrace().Str(TL_VERBOSE, fn, sName.c_str(), sValue);
    return scope.End();
}

std::wstring CRPLImpl::HostFolder()
{
    std::wstring sFolder;
    CrplTrace().GetModuleFolder(sFolder);
    if (sFolder.empty())
        sFolder = kDefaultHostFolder;
    return sFolder;
}

bool CRPLImpl::GetFileLocation(const wchar_t* pKey, const wchar_t* pKind16Default, const wchar_t* pDefault,
                               std::wstring& sFolder)
{
    std::wstring sIni = HostFolder() + L"hlv.ini";
    wchar_t wsz[MAX_PATH] = {};
    GetPrivateProfileStringW(L"File Locations", pKey, m_dwWindowsKind == 16 ? pKind16Default : pDefault, wsz, MAX_PATH,
                             sIni.c_str());
    sFolder = wsz;
    return !sFolder.empty();
}

bool CRPLImpl::GetConfigDirectory(std::wstring& sFolder)
{
    return GetFileLocation(L"Config", L"Z:\\HALVOCFG", L"X:\\Program Files\\Velmora\\HALVOCFG", sFolder);
}

bool CRPLImpl::GetLogDirectory(std::wstring& sFolder)
{
    return GetFileLocation(L"Logfiles", L"Z:\\HALVO\\Logfiles", L"X:\\Program Files\\Velmora\\HALVO\\Logfiles",
                           sFolder);
}

bool CRPLImpl::GetAdvancedOption(const std::wstring& sTag)
{
    const wchar_t* fn = L"CRPLImpl::GetAdvancedOption";
    TraceScope scope(fn, CrplTrace());
    if (sTag.empty())
        return scope.Fail(L"Empty option tag");
    std::wstring sFolder;
    GetConfigDirectory(sFolder);
    std::wstring sIni = sFolder + L"\\disrec.ini";
    wchar_t wsz[11] = {};
    GetPrivateProfileStringW(L"Main", sTag.c_str(), L"No", wsz, 11, sIni.c_str());
    bool bRc = _wcsicmp(wsz, L"Yes") == 0 || _wcsicmp(wsz, L"True") == 0 || wcscmp(wsz, L"1") == 0;
    CrplTrace().Str(TL_INFO, fn, sTag.c_str(), wsz);
    scope.End();
    CrplTrace().Bool(TL_VERBOSE, fn, L"bRc", bRc);
    return bRc;
}

void CRPLImpl::UserEditCfg()
{
    const wchar_t* fn = L"CRPLImpl::UserEditCfg";
    TraceScope scope(fn, CrplTrace());
    std::wstring sFolder;
    GetConfigDirectory(sFolder);
    std::wstring sIni = L"\"" + sFolder + L"\\disrec.ini\"";
    intptr_t rc = _wspawnlp(_P_WAIT, L"notepad.exe", L"notepad.exe", sIni.c_str(), nullptr);
    if (rc == -1)
        CrplTrace().ApiFailure(fn, L"_wspawnlp(notepad.exe)", static_cast<DWORD>(errno));
}

void CRPLImpl::GetResourceVersionStr(unsigned /*uiSelector*/, std::wstring& sVersion)
{
    const wchar_t* fn = L"CRPLImpl::GetResourceVersionStr";
    TraceScope scope(fn, CrplTrace());
    sVersion = L"Error";
    HMODULE hModule = GetModuleHandleW(L"CVEX.DLL");
    wchar_t wszPath[MAX_PATH] = {};
    DWORD dwHandle = 0;
    DWORD dwSize =
        hModule && GetModuleFileNameW(hModule, wszPath, MAX_PATH) ? GetFileVersionInfoSizeW(wszPath, &dwHandle) : 0;
    if (dwSize == 0) {
        scope.Fail(L"No version resource available");
        return;
    }
    std::vector<BYTE> info(dwSize);
    if (!GetFileVersionInfoW(wszPath, 0, dwSize, info.data())) {
        scope.Fail(L"GetFileVersionInfo failed");
        return;
    }
    struct LangCodePage {
        WORD wLanguage;
        WORD wCodePage;
    }* pTranslation = nullptr;
    UINT uiLen = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pTranslation), &uiLen) ||
        uiLen < sizeof(LangCodePage)) {
        scope.Fail(L"VerQueryValue failed");
        return;
    }
    std::wstring sBlock =
        FormatMessageTextV(L"\\StringFileInfo\\%04x%04x\\", pTranslation->wLanguage, pTranslation->wCodePage);
    wchar_t* pFileVersion = nullptr;
    wchar_t* pPrivateBuild = nullptr;
    if (!VerQueryValueW(info.data(), (sBlock + L"FileVersion").c_str(), reinterpret_cast<void**>(&pFileVersion),
                        &uiLen) ||
        !pFileVersion) {
        scope.Fail(L"VerQueryValue(FileVersion) failed");
        return;
    }
    if (!VerQueryValueW(info.data(), (sBlock + L"PrivateBuild").c_str(), reinterpret_cast<void**>(&pPrivateBuild),
                        &uiLen) ||
        !pPrivateBuild) {
        scope.Fail(L"VerQueryValue(PrivateBuild) failed");
        return;
    }
    sVersion = ShortenVersion(pFileVersion, 3) + L" (build " + ShortenVersion(pPrivateBuild, 1) + L")";
    std::wstring sLogFolder;
    GetLogDirectory(sLogFolder);
    WritePrivateProfileStringW(L"CVEX.DLL", L"Version", sVersion.c_str(), (sLogFolder + L"\\Version.log").c_str());
    CrplTrace().Str(TL_VERBOSE, fn, L"sVersion", sVersion);
}

bool CRPLImpl::SetPrivilege(const wchar_t* pName, bool bEnable)
{
    const wchar_t* fn = L"CRPLImpl::SetPrivilege";
    TraceScope scope(fn, CrplTrace());
    CrplTrace().Str(TL_VERBOSE, fn, L"pName", pName);
    velmora::unique_handle_null token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) {
        DWORD dwError = GetLastError();
        CrplTrace().ApiFailure(fn, L"OpenProcessToken", dwError);
        return scope.Fail(L"OpenProcessToken failed");
    }
    TOKEN_PRIVILEGES tp = {};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = bEnable ? SE_PRIVILEGE_ENABLED : 0;
    if (!LookupPrivilegeValueW(nullptr, pName, &tp.Privileges[0].Luid)) {
        DWORD dwError = GetLastError();
        CrplTrace().ApiFailure(fn, L"LookupPrivilegeValue", dwError);
        return scope.Fail(L"LookupPrivilegeValue failed");
    }
    BOOL bAdjusted = AdjustTokenPrivileges(token.get(), FALSE, &tp, sizeof(tp), nullptr, nullptr);
    DWORD dwError = GetLastError();
    if (!bAdjusted) {
        CrplTrace().ApiFailure(fn, L"AdjustTokenPrivileges", dwError);
        return scope.Fail(L"AdjustTokenPrivileges failed");
    }
    if (dwError == ERROR_NOT_ALL_ASSIGNED)
        return scope.Fail(L"AdjustTokenPrivileges failed - ERROR_NOT_ALL_ASSIGNED");
    return scope.End();
}
