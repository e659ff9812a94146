// The probe DLL's exports and the events it records, shared by the DLL and its test.
#pragma once

// The test program exports this; the probe finds it with GetProcAddress on the program's module
// and reports each constructor and destructor that runs.
typedef void(__cdecl* ProbeRecordFn)(const char* pEvent);
#define PROBE_RECORD_EXPORT "RuntimeProbeRecord"

extern "C" {
// Reaches a function-local static whose constructor takes a while; returns its address.
typedef const void*(__cdecl* ProbeSlowStaticFn)();
// How many times that static was built.
typedef int(__cdecl* ProbeCountFn)();
// Throws the kind-th exception inside the module and catches it there; returns what was caught.
typedef const char*(__cdecl* ProbeThrowAndCatchFn)(int iKind);
// A function-local static whose constructor throws on its first iFailures attempts.
typedef int(__cdecl* ProbeRetryStaticFn)(int iFailures);
// This thread's value of a thread_local counter after adding iAdd to it.
typedef int(__cdecl* ProbeThreadLocalFn)(int iAdd);
}
