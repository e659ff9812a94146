// Decisions of the NetWorker client set-up, as plain functions over text: the client's folders,
// the search path, version texts, tool command lines and tool output.
#pragma once
#include "support/win.h"

#include <string>
#include <vector>

namespace nwclient
{

// Where the host places the client in the recovery environment (short form of Program Files).
extern const wchar_t kClientFolder[]; // "X:\PROGRA~1\Legato\nsr\"
extern const wchar_t kDaemonName[];   // "nsrexecd.exe"

// The working folders the client tools expect below kClientFolder, parents before children.
const std::vector<std::wstring>& NsrDirectories();

// The search path with the client's tool folder in front. The whole value is upper-cased; when
// an entry already names a client folder (holds "\LEGATO\") nothing is added.
std::wstring ClientSearchPath(const std::wstring& sPath, const std::wstring& sClientDir);

// "major.minor.sp.build" from the two product version words of a version resource.
std::wstring VersionText(DWORD dwVersionMS, DWORD dwVersionLS);
// The query for the FileVersion string of one language and code page.
std::wstring FileVersionQuery(WORD wLanguage, WORD wCodePage);
// Language and code page used when a version resource has no translation table.
const WORD kDefaultLanguage = 0x0809;
const WORD kDefaultCodePage = 0x04B0;

// What the walk of the client folder found.
struct ClientFindings {
    bool bDaemonFound = false;
    bool bRecoverFound = false;
    bool bReleaseFailed = false; // reading nsrexecd.exe's version stopped the walk
    std::wstring sRelease;
    std::wstring sVersion;
};
// Why the installation cannot be used (the trace reason), or nullptr when it can.
const wchar_t* ClientUnusableReason(const ClientFindings& found);

// A line of nsrports.exe that begins with sPrefix (ignoring case) gives the text after the
// prefix and the blanks following it.
bool PortRange(const std::wstring& sLine, const std::wstring& sPrefix, std::wstring& sRange);

// Command lines of the client tools.
std::wstring DaemonCommandLine(const std::wstring& sDaemonPath, const std::wstring& sServer);
std::wstring PortsCommandLine(const std::wstring& sPortsPath, const std::wstring& sHost);
std::wstring CertificateCommandLine(const std::wstring& sToolPath, const std::wstring& sCertFile,
                                    const std::wstring& sKeyFile);

// Whether EnumProcesses may have had more identifiers than it was given room for: it fills
// the buffer and gives no other sign.
inline bool ProcessListMayBeTruncated(DWORD dwBytesReturned, DWORD dwBytesGiven)
{
    return dwBytesReturned >= dwBytesGiven;
}

} // namespace nwclient
