// The entry point of a program with wmain(): as mainCRTStartup, with the wide arguments.
#include "crt_sections.h"

#include <stdlib.h>

extern "C" int wmain(int argc, wchar_t** argv, wchar_t** envp);

extern "C" int wmainCRTStartup()
{
    _configure_wide_argv(_crt_argv_unexpanded_arguments);
    _initialize_wide_environment();
    msvc_runtime::StartProgram();
    exit(wmain(__argc, __wargv, _get_initial_wide_environment()));
}
