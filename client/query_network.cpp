#include "client/query_network.h"

#include "credentials/safe_text.h"
#include "support/cnm.h"
#include "support/file_replace.h"
#include "support/handle.h"
#include "support/traced/update_reg.h"
#include "trace/trace_scope.h"

const wchar_t QueryNetwork::kServersFile[] = L"X:\\PROGRA~1\\Legato\\nsr\\res\\servers";

namespace
{

const wchar_t kHostsFileTail[] = L"\\system32\\drivers\\etc\\hosts";
const char kLineEnd[] = "\r\n";

// Reads a whole file; false with the Windows error when it cannot be opened or read.
bool ReadWholeFile(const std::wstring& sPath, std::string& sBytes, DWORD& dwError)
{
    velmora::unique_file file(CreateFileW(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        dwError = GetLastError();
        return false;
    }
    sBytes.clear();
    char buf[16384];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file.get(), buf, sizeof(buf), &n, nullptr)) {
            dwError = GetLastError();
            return false;
        }
        if (n == 0)
            return true;
        sBytes.append(buf, n);
    }
}

bool HostsFilePath(QueryNetwork& query, std::wstring& sPath)
{
    velmora::string sSystemRoot;
    if (!query.GetEnvVar(L"SystemRoot", sSystemRoot))
        return false;
    sPath = sSystemRoot + kHostsFileTail;
    return true;
}

// The servers file lives in the client's "res" folder, which the client set-up creates only
// later; the file cannot be written without it.
void EnsureParentFolder(const std::wstring& sPath, const wchar_t* pFn)
{
    std::wstring sFolder = sPath.substr(0, sPath.rfind(L'\\'));
    if (!CreateDirectoryW(sFolder.c_str(), nullptr)) {
        DWORD dwError = GetLastError();
        if (dwError != ERROR_ALREADY_EXISTS)
            CvexTrace().ApiFailure(pFn, L"CreateDirectory(res)", dwError);
    }
}

} // namespace

QueryNetwork::QueryNetwork()
{
    TraceScope scope(L"QueryNetwork::QueryNetwork");
}

QueryNetwork::~QueryNetwork()
{
    TraceScope scope(L"QueryNetwork::~QueryNetwork");
}

bool QueryNetwork::GetEnvVar(const velmora::string& sName, velmora::string& sValue)
{
    const wchar_t* fn = L"QueryNetwork::GetEnvVar";
    TraceScope scope(fn);
    std::wstring sBuffer(MAX_PATH, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS); // an empty value also answers 0
        DWORD n = GetEnvironmentVariableW(sName.c_str(), sBuffer.data(), static_cast<DWORD>(sBuffer.size()));
        DWORD dwError = GetLastError();
        if (n == 0 && dwError == ERROR_ENVVAR_NOT_FOUND)
            return scope.Fail(L"value not found");
        if (n == 0 && dwError != ERROR_SUCCESS) {
            CvexTrace().ApiFailure(fn, L"GetEnvironmentVariable", dwError);
            return scope.Fail(L"GetEnvironmentVariable failed");
        }
        if (n < sBuffer.size()) {
            sValue = sBuffer.substr(0, n);
            break;
        }
        sBuffer.resize(n);
    }
    CvexTrace().Str(TL_VERBOSE, fn, sName.c_str(), sValue);
    return scope.End();
}

bool QueryNetwork::LoadTable()
{
    const wchar_t* fn = L"QueryNetwork::LoadTable";
    TraceScope scope(fn);
    m_HostsTable = hostsfile::Table();
    std::wstring sPath;
    if (!HostsFilePath(*this, sPath))
        return scope.Fail(L"GetEnvVar failed");
    std::string sBytes;
    DWORD dwError = 0;
    if (!ReadWholeFile(sPath, sBytes, dwError)) {
        CvexTrace().ApiFailure(fn, (L"ReadFile(" + sPath + L")").c_str(), dwError);
        return scope.Fail(L"Failed to locate/read hosts file");
    }
    m_HostsTable = hostsfile::Table::FromBytes(sBytes);
    CvexTrace().Int(TL_VERBOSE, fn, L"nLines", static_cast<long long>(m_HostsTable.Lines().size()));
    return scope.End();
}

bool QueryNetwork::UnloadTable()
{
    const wchar_t* fn = L"QueryNetwork::UnloadTable";
    TraceScope scope(fn);
    std::wstring sPath;
    if (!HostsFilePath(*this, sPath))
        return scope.Fail(L"GetEnvVar failed");
    DWORD dwError = velmora::replace_file(sPath, m_HostsTable.Bytes());
    if (dwError != 0) {
        CvexTrace().ApiFailure(fn, (L"ReplaceFile(" + sPath + L")").c_str(), dwError);
        return scope.Fail(L"Failed to locate/write hosts file");
    }
    return scope.End();
}

