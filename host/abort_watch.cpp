#include "host/abort_watch.h"

#include "host/host_output.h"

#include <windows.h>

namespace refhost
{
namespace
{

std::wstring g_sAbortPath;
unsigned g_uiRequests = 0;

} // namespace

void WatchAbortFile(const std::wstring& sPath)
{
    g_sAbortPath = sPath;
    g_uiRequests = 0;
    if (!sPath.empty())
        DeleteFileW(sPath.c_str());
}

unsigned AbortRequests()
{
    if (g_sAbortPath.empty() || GetFileAttributesW(g_sAbortPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return g_uiRequests;
    // Taken only when the file could be removed, so one appearance never counts twice.
    if (DeleteFileW(g_sAbortPath.c_str())) {
        ++g_uiRequests;
        Print(AbortRequestText(g_uiRequests));
    }
    return g_uiRequests;
}

unsigned AbortAnswer()
{
    return AbortRequests() >= 2 ? 1 : 0;
}

std::wstring AbortRequestText(unsigned uiRequest)
{
    if (uiRequest == 1)
        return L"Abort: requested; the running step finishes and nothing more starts (ask again to end it now)";
    return L"Abort: requested again; the running tool is being ended";
}

} // namespace refhost
