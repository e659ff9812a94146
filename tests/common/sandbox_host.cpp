#include "tests/common/sandbox_host.h"

#include "plugin/cvex.h"
#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "support/vstring.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

// Programs that switch client tools name the build tree, where the simulator's variants are.
#ifndef CVEX_BUILD_DIR
#define CVEX_BUILD_DIR ""
#endif

namespace sandboxtest
{

const wchar_t kBin[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\";
const wchar_t kConfigDir[] = L"X:\\Program Files\\Velmora\\HALVOCFG\\";
const wchar_t kResDir[] = L"X:\\PROGRA~1\\Legato\\nsr\\res\\";

namespace
{

const wchar_t kNwsimIni[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.ini";
const wchar_t* const kTools[] = {L"recover.exe",  L"mminfo.exe",   L"nsradmin.exe",
                                 L"nsrexecd.exe", L"nsrports.exe", L"nwinstcreate.exe"};

std::wstring Profile(const std::wstring& sIni, const std::wstring& sSection, const wchar_t* pKey)
{
    wchar_t wsz[1024] = {};
    GetPrivateProfileStringW(sSection.c_str(), pKey, L"", wsz, 1024, sIni.c_str());
    return wsz;
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
    std::replace(s.begin(), s.end(), L'/', L'\\');
    return s;
}

// One argument as a Windows command line carries it (blanks in quotes, the backslashes before the
// closing quote doubled).
std::wstring Quoted(const std::wstring& s)
{
    if (!s.empty() && s.find_first_of(L" \t\"") == std::wstring::npos)
        return s;
    std::wstring sOut = L"\"" + s;
    for (size_t i = s.size(); i > 0 && s[i - 1] == L'\\'; --i)
        sOut += L'\\';
    return sOut + L"\"";
}

// Starts python (a Unix program: Wine gives no process handle for it) and waits for the file it
// writes when done.
std::wstring RunPythonForFile(const std::vector<std::wstring>& args, const std::string& sOut, DWORD dwSeconds)
{
    const std::wstring sOutZ = OnZ(sOut);
    DeleteFileW(sOutZ.c_str());
    std::wstring sCmd = L"Z:\\usr\\bin\\python3 " + Quoted(velmora::widen(CVEX_STORE_VERIFIER));
    for (const std::wstring& s : args)
        sCmd += L" " + Quoted(s);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, sCmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return L"cannot start python: " + std::to_wstring(GetLastError());
    velmora::unique_handle_null hProcess(pi.hProcess), hThread(pi.hThread);
    for (DWORD i = 0; i < dwSeconds * 10 && !testutil::FileExists(sOutZ); ++i)
        Sleep(100);
    if (!testutil::FileExists(sOutZ))
        return L"no answer from python: " + sCmd;
    return testutil::ReadTextFile(sOutZ);
}

bool WaitUntilNoneRunning(const std::vector<const wchar_t*>& tools)
{
    for (int i = 0; i < 100; ++i) {
        if (std::all_of(tools.begin(), tools.end(),
                        [](const wchar_t* p) { return testutil::ProcessesNamed(p).empty(); }))
            return true;
        Sleep(100);
    }
    return false;
}

void ListFolder(const std::wstring& sFolder, std::vector<std::wstring>& names)
{
    WIN32_FIND_DATAW fd = {};
    velmora::unique_find hFind(FindFirstFileW((sFolder + L"\\*").c_str(), &fd));
    if (!hFind)
        return;
    do {
        std::wstring sName = fd.cFileName;
        if (sName == L"." || sName == L"..")
            continue;
        std::wstring sPath = sFolder + L"\\" + sName;
        std::transform(sPath.begin(), sPath.end(), sPath.begin(), ::towlower);
        names.push_back(sPath);
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            ListFolder(sFolder + L"\\" + sName, names);
    } while (FindNextFileW(hFind.get(), &fd));
}

std::wstring TracePath()
{
    return testutil::ProgramFolder() + L"Logfiles\\CVEX_trace.log";
}

} // namespace

std::wstring StoreFolder(const std::wstring& sStore)
{
    return OnZ(std::string(CVEX_SANDBOX_STORES) + "/" + velmora::to_utf8(sStore));
}

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

std::string FileBytes(const std::wstring& sPath)
{
    std::ifstream in(sPath.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string StoreFile(const std::wstring& sStore, const std::wstring& sSaveset, const std::wstring& sPath,
                      const std::wstring& sNotAfter)
{
    const std::wstring sSsid = SsidOf(sStore, sSaveset, sNotAfter);
    if (sSsid.empty())
        return "<no saveset>";
    std::wstring sRelative = sPath.substr(0, 1) + sPath.substr(2); // "C:\a" is kept as "C\a"
    return FileBytes(StoreFolder(sStore) + L"\\data\\" + sSsid + L"\\" + sRelative);
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

} // namespace sandboxtest

using namespace sandboxtest;

HMODULE SandboxHost::s_hDll = nullptr;

void SandboxHost::SetUpTestSuite()
{
    s_hDll = LoadLibraryW((testutil::ProgramFolder() + L"CVEX.DLL").c_str());
}

void SandboxHost::SetUp()
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
    // Nothing of an earlier test may pass for what this one fetched or imported.
    for (const wchar_t* pItem : {L"disrec.ini", L"NWInfo", L"NWCert", L"NWPKey"})
        DeleteFileW((std::wstring(kConfigDir) + pItem).c_str());
    DeleteFileW((std::wstring(kResDir) + L"nsrcert.pem").c_str());
    DeleteFileW((std::wstring(kResDir) + L"nsrkey.pem").c_str());
    // The tools' command lines and output, and the module's steps, go into the trace.
    const std::wstring sTraceIni = testutil::ProgramFolder() + L"trace.ini";
    WritePrivateProfileStringW(L"Main", L"NetWorker_TraceLevel",
                               m_sNetWorkerTrace.empty() ? nullptr : m_sNetWorkerTrace.c_str(), sTraceIni.c_str());
    WritePrivateProfileStringW(L"Main", L"CVEX_TraceLevel", L"4", sTraceIni.c_str());
    m_pPlugin = factory();
    m_pCredentials = credentialsFactory();
    MarkTrace();
    ASSERT_TRUE(m_pPlugin && m_pCredentials);
    m_pPlugin->SetLogMsgCallbackFn(&SandboxHost::Log, this);
    m_pPlugin->SetProgMsgCallbackFn(&SandboxHost::Progress, this);
}

void SandboxHost::TearDown()
{
    if (m_pPlugin) {
        m_pPlugin->Fini(true);
        delete m_pPlugin;
        m_pPlugin = nullptr;
    }
    delete m_pCredentials;
    EXPECT_TRUE(NoToolRunning()) << "a client tool is left running";
    SetFaults({});
    SetServerKnobs({});
    for (const auto& [sSection, sKey] : m_knobsSet)
        WritePrivateProfileStringW(sSection.c_str(), sKey.c_str(), nullptr, kNwsimIni);
    if (m_bToolsChanged)
        UseTools(L"bin");
}

void SandboxHost::UseStore(const std::wstring& sStore)
{
    m_sStore = sStore;
    WritePrivateProfileStringW(L"nwsim", L"store", StoreFolder(sStore).c_str(), kNwsimIni);
}

void SandboxHost::UseTools(const std::wstring& sVariant)
{
    if (m_pPlugin)
        m_pPlugin->Fini(true);
    ASSERT_TRUE(WaitUntilNoneRunning({std::begin(kTools), std::end(kTools)}));
    m_bToolsChanged = sVariant != L"bin";
    for (const wchar_t* pTool : kTools) {
        std::wstring sFrom = OnZ(CVEX_BUILD_DIR) + L"\\simulator\\" + sVariant + L"\\" + pTool;
        ASSERT_TRUE(CopyFileW(sFrom.c_str(), (std::wstring(kBin) + pTool).c_str(), FALSE))
            << GetLastError() << " " << testing::PrintToString(sFrom);
    }
}

void SandboxHost::SetFaults(const std::vector<std::wstring>& faults)
{
    WritePrivateProfileStringW(L"faults", nullptr, nullptr, kNwsimIni);
    for (size_t i = 0; i < faults.size(); ++i)
        WritePrivateProfileStringW(L"faults", (L"fault" + std::to_wstring(i)).c_str(), faults[i].c_str(), kNwsimIni);
}

void SandboxHost::SetServerKnobs(const std::vector<std::pair<std::wstring, std::wstring>>& knobs)
{
    WritePrivateProfileStringW(L"server", nullptr, nullptr, kNwsimIni);
    for (const auto& [sKey, sValue] : knobs)
        WritePrivateProfileStringW(L"server", sKey.c_str(), sValue.c_str(), kNwsimIni);
}

void SandboxHost::SetKnob(const wchar_t* pSection, const wchar_t* pKey, const wchar_t* pValue)
{
    WritePrivateProfileStringW(pSection, pKey, pValue, kNwsimIni);
    m_knobsSet.emplace_back(pSection, pKey);
}

bool SandboxHost::Init(const std::wstring& sPit)
{
    testutil::ScratchFolder folder(L"answers");
    testutil::WriteTextFile(folder.file(L"answers.ini"),
                            "[QernBackupLocation]\r\nServerName=localhost\r\nServerIPAddress=127.0.0.1\r\n"
                            "ClientName=winclient1\r\nClientIPAddress=192.168.10.7\r\n"
                            "ClientSubnetPrefixLength=24\r\nClientDefaultGateway=192.168.10.1\r\nPointInTime=" +
                                velmora::to_utf8(sPit) + "\r\n");
    EXPECT_TRUE(m_pCredentials->GetCredentialsFromAnsFile(velmora::string(folder.file(L"answers.ini"))));
    m_messages.clear();
    m_records.clear();
    m_uiAbortSeen = 0;
    return m_pPlugin->Init(m_pCredentials);
}

bool SandboxHost::List()
{
    m_messages.clear();
    m_records.clear();
    m_uiAbortSeen = 0;
    m_list.clear();
    return m_pPlugin->GetFilespaceList(&m_list);
}

bool SandboxHost::Restore(FileSpace fs)
{
    m_messages.clear();
    m_records.clear();
    m_uiAbortSeen = 0;
    m_uiPasswordRequests = 0;
    return m_pPlugin->RestoreFilespace(&fs);
}

bool SandboxHost::PrepareSystem()
{
    m_messages.clear();
    m_records.clear();
    m_uiAbortSeen = 0;
    return m_pPlugin->PrepareSystem();
}

bool SandboxHost::CheckSystemState()
{
    m_messages.clear();
    return m_pPlugin->CheckSystemState();
}

FileSpace SandboxHost::Listed(const std::wstring& sName)
{
    for (const FileSpace& fs : m_list)
        if (fs.sFsName == sName)
            return fs;
    ADD_FAILURE() << "not listed: " << testing::PrintToString(sName);
    return FileSpace();
}

bool SandboxHost::RestoreFilespaces()
{
    const FileSpaceList listed = m_list;
    for (const FileSpace& fs : listed) {
        if (GetDriveTypeW((std::wstring(1, fs.wcFsDriveLetter) + L":\\").c_str()) == DRIVE_NO_ROOT_DIR)
            continue;
        if (!Restore(fs)) {
            ADD_FAILURE() << "restore of " << testing::PrintToString(fs.sFsName) << ": "
                          << testing::PrintToString(LastError());
            return false;
        }
    }
    return true;
}

CVEXImpl& SandboxHost::Impl()
{
    return *static_cast<CVEX*>(m_pPlugin)->Impl();
}

const std::vector<SystemStateEntry>& SandboxHost::SystemState()
{
    return Impl().SystemState();
}

std::wstring SandboxHost::LastError()
{
    std::wstring s;
    m_pPlugin->GetLastErrorMsg(s);
    return s;
}

unsigned SandboxHost::LastErrorId()
{
    return IdOf(LastError());
}

unsigned SandboxHost::IdOf(const std::wstring& sText)
{
    return testutil::MessageIdsOf(s_hDll, {{ML_ERROR, sText}})[0];
}

void SandboxHost::ExpectLastError(unsigned uiId, const std::vector<std::wstring>& parts)
{
    const std::wstring sError = LastError();
    EXPECT_EQ(LastErrorId(), uiId) << testing::PrintToString(sError);
    for (const std::wstring& sPart : parts)
        EXPECT_TRUE(testutil::Contains(sError, sPart)) << testing::PrintToString(sError);
}

std::wstring SandboxHost::Text(unsigned uiId)
{
    return testutil::ModuleMessage(s_hDll, uiId);
}

std::vector<unsigned> SandboxHost::MessageIds()
{
    return testutil::MessageIdsOf(s_hDll, m_messages);
}

std::vector<unsigned> SandboxHost::ErrorIds()
{
    std::vector<unsigned> ids = MessageIds(), errors;
    for (size_t i = 0; i < ids.size(); ++i)
        if (m_messages[i].uiLevel == ML_ERROR)
            errors.push_back(ids[i]);
    return errors;
}

bool SandboxHost::Logged(unsigned uiId, unsigned uiLevel)
{
    return testutil::LoggedAt(s_hDll, m_messages, uiId, uiLevel);
}

bool SandboxHost::LoggedNaming(unsigned uiId, const std::wstring& sPart)
{
    std::vector<unsigned> ids = MessageIds();
    for (size_t i = 0; i < ids.size(); ++i)
        if (ids[i] == uiId && testutil::Contains(m_messages[i].sText, sPart))
            return true;
    return false;
}

std::vector<const Record*> SandboxHost::RecordsOfKind(unsigned uiKind)
{
    std::vector<const Record*> v;
    for (const Record& r : m_records)
        if (r.uiKind == uiKind)
            v.push_back(&r);
    return v;
}

std::vector<std::wstring> SandboxHost::ComponentTitles()
{
    std::vector<std::wstring> titles;
    for (const Record& r : m_records)
        if (r.uiKind == PK_PASS_START && (titles.empty() || titles.back() != r.sText1))
            titles.push_back(r.sText1);
    return titles;
}

void SandboxHost::AbortAt(unsigned uiKind, unsigned uiNth)
{
    m_uiAbortKind = uiKind;
    m_uiAbortNth = uiNth;
    m_uiAbortSeen = 0;
}

std::wstring SandboxHost::NewTrace()
{
    // A new trace object starts the file afresh: then all of it is new.
    std::string s = FileBytes(TracePath());
    return velmora::widen(s.size() < m_nTraceAt ? s : s.substr(m_nTraceAt));
}

void SandboxHost::MarkTrace()
{
    m_nTraceAt = FileBytes(TracePath()).size();
}

std::vector<std::wstring> SandboxHost::DumpLines()
{
    return testutil::SplitLines(testutil::ReadTextFile(testutil::ProgramFolder() + L"Logfiles\\CVEX_dump.log"));
}

bool SandboxHost::NoRecoverRunning()
{
    return WaitUntilNoneRunning({L"recover.exe"});
}

bool SandboxHost::NoToolRunning()
{
    return WaitUntilNoneRunning({std::begin(kTools), std::end(kTools)});
}

void SandboxHost::SnapshotWineC()
{
    std::wstring s = RunPythonForFile(
        {L"snapshot", velmora::widen(MachineFolder() + "/wine-c.txt"), velmora::widen(DriveFolder(L'C'))},
        MachineFolder() + "/wine-c.txt", 120);
    m_bWineCSnapshot = !s.empty();
    ASSERT_TRUE(m_bWineCSnapshot);
}

std::wstring SandboxHost::VerifyDrive(wchar_t wcLetter, const std::vector<std::wstring>& options)
{
    std::vector<std::wstring> args = {L"--drive", velmora::widen(DriveFolder(wcLetter)), L"--letter",
                                      std::wstring(1, wcLetter)};
    args.insert(args.end(), options.begin(), options.end());
    return RunStoreVerifier(args, wcLetter == L'C');
}

std::wstring SandboxHost::VerifySystemState(const std::wstring& sLetters, const std::vector<std::wstring>& options)
{
    std::vector<std::wstring> args = {L"--system-state"};
    for (wchar_t wc : sLetters)
        if (wc != L',')
            args.insert(args.end(), {L"--drive", std::wstring(1, wc) + L"=" + LinuxDriveFolder(wc)});
    args.insert(args.end(), options.begin(), options.end());
    return RunStoreVerifier(args);
}

std::wstring SandboxHost::RunStoreVerifier(const std::vector<std::wstring>& verifierArgs, bool bWineC)
{
    static int s_nRun = 0;
    const std::string sOut = MachineFolder() + "/verify-" + std::to_string(++s_nRun) + ".txt";
    std::vector<std::wstring> args = {velmora::widen(sOut)};
    if (bWineC && m_bWineCSnapshot)
        args.insert(args.end(), {L"--wine-c", velmora::widen(MachineFolder() + "/wine-c.txt")});
    const std::wstring sStoreLinux = velmora::widen(CVEX_SANDBOX_STORES) + L"/" + m_sStore;
    args.insert(args.end(), {L"--", L"--store", sStoreLinux});
    args.insert(args.end(), verifierArgs.begin(), verifierArgs.end());
    std::wstring sResult = RunPythonForFile(args, sOut, 600);
    return sResult.rfind(L"0\n", 0) == 0 ? L"" : sResult;
}

std::wstring SandboxHost::LinuxDriveFolder(wchar_t wcLetter)
{
    return velmora::widen(DriveFolder(wcLetter));
}

void SandboxHost::ClearDrive(wchar_t wcLetter)
{
    // The mount point stays, as the disk-layout stage leaves it; its volume is emptied too.
    if (wcLetter == L'D')
        testutil::EmptyFolder(L"\\\\?\\D:\\Data\\Mount 1");
    testutil::EmptyFolder(std::wstring(L"\\\\?\\") + wcLetter + L":");
}

std::vector<std::wstring> SandboxHost::WineWindowsFiles()
{
    std::vector<std::wstring> names;
    ListFolder(L"C:\\windows", names);
    return names;
}

int SandboxHost::Log(unsigned uiLevel, const wchar_t* pText, void* pContext)
{
    static_cast<SandboxHost*>(pContext)->m_messages.push_back({uiLevel, pText});
    return 0;
}

unsigned SandboxHost::Progress(ProgressRecord* pRecord, void* pContext)
{
    auto* self = static_cast<SandboxHost*>(pContext);
    const ProgressRecord& r = *pRecord;
    self->m_records.push_back(RecordOf(r));
    if (r.uiKind == PK_PASSWORD_REQUEST) {
        ++self->m_uiPasswordRequests;
        if (!self->m_passwords.empty()) {
            pRecord->sText2 = self->m_passwords.front();
            self->m_passwords.pop_front();
        }
    }
    if (self->m_uiAbortNth == 0 || r.uiKind != self->m_uiAbortKind)
        return 0;
    return ++self->m_uiAbortSeen == self->m_uiAbortNth ? 1 : 0;
}
