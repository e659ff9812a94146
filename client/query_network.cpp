#include "client/query_network.h"

#include "support/cnm.h"
#include "support/handle.h"
#include "support/update_reg.h"
#include "trace/trace.h"

#include <cwctype>

const wchar_t QueryNetwork::kServersFile[] = L"X:\\PROGRA~1\\Legato\\nsr\\res\\servers";

namespace
{

const wchar_t kHostsFileTail[] = L"\\system32\\drivers\\etc\\hosts";
const wchar_t kCommentMarker = L'#';
const wchar_t kFieldSeparator[] = L"\t";
const char kLineEnd[] = "\r\n";

// The hosts file as read by LoadTable: one wide line (with "\n") per entry, and the bytes each
// line was read from.
std::vector<velmora::string> g_HostsTable;
std::vector<std::string> g_HostsBytes;

bool IsBlank(wchar_t wc)
{
    return wc == L' ' || wc == L'\t' || wc == L'\r' || wc == L'\n' || wc == L'\v' || wc == L'\f';
}

std::wstring Upper(std::wstring s)
{
    for (wchar_t& wc : s)
        wc = static_cast<wchar_t>(std::towupper(wc));
    return s;
}

std::vector<std::wstring> Fields(const std::wstring& sLine)
{
    std::vector<std::wstring> fields;
    size_t i = 0;
    while (i < sLine.size()) {
        while (i < sLine.size() && IsBlank(sLine[i]))
            ++i;
        size_t iStart = i;
        while (i < sLine.size() && !IsBlank(sLine[i]))
            ++i;
        if (i > iStart)
            fields.push_back(sLine.substr(iStart, i - iStart));
    }
    return fields;
}

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

bool WriteWholeFile(const std::wstring& sPath, const std::string& sBytes, DWORD& dwError)
{
    velmora::unique_file file(
        CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        dwError = GetLastError();
        return false;
    }
    DWORD n = 0;
    if (!WriteFile(file.get(), sBytes.data(), static_cast<DWORD>(sBytes.size()), &n, nullptr) || n != sBytes.size()) {
        dwError = GetLastError();
        return false;
    }
    if (!FlushFileBuffers(file.get())) {
        dwError = GetLastError();
        return false;
    }
    return true;
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

namespace hostsfile
{

std::vector<std::string> SplitFileLines(const std::string& sBytes)
{
    std::vector<std::string> lines;
    size_t iStart = 0;
    while (iStart < sBytes.size()) {
        size_t iEnd = sBytes.find('\n', iStart);
        std::string sLine = sBytes.substr(iStart, iEnd == std::string::npos ? std::string::npos : iEnd - iStart);
        if (iEnd != std::string::npos && !sLine.empty() && sLine.back() == '\r')
            sLine.pop_back();
        lines.push_back(sLine);
        if (iEnd == std::string::npos)
            break;
        iStart = iEnd + 1;
    }
    return lines;
}

std::vector<std::wstring> NamesOfLine(const std::wstring& sLine)
{
    std::vector<std::wstring> names;
    if (!sLine.empty() && sLine[0] == kCommentMarker)
        return names;
    std::vector<std::wstring> fields = Fields(sLine);
    for (size_t i = 1; i < fields.size() && fields[i][0] != kCommentMarker; ++i)
        names.push_back(fields[i]);
    return names;
}

bool ReplaceEntries(std::vector<velmora::string>& table, const std::wstring& sName, const std::wstring& sNewLine)
{
    const std::wstring sWanted = Upper(sName);
    bool bReplaced = false;
    for (velmora::string& sLine : table) {
        for (const std::wstring& sField : NamesOfLine(sLine)) {
            if (Upper(sField) == sWanted) {
                sLine = sNewLine;
                bReplaced = true;
                break;
            }
        }
    }
    return bReplaced;
}

std::string FileBytes(const std::vector<velmora::string>& table, const std::vector<std::string>& originals)
{
    std::string sBytes;
    for (size_t i = 0; i < table.size(); ++i) {
        std::wstring sLine = table[i];
        if (!sLine.empty() && sLine.back() == L'\n')
            sLine.pop_back();
        bool bUnchanged = i < originals.size() && velmora::widen(originals[i]) == sLine;
        sBytes += bUnchanged ? originals[i] : velmora::narrow(sLine);
        sBytes += kLineEnd;
    }
    return sBytes;
}

std::wstring QualifiedName(const std::wstring& sName, const std::wstring& sDomain)
{
    if (sDomain.empty() || sName.find(L'.') != std::wstring::npos)
        return sName;
    return sName + L"." + sDomain;
}

DWORD ReplaceFile(const std::wstring& sPath, const std::string& sBytes)
{
    const std::wstring sTemp = sPath + L".cvex-new";
    DWORD dwError = 0;
    if (!WriteWholeFile(sTemp, sBytes, dwError)) {
        DeleteFileW(sTemp.c_str());
        return dwError;
    }
    if (!MoveFileExW(sTemp.c_str(), sPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        dwError = GetLastError();
        DeleteFileW(sTemp.c_str());
        return dwError;
    }
    return 0;
}

void NoteBoundAddress(ConflictNotes& notes, const velmora::ip_address& bound, const velmora::ip_address& target)
{
    if (!bound.is_valid())
        return;
    if (bound == target) {
        notes.bFoundTarget = true;
        return;
    }
    if (bound.family() != target.family())
        return;
    const std::wstring sText = bound.to_string();
    const wchar_t* pPrefix = bound.family() == AF_INET ? L"169.254." : L"fe80:";
    if (sText.compare(0, wcslen(pPrefix), pPrefix) == 0)
        notes.bFoundLinkLocal = true;
}

} // namespace hostsfile

QueryNetwork::QueryNetwork()
{
    CvexTrace().Start(L"QueryNetwork::QueryNetwork");
    CvexTrace().End(L"QueryNetwork::QueryNetwork");
}

QueryNetwork::~QueryNetwork()
{
    CvexTrace().Start(L"QueryNetwork::~QueryNetwork");
    CvexTrace().End(L"QueryNetwork::~QueryNetwork");
}

bool QueryNetwork::GetEnvVar(const velmora::string& sName, velmora::string& sValue)
{
    const wchar_t* fn = L"QueryNetwork::GetEnvVar";
    CvexTrace().Start(fn);
    std::wstring sBuffer(MAX_PATH, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS); // an empty value also answers 0
        DWORD n = GetEnvironmentVariableW(sName.c_str(), sBuffer.data(), static_cast<DWORD>(sBuffer.size()));
        DWORD dwError = GetLastError();
        if (n == 0 && dwError == ERROR_ENVVAR_NOT_FOUND) {
            CvexTrace().EndFail(fn, L"value not found");
            return false;
        }
        if (n == 0 && dwError != ERROR_SUCCESS) {
            CvexTrace().ApiFailure(fn, L"GetEnvironmentVariable", dwError);
            CvexTrace().EndFail(fn, L"GetEnvironmentVariable failed");
            return false;
        }
        if (n < sBuffer.size()) {
            sValue = sBuffer.substr(0, n);
            break;
        }
        sBuffer.resize(n);
    }
    CvexTrace().Str(TL_VERBOSE, fn, sName.c_str(), sValue);
    CvexTrace().End(fn);
    return true;
}

bool QueryNetwork::LoadTable()
{
    const wchar_t* fn = L"QueryNetwork::LoadTable";
    CvexTrace().Start(fn);
    g_HostsTable.clear();
    g_HostsBytes.clear();
    std::wstring sPath;
    if (!HostsFilePath(*this, sPath)) {
        CvexTrace().EndFail(fn, L"GetEnvVar failed");
        return false;
    }
    std::string sBytes;
    DWORD dwError = 0;
    if (!ReadWholeFile(sPath, sBytes, dwError)) {
        CvexTrace().ApiFailure(fn, (L"ReadFile(" + sPath + L")").c_str(), dwError);
        CvexTrace().EndFail(fn, L"Failed to locate/read hosts file");
        return false;
    }
    g_HostsBytes = hostsfile::SplitFileLines(sBytes);
    for (const std::string& sLine : g_HostsBytes)
        g_HostsTable.push_back(velmora::widen(sLine) + L"\n");
    CvexTrace().Int(TL_VERBOSE, fn, L"nLines", static_cast<long long>(g_HostsTable.size()));
    CvexTrace().End(fn);
    return true;
}

bool QueryNetwork::UnloadTable()
{
    const wchar_t* fn = L"QueryNetwork::UnloadTable";
    CvexTrace().Start(fn);
    std::wstring sPath;
    if (!HostsFilePath(*this, sPath)) {
        CvexTrace().EndFail(fn, L"GetEnvVar failed");
        return false;
    }
    DWORD dwError = hostsfile::ReplaceFile(sPath, hostsfile::FileBytes(g_HostsTable, g_HostsBytes));
    if (dwError != 0) {
        CvexTrace().ApiFailure(fn, (L"ReplaceFile(" + sPath + L")").c_str(), dwError);
        CvexTrace().EndFail(fn, L"Failed to locate/write hosts file");
        return false;
    }
    CvexTrace().End(fn);
    return true;
}

bool QueryNetwork::CheckHostEntry(const velmora::string& sName, const velmora::ip_address& address)
{
    const wchar_t* fn = L"QueryNetwork::CheckHostEntry";
    CvexTrace().Start(fn);
    CvexTrace().Str(TL_VERBOSE, fn, L"sName", sName);
    if (sName.empty()) {
        CvexTrace().EndFail(fn, L"Invalid host");
        return false;
    }
    if (!address.is_valid()) {
        CvexTrace().EndFail(fn, L"Invalid IP address");
        return false;
    }
    if (!LoadTable()) {
        CvexTrace().EndFail(fn, L"LoadTable failed");
        return false;
    }
    const velmora::string sNewLine = address.to_string() + kFieldSeparator + sName + L"\n";
    CvexTrace().Str(TL_VERBOSE, fn, L"sNewLine", sNewLine);
    if (!hostsfile::ReplaceEntries(g_HostsTable, sName, sNewLine)) {
        CvexTrace().Line(TL_INFO, fn, L"Adding new entry");
        g_HostsTable.push_back(sNewLine);
    }
    if (!UnloadTable()) {
        CvexTrace().EndFail(fn, L"UnloadTable failed");
        return false;
    }
    CvexTrace().End(fn);
    return true;
}

bool QueryNetwork::UpdateServers(const velmora::string& sName)
{
    const wchar_t* fn = L"QueryNetwork::UpdateServers";
    CvexTrace().Start(fn);
    if (sName.empty()) {
        CvexTrace().EndFail(fn, L"Invalid host");
        return false;
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
    DWORD dwError = hostsfile::ReplaceFile(kServersFile, velmora::narrow(sFQDN) + kLineEnd);
    if (dwError != 0) {
        CvexTrace().ApiFailure(fn, L"ReplaceFile(servers)", dwError);
        CvexTrace().EndFail(fn, L"Failed to locate/write servers file");
        return false;
    }
    CvexTrace().End(fn);
    return true;
}

bool QueryNetwork::CheckDuplicateAddress(const velmora::ip_address& address)
{
    const wchar_t* fn = L"QueryNetwork::CheckDuplicateAddress";
    CvexTrace().Start(fn);
    if (!address.is_valid()) {
        CvexTrace().EndFail(fn, L"Invalid IP address");
        return false;
    }
    std::vector<CNM::NIC_INFO> adapters;
    if (!CNM::GetAdapterList(adapters)) {
        CvexTrace().EndFail(fn, L"CNM::GetAdapterList failed");
        return false;
    }
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
                CvexTrace().End(fn);
                return true;
            }
        }
    }
    CvexTrace().Bool(TL_VERBOSE, fn, L"bFoundTarget", notes.bFoundTarget);
    CvexTrace().Bool(TL_VERBOSE, fn, L"bFoundLinkLocal", notes.bFoundLinkLocal);
    CvexTrace().End(fn);
    return false;
}

