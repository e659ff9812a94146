// The entry point of a DLL: builds the module's globals before DllMain sees the attach and
// destroys them, newest first, after DllMain saw the detach.
#include "crt_sections.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved);

extern "C" BOOL WINAPI _DllMainCRTStartup(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    if (dwReason == DLL_PROCESS_ATTACH) {
        msvc_runtime::SetModuleIsDll();
        if (!msvc_runtime::RunInitialisers())
            return FALSE;
        if (!DllMain(hInstance, dwReason, pReserved)) {
            msvc_runtime::RunTerminators();
            return FALSE;
        }
        return TRUE;
    }
    BOOL bRc = DllMain(hInstance, dwReason, pReserved);
    // At process exit (pReserved set) the C runtime may already be gone; Visual C++'s start-up
    // still runs the module's own table there, and so does this one.
    if (dwReason == DLL_PROCESS_DETACH)
        msvc_runtime::RunTerminators();
    return bRc;
}
