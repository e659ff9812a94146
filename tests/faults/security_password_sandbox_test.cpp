// A password given on the paths that take one (a restore, the configuration fetch, an aborted
// restore, a wrong password, the object deleted without Fini) goes nowhere but into the tool's console: not into the
// trace, a message to the host, a tool's command line or a file, and once the object is gone no buffer of this process
// still holds it. The test keeps the password masked (each unit XOR-ed), so that nothing of its own holds the plain
// text for the memory scan to find.
#include "client/query_network.h"
#include "credentials/crpl_credentials.h"
#include "hostapi/message_ids.h"
#include "plugin/crpl.h"
#include "support/handle.h"
#include "support/secure_wipe.h"
#include "support/vstring.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <winternl.h>

#include <array>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace
{

const wchar_t kNwsimIni[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.ini";
const wchar_t kHostFolder[] = L"X:\\Program Files\\Velmora\\HALVO";
const wchar_t kConfigFolder[] = L"X:\\Program Files\\Velmora\\HALVOCFG";
// The client's folder without its bin, where the simulated tools and their nwsim.ini are.
const wchar_t kClientFolder[] = L"X:\\PROGRA~1\\Legato\\nsr\\res";
// The store builder's password of the "password" shape, as each protected object's line holds it.
const char kStorePassword[] = " secret ";

// The password, masked. Letters only: a store's object line is split at blanks.
class MaskedSecret
{
public:
    static constexpr wchar_t kMask = 0x5A3C;
    // Long, so that the heap gives the freed block of a typed copy to few other allocations.
    static constexpr size_t kLength = 120;

    void Make()
    {
        LARGE_INTEGER t = {};
        QueryPerformanceCounter(&t);
        unsigned long long x =
            static_cast<unsigned long long>(t.QuadPart) ^ (GetCurrentProcessId() * 0x9E3779B97F4A7C15ull);
        for (size_t i = 0; i < kLength; ++i) {
            x = x * 6364136223846793005ull + 1442695040888963407ull;
            const unsigned v = static_cast<unsigned>(x >> 33) % 52;
            const wchar_t wc = static_cast<wchar_t>(v < 26 ? L'a' + v : L'A' + (v - 26));
            m_units[i] = static_cast<wchar_t>(wc ^ kMask);
        }
    }
    wchar_t At(size_t i) const { return static_cast<wchar_t>(m_units[i] ^ kMask); }
    // The heap writes its free-list links over the first bytes of a block it is given back: a
    // copy freed unwiped keeps only its tail. The scans look for the last kTail units.
    static constexpr size_t kTail = 8;
    unsigned char First() const { return static_cast<unsigned char>(At(kLength - kTail)); }
    // Whether the bytes at p hold the password's tail, narrow (one byte a unit) or UTF-16.
    bool NarrowAt(const unsigned char* p) const
    {
        for (size_t i = 0; i < kTail; ++i)
            if (p[i] != static_cast<unsigned char>(At(kLength - kTail + i)))
                return false;
        return true;
    }
    bool WideAt(const unsigned char* p) const
    {
        for (size_t i = 0; i < kTail; ++i)
            if (p[2 * i] != static_cast<unsigned char>(At(kLength - kTail + i)) || p[2 * i + 1] != 0)
                return false;
        return true;
    }
    // Counts the places in the bytes that hold it in either form.
    size_t CountIn(const unsigned char* p, size_t n) const
    {
        size_t nFound = 0;
        for (size_t i = 0; i + kTail <= n; ++i) {
            if (p[i] != First())
                continue;
            nFound += NarrowAt(p + i) ? 1 : 0;
            nFound += (i + 2 * kTail <= n && WideAt(p + i)) ? 1 : 0;
        }
        return nFound;
    }
    size_t CountIn(const std::string& s) const
    {
        return CountIn(reinterpret_cast<const unsigned char*>(s.data()), s.size());
    }
    size_t CountIn(const std::wstring& s) const
    {
        return CountIn(reinterpret_cast<const unsigned char*>(s.data()), s.size() * sizeof(wchar_t));
    }
    // Fills the string with the plain password in its own, final-size buffer.
    void Into(std::wstring& s) const
    {
        velmora::wipe(s);
        s.reserve(kLength);
        for (size_t i = 0; i < kLength; ++i)
            s.push_back(At(i));
    }

private:
    std::array<wchar_t, kLength> m_units = {};
};

MaskedSecret g_secret;

std::string ReadBytes(const std::wstring& sPath)
{
    std::ifstream in(sPath.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Written with no buffer of the library's: one would keep the secret in memory unwiped.
bool WriteBytes(const std::wstring& sPath, const std::string& s)
{
    velmora::unique_file file(
        CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD n = 0;
    return file && WriteFile(file.get(), s.data(), static_cast<DWORD>(s.size()), &n, nullptr) && n == s.size();
}

// The machine's store with the password of every protected object replaced by the secret; the
// buffer that held the new text is wiped. Returns how many objects were changed.
size_t PutSecretIntoStore()
{
    wchar_t wsz[MAX_PATH] = {};
    GetPrivateProfileStringW(L"nwsim", L"store", L"", wsz, MAX_PATH, kNwsimIni);
    const std::wstring sObjects = std::wstring(wsz) + L"\\objects\\";
    size_t nChanged = 0;
    WIN32_FIND_DATAW fd = {};
    velmora::unique_find find(FindFirstFileW((sObjects + L"*.txt").c_str(), &fd));
    for (bool bMore = static_cast<bool>(find); bMore; bMore = FindNextFileW(find.get(), &fd)) {
        const std::wstring sPath = sObjects + fd.cFileName;
        const std::string sOld = ReadBytes(sPath);
        const size_t nTag = sizeof(kStorePassword) - 1;
        std::string sNew;
        sNew.reserve(sOld.size() + sOld.size() / nTag * MaskedSecret::kLength + 1);
        size_t nHere = 0;
        for (size_t i = 0; i < sOld.size();) {
            if (sOld.compare(i, nTag, kStorePassword) != 0) {
                sNew.push_back(sOld[i++]);
                continue;
            }
            sNew.push_back(' ');
            for (size_t k = 0; k < MaskedSecret::kLength; ++k)
                sNew.push_back(static_cast<char>(g_secret.At(k)));
            sNew.push_back(' ');
            i += nTag;
            ++nHere;
        }
        if (nHere && WriteBytes(sPath, sNew))
            nChanged += nHere;
        velmora::wipe(sNew);
    }
    return nChanged;
}

// Every committed, readable private page of this process, read through ReadProcessMemory into
// a buffer of its own (left out of the scan), with the places that hold the secret.
struct Finding {
    const void* pAddress;
    size_t nRegion;
};

bool Readable(DWORD dwProtect)
{
    const DWORD kRead = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                        PAGE_EXECUTE_WRITECOPY;
    return (dwProtect & kRead) && !(dwProtect & (PAGE_GUARD | PAGE_NOACCESS));
}

std::vector<Finding> ScanPrivateMemory(size_t& nBytesScanned)
{
    const size_t kChunk = 1 << 20;
    const size_t kOverlap = 2 * MaskedSecret::kTail;
    auto* pBuffer = static_cast<unsigned char*>(VirtualAlloc(nullptr, kChunk + kOverlap, MEM_COMMIT, PAGE_READWRITE));
    std::vector<Finding> findings;
    findings.reserve(1024); // no growth while the scan runs
    nBytesScanned = 0;
    SYSTEM_INFO si = {};
    GetSystemInfo(&si);
    auto* p = static_cast<const unsigned char*>(si.lpMinimumApplicationAddress);
    MEMORY_BASIC_INFORMATION mbi = {};
    while (p < si.lpMaximumApplicationAddress && VirtualQuery(p, &mbi, sizeof(mbi)) == sizeof(mbi)) {
        const auto* pBase = static_cast<const unsigned char*>(mbi.BaseAddress);
        const auto* pEnd = pBase + mbi.RegionSize;
        const bool bMine = mbi.AllocationBase == pBuffer;
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE && Readable(mbi.Protect) && !bMine) {
            for (const unsigned char* q = pBase; q < pEnd; q += kChunk) {
                const size_t nWant = std::min<size_t>(kChunk + kOverlap, static_cast<size_t>(pEnd - q));
                SIZE_T nRead = 0;
                if (!ReadProcessMemory(GetCurrentProcess(), q, pBuffer, nWant, &nRead))
                    continue;
                nBytesScanned += std::min<size_t>(nRead, kChunk);
                const unsigned char first = g_secret.First();
                for (size_t i = 0; i < std::min<size_t>(nRead, kChunk); ++i) {
                    if (pBuffer[i] != first || i + MaskedSecret::kTail > nRead)
                        continue;
                    const bool bWide = i + 2 * MaskedSecret::kTail <= nRead && g_secret.WideAt(pBuffer + i);
                    if ((bWide || g_secret.NarrowAt(pBuffer + i)) && findings.size() < findings.capacity())
                        findings.push_back({q + i, mbi.RegionSize});
                }
            }
        }
        p = pEnd;
    }
    velmora::wipe(pBuffer, kChunk + kOverlap);
    VirtualFree(pBuffer, 0, MEM_RELEASE);
    return findings;
}

// The command line of a running process, read from its process parameters.
std::wstring CommandLineOf(DWORD dwPid)
{
    velmora::unique_handle_null hProcess(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwPid));
    if (!hProcess)
        return L"";
    PROCESS_BASIC_INFORMATION pbi = {};
    ULONG n = 0;
    if (NtQueryInformationProcess(hProcess.get(), ProcessBasicInformation, &pbi, sizeof(pbi), &n) != 0)
        return L"";
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS params = {};
    if (!ReadProcessMemory(hProcess.get(), pbi.PebBaseAddress, &peb, sizeof(peb), nullptr) ||
        !ReadProcessMemory(hProcess.get(), peb.ProcessParameters, &params, sizeof(params), nullptr))
        return L"";
    std::wstring s(params.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(hProcess.get(), params.CommandLine.Buffer, s.data(), params.CommandLine.Length, nullptr))
        return L"";
    return s;
}

class SecurityPassword : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        g_secret.Make();
        // Every trace line of every level and every tool's command line and output.
        testutil::WriteTextFile(testutil::ProgramFolder() + L"trace.ini",
                                "[Main]\r\nCVEX_TraceLevel=15\r\nCRPL_TraceLevel=15\r\nNetWorker_TraceLevel=65535\r\n");
        s_hDll = GetModuleHandleW(L"CVEX.DLL");
    }

    void SetUp() override
    {
        ASSERT_NE(GetFileAttributesW(kNwsimIni), INVALID_FILE_ATTRIBUTES) << "not inside a sandbox machine";
        ASSERT_NE(s_hDll, nullptr);
        auto factory = reinterpret_cast<FactoryFn>(reinterpret_cast<void*>(GetProcAddress(s_hDll, "Factory")));
        auto credentialsFactory = reinterpret_cast<CredentialsFactoryFn>(
            reinterpret_cast<void*>(GetProcAddress(s_hDll, "CredentialsFactory")));
        ASSERT_TRUE(factory && credentialsFactory);
        m_pPlugin = factory();
        m_pCredentials = credentialsFactory();
        ASSERT_TRUE(m_pPlugin && m_pCredentials);
        m_pPlugin->SetLogMsgCallbackFn(&SecurityPassword::Log, this);
        m_pPlugin->SetProgMsgCallbackFn(&SecurityPassword::Progress, this);
    }

    void TearDown() override
    {
        delete m_pPlugin;
        delete m_pCredentials;
        SetFaults({});
    }

    static void SetFaults(const std::vector<std::wstring>& faults)
    {
        WritePrivateProfileStringW(L"faults", nullptr, nullptr, kNwsimIni);
        for (size_t i = 0; i < faults.size(); ++i)
            WritePrivateProfileStringW(L"faults", (L"pw" + std::to_wstring(i)).c_str(), faults[i].c_str(), kNwsimIni);
    }

    bool Init()
    {
        const std::string sAnswers = "[QernBackupLocation]\r\nServerName=localhost\r\nServerIPAddress=127.0.0.1\r\n"
                                     "ClientName=winclient1\r\nClientIPAddress=192.168.10.7\r\n"
                                     "ClientSubnetPrefixLength=24\r\nClientDefaultGateway=192.168.10.1\r\n";
        m_sAnswerFile = m_scratch.file(L"answers.ini");
        testutil::WriteTextFile(m_sAnswerFile, sAnswers);
        m_sAnswerBytes = ReadBytes(m_sAnswerFile);
        EXPECT_TRUE(m_pCredentials->GetCredentialsFromAnsFile(velmora::string(m_sAnswerFile)));
        return m_pPlugin->Init(m_pCredentials);
    }

    // The messages' texts, narrowed, for a failure's report.
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const testutil::HostMessage& m : m_messages)
            texts.push_back(velmora::to_utf8(m.sText));
        return texts;
    }

    static int Log(unsigned uiLevel, const wchar_t* pText, void* pContext)
    {
        auto* self = static_cast<SecurityPassword*>(pContext);
        self->m_nSecretInMessages += g_secret.CountIn(std::wstring(pText));
        self->m_messages.push_back({uiLevel, pText});
        return 0;
    }

    static unsigned Progress(ProgressRecord* pRecord, void* pContext)
    {
        auto* self = static_cast<SecurityPassword*>(pContext);
        // At the records after a password was typed its freed copies are fresh: only the
        // session's own copy may be found. (The first few records: each scan takes time.)
        if (self->m_uiPasswordRequests > 0 && self->m_uiScans < kScans) {
            ++self->m_uiScans;
            size_t nScanned = 0;
            self->m_nMostCopies = std::max(self->m_nMostCopies, ScanPrivateMemory(nScanned).size());
        }
        if (pRecord->uiKind != PK_PASSWORD_REQUEST)
            return self->m_bAbortAfterPassword && self->m_uiPasswordRequests > 0 && pRecord->uiKind != PK_HEARTBEAT;
        ++self->m_uiPasswordRequests;
        // recover runs while it waits for the answer: its command line is read now.
        for (DWORD dwPid : testutil::ProcessesNamed(L"recover.exe")) {
            const std::wstring sCmd = CommandLineOf(dwPid);
            self->m_nCommandLinesRead += sCmd.find(L" -s ") != std::wstring::npos ? 1 : 0;
            self->m_nSecretInCommandLines += g_secret.CountIn(sCmd);
        }
        g_secret.Into(pRecord->sText2);
        return 0;
    }

    // The one check of every path: the password in no buffer of the process, no message, no
    // command line of a tool, no trace line or file, and the answer file as the host wrote it.
    void ExpectSecretNowhere();

    static HMODULE s_hDll;
    CRPL* m_pPlugin = nullptr;
    CrplCredentials* m_pCredentials = nullptr;
    FileSpaceList m_list;
    testutil::ScratchFolder m_scratch{L"security_password"};
    std::wstring m_sAnswerFile;
    std::string m_sAnswerBytes;
    unsigned m_uiPasswordRequests = 0;
    static constexpr unsigned kScans = 5;
    unsigned m_uiScans = 0;
    size_t m_nMostCopies = 0;           // found by a scan after a password was typed
    bool m_bAbortAfterPassword = false; // the host aborts at the first record after it typed
    std::vector<testutil::HostMessage> m_messages;
    size_t m_nSecretInMessages = 0;
    size_t m_nCommandLinesRead = 0;
    size_t m_nSecretInCommandLines = 0;
};