bool QueryNetwork::GetHostname(velmora::string& sHostname)
{
    const wchar_t* fn = L"QueryNetwork::GetHostname";
    CvexTrace().Start(fn);
    WSADATA wsa = {};
    int iRc = WSAStartup(MAKEWORD(1, 1), &wsa);
    if (iRc != 0) {
        CvexTrace().ApiFailure(fn, L"WSAStartup", static_cast<DWORD>(iRc));
        CvexTrace().EndFail(fn, L"WSAStartup failed");
        return false;
    }
    char szName[256] = {};
    bool bNamed = gethostname(szName, sizeof(szName) - 1) == 0;
    DWORD dwError = bNamed ? 0 : static_cast<DWORD>(WSAGetLastError());
    if (WSACleanup() != 0) {
        CvexTrace().ApiFailure(fn, L"WSACleanup", static_cast<DWORD>(WSAGetLastError()));
        CvexTrace().EndFail(fn, L"WSACleanup failed");
        return false;
    }
    if (!bNamed) {
        CvexTrace().ApiFailure(fn, L"gethostname", dwError);
        CvexTrace().EndFail(fn, L"gethostname failed");
        return false;
    }
    sHostname = velmora::widen(szName);
    CvexTrace().Str(TL_INFO, fn, L"sHostname", sHostname);
    CvexTrace().End(fn);
    return true;
}
