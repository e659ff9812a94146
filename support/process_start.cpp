#include "support/process_start.h"

#include "support/vstring.h"

namespace velmora
{

bool open_security::build()
{
    if (!InitializeSecurityDescriptor(&m_sd, SECURITY_DESCRIPTOR_REVISION)) {
        m_pFailedCall = L"InitializeSecurityDescriptor";
        return false;
    }
    if (!SetSecurityDescriptorDacl(&m_sd, TRUE, nullptr, FALSE)) {
        m_pFailedCall = L"SetSecurityDescriptorDacl";
        return false;
    }
    m_sa.nLength = sizeof(m_sa);
    m_sa.lpSecurityDescriptor = &m_sd;
    m_sa.bInheritHandle = TRUE;
    return true;
}

DWORD start_process(const process_start& start, started_process& started)
{
    open_security security;
    if (!security.build())
        return GetLastError();
    std::string sCommand = narrow(start.sCommandLine);
    const std::string sApplication = narrow(start.sApplication);
    const std::string sDirectory = narrow(start.sCurrentDirectory);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    if (start.hStdInput || start.hStdOutput || start.hStdError) {
        si.dwFlags |= STARTF_USESTDHANDLES;
        si.hStdInput = start.hStdInput;
        si.hStdOutput = start.hStdOutput;
        si.hStdError = start.hStdError;
    }
    PROCESS_INFORMATION pi = {};
    create_process_fn pfnCreate = start.pfnCreateProcess ? start.pfnCreateProcess : &CreateProcessA;
    if (!pfnCreate(sApplication.empty() ? nullptr : sApplication.c_str(), sCommand.data(), security.get(),
                   security.get(), start.bInheritHandles ? TRUE : FALSE, start.dwCreationFlags, nullptr,
                   sDirectory.empty() ? nullptr : sDirectory.c_str(), &si, &pi)) {
        DWORD dwError = GetLastError();
        return dwError;
    }
    started.process.reset(pi.hProcess);
    started.thread.reset(pi.hThread);
    started.dwProcessId = pi.dwProcessId;
    started.dwThreadId = pi.dwThreadId;
    return ERROR_SUCCESS;
}

bool is_lasting_start_error(DWORD dwError)
{
    switch (dwError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH: return true;
    default: return false;
    }
}

} // namespace velmora
