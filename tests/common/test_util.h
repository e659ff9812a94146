// Small helpers shared by the test programs.
#pragma once
#include "support/win.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace testutil
{

// A table of (input, expected) rows for one loop.
template <class In, class Out> using Rows = std::initializer_list<std::pair<In, Out>>;
using TextRows = Rows<const wchar_t*, const wchar_t*>;

// Folder of the running test program, with a trailing backslash.
std::wstring ProgramFolder();
// A fresh, empty scratch folder below the program folder; removed by the destructor.
class ScratchFolder
{
public:
    explicit ScratchFolder(const std::wstring& sName);
    ~ScratchFolder();
    const std::wstring& path() const { return m_sPath; }
    std::wstring file(const std::wstring& sName) const { return m_sPath + L"\\" + sName; }

private:
    std::wstring m_sPath;
};

void RemoveTree(const std::wstring& sPath);
// Removes what a folder holds; the folder itself stays, and so do links to folders in it.
void EmptyFolder(const std::wstring& sPath);

// A message as the host's log callback received it.
struct HostMessage {
    unsigned uiLevel;
    std::wstring sText;
};
// The text of a message of a module's table; empty when it has none.
std::wstring ModuleMessage(HMODULE hModule, unsigned uiId);
// For each received message, the id of the module's message it is (a formatted message matched by
// its text before the first insert); 0 for a text that is no message of the table.
std::vector<unsigned> MessageIdsOf(HMODULE hModule, const std::vector<HostMessage>& messages);
bool LoggedAt(HMODULE hModule, const std::vector<HostMessage>& messages, unsigned uiId, unsigned uiLevel);
// Whole file as UTF-8 decoded text; empty when it does not exist.
std::wstring ReadTextFile(const std::wstring& sPath);
void WriteTextFile(const std::wstring& sPath, const std::string& sUtf8);
std::vector<std::wstring> SplitLines(const std::wstring& sText);
bool Contains(const std::wstring& sText, const std::wstring& sPart);
bool FileExists(const std::wstring& sPath);
// A time of day on a date, the other fields zero.
SYSTEMTIME MakeTime(WORD wYear, WORD wMonth, WORD wDay, WORD wHour, WORD wMinute, WORD wSecond, WORD wMilliseconds = 0);
// Processes whose program name is sName (ignoring case), from a Toolhelp snapshot, so that a
// test looks at the running processes without going through the code under test.
std::vector<DWORD> ProcessesNamed(const std::wstring& sName);
// CPU time (kernel and user) this process has used so far, in milliseconds.
ULONGLONG ProcessCpuMs();

// Moves a file aside (to its name + ".aside") for the life of the object.
class FileAside
{
public:
    explicit FileAside(std::wstring sPath);
    ~FileAside();
    FileAside(const FileAside&) = delete;
    FileAside& operator=(const FileAside&) = delete;
    bool moved() const { return m_bMoved; }

private:
    std::wstring m_sPath;
    bool m_bMoved = false;
};

} // namespace testutil
