#include "restore/filespace_rules.h"

#include "hostapi/message_ids.h"

#include <cwchar>

namespace restorerules
{

bool IsMountedFolder(const FileSpace& fs)
{
    return (fs.ulFsFlags & FS_MOUNTED_FOLDER) != 0;
}

const wchar_t* FilespaceProblem(const FileSpace& fs)
{
    if (fs.sFsName.empty())
        return L"Invalid argument";
    if (IsMountedFolder(fs))
        return fs.sFsPath.empty() ? L"Invalid mount directory" : nullptr;
    if (fs.wcFsDriveLetter == L'\0' || !std::wcschr(L"ABCDEFGHIJKLMNOPQRSTUVWXYZ", fs.wcFsDriveLetter))
        return L"Invalid drive letter";
    return nullptr;
}

std::wstring RestoreTarget(const FileSpace& fs)
{
    if (IsMountedFolder(fs))
        return fs.sFsPath;
    return std::wstring(1, fs.wcFsDriveLetter) + L":";
}

unsigned FailureMessage(RestoreLine kind)
{
    switch (kind) {
    case RestoreLine::SecuredData: return MSG_NTFS_TO_NON_NTFS;
    case RestoreLine::ClientNotRegistered: return MSG_CLIENT_NAME_NOT_REGISTERED;
    case RestoreLine::AddressNotRegistered: return MSG_CLIENT_ADDRESS_NOT_REGISTERED;
    case RestoreLine::DdclOpenFailed: return MSG_DDCL_OPEN_FAILED;
    case RestoreLine::StaleRpcHandle: return MSG_STALE_RPC_HANDLE;
    case RestoreLine::RecoverThreadsFailed: return MSG_RECOVER_THREADS_FAILED;
    case RestoreLine::ConnectionClosed: return MSG_CONNECTION_LOST;
    default: return 0;
    }
}

std::vector<std::wstring> CountCommands(const std::wstring& sPointInTime, const std::wstring& sFilespace)
{
    std::vector<std::wstring> commands;
    if (!sPointInTime.empty())
        commands.push_back(L"changetime \"" + sPointInTime + L"\"\r\n");
    commands.push_back(L"add -q " + sFilespace + L"\r\n");
    commands.push_back(L"list -l\r\n");
    commands.push_back(L"EXIT\r\n");
    return commands;
}

bool ToolCrashed(unsigned long ulExitCode)
{
    return ulExitCode >= 0xC0000000UL;
}

} // namespace restorerules
