// nwsim.ini beside the tools: where the store and the server are, and the knobs.
#pragma once
#include "simulator/common/faults.h"
#include "simulator/common/ini.h"

#include <string>
#include <vector>

namespace nwsim
{

struct Config {
    bool bFound = false;      // the file was read
    std::wstring sToolFolder; // folder of the running program, without trailing backslash
    std::wstring sStore;      // store folder (Windows path)
    std::string sAddress = "127.0.0.1";
    unsigned uPort = 7937;
    unsigned uConnectTimeout = 5;
    std::string sLineEnd = "\r\n";
    bool bNoise = true;
    unsigned uPasswordAttempts = 3;
    unsigned uPasswordTimeout = 0; // seconds; 0 = wait for ever
    unsigned uMminfoClock = 12;
    bool bCloseFirst = false;          // the tool closes its connection first and waits for the server's close
    bool bNsrportsNeedsDaemon = false; // nsrports fails ("port_range") when no nsrexecd runs
    // [restore]: how the restore of a writer saveset treats its files.
    std::string sOldStaging;     // a staging folder made (empty, and older) before recover's own
    std::string sHoldFile;       // a file of the direct folder kept open (no sharing) after writing; "*" = every one
    unsigned uHoldMs = 0;        // ... for this long
    bool bDeleteDirect = false;  // the direct folder's hive files (names without a dot) deleted at the end
    std::string sMissingHive;    // a file of the direct folder printed as restored but gone before anyone holds it
    std::string sEmptyHive;      // a file of the direct folder written with no data
    std::string sMissingSaveset; // a saveset name that recover -a (by name or by id) does not find
    std::wstring sStatePath;     // counts of the conditional fault knobs (nwsim.state beside nwsim.ini)
    std::vector<Fault> faults;
    std::vector<std::string> faultErrors; // entries that could not be parsed ("name: reason")
};

Config ConfigFromIni(const IniFile& ini);
// Reads the file named by the environment variable NWSIM_INI, else nwsim.ini in the program's folder.
Config LoadConfig();
std::wstring ProgramFolder();

} // namespace nwsim
