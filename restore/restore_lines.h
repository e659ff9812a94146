// What the lines of recover's two passes over a filespace are: the count ("list -l" in an
// interactive session) and the restore ("recover -a"). Plain functions over text.
#pragma once
#include <string>

// One object line of "list -l": "<count> <kind> <size> <MM/DD/YYYY> <HH:MM> <path>".
struct ListedObject {
    unsigned long long ullSize = 0;
    std::wstring sDate;
    std::wstring sTime;
    std::wstring sPath; // the rest of the line as it stands, blanks inside the name kept
};

// False when the line is not of that form (a size beyond 64 bits included).
bool ParseListLine(const std::wstring& sLine, ListedObject& object);

// "X:\..." with no colon after the drive's: the path of an object. A colon cannot be part of a
// Windows file name, so "D:\a.txt: Permission denied" is a per-file error, not an object.
bool IsObjectPath(const std::wstring& sText);
// "X:\...: <error text>": recover reporting a failure for one file.
bool IsPerFileError(const std::wstring& sLine);

enum class CountLine {
    Banner,    // the session is open: the commands may be sent
    Prompt,    // "recover> "
    Directory, // an object of the listing, ending in "\" (no bytes)
    File,      // an object of the listing with its size
    Other,     // anything else, per-file errors included: never counted
};
CountLine ClassifyCountLine(const std::wstring& sLine, ListedObject& object);

enum class RestoreLine {
    IncorrectPassword,    // the held password is wrong: clear it so that the host is asked again
    SecuredData,          // message 128, failure
    PasswordPrompt,       // answered through the password request, nothing to do here
    FileExists,           // "file exists, overwriting": nothing to do
    Object,               // one restored object: the line is its path
    PerFileError,         // "<path>: <error text>": a warning, never a restored object
    ClientNotRegistered,  // message 104, failure
    AddressNotRegistered, // message 103, failure
    DdclOpenFailed,       // message 168, failure
    StaleRpcHandle,       // message 195, failure
    RecoverThreadsFailed, // message 107, failure
    ConnectionClosed,     // the server dropped the session: message 189, failure
    RecoverMessage,       // message 169 with the text after ":recover:"
    Other,                // ignored
};
// A line that is an object's path is one, whatever its name says (a file may be called
// "Password for file.txt"); otherwise the first match wins, in the order of the enumeration.
// Lines that name a path but are not objects are ignored only after the failure texts were
// looked for, so that a failure line naming a path is not lost.
RestoreLine ClassifyRestoreLine(const std::wstring& sLine, const std::wstring& sClientName);
