// velmora::winver: the decisions (kind code, server core, version correction, product name)
// are plain functions over collected facts; CollectWinVerFacts is the Win32 side.
#include "support/winver.h"

#include "support/registry.h"
#include "support/singleton.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace velmora
{

namespace
{

struct KindRow {
    DWORD dwMajor;
    DWORD dwMinor;
    DWORD dwPE; // 0: no preinstallation kind of its own
    DWORD dwWorkstation;
    DWORD dwServer;
};

const KindRow kKindTable[] = {
    {5, 0, 0, 2, 3},  {5, 1, 0, 4, 4},    {5, 2, 16, 4, 5},   {6, 0, 17, 6, 7},
    {6, 1, 18, 9, 8}, {6, 2, 19, 10, 11}, {6, 3, 20, 12, 13}, {10, 0, 21, 14, 15},
};

const wchar_t* const kMiniNTKey = L"SYSTEM\\CurrentControlSet\\Control\\MiniNT";
const wchar_t* const kMyMiniNTKey = L"SYSTEM\\CurrentControlSet\\Control\\MyMiniNT";
const DWORD kFirstBuildOfWindows10 = 10000;

// A plain decimal number, no sign, no spaces, no overflow.
bool ParseNumber(const std::wstring& s, DWORD& dwValue)
{
    if (s.empty() || s.size() > 9 || !std::all_of(s.begin(), s.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
        return false;
    dwValue = 0;
    for (wchar_t c : s)
        dwValue = dwValue * 10 + static_cast<DWORD>(c - L'0');
    return true;
}

} // namespace

DWORD WindowsKindCode(DWORD dwMajor, DWORD dwMinor, bool bPE, bool bWorkstation)
{
    for (const KindRow& row : kKindTable) {
        if (row.dwMajor != dwMajor || row.dwMinor != dwMinor)
            continue;
        if (bPE && row.dwPE != 0)
            return row.dwPE;
        return bWorkstation ? row.dwWorkstation : row.dwServer;
    }
    return 0;
}

bool IsServerCoreProductType(DWORD dwProductInfo)
{
    static const DWORD kCoreTypes[] = {12, 13, 14, 29, 39, 40, 41, 42, 43, 44, 45, 46, 53, 63, 64, 98, 99, 100, 101};
    return std::find(std::begin(kCoreTypes), std::end(kCoreTypes), dwProductInfo) != std::end(kCoreTypes);
}

bool IsServerCore(BYTE byProductType, DWORD dwProductInfo, const std::wstring& sInstallationType)
{
    if (byProductType == VER_NT_WORKSTATION)
        return false;
    return IsServerCoreProductType(dwProductInfo) || sInstallationType.find(L"Core") != std::wstring::npos;
}

void ResolveRegistryVersion(const std::wstring& sCurrentVersion, const std::wstring& sCurrentBuild, DWORD& dwMajor,
                            DWORD& dwMinor, DWORD& dwBuild)
{
    size_t uiDot = sCurrentVersion.find(L'.');
    DWORD dwRegMajor = 0;
    DWORD dwRegMinor = 0;
    if (uiDot == std::wstring::npos || !ParseNumber(sCurrentVersion.substr(0, uiDot), dwRegMajor) ||
        !ParseNumber(sCurrentVersion.substr(uiDot + 1), dwRegMinor))
        return;
    if (dwRegMajor != 6 || dwRegMinor != 3)
        return;
    DWORD dwRegBuild = 0;
    bool bBuild = ParseNumber(sCurrentBuild, dwRegBuild);
    if (bBuild && dwRegBuild >= kFirstBuildOfWindows10) {
        dwMajor = 10;
        dwMinor = 0;
    } else {
        dwMajor = 6;
        dwMinor = 3;
    }
    if (bBuild)
        dwBuild = dwRegBuild;
}

std::wstring ProductNameForKind(const std::wstring& sProductName, bool b64Bit, DWORD dwKind)
{
    if (!b64Bit || dwKind == 8 || dwKind == 13)
        return sProductName;
    return sProductName + L" (x64)";
}

void winver::apply(const WinVerFacts& facts)
{
    m_dwMajor = facts.dwMajor;
    m_dwMinor = facts.dwMinor;
    m_dwBuild = facts.dwBuild;
    m_b64Bit = facts.b64Bit;
    m_bPE = facts.bPE;
    m_bWorkstation = facts.byProductType == VER_NT_WORKSTATION || facts.bPE;
    m_bServerCore = IsServerCore(facts.byProductType, facts.dwProductInfo, facts.sInstallationType);
    m_bDomainController = facts.bDomainController;
    m_dwKind = WindowsKindCode(m_dwMajor, m_dwMinor, m_bPE, m_bWorkstation);
    m_sProductName = ProductNameForKind(facts.sProductName, m_b64Bit, m_dwKind);
}

bool winver::initialise()
{
    if (m_bInitialised)
        return true;
    WinVerFacts facts;
    if (!CollectWinVerFacts(facts))
        return false;
    apply(facts);
    m_bInitialised = true;
    return true;
}

winver& winver::instance()
{
    return Singleton<winver, SpinLock>::instance([](winver& w) { w.initialise(); });
}

bool DetectPreinstallationEnvironment()
{
    Registry registry;
    return registry.Key_Exists(kMiniNTKey) || registry.Key_Exists(kMyMiniNTKey);
}

} // namespace velmora
