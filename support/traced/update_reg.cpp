#include "support/traced/update_reg.h"

#include "support/handle.h"
#include "support/registry.h"
#include "trace/trace.h"

#include <iterator>

namespace
{

// Below SOFTWARE.
const wchar_t kNetWorkerKey[] = L"Legato\\NetWorker";
const wchar_t kBackupKey[] = L"Legato\\NetWorker\\Backup";
const wchar_t kChangeJournalKey[] = L"Legato\\NetWorker\\ChangeJournal";
const wchar_t kWizardKey[] = L"Legato\\NetWorker Configuration Wizard";
const wchar_t kNwInfoKey[] = L"Velmora\\NetWorker\\CurrentVersion";
// Below SYSTEM.
const wchar_t kTcpipKey[] = L"CurrentControlSet\\Services\\Tcpip\\Parameters";
const wchar_t kSetupKey[] = L"Setup";
// Given in full.
const wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kMiniNTKey[] = L"SYSTEM\\CurrentControlSet\\Control\\MiniNT";
const wchar_t kMyMiniNTKey[] = L"SYSTEM\\CurrentControlSet\\Control\\MyMiniNT";

bool g_bNwInfoLoaded = false;

// One string value of the client's key, in the order the client set-up writes them.
struct NamedText {
    const wchar_t* pName;
    std::wstring sValue;
};

// Traces a failed registry call (its error is still the thread's last error) with the reason
// the operation ends; answers whether the call worked.
bool Checked(const wchar_t* pFn, bool bDone, const wchar_t* pCall, const std::wstring& sReason)
{
    if (bDone)
        return true;
    DWORD dwError = GetLastError();
    CrplTrace().ApiFailure(pFn, pCall, dwError);
    CrplTrace().EndFail(pFn, sReason.c_str());
    return false;
}

bool WriteTexts(velmora::Registry& reg, const wchar_t* pFn, const wchar_t* pKey, const NamedText* pValues, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (!Checked(pFn, reg.Write_String(pKey, pValues[i].pName, pValues[i].sValue),
                     L"velmora::Registry::Write_String", L"Set '" + std::wstring(pValues[i].pName) + L"' failed"))
            return false;
    return true;
}

bool CreateKey(velmora::Registry& reg, const wchar_t* pFn, const std::wstring& sKey, const std::wstring& sReason)
{
    return Checked(pFn, reg.Write_To_Location(sKey), L"velmora::Registry::Write_To_Location", sReason);
}

// Reads one string value; on failure traces "Get '<name>' failed" with the error code.
bool ReadText(const velmora::Registry& reg, const wchar_t* pFn, const wchar_t* pKey, const wchar_t* pName,
              std::wstring& sValue)
{
    std::wstring sRead;
    LONG lResult = reg.Read_String(pKey, pName, sRead);
    if (lResult != ERROR_SUCCESS) {
        CrplTrace().ApiFailure(pFn, L"velmora::Registry::Read_String", static_cast<DWORD>(lResult));
        CrplTrace().EndFail(pFn, (L"Get '" + std::wstring(pName) + L"' failed").c_str());
        return false;
    }
    sValue = sRead;
    return true;
}

bool ReadVersion(const velmora::Registry& reg, const wchar_t* pFn, const wchar_t* pKey, std::wstring& sVersion)
{
    CrplTrace().Start(pFn);
    if (!ReadText(reg, pFn, pKey, L"Version", sVersion))
        return false;
    CrplTrace().Str(TL_VERBOSE, pFn, L"sVersion", sVersion);
    CrplTrace().End(pFn);
    return true;
}

// The client's tool folder: "Path" (which ends in a backslash) with "bin" appended.
bool ReadToolFolder(const velmora::Registry& reg, const wchar_t* pFn, const wchar_t* pKey, std::wstring& sDir)
{
    CrplTrace().Start(pFn);
    std::wstring sPath;
    if (!ReadText(reg, pFn, pKey, L"Path", sPath))
        return false;
    sDir = sPath + L"bin";
    CrplTrace().Str(TL_VERBOSE, pFn, L"sDir", sDir);
    CrplTrace().End(pFn);
    return true;
}

// Moves a key to another name: creates the new one, then deletes the old one. Keys are only
// moved when there is one to move.
bool MoveKey(const wchar_t* pFn, const wchar_t* pFrom, const wchar_t* pTo, const wchar_t* pCreateFailed,
             const wchar_t* pDeleteFailed)
{
    velmora::Registry reg;
    if (!reg.Key_Exists(pFrom)) {
        CrplTrace().Str(TL_VERBOSE, pFn, L"Key not present, nothing to move", pFrom);
        return true;
    }
    return Checked(pFn, reg.Write_To_Location(pTo), L"velmora::Registry::Write_To_Location", pCreateFailed) &&
           Checked(pFn, reg.Delete_Key(pFrom), L"velmora::Registry::Delete_Key", pDeleteFailed);
}

bool IsFile(const std::wstring& sPath)
{
    DWORD dwAttributes = GetFileAttributesW(sPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

} // namespace

bool UpdateReg::SetupRegistry(const std::wstring& sPath, const std::wstring& sRelease, const std::wstring& sVersion)
{
    const wchar_t* fn = L"UpdateReg::SetupRegistry";
    CTrace& trace = CrplTrace();
    trace.Start(fn);
    trace.Str(TL_VERBOSE, fn, L"sPath", sPath);
    trace.Str(TL_VERBOSE, fn, L"sRelease", sRelease);
    trace.Str(TL_VERBOSE, fn, L"sVersion", sVersion);
    if (sPath.empty()) {
        trace.EndFail(fn, L"Empty path");
        return false;
    }
    // GetNetWorkerClientDir appends "bin" to "Path", so the folder is stored with its backslash.
    std::wstring sFolder = sPath.back() == L'\\' ? sPath : sPath + L"\\";
    velmora::Registry_Software reg;
    const NamedText client[] = {
        {L"DefaultServer", L""}, {L"NwProgramMenuFolder", L""}, {L"Path", sFolder},        {L"Release", sRelease},
        {L"Servers", L""},       {L"Version", sVersion},        {L"FirewallConfig", L"0"},
    };
    if (!WriteTexts(reg, fn, kNetWorkerKey, client, std::size(client)))
        return false;
    if (!CreateKey(reg, fn, kBackupKey, L" Create 'Backup' key failed"))
        return false;
    std::wstring sBackupVersionKey = std::wstring(kBackupKey) + L"\\" + sVersion;
    if (!CreateKey(reg, fn, sBackupVersionKey, L"Create 'Backup\\" + sVersion + L"' key failed) failed"))
        return false;
    if (!Checked(fn, reg.Write_String(sBackupVersionKey, L"DefaultServer", L""), L"velmora::Registry::Write_String",
                 L"Set 'DefaltServer' failed"))
        return false;
    if (!CreateKey(reg, fn, kChangeJournalKey, L"Create 'ChangeJournal' key failed"))
        return false;
    // The configuration wizard has nothing to configure in the recovery environment.
    const NamedText wizard[] = {{L"ConfigurationWizard", L"0"}};
    if (!WriteTexts(reg, fn, kWizardKey, wizard, std::size(wizard)))
        return false;
    trace.End(fn);
    return true;
}

bool UpdateReg::GetNetWorkerClientVersion(std::wstring& sVersion)
{
    return ReadVersion(velmora::Registry_Software(), L"UpdateReg::GetNetWorkerClientVersion", kNetWorkerKey, sVersion);
}

bool UpdateReg::GetNetWorkerClientDir(std::wstring& sDir)
{
    return ReadToolFolder(velmora::Registry_Software(), L"UpdateReg::GetNetWorkerClientDir", kNetWorkerKey, sDir);
}

bool UpdateReg::GetOrigNetWorkerClientVersion(std::wstring& sVersion)
{
    return ReadVersion(velmora::Registry_Software(), L"UpdateReg::GetOrigNetWorkerClientVersion", kNwInfoKey, sVersion);
}

bool UpdateReg::GetOrigNetWorkerClientDir(std::wstring& sDir)
{
    return ReadToolFolder(velmora::Registry_Software(), L"UpdateReg::GetOrigNetWorkerClientDir", kNwInfoKey, sDir);
}

bool UpdateReg::LoadNwInfo(const std::wstring& sPath)
{
    const wchar_t* fn = L"UpdateReg::LoadNwInfo";
    CTrace& trace = CrplTrace();
    trace.Start(fn);
    trace.Str(TL_VERBOSE, fn, L"sPath", sPath);
    if (g_bNwInfoLoaded) {
        trace.Line(TL_VERBOSE, fn, L"... ending(Already loaded)");
        return true;
    }
    if (sPath.empty()) {
        trace.EndFail(fn, L"Empty path");
        return false;
    }
    velmora::unique_hkey key;
    std::wstring sKey = std::wstring(velmora::Registry_Software::kPrefix) + kNwInfoKey;
    LONG lResult = RegCreateKeyExW(HKEY_LOCAL_MACHINE, sKey.c_str(), 0, nullptr, REG_OPTION_BACKUP_RESTORE,
                                   KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr);
    if (lResult != ERROR_SUCCESS) {
        trace.ApiFailure(fn, L"RegCreateKeyEx", static_cast<DWORD>(lResult));
        trace.EndFail(fn, L"RegCreateKeyEx failed");
        return false;
    }
    std::wstring sFile = sPath.back() == L'\\' ? sPath + L"NWInfo" : sPath + L"\\NWInfo";
    if (!IsFile(sFile)) {
        trace.EndFail(fn, L"NWInfo not present");
        return false;
    }
    lResult = RegRestoreKeyW(key.get(), sFile.c_str(), REG_FORCE_RESTORE);
    if (lResult != ERROR_SUCCESS) {
        trace.ApiFailure(fn, L"RegRestoreKey", static_cast<DWORD>(lResult));
        trace.EndFail(fn, L"RegRestoreKey failed");
        return false;
    }
    g_bNwInfoLoaded = true;
    trace.End(fn);
    return true;
}

void UpdateReg::ForgetNwInfoForTesting()
{
    g_bNwInfoLoaded = false;
}

bool UpdateReg::ChangeHostname(const std::wstring& sHostname)
{
    const wchar_t* fn = L"UpdateReg::ChangeHostname";
    CrplTrace().Start(fn);
    CrplTrace().Str(TL_VERBOSE, fn, L"sHostname", sHostname);
    if (sHostname.empty()) {
        CrplTrace().EndFail(fn, L"Invalid argument");
        return false;
    }
    velmora::Registry_System reg;
    const NamedText names[] = {{L"Hostname", sHostname}, {L"NV Hostname", sHostname}};
    if (!WriteTexts(reg, fn, kTcpipKey, names, std::size(names)))
        return false;
    CrplTrace().End(fn);
    return true;
}

bool UpdateReg::GetDomain(bool bUseDhcp, std::wstring& sDomain)
{
    const wchar_t* fn = L"UpdateReg::GetDomain";
    CrplTrace().Start(fn);
    CrplTrace().Bool(TL_VERBOSE, fn, L"bUseDhcp", bUseDhcp);
    if (!ReadText(velmora::Registry_System(), fn, kTcpipKey, bUseDhcp ? L"DhcpDomain" : L"Domain", sDomain))
        return false;
    CrplTrace().Str(TL_VERBOSE, fn, L"sDomain", sDomain);
    CrplTrace().End(fn);
    return true;
}

bool UpdateReg::ChangeSystemSetupInProgress()
{
    const wchar_t* fn = L"UpdateReg::ChangeSystemSetupInProgress";
    CrplTrace().Start(fn);
    velmora::Registry_System reg;
    if (!Checked(fn, reg.Write_DWORD(kSetupKey, L"SystemSetupInProgress", 0), L"velmora::Registry::Write_DWORD",
                 L"Set 'SystemSetupInProgress' failed"))
        return false;
    CrplTrace().End(fn);
    return true;
}

bool UpdateReg::DeletePendingFileRenameOperations()
{
    const wchar_t* fn = L"UpdateReg::DeletePendingFileRenameOperations";
    CrplTrace().Start(fn);
    velmora::Registry reg;
    if (!Checked(fn, reg.Delete_Value(kSessionManagerKey, L"PendingFileRenameOperations"),
                 L"velmora::Registry::Delete_Value", L"Delete value 'PendingFileRenameOperations' failed"))
        return false;
    CrplTrace().End(fn);
    return true;
}

bool UpdateReg::RenameMiniNT(bool bHide)
{
    const wchar_t* fn = L"UpdateReg::RenameMiniNT";
    CrplTrace().Start(fn);
    CrplTrace().Bool(TL_VERBOSE, fn, L"bHide", bHide);
    bool bMoved = bHide ? MoveKey(fn, kMiniNTKey, kMyMiniNTKey, L"velmora::Registry::Write_To_Location(B) failed",
                                  L"velmora::Registry::Delete_Key(A) failed")
                        : MoveKey(fn, kMyMiniNTKey, kMiniNTKey, L"velmora::Registry::Write_To_Location(A) failed",
                                  L"velmora::Registry::Delete_Key(B) failed");
    if (bMoved)
        CrplTrace().End(fn);
    return bMoved;
}

MiniNTBodge::MiniNTBodge()
{
    CrplTrace().Line(TL_INFO, L"MiniNTBodge::MiniNTBodge", L"Applying MiniNT correction");
    if (!UpdateReg::RenameMiniNT(true))
        CrplTrace().EndFail(L"MiniNTBodge::MiniNTBodge", L"UpdateReg::RenameMiniNT failed");
}

MiniNTBodge::~MiniNTBodge()
{
    CrplTrace().Line(TL_INFO, L"MiniNTBodge::~MiniNTBodge", L"Unapplying MiniNT correction");
    if (!UpdateReg::RenameMiniNT(false))
        CrplTrace().EndFail(L"MiniNTBodge::~MiniNTBodge", L"UpdateReg::RenameMiniNT failed");
}
