// The entry point of a program with main(): the C runtime's arguments and environment, the
// module's globals, then main, whose result is the exit code.
#include "crt_sections.h"

#include <stdlib.h>

extern "C" int main(int argc, char** argv, char** envp);

extern "C" int mainCRTStartup()
{
    _configure_narrow_argv(_crt_argv_unexpanded_arguments);
    _initialize_narrow_environment();
    msvc_runtime::StartProgram();
    exit(main(__argc, __argv, _get_initial_narrow_environment()));
}
