// Simulated nsrexecd.exe: the client's execution daemon. It announces itself to the server, then
// stays until it is ended (the restore module finds it by its process name and terminates it).
// Like the real daemon it needs its log folder, the client's "applogs" beside "bin": when that
// cannot be written it says so and ends at once.
#include "simulator/common/cmdline.h"
#include "simulator/common/text.h"
#include "simulator/common/tool.h"

using namespace nwsim;

namespace
{

std::wstring LogFolder(const std::wstring& sToolFolder)
{
    size_t slash = sToolFolder.rfind(L'\\');
    return (slash == std::wstring::npos ? std::wstring(L".") : sToolFolder.substr(0, slash)) + L"\\applogs";
}

// Creates the folder when it is missing and appends a start line to the daemon's log. A folder
// marked read-only counts as not writable: under Wine that is how a folder without write
// permission shows, and the tests run as root, whom the permission itself does not stop.
bool WriteStartLine(const std::wstring& sFolder)
{
    CreateDirectoryW(sFolder.c_str(), nullptr);
    DWORD dwAttributes = GetFileAttributesW(sFolder.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (dwAttributes & FILE_ATTRIBUTE_READONLY))
        return false;
    velmora::unique_file log(CreateFileW((sFolder + L"\\nsrexecd.log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string sLine = "nsrexecd started, pid " + std::to_string(GetCurrentProcessId()) + "\r\n";
    DWORD dwWritten = 0;
    return log && WriteFile(log.get(), sLine.data(), static_cast<DWORD>(sLine.size()), &dwWritten, nullptr) &&
           dwWritten == sLine.size();
}

} // namespace

int main()
{
    ParsedArgs args = ParseArgs(SplitCommandLine(GetCommandLineA()), "spP", "D");
    ToolRun run("nsrexecd", "any", args.Get('s'), "-");
    if (!args.sError.empty())
        run.Usage(args.sError, "nsrexecd [-s server]");
    run.out.Point("start");
    std::wstring sLogFolder = LogFolder(run.cfg.sToolFolder);
    if (!WriteStartLine(sLogFolder)) {
        run.out.Line("nsrexecd: cannot write to the log folder " + Utf8(sLogFolder) + "; the daemon cannot run");
        run.out.Finish(1);
    }
    // A short registration only: a connection held for the daemon's life would hide a dropped
    // recover connection from the restore module's connection watch.
    ServerLink registration;
    if (registration.Open(run.cfg, "nsrexecd", run.sServer, "-") == LinkStatus::Ok)
        registration.Close();
    for (;;)
        Sleep(60000);
}
