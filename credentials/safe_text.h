// Names and paths that end up inside a tool's command line or a line of the hosts or servers
// file. One rule set decides which of them may go there: text that could break out of its
// quotes, start a new line or be expanded by a shell is refused, never escaped.
#pragma once
#include <cstddef>
#include <string>

namespace safetext
{

// What the text is; each kind has its own length limit and a few extra refusals.
enum class Kind {
    HostName,    // a server or client name: also no blank and no "#" (a hosts-file comment)
    PointInTime, // the point-in-time text of the recover command line
    Filespace,   // a filespace or saveset name as the server lists it
    Path,        // a file or folder path of the recovery environment
    Ssid,        // a saveset id: digits only
};

// The longest text of the kind, in UTF-16 code units.
size_t MaxLength(Kind kind);
// How the kind is named in a message ("server name" is left to the caller: a host name).
const wchar_t* KindName(Kind kind);

// Why the text cannot be used ("holds a double quote"), or nullptr when it can. An empty text
// is refused too: every caller needs a value.
const wchar_t* Refusal(const std::wstring& sText, Kind kind);

} // namespace safetext
