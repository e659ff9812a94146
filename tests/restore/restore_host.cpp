#include "tests/restore/restore_host.h"

#include "support/handle.h"
#include "support/vstring.h"
#include "tests/common/test_util.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace restoretest
{

namespace
{

const wchar_t kNwsimIni[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.ini";

std::wstring Profile(const std::wstring& sIni, const std::wstring& sSection, const wchar_t* pKey)
{
    wchar_t wsz[1024] = {};
    GetPrivateProfileStringW(sSection.c_str(), pKey, L"", wsz, 1024, sIni.c_str());
    return wsz;
}

// The SSID of the newest saveset of that name saved not after sNotAfter ("YYYY-MM-DD HH:MM:SS").
std::wstring SsidOf(const std::wstring& sStore, const std::wstring& sSaveset, const std::wstring& sNotAfter)
{
    const std::wstring sManifest = StoreFolder(sStore) + L"\\manifest.ini";
    std::wstring sNames(65536, L'\0');
    DWORD n = GetPrivateProfileSectionNamesW(sNames.data(), 65536, sManifest.c_str());
    std::wstring sSsid, sBest;
    for (const wchar_t* p = sNames.c_str(); p < sNames.c_str() + n && *p; p += wcslen(p) + 1) {
        std::wstring sSection = p;
        if (sSection.rfind(L"saveset ", 0) != 0 || Profile(sManifest, sSection, L"name") != sSaveset)
            continue;
        std::wstring sTime = Profile(sManifest, sSection, L"savetime");
        if ((sNotAfter.empty() || sTime <= sNotAfter) && sTime > sBest) {
            sBest = sTime;
            sSsid = sSection.substr(8);
        }
    }
    return sSsid;
}

std::vector<std::string> Lines(const std::wstring& sPath)
{
    std::ifstream in(sPath.c_str());
    std::vector<std::string> lines;
    for (std::string s; std::getline(in, s);)
        if (!s.empty() && s[0] != ';')
            lines.push_back(s);
    return lines;
}

// The Linux folder of this machine (the parent of its Wine prefix).
std::string MachineFolder()
{
    const char* pPrefix = getenv("WINEPREFIX");
    std::string s = pPrefix ? pPrefix : "";
    while (!s.empty() && s.back() == '/')
        s.pop_back();
    return s.substr(0, s.rfind('/'));
}

std::string DriveFolder(wchar_t wcLetter)
{
    if (wcLetter == L'C')
        return MachineFolder() + "/prefix/drive_c";
    return MachineFolder() + "/drives/" + static_cast<char>(towlower(wcLetter));
}

std::wstring OnZ(const std::string& sLinux)
{
    std::wstring s = L"Z:" + velmora::widen(sLinux);
    for (wchar_t& c : s)
        if (c == L'/')
            c = L'\\';
    return s;
}

// One argument as a Windows command line carries it to the program (blanks in quotes, the
// backslashes before the closing quote doubled).
std::wstring Quoted(const std::wstring& s)
{
    if (!s.empty() && s.find_first_of(L" \t\"") == std::wstring::npos)
        return s;
    std::wstring sOut = L"\"" + s;
    for (size_t i = s.size(); i > 0 && s[i - 1] == L'\\'; --i)
        sOut += L'\\';
    return sOut + L"\"";
}

// Starts python (a Unix program: Wine gives no process handle for it) and waits for the file
// it writes when done.
std::wstring RunPythonForFile(const std::vector<std::wstring>& args, const std::string& sOut, DWORD dwSeconds)
{
    const std::wstring sOutZ = OnZ(sOut);
    DeleteFileW(sOutZ.c_str());
    std::wstring sCmd = L"Z:\\usr\\bin\\python3 " + Quoted(velmora::widen(CVEX_RESTORE_HELPER));
    for (const std::wstring& s : args)
        sCmd += L" " + Quoted(s);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, sCmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return L"cannot start python: " + std::to_wstring(GetLastError());
    // Wine gives no handle for a Linux program; any it gives is only closed.
    velmora::unique_handle_null hProcess(pi.hProcess), hThread(pi.hThread);
    for (DWORD i = 0; i < dwSeconds * 10 && !testutil::FileExists(sOutZ); ++i)
        Sleep(100);
    if (!testutil::FileExists(sOutZ))
        return L"no answer from python: " + sCmd;
    return testutil::ReadTextFile(sOutZ);
}

} // namespace

std::wstring StoreFolder(const std::wstring& sStore)
{
    return OnZ(std::string(CVEX_RESTORE_STORES) + "/" + velmora::to_utf8(sStore));
}

StoreTotals TotalsOf(const std::wstring& sStore, const std::wstring& sSaveset, const std::wstring& sNotAfter)
{
    StoreTotals totals;
    const std::wstring sSsid = SsidOf(sStore, sSaveset, sNotAfter);
    if (sSsid.empty())
        return totals;
    for (const std::string& s : Lines(StoreFolder(sStore) + L"\\objects\\" + sSsid + L".txt")) {
        totals.uiObjects += (s[0] == 'd' || s[0] == 'f') ? 1 : 0;
        totals.uiFolders += s[0] == 'd' ? 1 : 0;
    }
    for (const std::string& s : Lines(StoreFolder(sStore) + L"\\digests\\" + sSsid + L".txt")) {
        std::istringstream in(s);
        std::string sHash;
        unsigned long long ullSize = 0;
        in >> sHash >> ullSize;
        totals.ullBytes += ullSize;
        totals.ullLargest = std::max(totals.ullLargest, ullSize);
    }
    return totals;
}

std::wstring KindSequence(const std::vector<Record>& records, bool bAll)
{
    std::wstring s;
    unsigned uiLast = 0;
    for (const Record& r : records) {
        if (!bAll && (r.uiKind == PK_HEARTBEAT || r.uiKind == PK_PASSWORD_REQUEST))
            continue;
        if (r.uiKind == uiLast && r.uiKind != PK_PASS_START && r.uiKind != PK_PASSWORD_REQUEST)
            continue;
        s += (s.empty() ? L"" : L" ") + std::to_wstring(r.uiKind);
        uiLast = r.uiKind;
    }
    return s;
}

} // namespace restoretest

using namespace restoretest;

HMODULE RestoreHost::s_hDll = nullptr;

void RestoreHost::SetUpTestSuite()
{
    s_hDll = LoadLibraryW((testutil::ProgramFolder() + L"CVEX.DLL").c_str());
}

void RestoreHost::SetUp()
{
    ASSERT_NE(GetFileAttributesW(kNwsimIni), INVALID_FILE_ATTRIBUTES) << "not inside a sandbox machine";
    ASSERT_NE(s_hDll, nullptr);
    auto factory = reinterpret_cast<FactoryFn>(reinterpret_cast<void*>(GetProcAddress(s_hDll, "Factory")));
    auto credentialsFactory =
        reinterpret_cast<CredentialsFactoryFn>(reinterpret_cast<void*>(GetProcAddress(s_hDll, "CredentialsFactory")));
    ASSERT_TRUE(factory && credentialsFactory);
    SetFaults({});
    SetServerKnobs({});
    UseStore(m_sStore);
    m_pPlugin = factory();
    m_pCredentials = credentialsFactory();
    ASSERT_TRUE(m_pPlugin && m_pCredentials);
    m_pPlugin->SetLogMsgCallbackFn(&RestoreHost::Log, this);
    m_pPlugin->SetProgMsgCallbackFn(&RestoreHost::Progress, this);
}

void RestoreHost::TearDown()
{
    if (m_pPlugin) {
        m_pPlugin->Fini(true);
        delete m_pPlugin;
    }
    delete m_pCredentials;
    EXPECT_TRUE(NoRecoverRunning()) << "recover is left running";
    SetFaults({});
    SetServerKnobs({});
}

void RestoreHost::UseStore(const std::wstring& sStore)
{
    m_sStore = sStore;
    WritePrivateProfileStringW(L"nwsim", L"store", StoreFolder(sStore).c_str(), kNwsimIni);
}

void RestoreHost::SetFaults(const std::vector<std::wstring>& faults)
{
    WritePrivateProfileStringW(L"faults", nullptr, nullptr, kNwsimIni);
    for (size_t i = 0; i < faults.size(); ++i)
        WritePrivateProfileStringW(L"faults", (L"restore" + std::to_wstring(i)).c_str(), faults[i].c_str(), kNwsimIni);
}

void RestoreHost::SetServerKnobs(const std::vector<std::pair<std::wstring, std::wstring>>& knobs)
{
    WritePrivateProfileStringW(L"server", nullptr, nullptr, kNwsimIni);
    for (const auto& [sKey, sValue] : knobs)
        WritePrivateProfileStringW(L"server", sKey.c_str(), sValue.c_str(), kNwsimIni);
}

bool RestoreHost::Init(const std::wstring& sPit)
{
    testutil::ScratchFolder folder(L"answers");
    testutil::WriteTextFile(folder.file(L"answers.ini"),
                            "[QernBackupLocation]\r\nServerName=localhost\r\nServerIPAddress=127.0.0.1\r\n"
                            "ClientName=winclient1\r\nClientIPAddress=192.168.10.7\r\n"
                            "ClientSubnetPrefixLength=24\r\nClientDefaultGateway=192.168.10.1\r\nPointInTime=" +
                                velmora::to_utf8(sPit) + "\r\n");
    EXPECT_TRUE(m_pCredentials->GetCredentialsFromAnsFile(velmora::string(folder.file(L"answers.ini"))));
    m_messages.clear();
    return m_pPlugin->Init(m_pCredentials);
}

bool RestoreHost::List()
{
    m_messages.clear();
    m_list.clear();
    return m_pPlugin->GetFilespaceList(&m_list);
}

FileSpace RestoreHost::Listed(const std::wstring& sName)
{
    for (const FileSpace& fs : m_list)
        if (fs.sFsName == sName)
            return fs;
    ADD_FAILURE() << "not listed: " << testing::PrintToString(sName);
    return FileSpace();
}

bool RestoreHost::Restore(FileSpace fs)
{
    m_messages.clear();
    m_records.clear();
    m_uiPasswordRequests = 0;
    return m_pPlugin->RestoreFilespace(&fs);
}

std::wstring RestoreHost::LastError()
{
    std::wstring s;
    m_pPlugin->GetLastErrorMsg(s);
    return s;
}

std::wstring RestoreHost::Text(unsigned uiId)
{
    return testutil::ModuleMessage(s_hDll, uiId);
}

std::vector<unsigned> RestoreHost::MessageIds()
{
    return testutil::MessageIdsOf(s_hDll, m_messages);
}

bool RestoreHost::Logged(unsigned uiId, unsigned uiLevel)
{
    return testutil::LoggedAt(s_hDll, m_messages, uiId, uiLevel);
}

std::vector<const Record*> RestoreHost::RecordsOfKind(unsigned uiKind)
{
    std::vector<const Record*> v;
    for (const Record& r : m_records)
        if (r.uiKind == uiKind)
            v.push_back(&r);
    return v;
}

bool RestoreHost::NoRecoverRunning()
{
    for (int i = 0; i < 100; ++i) {
        if (testutil::ProcessesNamed(L"recover.exe").empty())
            return true;
        Sleep(100);
    }
    return false;
}

void RestoreHost::SnapshotWineC()
{
    std::wstring s = RunPythonForFile(
        {L"snapshot", velmora::widen(MachineFolder() + "/wine-c.txt"), velmora::widen(DriveFolder(L'C'))},
        MachineFolder() + "/wine-c.txt", 120);
    m_bWineCSnapshot = !s.empty();
    ASSERT_TRUE(m_bWineCSnapshot);
}

std::wstring RestoreHost::VerifyDrive(wchar_t wcLetter, const std::vector<std::wstring>& options)
{
    std::vector<std::wstring> args = {L"--drive", velmora::widen(DriveFolder(wcLetter)), L"--letter",
                                      std::wstring(1, wcLetter)};
    args.insert(args.end(), options.begin(), options.end());
    return RunStoreVerifier(args, wcLetter == L'C');
}

std::wstring RestoreHost::RunStoreVerifier(const std::vector<std::wstring>& verifierArgs, bool bWineC)
{
    static int s_nRun = 0;
    const std::string sOut = MachineFolder() + "/verify-" + std::to_string(++s_nRun) + ".txt";
    std::vector<std::wstring> args = {velmora::widen(sOut)};
    if (bWineC && m_bWineCSnapshot)
        args.insert(args.end(), {L"--wine-c", velmora::widen(MachineFolder() + "/wine-c.txt")});
    const std::wstring sStoreLinux = velmora::widen(CVEX_RESTORE_STORES) + L"/" + m_sStore;
    args.insert(args.end(), {L"--", L"--store", sStoreLinux});
    args.insert(args.end(), verifierArgs.begin(), verifierArgs.end());
    std::wstring sResult = RunPythonForFile(args, sOut, 600);
    return sResult.rfind(L"0\n", 0) == 0 ? L"" : sResult;
}

std::wstring RestoreHost::LinuxDriveFolder(wchar_t wcLetter)
{
    return velmora::widen(DriveFolder(wcLetter));
}

void RestoreHost::ClearDrive(wchar_t wcLetter)
{
    // The mount point stays, as the disk-layout stage leaves it; its volume is emptied too.
    if (wcLetter == L'D')
        testutil::EmptyFolder(L"\\\\?\\D:\\Data\\Mount 1");
    testutil::EmptyFolder(std::wstring(L"\\\\?\\") + wcLetter + L":");
}

int RestoreHost::Log(unsigned uiLevel, const wchar_t* pText, void* pContext)
{
    static_cast<RestoreHost*>(pContext)->m_messages.push_back({uiLevel, pText});
    return 0;
}

unsigned RestoreHost::Progress(ProgressRecord* pRecord, void* pContext)
{
    auto* self = static_cast<RestoreHost*>(pContext);
    const ProgressRecord& r = *pRecord;
    self->m_records.push_back(RecordOf(r));
    if (r.uiKind == PK_PASSWORD_REQUEST) {
        ++self->m_uiPasswordRequests;
        if (!self->m_passwords.empty()) {
            pRecord->sText2 = self->m_passwords.front();
            self->m_passwords.pop_front();
        }
        return 0;
    }
    return r.uiKind == PK_OBJECT_RESTORED && r.uiFilesRestored == self->m_uiAbortAtObject ? 1 : 0;
}
