// velmora::winver: which Windows this is, decided once per process.
#pragma once
#include "support/noncopyable.h"
#include "support/win.h"

#include <string>

namespace velmora
{

// The raw facts initialise() collects; a seam so that tests can decide kind codes and
// product names for any Windows without running on it.
struct WinVerFacts {
    DWORD dwMajor = 0; // after ResolveRegistryVersion
    DWORD dwMinor = 0;
    DWORD dwBuild = 0;
    BYTE byProductType = 0;  // 1 = workstation
    bool b64Bit = false;     // GetSystemWow64DirectoryW succeeded
    bool bPE = false;        // a MiniNT or MyMiniNT key exists
    DWORD dwProductInfo = 0; // GetProductInfo's type, 0 when unknown
    bool bDomainController = false;
    std::wstring sInstallationType;
    std::wstring sProductName;
};

// Windows kind code from the version and flags (0 when the version is not in the table).
// Versions without a preinstallation kind of their own (5.0, 5.1) give their ordinary kind.
DWORD WindowsKindCode(DWORD dwMajor, DWORD dwMinor, bool bPE, bool bWorkstation);
// Product types that GetProductInfo reports for server core installations.
bool IsServerCoreProductType(DWORD dwProductInfo);
// Server core: only a non-workstation product; by product type, else by "InstallationType".
bool IsServerCore(BYTE byProductType, DWORD dwProductInfo, const std::wstring& sInstallationType);
// Corrects the version from GetVersionEx by "CurrentVersion" and "CurrentBuild" of the
// registry: 6.3 there is believed (GetVersionEx reports 6.2 to processes without a
// compatibility manifest), and 6.3 with a build of 10000 or more is 10.0 with that build.
// Values that are missing or not plain numbers change nothing.
void ResolveRegistryVersion(const std::wstring& sCurrentVersion, const std::wstring& sCurrentBuild, DWORD& dwMajor,
                            DWORD& dwMinor, DWORD& dwBuild);
// The product name as shown: " (x64)" appended on 64-bit systems, except for kinds 8 and 13.
std::wstring ProductNameForKind(const std::wstring& sProductName, bool b64Bit, DWORD dwKind);

// Whether the MiniNT key, or its hidden form MyMiniNT, exists now (read afresh each call).
bool DetectPreinstallationEnvironment();
// Reads the facts from the running system; false when the version cannot be read or the
// 64-bit check fails for a reason other than "not implemented".
bool CollectWinVerFacts(WinVerFacts& facts);

class winver : noncopyable
{
public:
    // The process-wide object, created under a spin lock and initialised on first use.
    static winver& instance();

    // Collects the facts and applies them; true at once when already initialised.
    bool initialise();
    // Fills the fields from already collected facts (used by initialise and by tests).
    void apply(const WinVerFacts& facts);

    DWORD kind() const { return m_dwKind; }
    bool is64Bit() const { return m_b64Bit; }
    bool isWorkstation() const { return m_bWorkstation; }
    bool isPE() const { return m_bPE; }
    bool isServerCore() const { return m_bServerCore; }
    bool isDomainController() const { return m_bDomainController; }
    const std::wstring& productName() const { return m_sProductName; }
    DWORD major() const { return m_dwMajor; }
    DWORD minor() const { return m_dwMinor; }
    DWORD build() const { return m_dwBuild; }
    bool initialised() const { return m_bInitialised; }

    // Public so that tests can build their own object beside the process-wide one.
    winver() = default;

private:
    DWORD m_dwKind = 0;
    bool m_b64Bit = false;
    bool m_bWorkstation = false;
    bool m_bPE = false;
    std::wstring m_sProductName;
    DWORD m_dwMajor = 0;
    DWORD m_dwMinor = 0;
    DWORD m_dwBuild = 0;
    bool m_bServerCore = false;
    bool m_bDomainController = false;
    bool m_bInitialised = false;
};

} // namespace velmora
