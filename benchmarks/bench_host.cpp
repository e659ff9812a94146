#include "benchmarks/bench_host.h"

#include "benchmarks/bench_stats.h"
#include "credentials/crpl_credentials.h"
#include "support/handle.h"
#include "support/vstring.h"
#include "support/win.h"

#include <cstdlib>
#include <string>

namespace bench
{

namespace
{

// The answers of the machine's recovery: its server under the name the stores use.
const char kAnswers[] = "[QernBackupLocation]\r\nServerName=localhost\r\nServerIPAddress=127.0.0.1\r\n"
                        "ClientName=winclient1\r\nClientIPAddress=192.168.10.7\r\n"
                        "ClientSubnetPrefixLength=24\r\nClientDefaultGateway=192.168.10.1\r\nPointInTime=\r\n";

bool WriteWhole(const std::wstring& sPath, const std::string& sData)
{
    velmora::unique_file file(CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD dwWritten = 0;
    return file && WriteFile(file.get(), sData.data(), static_cast<DWORD>(sData.size()), &dwWritten, nullptr) &&
           dwWritten == sData.size();
}

// The bytes of a file from an offset on; empty when it cannot be read.
std::string ReadFrom(const std::wstring& sPath, unsigned long long ullOffset)
{
    velmora::unique_file file(CreateFileW(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    std::string s;
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(ullOffset);
    if (!file || !SetFilePointerEx(file.get(), li, nullptr, FILE_BEGIN))
        return s;
    char buf[65536];
    DWORD dwRead = 0;
    while (ReadFile(file.get(), buf, sizeof buf, &dwRead, nullptr) && dwRead > 0)
        s.append(buf, dwRead);
    return s;
}

std::wstring TraceIni()
{
    return ProgramFolder() + L"trace.ini";
}

std::wstring TraceLog()
{
    wchar_t wsz[MAX_PATH] = {};
    const std::wstring sDefault = ProgramFolder() + L"Logfiles";
    GetPrivateProfileStringW(L"File Locations", L"Logfiles", sDefault.c_str(), wsz, MAX_PATH,
                             (ProgramFolder() + L"hlv.ini").c_str());
    return std::wstring(wsz) + L"\\CVEX_trace.log";
}

// Every trace line of the module (level 4) and the command lines of the groups of tools that the
// listing and a filespace restore run: bit 1 with the bits of init (0x8), count (0x4), listing
// (0x10), restore (0x20), configuration check (0x40), configuration (0x80), NMM (0x200000),
// configuration copy (0x800000) and ports (0x4000000); without bit 2 (no tool output).
const char kCommandTraceIni[] = "[Main]\r\nCVEX_TraceLevel=4\r\nCRPL_TraceLevel=4\r\nNetWorker_TraceLevel=77594877\r\n";

// The entries of a folder, without "." and "..".
std::vector<std::wstring> EntriesOf(const std::wstring& sFolder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    velmora::unique_find find(FindFirstFileW((sFolder + L"\\*").c_str(), &fd));
    if (!find)
        return names;
    do {
        std::wstring s = fd.cFileName;
        if (s != L"." && s != L"..")
            names.push_back(s);
    } while (FindNextFileW(find.get(), &fd));
    return names;
}

} // namespace

PluginHost::PluginHost() = default;

PluginHost::~PluginHost()
{
    if (m_pPlugin) {
        m_pPlugin->Fini(true);
        delete m_pPlugin;
    }
    delete m_pCredentials;
}

bool PluginHost::Start()
{
    HMODULE hDll = LoadLibraryW((ProgramFolder() + L"CVEX.DLL").c_str());
    if (!hDll)
        return false;
    auto factory = reinterpret_cast<FactoryFn>(reinterpret_cast<void*>(GetProcAddress(hDll, "Factory")));
    auto credentials =
        reinterpret_cast<CredentialsFactoryFn>(reinterpret_cast<void*>(GetProcAddress(hDll, "CredentialsFactory")));
    if (!factory || !credentials)
        return false;
    m_pPlugin = factory();
    m_pCredentials = credentials();
    if (!m_pPlugin || !m_pCredentials)
        return false;
    m_pPlugin->SetLogMsgCallbackFn(&PluginHost::Log, this);
    m_pPlugin->SetProgMsgCallbackFn(&PluginHost::Progress, this);
    const std::wstring sAnswers = ProgramFolder() + L"bench-answers.ini";
    return WriteWhole(sAnswers, kAnswers) && m_pCredentials->GetCredentialsFromAnsFile(velmora::string(sAnswers)) &&
           m_pPlugin->Init(m_pCredentials);
}

bool PluginHost::List(FileSpaceList& list)
{
    list.clear();
    return m_pPlugin->GetFilespaceList(&list);
}

bool PluginHost::Restore(FileSpace fs, bool bAbortAtFirstObject)
{
    m_uiObjectsRestored = m_uiObjectsCounted = 0;
    m_bAbortAtFirstObject = bAbortAtFirstObject;
    return m_pPlugin->RestoreFilespace(&fs);
}

std::wstring PluginHost::Error()
{
    std::wstring s;
    if (m_pPlugin)
        m_pPlugin->GetLastErrorMsg(s);
    return s;
}

int PluginHost::Log(unsigned, const wchar_t*, void*)
{
    return 0;
}

unsigned PluginHost::Progress(ProgressRecord* pRecord, void* pContext)
{
    auto* self = static_cast<PluginHost*>(pContext);
    if (pRecord->uiKind == PK_OBJECT_RESTORED) {
        ++self->m_uiObjectsRestored;
        return self->m_bAbortAtFirstObject ? 1 : 0;
    }
    if (pRecord->uiKind == PK_MESSAGE)
        self->m_uiObjectsCounted = pRecord->uiTotalFiles;
    return 0;
}

const char kShippedTraceIni[] = "[Main]\r\nCVEX_TraceLevel=3\r\nCRPL_TraceLevel=3\r\n";

TraceSettings::TraceSettings(const char* pIni)
{
    m_sSavedIni = ReadFrom(TraceIni(), 0);
    WriteWhole(TraceIni(), pIni);
}

TraceSettings::~TraceSettings()
{
    WriteWhole(TraceIni(), m_sSavedIni);
}

CommandTrace::CommandTrace() : m_settings(kCommandTraceIni) {}

CommandTrace::~CommandTrace() = default;

std::wstring CommandTrace::Text() const
{
    // The whole log: loading the module again moves a full log aside and starts an empty one, so
    // an offset taken earlier may point past its end. Callers cut it at their own snapshot.
    return velmora::widen(ReadFrom(TraceLog(), 0));
}

bool EmptyDrive(wchar_t wcLetter, unsigned long dwSeconds)
{
    const std::wstring sRoot = std::wstring(1, wcLetter) + L":";
    const char* pPrefix = std::getenv("WINEPREFIX");
    std::string sMachine = pPrefix ? pPrefix : "";
    while (!sMachine.empty() && sMachine.back() == '/')
        sMachine.pop_back();
    sMachine = sMachine.substr(0, sMachine.rfind('/'));
    const std::wstring sDrive =
        velmora::widen(sMachine) + L"/drives/" + static_cast<wchar_t>(towlower(wcLetter)) + L"/";
    std::wstring sCmd = L"Z:\\usr\\bin\\rm -rf --";
    std::vector<std::wstring> names = EntriesOf(sRoot);
    if (names.empty())
        return true;
    for (const std::wstring& s : names)
        sCmd += L" \"" + sDrive + s + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, sCmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    // Wine gives no handle for a Linux program; any it gives is only closed.
    velmora::unique_handle_null process(pi.hProcess), thread(pi.hThread);
    for (unsigned long i = 0; i < dwSeconds * 10; ++i) {
        if (EntriesOf(sRoot).empty())
            return true;
        Sleep(100);
    }
    return false;
}

} // namespace bench
