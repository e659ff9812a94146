#include "tests/abi/filespace_cases.h"

#include "tests/abi/abi_check.h"
#include "tests/abi/host_texts.h"

#include <cstring>
#include <map>

namespace abifs
{
namespace
{

bool SameTime(const struct tm& a, const struct tm& b)
{
    return a.tm_sec == b.tm_sec && a.tm_min == b.tm_min && a.tm_hour == b.tm_hour && a.tm_mday == b.tm_mday &&
           a.tm_mon == b.tm_mon && a.tm_year == b.tm_year && a.tm_wday == b.tm_wday && a.tm_yday == b.tm_yday &&
           a.tm_isdst == b.tm_isdst;
}

size_t SeedOfAppended(const std::wstring& sName)
{
    return sName.size() == 10 && sName.compare(0, 6, L"D:\\Set") == 0 ? std::stoul(sName.substr(6)) : 0;
}

void CheckAddedRecord(const FileSpace& fs)
{
    abicheck::Scope scope(abicheck::Describe(fs.sFsName));
    abicheck::Equal(fs.sFsPath, fs.sFsName, "a mounted folder's path is its name");
    abicheck::True((fs.ulFsFlags & FS_MOUNTED_FOLDER) != 0, "marked as a mounted folder");
    abicheck::True(fs.bFsTimeValid, "backup time is valid");
    abicheck::Equal(fs.tmFsTime.tm_year + 1900, 2021, "backup year");
    abicheck::Equal(fs.tmFsTime.tm_mon + 1, 3, "backup month");
    abicheck::Equal(fs.tmFsTime.tm_mday, 8, "backup day");
}

} // namespace

FileSpace MakeFileSpace(size_t nNameChars, unsigned uiSeed)
{
    FileSpace fs;
    fs.sFsName =
        nNameChars >= 3 ? L"D:\\" + abitexts::Pattern(nNameChars - 3, uiSeed) : abitexts::Pattern(nNameChars, uiSeed);
    fs.sFsType = uiSeed % 2 ? L"NTFS" : L"ReFS";
    fs.sFsPath = abitexts::Pattern(uiSeed % 20, uiSeed);
    for (size_t i = 0; i < sizeof(fs.reserved); ++i)
        fs.reserved[i] = static_cast<unsigned char>(uiSeed + i);
    fs.ulFsFlags = uiSeed;
    fs.bFsTimeValid = uiSeed % 3 != 0;
    fs.tmFsTime.tm_year = 100 + static_cast<int>(uiSeed % 30);
    fs.tmFsTime.tm_mday = 1 + static_cast<int>(uiSeed % 28);
    fs.tmFsTime.tm_sec = static_cast<int>(uiSeed % 60);
    fs.wcFsDriveLetter = static_cast<wchar_t>(L'C' + uiSeed % 20);
    return fs;
}

bool Same(const FileSpace& a, const FileSpace& b)
{
    return a.sFsType == b.sFsType && a.sFsName == b.sFsName && a.sFsPath == b.sFsPath &&
           std::memcmp(a.reserved, b.reserved, sizeof(a.reserved)) == 0 && a.ulFsFlags == b.ulFsFlags &&
           a.bFsTimeValid == b.bFsTimeValid && SameTime(a.tmFsTime, b.tmFsTime) &&
           a.wcFsDriveLetter == b.wcFsDriveLetter;
}

FileSpaceList Prefilled(size_t n)
{
    FileSpaceList list;
    list.reserve(n);
    for (size_t i = 0; i < n; ++i)
        list.push_back(MakeFileSpace(abitexts::kLengths[i % std::size(abitexts::kLengths)], static_cast<unsigned>(i)));
    abicheck::Equal(list.capacity(), n, "the host's vector is full");
    return list;
}

void CheckPrefilled(const FileSpaceList& list, size_t n)
{
    abicheck::True(list.size() >= n, "the host's records are all there");
    size_t nChanged = 0;
    for (size_t i = 0; i < n && i < list.size(); ++i) {
        const FileSpace want =
            MakeFileSpace(abitexts::kLengths[i % std::size(abitexts::kLengths)], static_cast<unsigned>(i));
        if (!Same(list[i], want) && nChanged++ == 0)
            abicheck::Equal(list[i].sFsName, want.sFsName, ("first changed host record " + std::to_string(i)).c_str());
    }
    abicheck::Equal(nChanged, 0, "host records changed");
}

std::wstring AddedName(size_t i)
{
    wchar_t wsz[16];
    swprintf(wsz, 16, L"D:\\Set%04u", static_cast<unsigned>(i));
    return wsz;
}

void CheckAppended(const FileSpaceList& list, size_t nHost, size_t nAdded)
{
    std::map<size_t, int> seen;
    for (size_t i = nHost; i < list.size(); ++i) {
        const size_t uSeed = SeedOfAppended(list[i].sFsName);
        if (uSeed == 0 || uSeed > nAdded)
            continue;
        if (seen[uSeed]++ == 0)
            CheckAddedRecord(list[i]);
    }
    abicheck::Equal(seen.size(), nAdded, "added filespaces listed");
    size_t nTwice = 0;
    for (const auto& [uSeed, nCount] : seen)
        nTwice += nCount > 1;
    abicheck::Equal(nTwice, 0, "added filespaces listed more than once");
}

} // namespace abifs
