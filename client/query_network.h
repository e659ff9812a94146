// QueryNetwork: makes the NetWorker server's name resolve inside the recovery environment (hosts
// file, the client's "servers" file), reads the local host name and spots a client address that
// is in conflict on the network. It posts no message: Init turns its failures into messages.
#pragma once
#include "support/ip_address.h"
#include "support/vstring.h"

#include <string>
#include <vector>

class QueryNetwork
{
public:
    // "X:\PROGRA~1\Legato\nsr\res\servers"
    static const wchar_t kServersFile[];

    // Construction and destruction only trace; the hosts-file line table is module-wide.
    QueryNetwork();
    ~QueryNetwork();
    QueryNetwork(const QueryNetwork&) = delete;
    QueryNetwork& operator=(const QueryNetwork&) = delete;

    bool GetEnvVar(const velmora::string& sName, velmora::string& sValue);
    // Reads the hosts file into the line table (each line with "\n" at its end).
    bool LoadTable();
    // Writes the line table back, each line ending in CR LF. The file is replaced whole, so that
    // a failure part-way leaves the old file as it was.
    bool UnloadTable();
    // True when the hosts file now maps sName to address: every uncommented line naming sName
    // (ignoring case) is replaced, or one line is appended.
    bool CheckHostEntry(const velmora::string& sName, const velmora::ip_address& address);
    // Writes the server's qualified name (the configured or DHCP domain appended to a name
    // without a point) as the one line of the servers file.
    bool UpdateServers(const velmora::string& sName);
    // True when the address is on this machine while an adapter also carries a link-local
    // address of its family: what Windows does when it finds the address in use elsewhere.
    bool CheckDuplicateAddress(const velmora::ip_address& address);
    bool GetHostname(velmora::string& sHostname);
};

// The decisions of QueryNetwork over plain text, for tests.
namespace hostsfile
{

// The file's bytes as a text-mode reader sees them: split at LF, one CR before it dropped.
std::vector<std::string> SplitFileLines(const std::string& sBytes);
// The name fields of a hosts line (after the address, up to a "#" comment); none for a line
// that begins with "#".
std::vector<std::wstring> NamesOfLine(const std::wstring& sLine);
// Replaces every line naming sName (compared in upper case) with sNewLine; true when any did.
bool ReplaceEntries(std::vector<velmora::string>& table, const std::wstring& sName, const std::wstring& sNewLine);
// The table as the bytes of the rewritten file: every line ends in exactly one CR LF. A line
// that was not changed keeps the bytes it was read from (originals[i]), so that text the code
// page cannot carry survives.
std::string FileBytes(const std::vector<velmora::string>& table, const std::vector<std::string>& originals);
// sName, or sName "." sDomain when a domain is known and the name holds no point.
std::wstring QualifiedName(const std::wstring& sName, const std::wstring& sDomain);
// Replaces the file whole: writes a temporary file beside it and moves that over it.
// Returns 0 or the Windows error of the step that failed; the old file is then untouched.
DWORD ReplaceFile(const std::wstring& sPath, const std::string& sBytes);

// What CheckDuplicateAddress collects over all adapters.
struct ConflictNotes {
    bool bFoundTarget = false;
    bool bFoundLinkLocal = false;
    bool Both() const { return bFoundTarget && bFoundLinkLocal; }
};
// Notes one address bound to an adapter against the address being checked.
void NoteBoundAddress(ConflictNotes& notes, const velmora::ip_address& bound, const velmora::ip_address& target);

} // namespace hostsfile
