// CollectWinVerFacts: what the running Windows says about itself. Decisions are left to
// the pure functions of winver.cpp.
#include "support/registry.h"
#include "support/winver.h"

#include <vector>

namespace velmora
{

namespace
{

const wchar_t* const kCurrentVersionKey = L"Microsoft\\Windows NT\\CurrentVersion";
const wchar_t* const kNtdsParametersKey = L"CurrentControlSet\\Services\\NTDS\\Parameters";

bool ReadVersion(WinVerFacts& facts)
{
    OSVERSIONINFOEXW vi = {};
    vi.dwOSVersionInfoSize = sizeof(vi);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&vi)))
        return false;
    OSVERSIONINFOEXA via = {};
    via.dwOSVersionInfoSize = sizeof(via);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&via)))
        return false;
    facts.dwMajor = vi.dwMajorVersion;
    facts.dwMinor = vi.dwMinorVersion;
    facts.dwBuild = vi.dwBuildNumber;
    facts.byProductType = vi.wProductType;
    return true;
}

// False only for a failure other than "not implemented" (a 32-bit Windows).
bool Read64Bit(WinVerFacts& facts)
{
    wchar_t wszFolder[MAX_PATH];
    if (GetSystemWow64DirectoryW(wszFolder, MAX_PATH) != 0) {
        facts.b64Bit = true;
        return true;
    }
    DWORD dwError = GetLastError();
    facts.b64Bit = false;
    return dwError == ERROR_CALL_NOT_IMPLEMENTED;
}

// GetProductInfo does not exist before version 6, hence the look-up.
DWORD ReadProductInfo(const WinVerFacts& facts)
{
    using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
    HMODULE hKernel = GetModuleHandleW(L"kernel32.dll"); // not owned: kernel32 stays loaded
    FARPROC pProc = hKernel ? GetProcAddress(hKernel, "GetProductInfo") : nullptr;
    if (!pProc)
        return 0;
    auto pGetProductInfo = reinterpret_cast<GetProductInfoFn>(reinterpret_cast<void (*)()>(pProc));
    DWORD dwType = 0;
    if (!pGetProductInfo(facts.dwMajor, facts.dwMinor, 0, 0, &dwType))
        return 0;
    return dwType;
}

std::wstring ReadProdSpecName()
{
    std::vector<wchar_t> folder(MAX_PATH);
    UINT uiLength = GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (uiLength == 0 || uiLength >= folder.size())
        return L"";
    std::wstring sIni = std::wstring(folder.data(), uiLength) + L"\\prodspec.ini";
    wchar_t wszName[256] = {};
    // Windows' own prodspec.ini names its section this way.
    GetPrivateProfileStringW(L"Product Specification", L"Product", L"", wszName, 256, sIni.c_str());
    return wszName;
}

} // namespace

bool CollectWinVerFacts(WinVerFacts& facts)
{
    if (!ReadVersion(facts))
        return false;
    std::wstring sCurrentVersion;
    std::wstring sCurrentBuild;
    {
        Registry_Software software(true);
        software.Read_String(kCurrentVersionKey, L"CurrentVersion", sCurrentVersion);
        software.Read_String(kCurrentVersionKey, L"CurrentBuild", sCurrentBuild);
        ResolveRegistryVersion(sCurrentVersion, sCurrentBuild, facts.dwMajor, facts.dwMinor, facts.dwBuild);
        if (!Read64Bit(facts))
            return false;
        if (facts.byProductType != VER_NT_WORKSTATION) {
            facts.dwProductInfo = ReadProductInfo(facts);
            software.Read_String(kCurrentVersionKey, L"InstallationType", facts.sInstallationType);
        }
        if (facts.dwMajor < 6)
            facts.sProductName = ReadProdSpecName();
        else
            software.Read_String(kCurrentVersionKey, L"ProductName", facts.sProductName);
    }
    std::wstring sRootDomain;
    facts.bDomainController =
        Registry_System(true).Read_String(kNtdsParametersKey, L"Root Domain", sRootDomain) == ERROR_SUCCESS;
    facts.bPE = DetectPreinstallationEnvironment();
    return true;
}

} // namespace velmora
