// The one place that starts a child process: narrow command line, null-DACL security attributes,
// optional standard handles for a hidden console, inheritance. It does not trace: the caller
// traces the answer (an error code) under its own name.
#pragma once
#include "support/handle.h"
#include "support/win.h"

#include <string>

namespace velmora
{

// Inheritable security attributes whose descriptor has a null DACL (access for everyone), as
// the tools' console, pipe and process handles need. build() answers false with the error in
// GetLastError(); failed_call() names the call that failed.
class open_security
{
public:
    bool build();
    SECURITY_ATTRIBUTES* get() { return &m_sa; }
    const wchar_t* failed_call() const { return m_pFailedCall; }

private:
    SECURITY_DESCRIPTOR m_sd{};
    SECURITY_ATTRIBUTES m_sa{};
    const wchar_t* m_pFailedCall = nullptr;
};

using create_process_fn = decltype(&CreateProcessA);

struct process_start {
    std::wstring sCommandLine;      // program first, quoted as the program wants it
    std::wstring sApplication;      // empty: the first word of the command line names the program
    std::wstring sCurrentDirectory; // empty: the caller's
    DWORD dwCreationFlags = 0;
    bool bInheritHandles = false;
    // When set, the child gets these as its standard handles (STARTF_USESTDHANDLES).
    HANDLE hStdInput = nullptr;
    HANDLE hStdOutput = nullptr;
    HANDLE hStdError = nullptr;
    // A seam for tests; the real call when null.
    create_process_fn pfnCreateProcess = nullptr;
};

struct started_process {
    unique_handle_null process;
    unique_handle_null thread;
    DWORD dwProcessId = 0;
    DWORD dwThreadId = 0;
};

// Starts the child hidden (SW_HIDE), with the null-DACL attributes for its process and thread
// handles. Answers ERROR_SUCCESS or the error of the step that failed; on failure `started` is
// left empty.
DWORD start_process(const process_start& start, started_process& started);

// Errors of a start that another attempt cannot mend: the program is missing or unusable.
bool is_lasting_start_error(DWORD dwError);

} // namespace velmora
