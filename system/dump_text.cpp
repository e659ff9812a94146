#include "system/dump_text.h"

#include "system/system_rules.h"

namespace
{

void Line(std::wstring& s, const std::wstring& sText)
{
    s += sText;
    s += L'\n';
}

void Optional(std::wstring& s, const wchar_t* pLabel, const std::wstring& sValue)
{
    if (!sValue.empty())
        Line(s, pLabel + sValue);
}

std::wstring OrNa(const std::wstring& s)
{
    return s.empty() ? L"n/a" : s;
}

void Credentials(std::wstring& s, const DumpFacts& f)
{
    Line(s, L"NetWorker Server    : " + f.sServerName);
    Line(s, L"NetWorker Server IP : " + f.sServerAddress);
    Line(s, L"");
    Line(s, L"NetWorker Client    : " + f.sClientName);
    Line(s, L"NetWorker Client IP : " + f.sClientAddress);
    Line(s, L"NetWorker Netmask   : " + f.sNetmask + L" ( /" + std::to_wstring(f.uiPrefix) + L" )");
    if (!f.sGateway.empty()) {
        Line(s, L"NetWorker Gateway   : " + f.sGateway);
        Line(s, L"");
    }
}

void Volumes(std::wstring& s, const DumpFacts& f)
{
    Line(s, std::wstring(L"BOOT drive letter   : ") + f.wcBoot + L":");
    Line(s, L"BOOT filespace      : " + f.sBootFilespace);
    Line(s, L"");
    if (f.bEFI) {
        Line(s, std::wstring(L"EFI drive letter    : ") + f.wcEfi + L":");
        Line(s, L"EFI filespace       : " + OrNa(f.sEfiFilespace));
    } else {
        Line(s, std::wstring(L"SYSTEM drive letter : ") + f.wcSystem + L":");
        Line(s, L"SYSTEM filespace    : " + OrNa(f.sSystemFilespace));
    }
    Line(s, L"");
}

} // namespace

std::wstring DumpText(const DumpFacts& f)
{
    std::wstring s;
    Line(s, L"CVEX.DLL version " + f.sModuleVersion);
    Line(s, L"");
    if (f.bValidCredentials)
        Credentials(s, f);
    Line(s, L"Backup NetWorker client directory   : " + f.sBackupClientDir);
    Line(s, L"Backup NetWorker client version     : " + f.sBackupClientVersion);
    Line(s, L"");
    Optional(s, L"Recovery NetWorker server version   : ", f.sServerVersion);
    Line(s, L"Recovery NetWorker client directory : " + f.sRecoverClientDir);
    Line(s, L"Recovery NetWorker client version   : " + f.sRecoverClientVersion);
    Line(s, L"");
    Optional(s, L"Service Port Range                  : ", f.sServicePortRange);
    Optional(s, L"Connection Port Range               : ", f.sConnectionPortRange);
    Line(s, L"");
    Volumes(s, f);
    Line(s, L"Windows directory   : " + f.sWinDir);
    Line(s, L"");
    if (!f.sPointInTime.empty()) {
        Line(s, L"Point-in-Time date  : " + f.sPointInTime);
        Line(s, L"");
    }
    for (const SystemStateEntry& e : f.components) {
        if (e.uiFilesRestored == 0 && e.uiFilesToRestore == 0)
            continue;
        Line(s, systemrules::DumpLabel(e.eType) + std::to_wstring(e.uiFilesRestored) + L" of " +
                    std::to_wstring(e.uiFilesToRestore));
    }
    for (const std::wstring& sFailure : f.failures)
        Line(s, L"Failed component                 : " + sFailure);
    Optional(s, L"Program folder short names       : ", f.sShortNames);
    return s;
}
