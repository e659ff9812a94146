#include "tests/common/test_util.h"

#include "support/handle.h"
#include "support/vstring.h"

#include <tlhelp32.h>
#include <utility>

namespace testutil
{

std::wstring ProgramFolder()
{
    wchar_t wsz[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, wsz, MAX_PATH);
    std::wstring s = wsz;
    return s.substr(0, s.rfind(L'\\') + 1);
}

void RemoveTree(const std::wstring& sPath)
{
    EmptyFolder(sPath);
    RemoveDirectoryW(sPath.c_str());
}

void EmptyFolder(const std::wstring& sPath)
{
    WIN32_FIND_DATAW fd;
    velmora::unique_find find(FindFirstFileW((sPath + L"\\*").c_str(), &fd));
    if (find) {
        do {
            std::wstring sName = fd.cFileName;
            if (sName == L"." || sName == L"..")
                continue;
            std::wstring sChild = sPath + L"\\" + sName;
            // A link to a folder (a mounted volume, a loop) stays, and is not walked into.
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(sChild);
            } else {
                SetFileAttributesW(sChild.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(sChild.c_str());
            }
        } while (FindNextFileW(find.get(), &fd));
    }
}

std::wstring ModuleMessage(HMODULE hModule, unsigned uiId)
{
    wchar_t wsz[1024] = {};
    LoadStringW(hModule, uiId, wsz, 1024);
    return wsz;
}

std::vector<unsigned> MessageIdsOf(HMODULE hModule, const std::vector<HostMessage>& messages)
{
    const unsigned kFirstId = 101, kLastId = 299; // the table's range, with room to grow
    std::vector<std::wstring> texts;
    for (unsigned id = kFirstId; id <= kLastId; ++id)
        texts.push_back(ModuleMessage(hModule, id));
    std::vector<unsigned> ids;
    for (const HostMessage& m : messages) {
        unsigned uiFound = 0;
        for (unsigned id = kFirstId; id <= kLastId && uiFound == 0; ++id) {
            const std::wstring& sText = texts[id - kFirstId];
            size_t nFixed = sText.find(L'%');
            if (!sText.empty() && (m.sText == sText || (nFixed != std::wstring::npos && nFixed > 0 &&
                                                        m.sText.compare(0, nFixed, sText, 0, nFixed) == 0)))
                uiFound = id;
        }
        ids.push_back(uiFound);
    }
    return ids;
}

bool LoggedAt(HMODULE hModule, const std::vector<HostMessage>& messages, unsigned uiId, unsigned uiLevel)
{
    std::vector<unsigned> ids = MessageIdsOf(hModule, messages);
    for (size_t i = 0; i < ids.size(); ++i)
        if (ids[i] == uiId && messages[i].uiLevel == uiLevel)
            return true;
    return false;
}

ScratchFolder::ScratchFolder(const std::wstring& sName) : m_sPath(ProgramFolder() + L"scratch\\" + sName)
{
    CreateDirectoryW((ProgramFolder() + L"scratch").c_str(), nullptr);
    RemoveTree(m_sPath);
    CreateDirectoryW(m_sPath.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(m_sPath);
}

std::wstring ReadTextFile(const std::wstring& sPath)
{
    velmora::unique_file file(CreateFileW(sPath.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    if (!file)
        return {};
    std::string data;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(file.get(), buf, sizeof(buf), &n, nullptr) && n > 0)
        data.append(buf, n);
    int w = MultiByteToWideChar(CP_UTF8, 0, data.data(), static_cast<int>(data.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(w), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, data.data(), static_cast<int>(data.size()), out.data(), w);
    return out;
}

void WriteTextFile(const std::wstring& sPath, const std::string& sUtf8)
{
    velmora::unique_file file(CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD n = 0;
    if (file && !sUtf8.empty())
        WriteFile(file.get(), sUtf8.data(), static_cast<DWORD>(sUtf8.size()), &n, nullptr);
}

std::vector<std::wstring> SplitLines(const std::wstring& sText)
{
    std::vector<std::wstring> lines;
    size_t i = 0;
    while (i < sText.size()) {
        size_t j = sText.find(L'\n', i);
        if (j == std::wstring::npos)
            j = sText.size();
        std::wstring line = sText.substr(i, j - i);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(line);
        i = j + 1;
    }
    return lines;
}

bool Contains(const std::wstring& sText, const std::wstring& sPart)
{
    return sText.find(sPart) != std::wstring::npos;
}

bool FileExists(const std::wstring& sPath)
{
    return GetFileAttributesW(sPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

SYSTEMTIME MakeTime(WORD wYear, WORD wMonth, WORD wDay, WORD wHour, WORD wMinute, WORD wSecond, WORD wMilliseconds)
{
    SYSTEMTIME st = {};
    st.wYear = wYear;
    st.wMonth = wMonth;
    st.wDay = wDay;
    st.wHour = wHour;
    st.wMinute = wMinute;
    st.wSecond = wSecond;
    st.wMilliseconds = wMilliseconds;
    return st;
}

std::vector<DWORD> ProcessesNamed(const std::wstring& sName)
{
    std::vector<DWORD> ids;
    velmora::unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!snapshot || !Process32FirstW(snapshot.get(), &entry))
        return ids;
    do {
        if (_wcsicmp(entry.szExeFile, sName.c_str()) == 0)
            ids.push_back(entry.th32ProcessID);
    } while (Process32NextW(snapshot.get(), &entry));
    return ids;
}

FileAside::FileAside(std::wstring sPath) : m_sPath(std::move(sPath))
{
    m_bMoved = MoveFileW(m_sPath.c_str(), (m_sPath + L".aside").c_str()) != FALSE;
}

FileAside::~FileAside()
{
    if (m_bMoved)
        MoveFileW((m_sPath + L".aside").c_str(), m_sPath.c_str());
}

ULONGLONG ProcessCpuMs()
{
    FILETIME ftCreate, ftExit, ftKernel, ftUser;
    if (!GetProcessTimes(GetCurrentProcess(), &ftCreate, &ftExit, &ftKernel, &ftUser))
        return 0;
    auto ms = [](const FILETIME& ft) { return ((ULONGLONG{ft.dwHighDateTime} << 32) | ft.dwLowDateTime) / 10000; };
    return ms(ftKernel) + ms(ftUser);
}

} // namespace testutil
