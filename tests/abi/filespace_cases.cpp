#include "tests/abi/abi_host.h"
#include <cstring>

namespace abi
{
namespace
{

bool SameTime(const struct tm& a, const struct tm& b)
{
    return a.tm_sec == b.tm_sec && a.tm_min == b.tm_min && a.tm_hour == b.tm_hour && a.tm_mday == b.tm_mday &&
           a.tm_mon == b.tm_mon && a.tm_year == b.tm_year && a.tm_wday == b.tm_wday && a.tm_yday == b.tm_yday &&
           a.tm_isdst == b.tm_isdst;
}

} // namespace

std::wstring Pattern(size_t nChars, unsigned uiSeed)
{
    std::wstring s(nChars, L'\0');
    for (size_t i = 0; i < nChars; ++i)
        s[i] = (i % 97 == 96) ? static_cast<wchar_t>(0x3A9) : static_cast<wchar_t>(L'a' + (i * 7 + uiSeed) % 26);
    return s;
}

std::string LengthName(size_t nChars)
{
    return "text of " + std::to_string(nChars) + " chars";
}

FileSpace MakeFileSpace(size_t nNameChars, unsigned uiSeed)
{
    FileSpace fs;
    fs.sFsName = nNameChars >= 3 ? L"D:\\" + Pattern(nNameChars - 3, uiSeed) : Pattern(nNameChars, uiSeed);
    fs.sFsType = uiSeed % 2 ? L"NTFS" : L"ReFS";
    fs.sFsPath = Pattern(uiSeed % 20, uiSeed);
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
        list.push_back(MakeFileSpace(kLengths[i % std::size(kLengths)], static_cast<unsigned>(i)));
    EXPECT_EQ(list.capacity(), n) << "the host's vector is full";
    return list;
}

void CheckPrefilled(const FileSpaceList& list, size_t n)
{
    EXPECT_TRUE(list.size() >= n) << "the host's records are all there";
    size_t nChanged = 0;
    for (size_t i = 0; i < n && i < list.size(); ++i) {
        const FileSpace want = MakeFileSpace(kLengths[i % std::size(kLengths)], static_cast<unsigned>(i));
        if (!Same(list[i], want) && nChanged++ == 0)
            EXPECT_EQ(list[i].sFsName, want.sFsName) << ("first changed host record " + std::to_string(i)).c_str();
    }
    EXPECT_EQ(nChanged, 0) << "host records changed";
}

} // namespace abi
