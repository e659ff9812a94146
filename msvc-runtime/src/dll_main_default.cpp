// The DllMain a DLL gets when it defines none: the linker takes this file only then.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
