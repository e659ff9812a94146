// The NetWorker server's version, asked with nsradmin.exe and a small command file. The
// decisions live here as plain functions; CVEXImpl::GetNetWorkerServerVersion runs the tool.
#pragma once
#include <string>

namespace serverversion
{

// The command file's exact bytes: three lines, each ending in CR LF.
extern const char kCommandFileText[];
// "<nsradmin> -s "<server>" -i "<command file>""
std::wstring CommandLine(const std::wstring& sNsradminPath, const std::wstring& sServer,
                         const std::wstring& sCommandFile);
// True for a version line (it holds "NetWorker" and "Build"); sVersion is then the line without
// its first 10 characters and without its last "/" and what follows.
bool VersionFromLine(const std::wstring& sLine, std::wstring& sVersion);

} // namespace serverversion
