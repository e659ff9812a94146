// The tables of initialisers that the compiler places in .CRT$XI* (C, may fail) and .CRT$XC* (C++
// constructors) and the linker sorts by name; the start-up code runs each between its bounds.
#pragma once

#include <corecrt_startup.h>

extern "C" {
__declspec(dllimport) void __cdecl _initterm(_PVFV* pFirst, _PVFV* pLast);
__declspec(dllimport) int __cdecl _initterm_e(_PIFV* pFirst, _PIFV* pLast);
extern _PIFV __xi_a[];
extern _PIFV __xi_z[];
extern _PVFV __xc_a[];
extern _PVFV __xc_z[];
}

namespace msvc_runtime
{
// Runs the C initialisers, then the C++ constructors; false when a C initialiser failed.
bool RunInitialisers();
// Runs what atexit registered in this module, newest first (a DLL's own table), then frees the
// runtime's cache of demangled type names.
void RunTerminators();
// True in a DLL: its atexit table is its own and runs when it is unloaded.
void SetModuleIsDll();
// A program's start after its arguments are configured: console application, the terminators
// handed to the C runtime, the initialisers (exit(255) when one fails).
void StartProgram();
} // namespace msvc_runtime
