// The hosts file of the recovery environment and the client's "servers" file as plain values:
// parsing, finding and replacing entries, and the bytes to write back. No file access and no
// module-wide state, so that tests drive it with text; QueryNetwork reads and writes the files.
#pragma once
#include "support/ip_address.h"
#include "support/vstring.h"

#include <string>
#include <vector>

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

// One hosts file: its lines as wide text (each with "\n" at its end) and the bytes each line was
// read from.
class Table
{
public:
    Table() = default;
    static Table FromBytes(const std::string& sBytes);

    // Makes the file map sName to the address: every uncommented line naming sName (ignoring
    // case) becomes "<address>\t<name>", or such a line is appended. True when a line was
    // replaced, false when one was appended.
    bool MapName(const std::wstring& sName, const velmora::ip_address& address);
    // The bytes to write back (see FileBytes).
    std::string Bytes() const { return FileBytes(m_lines, m_originals); }
    const std::vector<velmora::string>& Lines() const { return m_lines; }
    // The line MapName writes for the name and the address.
    static velmora::string EntryLine(const std::wstring& sName, const velmora::ip_address& address);

private:
    std::vector<velmora::string> m_lines;
    std::vector<std::string> m_originals;
};

// What CheckDuplicateAddress collects over all adapters.
struct ConflictNotes {
    bool bFoundTarget = false;
    bool bFoundLinkLocal = false;
    bool Both() const { return bFoundTarget && bFoundLinkLocal; }
};
// Notes one address bound to an adapter against the address being checked.
void NoteBoundAddress(ConflictNotes& notes, const velmora::ip_address& bound, const velmora::ip_address& target);

} // namespace hostsfile