HMODULE SecurityPassword::s_hDll = nullptr;

// Every file below a folder that holds the secret, by name.
std::vector<std::wstring> FilesHoldingSecret(const std::wstring& sFolder)
{
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW fd = {};
    velmora::unique_find find(FindFirstFileW((sFolder + L"\\*").c_str(), &fd));
    for (bool bMore = static_cast<bool>(find); bMore; bMore = FindNextFileW(find.get(), &fd)) {
        const std::wstring sName = fd.cFileName;
        if (sName == L"." || sName == L"..")
            continue;
        const std::wstring sPath = sFolder + L"\\" + sName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (const std::wstring& s : FilesHoldingSecret(sPath))
                found.push_back(s);
        } else if (g_secret.CountIn(ReadBytes(sPath)) > 0) {
            found.push_back(sPath);
        }
    }
    return found;
}

} // namespace

// A path that takes a password: the tool fault that makes a tool ask (none: the store's protected
// files ask), how the object is let go, and what the host does.
struct PasswordPath {
    const char* pName;
    std::vector<std::wstring> faults;
    std::function<bool(CRPL&, FileSpaceList&)> run;
    bool bFini = true;
    bool bAbort = false;
    bool bWrong = false; // the host types another password than the store's
};

bool RestoreD(CRPL& plugin, FileSpaceList& list)
{
    if (!plugin.GetFilespaceList(&list))
        return false;
    for (FileSpace& fs : list)
        if (fs.sFsName == L"D:\\")
            return plugin.RestoreFilespace(&fs);
    return false;
}

