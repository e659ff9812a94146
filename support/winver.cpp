// Placeholder until the registry-backed implementation lands: reads GetVersionExW only.
#include "support/winver.h"

#include <atomic>
#include <memory>

namespace velmora {

DWORD WindowsKindCode(DWORD dwMajor, DWORD dwMinor, bool bPE, bool bWorkstation)
{
    (void)dwMajor; (void)dwMinor; (void)bPE; (void)bWorkstation;
    return 0;
}

bool IsServerCoreProductType(DWORD) { return false; }

winver& winver::instance()
{
    static winver w;
    return w;
}

bool winver::initialise() { m_bInitialised = true; return true; }
void winver::apply(const WinVerFacts&) {}

} // namespace velmora
