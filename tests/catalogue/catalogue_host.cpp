#include "tests/catalogue/catalogue_host.h"

#include "plugin/cvex.h"
#include "plugin/cvex_impl.h"
#include "tests/common/test_util.h"

#include <fstream>
#include <iterator>

namespace cataloguetest
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

// The day of the month of a store time "2021-03-08 22:00:00".
int DayOf(const std::wstring& sTime)
{
    return sTime.size() >= 10 ? std::stoi(sTime.substr(8, 2)) : 0;
}

bool WaitUntilNoTools()
{
    for (int i = 0; i < 100; ++i) {
        bool bAny = false;
        for (const wchar_t* pTool : kTools)
            bAny = bAny || !testutil::ProcessesNamed(pTool).empty();
        if (!bAny)
            return true;
        Sleep(100);
    }
    return false;
}

} // namespace

std::wstring StoreFolder(const std::wstring& sShape)
{
    return std::wstring(CVEX_CATALOGUE_STORES) + L"\\" + sShape;
}

std::string FileBytes(const std::wstring& sPath)
{
    std::ifstream in(sPath.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string StoreFile(const std::wstring& sShape, const std::wstring& sSaveset, const std::wstring& sPath, int iDay)
{
    const std::wstring sManifest = StoreFolder(sShape) + L"\\manifest.ini";
    std::wstring sNames(65536, L'\0');
    DWORD n = GetPrivateProfileSectionNamesW(sNames.data(), 65536, sManifest.c_str());
    std::wstring sSsid, sBest;
    for (const wchar_t* p = sNames.c_str(); p < sNames.c_str() + n && *p; p += wcslen(p) + 1) {
        std::wstring sSection = p;
        if (sSection.rfind(L"saveset ", 0) != 0 || Profile(sManifest, sSection, L"name") != sSaveset)
            continue;
        std::wstring sTime = Profile(sManifest, sSection, L"savetime");
        if ((iDay == 0 || DayOf(sTime) <= iDay) && sTime > sBest) {
            sBest = sTime;
            sSsid = sSection.substr(8);
        }
    }
    if (sSsid.empty())
        return "<no saveset>";
    std::wstring sRelative = sPath.substr(0, 1) + sPath.substr(2); // "C:\a" is kept as "C\a"
    return FileBytes(StoreFolder(sShape) + L"\\data\\" + sSsid + L"\\" + sRelative);
}

} // namespace cataloguetest

using namespace cataloguetest;

HMODULE CatalogueHost::s_hDll = nullptr;

void CatalogueHost::SetUpTestSuite()
{
    s_hDll = LoadLibraryW((testutil::ProgramFolder() + L"CVEX.DLL").c_str());
}

void CatalogueHost::SetUp()
{
    ASSERT_NE(GetFileAttributesW(kBin), INVALID_FILE_ATTRIBUTES) << "not inside a sandbox machine";
    ASSERT_NE(s_hDll, nullptr);
    auto factory = reinterpret_cast<FactoryFn>(reinterpret_cast<void*>(GetProcAddress(s_hDll, "Factory")));
    auto credentialsFactory =
        reinterpret_cast<CredentialsFactoryFn>(reinterpret_cast<void*>(GetProcAddress(s_hDll, "CredentialsFactory")));
    ASSERT_TRUE(factory && credentialsFactory);
    SetFaults({});
    UseStore(L"standard");
    // Nothing of an earlier test may pass for what this one fetched or imported.
    for (const wchar_t* pItem : {L"disrec.ini", L"NWInfo", L"NWCert", L"NWPKey"})
        DeleteFileW((std::wstring(kConfigDir) + pItem).c_str());
    DeleteFileW((std::wstring(kResDir) + L"nsrcert.pem").c_str());
    DeleteFileW((std::wstring(kResDir) + L"nsrkey.pem").c_str());
    // The command lines and output of the listing, the check and the fetch go into the trace.
    const std::wstring sTraceIni = testutil::ProgramFolder() + L"trace.ini";
    WritePrivateProfileStringW(L"Main", L"NetWorker_TraceLevel", L"219", sTraceIni.c_str());
    WritePrivateProfileStringW(L"Main", L"CVEX_TraceLevel", L"3", sTraceIni.c_str());
    m_nTraceAt = FileBytes(testutil::ProgramFolder() + L"Logfiles\\CVEX_trace.log").size();
    m_pPlugin = factory();
    m_pCredentials = credentialsFactory();
    ASSERT_TRUE(m_pPlugin && m_pCredentials);
    m_pPlugin->SetLogMsgCallbackFn(&CatalogueHost::Log, this);
    m_pPlugin->SetProgMsgCallbackFn(&CatalogueHost::Progress, this);
}

void CatalogueHost::TearDown()
{
    if (m_pPlugin) {
        m_pPlugin->Fini(true);
        delete m_pPlugin;
    }
    delete m_pCredentials;
    EXPECT_TRUE(WaitUntilNoTools()) << "a client tool is left running";
    SetFaults({});
    if (m_bToolsChanged)
        CopyTools(L"bin");
}

void CatalogueHost::UseStore(const std::wstring& sShape)
{
    WritePrivateProfileStringW(L"nwsim", L"store", StoreFolder(sShape).c_str(), kNwsimIni);
}

void CatalogueHost::UseTools(const std::wstring& sVariant)
{
    m_pPlugin->Fini(true);
    ASSERT_TRUE(WaitUntilNoTools());
    m_bToolsChanged = true;
    CopyTools(sVariant);
}

void CatalogueHost::CopyTools(const std::wstring& sVariant)
{
    for (const wchar_t* pTool : kTools) {
        std::wstring sFrom = std::wstring(CVEX_BUILD_DIR_Z) + L"\\simulator\\" + sVariant + L"\\" + pTool;
        ASSERT_TRUE(CopyFileW(sFrom.c_str(), (std::wstring(kBin) + pTool).c_str(), FALSE))
            << GetLastError() << " " << testing::PrintToString(sFrom);
    }
}

void CatalogueHost::SetFaults(const std::vector<std::wstring>& faults)
{
    WritePrivateProfileStringW(L"faults", nullptr, nullptr, kNwsimIni);
    for (size_t i = 0; i < faults.size(); ++i)
        WritePrivateProfileStringW(L"faults", (L"catalogue" + std::to_wstring(i)).c_str(), faults[i].c_str(),
                                   kNwsimIni);
}

bool CatalogueHost::Init(const std::wstring& sPit)
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

bool CatalogueHost::List()
{
    m_messages.clear();
    m_list.clear();
    return m_pPlugin->GetFilespaceList(&m_list);
}

std::wstring CatalogueHost::LastError()
{
    std::wstring s;
    m_pPlugin->GetLastErrorMsg(s);
    return s;
}

std::wstring CatalogueHost::Text(unsigned uiId)
{
    return testutil::ModuleMessage(s_hDll, uiId);
}

std::vector<unsigned> CatalogueHost::MessageIds()
{
    return testutil::MessageIdsOf(s_hDll, m_messages);
}

bool CatalogueHost::Logged(unsigned uiId, unsigned uiLevel)
{
    return testutil::LoggedAt(s_hDll, m_messages, uiId, uiLevel);
}

const std::vector<SystemStateEntry>& CatalogueHost::SystemState()
{
    return static_cast<CVEX*>(m_pPlugin)->Impl()->SystemState();
}

std::wstring CatalogueHost::NewTrace()
{
    std::string s = FileBytes(testutil::ProgramFolder() + L"Logfiles\\CVEX_trace.log");
    return velmora::widen(s.substr(std::min(m_nTraceAt, s.size())));
}

void CatalogueHost::ExpectFilespaces(const std::vector<ExpectedFilespace>& expected)
{
    ASSERT_EQ(m_list.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const FileSpace& fs = m_list[i];
        const ExpectedFilespace& e = expected[i];
        SCOPED_TRACE(testing::PrintToString(std::wstring(e.pName)));
        EXPECT_EQ(fs.sFsName, e.pName);
        EXPECT_EQ(fs.wcFsDriveLetter, e.wcLetter);
        EXPECT_EQ(fs.ulFsFlags, e.ulFlags);
        EXPECT_EQ(fs.sFsType, e.pFsType);
        EXPECT_EQ(fs.sFsPath, (e.ulFlags & FS_MOUNTED_FOLDER) ? e.pName : L"");
        EXPECT_TRUE(fs.bFsTimeValid);
        EXPECT_EQ(fs.tmFsTime.tm_year, 121);
        EXPECT_EQ(fs.tmFsTime.tm_mon, 2);
        EXPECT_EQ(fs.tmFsTime.tm_mday, e.iDay);
        EXPECT_EQ(fs.tmFsTime.tm_hour, e.iHour);
        EXPECT_EQ(fs.tmFsTime.tm_min, e.iMinute);
        EXPECT_EQ(fs.tmFsTime.tm_sec, 0);
        for (unsigned char b : fs.reserved)
            EXPECT_EQ(b, 0);
    }
}

void CatalogueHost::ExpectSystemState(const std::vector<ExpectedEntry>& expected)
{
    const std::vector<SystemStateEntry>& entries = SystemState();
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const SYSTEMTIME& st = entries[i].stBackupTime;
        EXPECT_EQ(entries[i].eType, expected[i].eType);
        EXPECT_EQ(st.wYear, 2021);
        EXPECT_EQ(st.wMonth, 3);
        EXPECT_EQ(st.wDay, expected[i].iDay);
        EXPECT_EQ(st.wHour, expected[i].iHour);
        EXPECT_EQ(st.wMinute, expected[i].iMinute);
        EXPECT_EQ(st.wSecond, 0);
        EXPECT_EQ(st.wDayOfWeek, 0);
        EXPECT_EQ(st.wMilliseconds, 0);
        EXPECT_EQ(entries[i].uiFilesToRestore, 0u);
        EXPECT_EQ(entries[i].uiFilesRestored, 0u);
    }
}

