#include "restore/filespace_rules.h"

#include "hostapi/message_ids.h"
#include "restore/recover_literals.h"

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

namespace
{
// Windows' own text for a connection the server refused.
const wchar_t kConnectionRefused[] = L"No connection could be made because the target machine actively refused it";

std::wstring Hex8(unsigned long ul)
{
    wchar_t wsz[16] = {};
    swprintf(wsz, 16, L"0x%08lX", ul);
    return wsz;
}
} // namespace

unsigned SessionLossMessage(const std::wstring& sLine)
{
    if (IsObjectPath(sLine))
        return 0;
    if (LineHas(sLine, RL_FAILED_BUSY))
        return MSG_SERVER_BUSY;
    if (LineHas(sLine, RL_CONNECTION_ATTEMPT_FAILED) || LineHas(sLine, RL_CONNECTION_TIMED_OUT))
        return MSG_CONNECTION_TIMED_OUT;
    if (LineHas(sLine, RL_RPC_CANNOT_CALL))
        return MSG_SERVER_NOT_CONTACTED;
    if (LineHas(sLine, RL_NO_ROUTE_TO_HOST) || sLine.find(kConnectionRefused) != std::wstring::npos)
        return MSG_NO_SESSION;
    return 0;
}

unsigned UnaccountedObjects(unsigned uiCounted, unsigned uiRestored, unsigned uiFileErrors)
{
    if (uiRestored >= uiCounted)
        return 0;
    const unsigned uiMissing = uiCounted - uiRestored;
    return uiMissing > uiFileErrors ? uiMissing - uiFileErrors : 0;
}

std::wstring ShortfallReason(const PassEnd& end, const std::wstring& sSessionLossText)
{
    if (end.bConnectionLost)
        return L"the connection to the NetWorker server was lost";
    if (end.bExitKnown && ToolCrashed(end.ulExitCode))
        return L"recover ended abnormally (" + Hex8(end.ulExitCode) + L")";
    if (end.uiSessionLossMessage)
        return L"recover had no session with the server: " + sSessionLossText;
    if (end.bExitKnown && end.ulExitCode != 0)
        return L"recover ended with exit code " + std::to_wstring(end.ulExitCode);
    if (end.bUnreadableLine)
        return L"recover printed a line too long to be a path";
    return L"recover ended before every object had come back";
}

std::wstring CountCutShortReason(const PassEnd& end, unsigned uiPromptsAfterBanner, unsigned uiCommands,
                                 const std::wstring& sSessionLossText)
{
    if (end.bConnectionLost || end.uiSessionLossMessage || !end.bExitKnown || end.ulExitCode != 0)
        return end.bExitKnown || end.bConnectionLost || end.uiSessionLossMessage
                   ? ShortfallReason(end, sSessionLossText)
                   : L"recover's end could not be read";
    if (end.bUnreadableLine)
        return ShortfallReason(end, sSessionLossText);
    if (uiPromptsAfterBanner < uiCommands)
        return L"recover ended before it had answered every command";
    return {};
}

} // namespace restorerules
