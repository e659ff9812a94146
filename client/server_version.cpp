#include "client/server_version.h"

#include "client/init.h"

#include "plugin/cvex_impl.h"
#include "support/handle.h"
#include "trace/trace_scope.h"

bool CVEXImpl::WriteNsradminCommandFile(const std::wstring& sPath)
{
    TraceScope scope(L"CVEXImpl::WriteNsradminCommandFile");
    const wchar_t* fn = scope.fn();
    velmora::unique_file file(CreateFileW(sPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(fn, L"CreateFile", dwError);
        return scope.Fail(L"CreateFile failed");
    }
    const DWORD dwLength = static_cast<DWORD>(strlen(serverversion::kCommandFileText));
    DWORD dwWritten = 0;
    if (!WriteFile(file.get(), serverversion::kCommandFileText, dwLength, &dwWritten, nullptr) ||
        dwWritten != dwLength) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(fn, L"WriteFile", dwError);
        return scope.Fail(L"WriteFile() failed");
    }
    return true;
}

bool CVEXImpl::GetNetWorkerServerVersion(std::wstring& sVersion)
{
    const wchar_t* fn = L"CVEXImpl::GetNetWorkerServerVersion";
    TraceScope scope(fn);
    std::wstring sFolder;
    GetConfigDirectory(sFolder);
    const std::wstring sCommandFile = sFolder + L"\\nsradmin_args.txt";
    if (!WriteNsradminCommandFile(sCommandFile))
        return scope.Fail(L"Command file not written");
    const std::wstring sCmd =
        serverversion::CommandLine(m_sNsradminPath, m_NetWorkerCredentials.m_sServerName, sCommandFile);
    if (!RunCommand(sCmd, CvexTrace().TraceCommands(initseq::kTraceGroup)))
        return scope.Fail(L"RunCommand failed");
    std::wstring sLine;
    bool bPasswordAsked = false;
    // A failure here does not fail Init: a surprise password prompt is only a warning.
    while (GetLineNoPassword(sLine, CvexTrace().TraceOutput(initseq::kTraceGroup), bPasswordAsked, ML_WARNING)) {
        std::wstring sFound;
        if (serverversion::VersionFromLine(sLine, sFound)) {
            sVersion = sFound;
            CvexTrace().Str(TL_INFO, fn, L"sVersion", sVersion);
        }
    }
    if (bPasswordAsked)
        return scope.Fail(L"nsradmin asked for a password");
    if (UserAborted()) {
        // The reader has told the host; nsradmin is not left running with nobody reading it.
        m_Console.StopTool(fn);
        MirrorConsole();
        return scope.Fail(L"User abort");
    }
    return scope.End();
}
