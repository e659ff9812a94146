// The command line of the unattended recovery (refhost.exe --recover ...), parsed with CLI11.
#pragma once
#include <string>
#include <vector>

namespace refhost
{

struct RecoverOptions {
    std::wstring sAnswerFile;       // --answer-file FILE (required)
    std::vector<std::wstring> only; // --only NAME...: these filespaces only
    bool bSkipSystemState = false;  // --skip-system-state: no PrepareSystem
    std::wstring sReport;           // --report FILE: the JSON report
    bool bVerify = false;           // --verify: compare with the backup store
    std::wstring sAbortFile;        // --abort-file PATH: the file that asks for an abort
    bool bPasswordGiven = false;    // --password PW: for password-protected files
    std::wstring sPassword;
    std::wstring sNwsimIni = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.ini"; // --nwsim-ini
    std::string sVerifyScript;                                             // --verify-script LINUXPATH
    std::wstring sDll;                                                     // --dll PATH
};

// True when the command line asks for the unattended recovery.
bool WantsRecover(const std::vector<std::wstring>& args);

// Parses the command line (without the program name). Returns -1 when the recovery should run;
// otherwise the exit code: 0 after --help, 2 for bad options (the reason is in sError).
int ParseRecoverOptions(const std::vector<std::wstring>& args, RecoverOptions& options, std::string& sOutput);

} // namespace refhost
