// Thread-safe initialisation of function-local statics, as the compiler calls it: the first
// thread to reach a static builds it while the others wait; a thread that saw the static built
// (its epoch is current) does not enter here again.
#include <limits.h>
#include <windows.h>

namespace
{
constexpr int kUninitialised = 0;
constexpr int kBeingInitialised = -1;
SRWLOCK g_lock = SRWLOCK_INIT;
CONDITION_VARIABLE g_built = CONDITION_VARIABLE_INIT;
} // namespace

extern "C" {
int _Init_global_epoch = INT_MIN;
__declspec(thread) int _Init_thread_epoch = INT_MIN;

// Called when the guard says "not built": returns with *pOnce == kBeingInitialised when this
// thread is to build the static, or with the guard set when another thread built it.
void __cdecl _Init_thread_header(int* pOnce) noexcept
{
    AcquireSRWLockExclusive(&g_lock);
    while (*pOnce == kBeingInitialised)
        SleepConditionVariableSRW(&g_built, &g_lock, INFINITE, 0);
    if (*pOnce == kUninitialised)
        *pOnce = kBeingInitialised;
    else
        _Init_thread_epoch = _Init_global_epoch;
    ReleaseSRWLockExclusive(&g_lock);
}

// The static is built: its guard gets the next epoch and the waiting threads wake.
void __cdecl _Init_thread_footer(int* pOnce) noexcept
{
    AcquireSRWLockExclusive(&g_lock);
    ++_Init_global_epoch;
    *pOnce = _Init_global_epoch;
    _Init_thread_epoch = _Init_global_epoch;
    ReleaseSRWLockExclusive(&g_lock);
    WakeAllConditionVariable(&g_built);
}

// The constructor threw: the static is unbuilt again and a waiting thread may try.
void __cdecl _Init_thread_abort(int* pOnce) noexcept
{
    AcquireSRWLockExclusive(&g_lock);
    *pOnce = kUninitialised;
    ReleaseSRWLockExclusive(&g_lock);
    WakeAllConditionVariable(&g_built);
}
}
