// Path texts of the file operations: the "\\?\" form that lifts the MAX_PATH limit, parents
// that stop at a root, joining, and the wildcard match of the directory listings.
#pragma once
#include <string>

namespace pathtext
{

// "C:\a" -> "\\?\C:\a", "\\srv\share\a" -> "\\?\UNC\srv\share\a"; forward slashes become
// backslashes. Prefixed ("\\?\", "\\.\") and relative texts come back unchanged.
std::wstring ToLongPath(const std::wstring& sPath);
// The path without "\\?\" (or with "\\?\UNC\" turned back into "\\"), for messages and traces.
std::wstring FromLongPath(const std::wstring& sPath);
// Length of the root of a path ("C:\", "\\?\C:\", "\\srv\share\", "\\?\UNC\srv\share\"); 0 for
// a path without one.
size_t RootLength(const std::wstring& sPath);
// True for a volume root ("C:", "C:\", "\\?\C:\", "\\srv\share").
bool IsRoot(const std::wstring& sPath);
// The folder holding the path, without a trailing backslash except at a root ("C:\a\b" ->
// "C:\a", "C:\a" -> "C:\"). False, with sParent untouched, for a root or a path without one.
bool ParentFolder(const std::wstring& sPath, std::wstring& sParent);
// base + "\" + name, the backslash added only when base does not end with one.
std::wstring Join(const std::wstring& sBase, const std::wstring& sName);
// Wildcard match of one file name ("*" any run, "?" one character), ignoring case; "*.*" and
// "*" match every name.
bool MatchesPattern(const std::wstring& sName, const std::wstring& sPattern);

} // namespace pathtext
