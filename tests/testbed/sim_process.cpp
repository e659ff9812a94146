#include "tests/testbed/sim_process.h"

#include "simulator/common/ini.h"
#include "simulator/common/text.h"
#include "tests/common/test_util.h"

#include <vector>

namespace simtest
{

const wchar_t* const kToolFolder = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\";

namespace
{

SECURITY_ATTRIBUTES Inheritable()
{
    return {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
}

std::wstring CommandLine(const std::wstring& sTool, const std::string& sArgs)
{
    std::wstring sPath = sTool.find(L':') == std::wstring::npos ? std::wstring(kToolFolder) + sTool : sTool;
    return L"\"" + sPath + L"\" " + nwsim::Wide(sArgs);
}

bool ReadAvailable(HANDLE hRead, std::string& sOut)
{
    DWORD dwAvail = 0;
    if (!PeekNamedPipe(hRead, nullptr, 0, nullptr, &dwAvail, nullptr))
        return false;
    while (dwAvail > 0) {
        char buf[4096];
        DWORD dwRead = 0;
        if (!ReadFile(hRead, buf, dwAvail < sizeof(buf) ? dwAvail : sizeof(buf), &dwRead, nullptr) || dwRead == 0)
            return false;
        sOut.append(buf, dwRead);
        dwAvail -= dwRead;
    }
    return true;
}

std::wstring IniPath()
{
    return std::wstring(kToolFolder) + L"nwsim.ini";
}

} // namespace

ToolResult RunTool(const std::wstring& sTool, const std::string& sArgs, const std::string& sInput, DWORD dwTimeoutMs)
{
    ToolResult result;
    SECURITY_ATTRIBUTES sa = Inheritable();
    HANDLE hOutRead = nullptr, hOutWrite = nullptr, hInRead = nullptr, hInWrite = nullptr;
    CreatePipe(&hOutRead, &hOutWrite, &sa, 65536);
    CreatePipe(&hInRead, &hInWrite, &sa, 65536);
    velmora::unique_handle_null outRead(hOutRead), outWrite(hOutWrite), inRead(hInRead), inWrite(hInWrite);
    SetHandleInformation(hOutRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(hInWrite, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = hInRead;
    si.hStdOutput = hOutWrite;
    si.hStdError = hOutWrite;
    PROCESS_INFORMATION pi{};
    std::wstring sCmd = CommandLine(sTool, sArgs);
    if (!CreateProcessW(nullptr, sCmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        result.dwExit = 0xFFFFFFFF;
        return result;
    }
    velmora::unique_handle_null process(pi.hProcess), thread(pi.hThread);
    outWrite.reset();
    inRead.reset();
    DWORD dwWritten = 0;
    if (!sInput.empty())
        WriteFile(hInWrite, sInput.data(), static_cast<DWORD>(sInput.size()), &dwWritten, nullptr);
    inWrite.reset();
    DWORD dwStart = GetTickCount();
    while (WaitForSingleObject(pi.hProcess, 20) == WAIT_TIMEOUT) {
        ReadAvailable(hOutRead, result.sOutput);
        if (GetTickCount() - dwStart > dwTimeoutMs) {
            TerminateProcess(pi.hProcess, 99);
            result.bTimedOut = true;
            break;
        }
    }
    ReadAvailable(hOutRead, result.sOutput);
    GetExitCodeProcess(pi.hProcess, &result.dwExit);
    return result;
}

Knobs::Knobs(const std::string& sExtra) : m_sOriginal(ReadFileBytes(IniPath()))
{
    testutil::WriteTextFile(IniPath(), m_sOriginal + "\r\n" + sExtra + "\r\n");
}

Knobs::~Knobs()
{
    testutil::WriteTextFile(IniPath(), m_sOriginal);
}

std::string ReadFileBytes(const std::wstring& sPath)
{
    std::string sData;
    nwsim::ReadWholeFile(sPath, sData);
    return sData;
}

} // namespace simtest
