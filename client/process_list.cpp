// Finding processes by the name of their program.
#include "client/client_files.h"
#include "client/client_rules.h"
#include "support/handle.h"

#include <psapi.h>

namespace nwclient
{

bool ListProcessIds(std::vector<DWORD>& ids, DWORD& dwError, EnumProcessesFn pEnum)
{
    if (!pEnum)
        pEnum = &EnumProcesses;
    // Room for 256 identifiers first; doubled while the answer fills the room given.
    std::vector<DWORD> buffer(256);
    for (;;) {
        DWORD dwGiven = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
        DWORD dwReturned = 0;
        if (!pEnum(buffer.data(), dwGiven, &dwReturned)) {
            dwError = GetLastError();
            return false;
        }
        if (!ProcessListMayBeTruncated(dwReturned, dwGiven)) {
            buffer.resize(dwReturned / sizeof(DWORD));
            ids.swap(buffer);
            return true;
        }
        if (buffer.size() >= (1u << 24)) { // no system runs this many; the call misbehaves
            dwError = ERROR_BUFFER_OVERFLOW;
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
}

ProcessName ProcessBaseName(DWORD dwPid)
{
    ProcessName result;
    velmora::unique_handle_null process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwPid));
    if (!process) {
        result.dwError = GetLastError();
        result.pFailedCall = L"OpenProcess(QUERY)";
        return result;
    }
    HMODULE hModule = nullptr;
    DWORD dwNeeded = 0;
    if (!EnumProcessModules(process.get(), &hModule, sizeof(hModule), &dwNeeded)) {
        result.dwError = GetLastError();
        result.pFailedCall = L"EnumProcessModules";
        return result;
    }
    wchar_t wszName[MAX_PATH] = {};
    DWORD dwChars = GetModuleBaseNameW(process.get(), hModule, wszName, MAX_PATH);
    if (dwChars == 0) {
        result.dwError = GetLastError();
        result.pFailedCall = L"GetModuleBaseName";
        return result;
    }
    result.sName.assign(wszName, dwChars);
    return result;
}

} // namespace nwclient
