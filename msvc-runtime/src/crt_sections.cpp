// The bounds of the initialiser tables and the module's atexit table.
#include "crt_sections.h"

#include <corecrt_startup.h>
#include <stdlib.h>
#include <vcruntime_typeinfo.h>

#pragma section(".CRT$XIA", long, read)
#pragma section(".CRT$XIZ", long, read)
#pragma section(".CRT$XCA", long, read)
#pragma section(".CRT$XCZ", long, read)

extern "C" {
__declspec(allocate(".CRT$XIA")) _PIFV __xi_a[] = {nullptr};
__declspec(allocate(".CRT$XIZ")) _PIFV __xi_z[] = {nullptr};
__declspec(allocate(".CRT$XCA")) _PVFV __xc_a[] = {nullptr};
__declspec(allocate(".CRT$XCZ")) _PVFV __xc_z[] = {nullptr};

// Demangled names that type_info::name() made in this module.
__type_info_node __type_info_root_node = {};
}

namespace
{
bool g_bModuleIsDll = false;
_onexit_table_t g_moduleExitTable = {};
} // namespace

namespace msvc_runtime
{
void SetModuleIsDll()
{
    g_bModuleIsDll = true;
    _initialize_onexit_table(&g_moduleExitTable);
}

bool RunInitialisers()
{
    if (_initterm_e(__xi_a, __xi_z) != 0)
        return false;
    _initterm(__xc_a, __xc_z);
    return true;
}

void StartProgram()
{
    _set_app_type(_crt_console_app);
    _crt_atexit(RunTerminators); // registered first, so it runs last
    if (!RunInitialisers())
        exit(255);
}

void RunTerminators()
{
    if (g_bModuleIsDll)
        _execute_onexit_table(&g_moduleExitTable);
    __std_type_info_destroy_list(&__type_info_root_node);
}
} // namespace msvc_runtime

// A DLL keeps its own table, run at unload; a program hands its functions to the C runtime,
// which runs them in exit().
extern "C" int __cdecl atexit(_PVFV pFunction)
{
    if (g_bModuleIsDll)
        return _register_onexit_function(&g_moduleExitTable, reinterpret_cast<_onexit_t>(pFunction));
    return _crt_atexit(pFunction);
}
