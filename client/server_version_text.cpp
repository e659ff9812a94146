#include "client/server_version.h"

#include <cwchar>

namespace serverversion
{

const char kCommandFileText[] = ". type: nsr\r\nprint\r\nquit\r\n";

std::wstring CommandLine(const std::wstring& sNsradminPath, const std::wstring& sServer,
                         const std::wstring& sCommandFile)
{
    return sNsradminPath + L" -s \"" + sServer + L"\" -i \"" + sCommandFile + L"\"";
}

bool VersionFromLine(const std::wstring& sLine, std::wstring& sVersion)
{
    if (sLine.find(L"NetWorker") == std::wstring::npos || sLine.find(L"Build") == std::wstring::npos)
        return false;
    const size_t nSkip = wcslen(L"NetWorker") + 1;
    std::wstring sRest = sLine.size() > nSkip ? sLine.substr(nSkip) : std::wstring();
    size_t iSlash = sRest.rfind(L'/');
    if (iSlash != std::wstring::npos)
        sRest.erase(iSlash);
    sVersion = sRest;
    return true;
}

} // namespace serverversion