const PasswordPath kPaths[] = {
    {"restore", {}, RestoreD},
    {"configuration fetch",
     {L"for:\"C:\\QERNCFG\\disrec.ini\" recover restore start password 10"},
     [](CRPL& p, FileSpaceList& list) { return p.GetFilespaceList(&list); }},
    {"aborted restore", {}, RestoreD, true, true},
    {"wrong password", {}, RestoreD, true, false, true},
    {"deleted without Fini", {}, RestoreD, false},
};

void SecurityPassword::ExpectSecretNowhere()
{
    size_t nScanned = 0;
    const std::vector<Finding> after = ScanPrivateMemory(nScanned);
    EXPECT_GT(nScanned, 1u << 20);
    for (const Finding& f : after)
        ADD_FAILURE() << "the password is still at " << f.pAddress << " (region of " << f.nRegion << " bytes)";
    EXPECT_EQ(m_nSecretInMessages, 0u);
    EXPECT_EQ(m_nSecretInCommandLines, 0u);
    EXPECT_FALSE(ReadBytes(kHostFolder + std::wstring(L"\\Logfiles\\CVEX_trace.log")).empty());
    for (const wchar_t* pFolder : {kHostFolder, kConfigFolder, kClientFolder})
        EXPECT_EQ(FilesHoldingSecret(pFolder), std::vector<std::wstring>{}) << testing::PrintToString(pFolder);
    EXPECT_EQ(ReadBytes(m_sAnswerFile), m_sAnswerBytes);
}

