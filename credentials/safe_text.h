// Names and paths that end up inside a tool's command line or a line of the hosts or servers
// file. One rule set decides which of them may go there: text that could break out of its
// quotes or start a new line is refused, never escaped; so is a filespace name or path that the
// ANSI code page of the narrow command line cannot carry.
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
// The refusal of a filespace name or path that the ANSI code page cannot carry. Such a text holds
// no line break or quote, so the message may name it.
inline constexpr const wchar_t* kCodePageRefusal =
    L"holds characters that the ANSI code page of recover's command line cannot carry";

} // namespace safetext
