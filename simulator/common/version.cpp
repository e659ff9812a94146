#include "simulator/common/version.h"

#include "support/win.h"

#include <vector>

namespace nwsim
{

std::string ClientVersion::Text() const
{
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(sp) + "." + std::to_string(build);
}

ClientVersion OwnVersion()
{
    ClientVersion v;
    wchar_t wsz[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, wsz, MAX_PATH);
    DWORD dwHandle = 0;
    DWORD dwSize = GetFileVersionInfoSizeW(wsz, &dwHandle);
    if (dwSize == 0)
        return v;
    std::vector<char> data(dwSize);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT uLen = 0;
    if (!GetFileVersionInfoW(wsz, 0, dwSize, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &uLen) || !info)
        return v;
    v.major = HIWORD(info->dwProductVersionMS);
    v.minor = LOWORD(info->dwProductVersionMS);
    v.sp = HIWORD(info->dwProductVersionLS);
    v.build = LOWORD(info->dwProductVersionLS);
    return v;
}

bool ReportHasTypeColumn(const ClientVersion& v)
{
    return !(v.major == 7 && (v.minor == 4 || v.minor == 5));
}

} // namespace nwsim