TEST_F(SecurityPassword, APasswordOnEveryPathLeavesNoTraceMessageCommandLineFileOrMemory)
{
    ASSERT_GT(PutSecretIntoStore(), 0u) << "the store has protected objects";
    const MaskedSecret storeSecret = g_secret;
    for (const PasswordPath& path : kPaths) {
        SCOPED_TRACE(path.pName);
        std::printf("path: %s\n", path.pName);
        std::fflush(stdout);
        g_secret = storeSecret;
        if (path.bWrong)
            g_secret.Make();
        if (!m_pPlugin) {
            delete m_pCredentials;
            SetUp();
            m_nSecretInMessages = m_nCommandLinesRead = m_nSecretInCommandLines = 0;
            m_uiPasswordRequests = 0;
            m_uiScans = 0;
            m_nMostCopies = 0;
        }
        ASSERT_TRUE(Init()) << testing::PrintToString(Texts());
        SetFaults(path.faults);
        m_bAbortAfterPassword = path.bAbort;
        const bool bResult = path.run(*m_pPlugin, m_list);
        m_bAbortAfterPassword = false;
        SetFaults({});
        EXPECT_GE(m_uiPasswordRequests, 1u) << "no password was asked for";
        if (path.bAbort || path.bWrong) {
            EXPECT_FALSE(bResult && path.bAbort);
        } else if (path.faults.empty()) {
            EXPECT_TRUE(bResult) << testing::PrintToString(Texts());
            // The right password was typed: every object counted came back, none was skipped.
            EXPECT_FALSE(testutil::LoggedAt(s_hDll, m_messages, MSG_RESTORE_INCOMPLETE, ML_WARNING));
        }
        // The session keeps the right password until Fini; a refused one is wiped at once.
        EXPECT_LE(m_nMostCopies, path.bWrong ? 0u : 1u) << "a copy of the password besides the session's own";
        if (&path == &kPaths[0]) {
            EXPECT_EQ(m_nMostCopies, 1u) << "the session keeps the password: the scan must see it";
        }
        if (path.bFini) {
            EXPECT_TRUE(m_pPlugin->Fini(true));
        }
        delete m_pPlugin;
        m_pPlugin = nullptr;
        ExpectSecretNowhere();
    }
    EXPECT_GT(m_nCommandLinesRead, 0u) << "recover's command line was read while it asked";
}

// The servers file is written for a safe name and left as it is for an unsafe one.
TEST(SecurityServersFile, TheWriterTakesASafeNameAndRefusesUnsafeOnes)
{
    QueryNetwork query;
    ASSERT_TRUE(query.UpdateServers(L"nwserver"));
    const std::string sServers = ReadBytes(QueryNetwork::kServersFile);
    EXPECT_EQ(sServers.rfind("nwserver", 0), 0u) << testing::PrintToString(sServers);
    for (const wchar_t* p : {L"nw srv", L"nw\r\n10.6.6.6 evil", L"nw#x", L"nw\"x", L""})
        EXPECT_FALSE(query.UpdateServers(p)) << testing::PrintToString(std::wstring(p));
    EXPECT_EQ(ReadBytes(QueryNetwork::kServersFile), sServers);
}
