#include "client/server_version.h"

#include "client/init.h"

#include "plugin/cvex_impl.h"
#include "support/file_replace.h"
#include "trace/trace_scope.h"

bool CVEXImpl::WriteNsradminCommandFile(const std::wstring& sPath)
{
    TraceScope scope(L"CVEXImpl::WriteNsradminCommandFile");
    // Replaced whole, so that nsradmin never reads a command file cut short.
    if (DWORD dwError = velmora::replace_file(sPath, serverversion::kCommandFileText)) {
        CvexTrace().ApiFailure(scope.fn(), L"WriteFile", dwError);
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
    if (!IsSafeText(sCommandFile, safetext::Kind::Path, L"nsradmin command file"))
        return scope.Fail(L"Unsafe command file path");
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
