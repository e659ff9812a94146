#include "tests/restore/file_helpers.h"

#include "support/handle.h"

#include <gtest/gtest.h>

namespace filehelp
{

std::wstring Long(const std::wstring& sPath)
{
    return sPath.compare(0, 4, L"\\\\?\\") == 0 ? sPath : L"\\\\?\\" + sPath;
}

void MakeFolders(const std::wstring& sPath)
{
    for (size_t i = sPath.find(L'\\', 3); i != std::wstring::npos; i = sPath.find(L'\\', i + 1))
        CreateDirectoryW(Long(sPath.substr(0, i)).c_str(), nullptr);
    CreateDirectoryW(Long(sPath).c_str(), nullptr);
}

std::wstring FolderForThisTest(const std::wstring& sRoot)
{
    std::string sName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::wstring sFolder = sRoot + L"\\" + std::wstring(sName.begin(), sName.end());
    MakeFolders(sFolder);
    return sFolder;
}

bool WriteFileText(const std::wstring& sPath, const std::string& sText)
{
    velmora::unique_file h(
        CreateFileW(Long(sPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD n = 0;
    return h && WriteFile(h.get(), sText.data(), static_cast<DWORD>(sText.size()), &n, nullptr) && n == sText.size();
}

std::string ReadFileText(const std::wstring& sPath)
{
    velmora::unique_file h(
        CreateFileW(Long(sPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!h)
        return "<missing>";
    std::string s;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(h.get(), buf, sizeof(buf), &n, nullptr) && n > 0)
        s.append(buf, n);
    return s;
}

DWORD Attributes(const std::wstring& sPath)
{
    return GetFileAttributesW(Long(sPath).c_str());
}

bool Exists(const std::wstring& sPath)
{
    return Attributes(sPath) != INVALID_FILE_ATTRIBUTES;
}

bool ShiftWriteTime(const std::wstring& sPath, int iHours)
{
    velmora::unique_file h(CreateFileW(Long(sPath).c_str(), FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME ft = {};
    if (!h || !GetFileTime(h.get(), nullptr, nullptr, &ft))
        return false;
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    t.QuadPart += static_cast<long long>(iHours) * 3600LL * 10000000LL;
    ft.dwLowDateTime = t.LowPart;
    ft.dwHighDateTime = t.HighPart;
    return SetFileTime(h.get(), nullptr, nullptr, &ft);
}

bool SameFile(const std::wstring& sA, const std::wstring& sB)
{
    BY_HANDLE_FILE_INFORMATION a = {}, b = {};
    const DWORD dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    velmora::unique_file ha(
        CreateFileW(Long(sA).c_str(), 0, dwShare, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    velmora::unique_file hb(
        CreateFileW(Long(sB).c_str(), 0, dwShare, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return ha && hb && GetFileInformationByHandle(ha.get(), &a) && GetFileInformationByHandle(hb.get(), &b) &&
           a.nFileIndexLow == b.nFileIndexLow && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber;
}

} // namespace filehelp
