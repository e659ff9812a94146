// std::this_thread::sleep_for calls _Thrd_sleep_for, which only recent msvcp140.dll builds export
// (Wine's does not): the module carries its own.
#include <windows.h>

extern "C" void __cdecl _Thrd_sleep_for(unsigned long ulMilliseconds) noexcept
{
    Sleep(ulMilliseconds);
}