void CatalogueHost::ExpectConfigurationFrom(const std::wstring& sShape, int iDay)
{
    for (const wchar_t* pItem : {L"disrec.ini", L"NWInfo", L"NWCert", L"NWPKey"}) {
        std::string sStored = StoreFile(sShape, L"C:\\", std::wstring(L"C:\\QERNCFG\\") + pItem, iDay);
        EXPECT_FALSE(sStored.empty()) << testing::PrintToString(std::wstring(pItem));
        EXPECT_EQ(FileBytes(std::wstring(kConfigDir) + pItem), sStored) << testing::PrintToString(std::wstring(pItem));
    }
    EXPECT_EQ(FileBytes(std::wstring(kResDir) + L"nsrcert.pem"),
              StoreFile(sShape, L"C:\\", L"C:\\QERNCFG\\NWCert", iDay));
    EXPECT_EQ(FileBytes(std::wstring(kResDir) + L"nsrkey.pem"),
              StoreFile(sShape, L"C:\\", L"C:\\QERNCFG\\NWPKey", iDay));
}

int CatalogueHost::Log(unsigned uiLevel, const wchar_t* pText, void* pContext)
{
    static_cast<CatalogueHost*>(pContext)->m_messages.push_back({uiLevel, pText});
    return 0;
}

unsigned CatalogueHost::Progress(ProgressRecord* pRecord, void* pContext)
{
    auto* self = static_cast<CatalogueHost*>(pContext);
    return pRecord->uiKind == PK_HEARTBEAT ? self->m_uiAbortAnswer : 0;
}
