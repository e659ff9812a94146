#include "simulator/tools/recover_files.h"

#include "simulator/common/text.h"
#include "support/handle.h"
#include "support/win.h"

#include <cstdio>

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

void SetModifiedTime(const std::wstring& sPath, const DateTime& t)
{
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.year);
    st.wMonth = static_cast<WORD>(t.month);
    st.wDay = static_cast<WORD>(t.day);
    st.wHour = static_cast<WORD>(t.hour);
    st.wMinute = static_cast<WORD>(t.minute);
    st.wSecond = static_cast<WORD>(t.second);
    FILETIME ftLocal, ftUtc;
    if (!SystemTimeToFileTime(&st, &ftLocal) || !LocalFileTimeToFileTime(&ftLocal, &ftUtc))
        return;
    velmora::unique_file file(CreateFileW(sPath.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file)
        SetFileTime(file.get(), nullptr, nullptr, &ftUtc);
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

std::string MakeStagingFolder(const std::string& sDrive)
{
    std::wstring sRoot = Wide(sDrive) + L"\\temp\\nsr_recover";
    CreateFolderChain(sRoot);
    for (unsigned i = 0;; ++i) {
        char buf[48];
        std::snprintf(buf, sizeof(buf), "RecoverWriter-%08lX-%u", static_cast<unsigned long>(GetTickCount()), i);
        std::wstring sFolder = sRoot + L"\\" + Wide(buf);
        if (CreateDirectoryW(sFolder.c_str(), nullptr) || i > 1000)
            return Utf8(sFolder);
    }
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
    if (!CopyFileW(sDataFile.c_str(), sDest.c_str(), FALSE)) {
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

} // namespace nwsim
