#include "tests/init/sandbox_client.h"

#include "client/client_rules.h"
#include "support/handle.h"
#include "tests/common/test_util.h"

namespace sandbox
{

const wchar_t kNsr[] = L"X:\\PROGRA~1\\Legato\\nsr\\";
const wchar_t kBin[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\";

const wchar_t* const kTools[] = {L"recover.exe",  L"mminfo.exe",   L"nsradmin.exe",
                                 L"nsrexecd.exe", L"nsrports.exe", L"nwinstcreate.exe"};

std::vector<DWORD> RunningClientTools()
{
    std::vector<DWORD> ids;
    for (const wchar_t* pTool : kTools) {
        std::vector<DWORD> found = ProcessesNamed(pTool);
        ids.insert(ids.end(), found.begin(), found.end());
    }
    return ids;
}

bool WaitForCount(const std::wstring& sName, size_t n, DWORD dwTimeoutMs)
{
    for (DWORD dwWaited = 0;; dwWaited += 100) {
        if (ProcessesNamed(sName).size() == n)
            return true;
        if (dwWaited >= dwTimeoutMs)
            return false;
        Sleep(100);
    }
}

void EndProcesses(const std::vector<DWORD>& ids)
{
    for (DWORD id : ids) {
        velmora::unique_handle_null process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (process && TerminateProcess(process.get(), 0))
            WaitForSingleObject(process.get(), 5000);
    }
}

bool IsFolder(const std::wstring& sPath)
{
    DWORD dw = GetFileAttributesW(sPath.c_str());
    return dw != INVALID_FILE_ATTRIBUTES && (dw & FILE_ATTRIBUTE_DIRECTORY);
}

bool KeyExists(const std::wstring& sKey)
{
    velmora::unique_hkey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, sKey.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::wstring ReadString(const std::wstring& sKey, const wchar_t* pName)
{
    wchar_t wsz[1024] = {};
    DWORD dwBytes = sizeof(wsz);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, sKey.c_str(), pName, RRF_RT_REG_SZ, nullptr, wsz, &dwBytes) != ERROR_SUCCESS)
        return L"<missing>";
    return wsz;
}

void SetString(const std::wstring& sKey, const wchar_t* pName, const wchar_t* pValue)
{
    if (!pValue) {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, sKey.c_str(), pName);
        return;
    }
    EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, sKey.c_str(), pName, REG_SZ, pValue,
                              static_cast<DWORD>((wcslen(pValue) + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS)
        << velmora::to_utf8(sKey);
}

void DeleteTree(const std::wstring& sKey)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, sKey.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, sKey.c_str());
}

bool UseTools(const std::wstring& sVariant, const wchar_t* pOnly)
{
    std::wstring sFrom = std::wstring(CVEX_BUILD_DIR_Z) + L"\\simulator\\" + sVariant + L"\\";
    for (wchar_t& wc : sFrom)
        wc = wc == L'/' ? L'\\' : wc;
    bool bAll = true;
    for (const wchar_t* pTool : kTools)
        if (!pOnly || wcscmp(pOnly, pTool) == 0)
            bAll = CopyFileW((sFrom + pTool).c_str(), (kBin + std::wstring(pTool)).c_str(), FALSE) && bAll;
    return bAll;
}

bool StartDaemonCopy(const std::wstring& sProgram)
{
    std::wstring sCmd = L"\"" + sProgram + L"\" -s localhost";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(sProgram.c_str(), sCmd.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &si, &pi))
        return false;
    velmora::unique_handle_null process(pi.hProcess), thread(pi.hThread);
    return true;
}

} // namespace sandbox

// Each test starts without the client's registration and working folders (the tools stay) and
// must end with no client tool running.
void ClientSandbox::SetUp()
{
    ASSERT_TRUE(sandbox::IsFolder(sandbox::kBin)) << "not inside a sandbox machine";
    sandbox::EndProcesses(sandbox::RunningClientTools());
    sandbox::DeleteTree(L"SOFTWARE\\Legato");
    for (const std::wstring& d : nwclient::NsrDirectories())
        if (d != L"bin" && d.find(L'\\') == std::wstring::npos)
            testutil::RemoveTree(sandbox::kNsr + d);
}

void ClientSandbox::TearDown()
{
    impl.Fini(false);
    std::vector<DWORD> left = sandbox::RunningClientTools();
    EXPECT_TRUE(left.empty()) << left.size() << " client tool processes left running";
    sandbox::EndProcesses(left);
}