bool QueryNetwork::CheckHostEntry(const velmora::string& sName, const velmora::ip_address& address)
{
    const wchar_t* fn = L"QueryNetwork::CheckHostEntry";
    TraceScope scope(fn);
    CvexTrace().Str(TL_VERBOSE, fn, L"sName", sName);
    if (const wchar_t* pReason = safetext::Refusal(sName, safetext::Kind::HostName)) {
        CvexTrace().Str(TL_ERROR, fn, L"sName", pReason);
        return scope.Fail(L"Invalid host");
    }
    if (!address.is_valid())
        return scope.Fail(L"Invalid IP address");
    if (!LoadTable())
        return scope.Fail(L"LoadTable failed");
    CvexTrace().Str(TL_VERBOSE, fn, L"sNewLine", hostsfile::Table::EntryLine(sName, address));
    if (!m_HostsTable.MapName(sName, address))
        CvexTrace().Line(TL_INFO, fn, L"Adding new entry");
    if (!UnloadTable())
        return scope.Fail(L"UnloadTable failed");
    return scope.End();
}

bool QueryNetwork::UpdateServers(const velmora::string& sName)
{
    const wchar_t* fn = L"QueryNetwork::UpdateServers";
    TraceScope scope(fn);
    if (const wchar_t* pReason = safetext::Refusal(sName, safetext::Kind::HostName)) {
        CvexTrace().Str(TL_ERROR, fn, L"sName", pReason);
        return scope.Fail(L"Invalid host");
    }
    std::wstring sDomain;
    if (!UpdateReg::GetDomain(false, sDomain) || sDomain.empty()) {
        sDomain.clear();
        if (!UpdateReg::GetDomain(true, sDomain))
            sDomain.clear();
    }
    const velmora::string sFQDN = hostsfile::QualifiedName(sName, sDomain);
    CvexTrace().Str(TL_INFO, fn, L"sFQDN", sFQDN);
    EnsureParentFolder(kServersFile, fn);
    DWORD dwError = velmora::replace_file(kServersFile, velmora::narrow(sFQDN) + kLineEnd);
    if (dwError != 0) {
        CvexTrace().ApiFailure(fn, L"ReplaceFile(servers)", dwError);
        return scope.Fail(L"Failed to locate/write servers file");
    }
    return scope.End();
}

bool QueryNetwork::CheckDuplicateAddress(const velmora::ip_address& address)
{
    const wchar_t* fn = L"QueryNetwork::CheckDuplicateAddress";
    TraceScope scope(fn);
    if (!address.is_valid())
        return scope.Fail(L"Invalid IP address");
    std::vector<CNM::NIC_INFO> adapters;
    if (!CNM::GetAdapterList(adapters))
        return scope.Fail(L"CNM::GetAdapterList failed");
    hostsfile::ConflictNotes notes;
    for (const CNM::NIC_INFO& nic : adapters) {
        std::vector<CNM::ASSOC_IP_ADDR> addrs;
        if (!CNM::GetAdaptersIpAddrs(nic, addrs)) {
            CvexTrace().Str(TL_WARNING, fn, L"CNM::GetAdaptersIpAddrs failed", nic.sNicDesc);
            continue;
        }
        for (const CNM::ASSOC_IP_ADDR& bound : addrs) {
            hostsfile::NoteBoundAddress(notes, bound.ipAddress, address);
            if (notes.Both()) {
                CvexTrace().Line(TL_WARNING, fn, L"Found duplicate IP address?");
                return scope.End();
            }
        }
    }
    CvexTrace().Bool(TL_VERBOSE, fn, L"bFoundTarget", notes.bFoundTarget);
    CvexTrace().Bool(TL_VERBOSE, fn, L"bFoundLinkLocal", notes.bFoundLinkLocal);
    scope.End();
    return false;
}

bool QueryNetwork::GetHostname(velmora::string& sHostname)
{
    const wchar_t* fn = L"QueryNetwork::GetHostname";
    TraceScope scope(fn);
    WSADATA wsa = {};
    int iRc = WSAStartup(MAKEWORD(1, 1), &wsa);
    if (iRc != 0) {
        CvexTrace().ApiFailure(fn, L"WSAStartup", static_cast<DWORD>(iRc));
        return scope.Fail(L"WSAStartup failed");
    }
    char szName[256] = {};
    bool bNamed = gethostname(szName, sizeof(szName) - 1) == 0;
    DWORD dwError = bNamed ? 0 : static_cast<DWORD>(WSAGetLastError());
    if (WSACleanup() != 0) {
        CvexTrace().ApiFailure(fn, L"WSACleanup", static_cast<DWORD>(WSAGetLastError()));
        return scope.Fail(L"WSACleanup failed");
    }
    if (!bNamed) {
        CvexTrace().ApiFailure(fn, L"gethostname", dwError);
        return scope.Fail(L"gethostname failed");
    }
    sHostname = velmora::widen(szName);
    CvexTrace().Str(TL_INFO, fn, L"sHostname", sHostname);
    return scope.End();
}
