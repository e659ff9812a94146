// Simulated nwinstcreate.exe: imports the client's certificate and private key into its "res" folder.
#include "simulator/common/cmdline.h"
#include "simulator/common/ini.h"
#include "simulator/common/text.h"
#include "simulator/common/tool.h"

using namespace nwsim;

namespace
{

bool Import(ToolRun& run, const std::string& sFrom, const std::wstring& sTo, const char* pszWhat)
{
    std::string sData;
    if (!ReadWholeFile(Wide(sFrom), sData)) {
        run.out.Line(std::string("nwinstcreate: cannot read the ") + pszWhat + " file " + sFrom);
        return false;
    }
    if (!CopyFileW(Wide(sFrom).c_str(), sTo.c_str(), FALSE)) {
        run.out.Line(std::string("nwinstcreate: cannot store the ") + pszWhat + " in " + Utf8(sTo));
        return false;
    }
    run.out.Line(std::string("Imported the ") + pszWhat + " from " + sFrom);
    return true;
}

} // namespace

int main()
{
    const char kUsage[] = "nwinstcreate -c certificate-file -p private-key-file";
    ParsedArgs args = ParseArgs(SplitCommandLine(GetCommandLineA()), "cp", "");
    ToolRun run("nwinstcreate", "any", "", "-");
    if (!args.sError.empty() || !args.Has('c') || !args.Has('p'))
        run.Usage(args.sError.empty() ? "both -c and -p are needed" : args.sError, kUsage);
    run.out.Point("start");
    std::wstring sRes = run.cfg.sToolFolder + L"\\..\\res";
    CreateDirectoryW(sRes.c_str(), nullptr);
    if (!Import(run, args.Get('c'), sRes + L"\\nsrcert.pem", "certificate") ||
        !Import(run, args.Get('p'), sRes + L"\\nsrkey.pem", "private key"))
        run.out.Finish(1);
    std::string sMarker = "imported\r\n";
    velmora::unique_file marker(CreateFileW((sRes + L"\\IDinitialize").c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD dwWritten = 0;
    if (marker)
        WriteFile(marker.get(), sMarker.data(), static_cast<DWORD>(sMarker.size()), &dwWritten, nullptr);
    run.out.Line("The NetWorker instance identity was created successfully.");
    run.out.Finish(0);
}
