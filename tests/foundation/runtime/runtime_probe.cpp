// A DLL built like CVEX.DLL that reports what the runtime stand-ins do inside a module: its
// globals' constructors and destructors, function-local statics reached by many threads, an
// exception thrown and caught inside it, thread-local data.
#include "runtime_probe.h"

#include <stdexcept>
#include <string>
#include <windows.h>

namespace
{
void Record(const char* pEvent)
{
    auto pRecord = reinterpret_cast<ProbeRecordFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), PROBE_RECORD_EXPORT)));
    if (pRecord)
        pRecord(pEvent);
}

struct Announced {
    explicit Announced(const char* pName) : m_sName(pName) { Record(("construct " + m_sName).c_str()); }
    ~Announced() { Record(("destroy " + m_sName).c_str()); }
    std::string m_sName;
};

// Built in this order at load, destroyed in the reverse order at unload.
Announced g_first("first");
Announced g_second("second");

int g_iSlowBuilds = 0;

struct Slow {
    Slow()
    {
        ++g_iSlowBuilds;
        Sleep(200); // long enough for every other thread to arrive while this one builds
    }
    int m_iValue = 42;
};

struct MayThrow {
    explicit MayThrow(int& iAttempts, int iFailures)
    {
        if (++iAttempts <= iFailures)
            throw std::runtime_error("not yet");
    }
};

struct ProbeError {
    int m_iCode;
};

thread_local int t_iCounter = 0;
} // namespace

extern "C" __declspec(dllexport) const void* __cdecl ProbeSlowStatic()
{
    static Slow slow;
    return &slow;
}

// Built on the first call, after the globals, so destroyed before them.
extern "C" __declspec(dllexport) void __cdecl ProbeTouchLocal()
{
    static Announced local("local");
}

extern "C" __declspec(dllexport) int __cdecl ProbeSlowBuilds()
{
    return g_iSlowBuilds;
}

extern "C" __declspec(dllexport) const char* __cdecl ProbeThrowAndCatch(int iKind)
{
    static std::string s_sCaught;
    try {
        switch (iKind) {
        case 0: throw std::runtime_error("runtime error from the probe");
        case 1: throw ProbeError{7};
        case 2: throw 5;
        default: return "nothing thrown";
        }
    } catch (const std::exception& e) {
        s_sCaught = std::string("std::exception: ") + e.what();
    } catch (const ProbeError& e) {
        s_sCaught = "ProbeError " + std::to_string(e.m_iCode);
    } catch (...) {
        s_sCaught = "something else";
    }
    return s_sCaught.c_str();
}

extern "C" __declspec(dllexport) int __cdecl ProbeRetryStatic(int iFailures)
{
    static int s_iAttempts = 0;
    try {
        static MayThrow built(s_iAttempts, iFailures);
    } catch (const std::runtime_error&) {
        return -s_iAttempts;
    }
    return s_iAttempts;
}

extern "C" __declspec(dllexport) int __cdecl ProbeThreadLocal(int iAdd)
{
    t_iCounter += iAdd;
    return t_iCounter;
}
