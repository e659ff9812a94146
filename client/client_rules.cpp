#include "client/client_rules.h"

#include <cwchar>
#include <cwctype>
#include <iterator>

namespace nwclient
{

const wchar_t kClientFolder[] = L"X:\\PROGRA~1\\Legato\\nsr\\";
const wchar_t kDaemonName[] = L"nsrexecd.exe";

const std::vector<std::wstring>& NsrDirectories()
{
    static const std::vector<std::wstring> folders = {
        L"applogs",
        L"bin",
        L"debug",
        L"dedup",
        L"dedup\\cache",
        L"dedup\\logs",
        L"en",
        L"logs",
        L"res",
        L"res\\nsrladb",
        L"res\\nsrladb\\00",
        L"res\\nsrladb\\01",
        L"res\\nsrladb\\02",
        L"res\\nsrladb\\03",
        L"res\\nsrladb\\04",
        L"res\\nsrladb\\05",
        L"res\\nsrladb\\06",
        L"res\\nsrladb\\07",
        L"res\\nsrladb\\08",
        L"res\\nsrladb\\09",
        L"rmagentps",
        L"rmagentps\\client",
        L"rmagentps\\client\\bin",
        L"rmagentps\\logs",
        L"rmagentps\\logs\\client",
        L"tmp",
        L"tmp\\sec",
    };
    return folders;
}

std::wstring ClientSearchPath(const std::wstring& sPath, const std::wstring& sClientDir)
{
    std::wstring sUpper(sPath);
    for (wchar_t& wc : sUpper)
        wc = static_cast<wchar_t>(std::towupper(wc));
    std::vector<std::wstring> entries;
    size_t start = 0;
    for (;;) {
        size_t end = sUpper.find(L';', start);
        entries.push_back(sUpper.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    bool bHasClient = false;
    for (const std::wstring& entry : entries)
        bHasClient = bHasClient || entry.find(L"\\LEGATO\\") != std::wstring::npos;
    if (!bHasClient)
        entries.insert(entries.begin(), sClientDir);
    std::wstring sJoined;
    for (size_t i = 0; i < entries.size(); ++i)
        sJoined += (i ? L";" : L"") + entries[i];
    return sJoined;
}

std::wstring VersionText(DWORD dwVersionMS, DWORD dwVersionLS)
{
    wchar_t wsz[64] = {};
    std::swprintf(wsz, std::size(wsz), L"%u.%u.%u.%u", static_cast<unsigned>(HIWORD(dwVersionMS)),
                  static_cast<unsigned>(LOWORD(dwVersionMS)), static_cast<unsigned>(HIWORD(dwVersionLS)),
                  static_cast<unsigned>(LOWORD(dwVersionLS)));
    return wsz;
}

std::wstring FileVersionQuery(WORD wLanguage, WORD wCodePage)
{
    wchar_t wsz[64] = {};
    std::swprintf(wsz, std::size(wsz), L"\\StringFileInfo\\%4.4X%4.4X\\FileVersion", static_cast<unsigned>(wLanguage),
                  static_cast<unsigned>(wCodePage));
    return wsz;
}

const wchar_t* ClientUnusableReason(const ClientFindings& found)
{
    if (!found.bDaemonFound)
        return L"No nsrexecd.exe found";
    if (!found.bRecoverFound)
        return L"No recover.exe found";
    if (found.sRelease.empty())
        return L"No release found";
    if (found.sVersion.empty())
        return L"No version found";
    if (found.bReleaseFailed)
        return L"GetReleaseVersion failed";
    return nullptr;
}

bool PortRange(const std::wstring& sLine, const std::wstring& sPrefix, std::wstring& sRange)
{
    if (sLine.size() < sPrefix.size() || _wcsnicmp(sLine.c_str(), sPrefix.c_str(), sPrefix.size()) != 0)
        return false;
    // The range follows after blanks; a line without one keeps its first digit.
    size_t start = sLine.find_first_not_of(L" \t", sPrefix.size());
    sRange = start == std::wstring::npos ? std::wstring() : sLine.substr(start);
    return true;
}

std::wstring DaemonCommandLine(const std::wstring& sDaemonPath, const std::wstring& sServer)
{
    return L"\"" + sDaemonPath + L"\" -s " + sServer;
}

std::wstring PortsCommandLine(const std::wstring& sPortsPath, const std::wstring& sHost)
{
    return sHost.empty() ? sPortsPath : sPortsPath + L" -t " + sHost;
}

std::wstring CertificateCommandLine(const std::wstring& sToolPath, const std::wstring& sCertFile,
                                    const std::wstring& sKeyFile)
{
    return sToolPath + L" -c \"" + sCertFile + L"\" -p \"" + sKeyFile + L"\"";
}

} // namespace nwclient
