// velmora::winver: which Windows this is, decided once per process.
#pragma once
#include "support/win.h"

#include <string>

namespace velmora {

class noncopyable {
protected:
    noncopyable() = default;
    ~noncopyable() = default;

public:
    noncopyable(const noncopyable&) = delete;
    noncopyable& operator=(const noncopyable&) = delete;
};

// The raw facts initialise() collects; a seam so that tests can decide kind codes and
// product names for any Windows without running on it.
struct WinVerFacts {
    DWORD dwMajor = 0;
    DWORD dwMinor = 0;
    DWORD dwBuild = 0;
    BYTE byProductType = 0; // 1 = workstation
    bool b64Bit = false;
    bool bPE = false;       // a MiniNT or MyMiniNT key exists
    DWORD dwProductInfo = 0; // GetProductInfo's type, 0 when unknown
    std::wstring sInstallationType;
    std::wstring sProductName;
};

// Windows kind code from the version and flags (0 when the version is not in the table).
DWORD WindowsKindCode(DWORD dwMajor, DWORD dwMinor, bool bPE, bool bWorkstation);
// Product types that GetProductInfo reports for server core installations.
bool IsServerCoreProductType(DWORD dwProductInfo);

class winver : noncopyable {
public:
    // The process-wide object, created under a spin lock and initialised on first use.
    static winver& instance();

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
