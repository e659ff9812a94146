#include "simulator/tools/recover_files.h"

#include "simulator/common/ini.h"
#include "simulator/common/text.h"
#include "support/handle.h"
#include "support/win.h"

#include <cstdio>
#include <cstring>

namespace nwsim
{
namespace
{

std::string ErrorText(DWORD dwError)
{
    char buf[64];
    std::snprintf(buf, sizeof(buf), "system error %lu", static_cast<unsigned long>(dwError));
    return buf;
}

DWORD AttributesOf(const StoreObject& o)
{
    DWORD dw = 0;
    for (char c : o.sAttributes) {
        if (c == 'R')
            dw |= FILE_ATTRIBUTE_READONLY;
        else if (c == 'H')
            dw |= FILE_ATTRIBUTE_HIDDEN;
        else if (c == 'S')
            dw |= FILE_ATTRIBUTE_SYSTEM;
        else if (c == 'A')
            dw |= FILE_ATTRIBUTE_ARCHIVE;
    }
    return dw ? dw : FILE_ATTRIBUTE_NORMAL;
}

bool UtcFileTime(const DateTime& t, FILETIME& ftUtc)
{
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.year);
    st.wMonth = static_cast<WORD>(t.month);
    st.wDay = static_cast<WORD>(t.day);
    st.wHour = static_cast<WORD>(t.hour);
    st.wMinute = static_cast<WORD>(t.minute);
    st.wSecond = static_cast<WORD>(t.second);
    FILETIME ftLocal;
    return SystemTimeToFileTime(&st, &ftLocal) && LocalFileTimeToFileTime(&ftLocal, &ftUtc);
}

void SetModifiedTime(const std::wstring& sPath, const DateTime& t)
{
    FILETIME ftUtc;
    if (!UtcFileTime(t, ftUtc))
        return;
    velmora::unique_file file(CreateFileW(sPath.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file)
        SetFileTime(file.get(), nullptr, nullptr, &ftUtc);
}

bool AllZero(const std::string& block, DWORD n)
{
    static const std::string kZeros(1 << 20, '\0');
    return n <= kZeros.size() && std::memcmp(block.data(), kZeros.data(), n) == 0;
}

// Copies a big file block by block and seeks over blocks of zeros, so that the holes of the
// store's sparse files (the ones over 4 GiB) stay holes on the target instead of gigabytes.
bool CopyKeepingHoles(const std::wstring& sFrom, const std::wstring& sTo)
{
    velmora::unique_file from(CreateFileW(sFrom.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from)
        return false;
    velmora::unique_file to(
        CreateFileW(sTo.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!to)
        return false;
    std::string block(1 << 20, '\0');
    LARGE_INTEGER liSize{};
    for (;;) {
        DWORD dwRead = 0, dwWritten = 0;
        if (!ReadFile(from.get(), block.data(), static_cast<DWORD>(block.size()), &dwRead, nullptr))
            return false;
        if (dwRead == 0)
            break;
        liSize.QuadPart += dwRead;
        LARGE_INTEGER liMove{};
        liMove.QuadPart = dwRead;
        bool bDone = AllZero(block, dwRead)
                         ? SetFilePointerEx(to.get(), liMove, nullptr, FILE_CURRENT) != 0
                         : WriteFile(to.get(), block.data(), dwRead, &dwWritten, nullptr) && dwWritten == dwRead;
        if (!bDone)
            return false;
    }
    return SetFilePointerEx(to.get(), liSize, nullptr, FILE_BEGIN) && SetEndOfFile(to.get());
}

bool CopyData(const std::wstring& sFrom, const std::wstring& sTo)
{
    const unsigned long long kBig = 64ull << 20;
    return FileSize(sFrom) > kBig ? CopyKeepingHoles(sFrom, sTo) : CopyFileW(sFrom.c_str(), sTo.c_str(), FALSE) != 0;
}

std::wstring ParentOf(const std::wstring& sPath)
{
    size_t slash = sPath.find_last_of(L'\\', sPath.size() > 1 ? sPath.size() - 2 : 0);
    return slash == std::wstring::npos ? std::wstring() : sPath.substr(0, slash);
}

} // namespace

unsigned long long FileSize(const std::wstring& sPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(sPath.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool CreateFolderChain(const std::wstring& sFolder)
{
    std::wstring s = sFolder;
    while (s.size() > 3 && s.back() == L'\\')
        s.pop_back();
    DWORD dwAttr = GetFileAttributesW(s.c_str());
    if (dwAttr != INVALID_FILE_ATTRIBUTES)
        return (dwAttr & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (s.size() <= 3)
        return false; // a drive that is not there
    if (!CreateFolderChain(ParentOf(s)))
        return false;
    return CreateDirectoryW(s.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

unsigned long long CreationTime(const std::wstring& sPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(sPath.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<unsigned long long>(data.ftCreationTime.dwHighDateTime) << 32) |
           data.ftCreationTime.dwLowDateTime;
}

std::string MakeStagingFolder(const std::string& sDrive, const std::string& sOlder)
{
    std::wstring sRoot = Wide(sDrive) + L"\\temp\\nsr_recover";
    CreateFolderChain(sRoot);
    std::wstring sOld = sOlder.empty() ? std::wstring() : sRoot + L"\\" + Wide(sOlder);
    if (!sOld.empty())
        CreateDirectoryW(sOld.c_str(), nullptr); // an existing one keeps its (older) time
    std::wstring sFolder;
    for (unsigned i = 0;; ++i) {
        char buf[48];
        std::snprintf(buf, sizeof(buf), "RecoverWriter-%08lX-%u", static_cast<unsigned long>(GetTickCount()), i);
        sFolder = sRoot + L"\\" + Wide(buf);
        if (CreateDirectoryW(sFolder.c_str(), nullptr) || i > 1000)
            break;
    }
    // The clock behind creation times moves in ticks of a few milliseconds: make again until ours
    // is strictly newer than the older folder.
    for (unsigned i = 0; !sOld.empty() && i < 100 && CreationTime(sFolder) <= CreationTime(sOld); ++i) {
        Sleep(20);
        RemoveDirectoryW(sFolder.c_str());
        CreateDirectoryW(sFolder.c_str(), nullptr);
    }
    return Utf8(sFolder);
}

bool WriteObject(const std::wstring& sDataFile, const StoreObject& o, const std::string& sDestination, bool& bExisted,
                 std::string& sError)
{
    std::wstring sDest = Wide(sDestination);
    bExisted = GetFileAttributesW(sDest.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (o.bDirectory) {
        if (!CreateFolderChain(sDest)) {
            sError = "cannot create the folder";
            return false;
        }
        return true;
    }
    if (!CreateFolderChain(ParentOf(sDest))) {
        sError = "cannot create the parent folder";
        return false;
    }
    if (bExisted)
        SetFileAttributesW(sDest.c_str(), FILE_ATTRIBUTE_NORMAL); // -iY: overwrite read-only files too
    if (!CopyData(sDataFile, sDest)) {
        DWORD dwError = GetLastError();
        sError = GetFileAttributesW(sDataFile.c_str()) == INVALID_FILE_ATTRIBUTES ? "no data in the backup store"
                                                                                  : ErrorText(dwError);
        return false;
    }
    SetFileAttributesW(sDest.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetModifiedTime(sDest, o.mtime);
    SetFileAttributesW(sDest.c_str(), AttributesOf(o));
    return true;
}

bool WriteObjectHeld(const std::wstring& sDataFile, const StoreObject& o, const std::string& sDestination,
                     unsigned uHoldMs, bool& bExisted, std::string& sError)
{
    std::wstring sDest = Wide(sDestination);
    bExisted = GetFileAttributesW(sDest.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::string sData;
    if (!CreateFolderChain(ParentOf(sDest))) {
        sError = "cannot create the parent folder";
        return false;
    }
    if (!ReadWholeFile(sDataFile, sData)) {
        sError = "no data in the backup store";
        return false;
    }
    if (bExisted)
        SetFileAttributesW(sDest.c_str(), FILE_ATTRIBUTE_NORMAL);
    velmora::unique_file file(
        CreateFileW(sDest.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        sError = ErrorText(GetLastError());
        return false;
    }
    DWORD dwWritten = 0;
    if (!sData.empty() &&
        (!WriteFile(file.get(), sData.data(), static_cast<DWORD>(sData.size()), &dwWritten, nullptr) ||
         dwWritten != sData.size())) {
        sError = ErrorText(GetLastError());
        return false;
    }
    FILETIME ftUtc;
    if (UtcFileTime(o.mtime, ftUtc))
        SetFileTime(file.get(), nullptr, nullptr, &ftUtc);
    Sleep(uHoldMs); // still open without sharing: nobody else can open the file meanwhile
    file.reset();
    SetFileAttributesW(sDest.c_str(), AttributesOf(o));
    return true;
}

} // namespace nwsim
