#include "simulator/common/config.h"

#include "simulator/common/text.h"
#include "support/win.h"

namespace nwsim
{

Config ConfigFromIni(const IniFile& ini)
{
    Config c;
    c.sStore = Wide(ini.Get("nwsim", "store"));
    c.sAddress = ini.Get("nwsim", "server_address", c.sAddress);
    c.uPort = static_cast<unsigned>(ini.GetInt("nwsim", "server_port", c.uPort));
    c.uConnectTimeout = static_cast<unsigned>(ini.GetInt("nwsim", "connect_timeout", c.uConnectTimeout));
    std::string sEnd = Lower(ini.Get("nwsim", "line_end", "crlf"));
    c.sLineEnd = sEnd == "lf" ? "\n" : sEnd == "cr" ? "\r" : "\r\n";
    c.bNoise = ini.GetBool("nwsim", "noise", true);
    c.uPasswordAttempts = static_cast<unsigned>(ini.GetInt("nwsim", "password_attempts", c.uPasswordAttempts));
    c.uPasswordTimeout = static_cast<unsigned>(ini.GetInt("nwsim", "password_timeout", 0));
    c.uMminfoClock = ini.GetInt("nwsim", "mminfo_clock", 12) == 24 ? 24 : 12;
    c.bCloseFirst = ini.GetBool("nwsim", "close_first", false);
    c.bNsrportsNeedsDaemon = ini.GetBool("nwsim", "nsrports_needs_daemon", false);
    c.sOldStaging = ini.Get("restore", "old_staging");
    c.sHoldFile = ini.Get("restore", "hold_file");
    c.uHoldMs = static_cast<unsigned>(ini.GetInt("restore", "hold_ms", 0));
    c.bDeleteDirect = ini.GetBool("restore", "delete_direct", false);
    c.sMissingHive = ini.Get("restore", "missing_hive");
    c.sEmptyHive = ini.Get("restore", "empty_hive");
    c.sMissingSaveset = ini.Get("restore", "missing_saveset");
    for (const IniSection& faults : ini.Sections()) {
        if (!EqualsNoCase(faults.sName, "faults"))
            continue;
        for (const auto& [name, spec] : faults.entries) {
            Fault f;
            std::string sError;
            if (ParseFault(spec, f, sError)) {
                f.sKey = name + " = " + spec;
                c.faults.push_back(f);
            } else
                c.faultErrors.push_back(name + ": " + sError);
        }
    }
    return c;
}

std::wstring ProgramFolder()
{
    wchar_t wsz[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, wsz, MAX_PATH);
    std::wstring s(wsz, n);
    size_t slash = s.rfind(L'\\');
    return slash == std::wstring::npos ? L"." : s.substr(0, slash);
}

Config LoadConfig()
{
    std::wstring sPath = ProgramFolder() + L"\\nwsim.ini";
    wchar_t wsz[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(L"NWSIM_INI", wsz, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        sPath = wsz;
    bool bFound = false;
    Config c = ConfigFromIni(IniFile::Load(sPath, bFound));
    c.bFound = bFound;
    size_t slash = sPath.rfind(L'\\');
    c.sStatePath = (slash == std::wstring::npos ? std::wstring(L".") : sPath.substr(0, slash)) + L"\\nwsim.state";
    c.sToolFolder = ProgramFolder();
    return c;
}

} // namespace nwsim
