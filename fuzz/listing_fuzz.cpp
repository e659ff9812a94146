// The top-level listing of recover ("ll -S"): filespace and system-state lines, and the answers
// of the configuration check.
#include "catalogue/listing.h"
#include "fuzz_support.h"

namespace
{

void CheckFilespace(const std::wstring& sLine)
{
    FileSpace fs;
    const wchar_t* pReason = nullptr;
    if (!catalogue::ParseFilespace(sLine, fs, pReason)) {
        FUZZ_CHECK(pReason != nullptr);
        return;
    }
    FUZZ_CHECK(catalogue::IsDrivePath(fs.sFsName));
    FUZZ_CHECK(catalogue::SystemStateTypeOf(fs.sFsName) == 0);
    if (fs.ulFsFlags & FS_MOUNTED_FOLDER) {
        FUZZ_CHECK(fs.ulFsFlags == FS_MOUNTED_FOLDER && fs.sFsPath == fs.sFsName && fs.wcFsDriveLetter == L'-');
    } else {
        FUZZ_CHECK(fs.ulFsFlags == 0 && fs.sFsPath.empty() && fs.sFsName.size() == 3);
        FUZZ_CHECK(fs.wcFsDriveLetter >= L'A' && fs.wcFsDriveLetter <= L'Z');
    }
    if (fs.bFsTimeValid) {
        const struct tm& tm = fs.tmFsTime;
        FUZZ_CHECK(tm.tm_mon >= 0 && tm.tm_mon <= 11 && tm.tm_mday >= 1 && tm.tm_mday <= 31);
        FUZZ_CHECK(tm.tm_hour >= 0 && tm.tm_hour <= 23 && tm.tm_min >= 0 && tm.tm_min <= 59 && tm.tm_sec == 0);
    }
    // The name is a word of the line: the words after the date (and time) joined with single blanks.
    FUZZ_CHECK(fs.sFsName.find(L"  ") == std::wstring::npos);
}

void CheckSystemState(const std::wstring& sLine)
{
    SystemStateEntry entry;
    entry.uiFilesToRestore = 7;
    const wchar_t* pReason = nullptr;
    if (!catalogue::ParseSystemState(sLine, entry, pReason)) {
        FUZZ_CHECK(pReason != nullptr);
        return;
    }
    const SYSTEMTIME& st = entry.stBackupTime;
    FUZZ_CHECK(st.wYear >= 1900 && st.wYear <= 9999 && st.wMonth >= 1 && st.wMonth <= 12);
    FUZZ_CHECK(st.wDay >= 1 && st.wDay <= 31 && st.wHour <= 23 && st.wMinute <= 59 && st.wSecond == 0);
    FUZZ_CHECK(entry.uiFilesToRestore == 0 && entry.uiFilesRestored == 0);
}

void CheckSplit(const std::wstring& sLine)
{
    for (bool bTimeAlways : {false, true}) {
        catalogue::ListingLine line;
        if (!catalogue::SplitListingLine(sLine, bTimeAlways, line))
            continue;
        FUZZ_CHECK(!line.sDate.empty());
        FUZZ_CHECK(!bTimeAlways || !line.sTime.empty());
        FUZZ_CHECK(line.sName.empty() || (line.sName.front() != L' ' && line.sName.back() != L' '));
        const unsigned uiType = catalogue::SystemStateTypeOf(line.sName);
        FUZZ_CHECK(uiType <= SST_WINDOWS_ROLES_FEATURES);
        FUZZ_CHECK(uiType == 0 || !catalogue::IsDrivePath(line.sName));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    std::vector<SystemStateEntry> entries;
    for (const std::wstring& sLine : fuzzsupport::ToolLines(pData, nSize)) {
        CheckSplit(sLine);
        CheckFilespace(sLine);
        CheckSystemState(sLine);
        catalogue::ConfigAnswer answer = catalogue::ClassifyConfigAnswer(sLine);
        FUZZ_CHECK(answer != catalogue::ConfigAnswer::Entry || sLine.find(L'-') <= 1);
        SystemStateEntry entry;
        const wchar_t* pReason = nullptr;
        if (catalogue::ParseSystemState(sLine, entry, pReason))
            entries.push_back(entry);
    }
    // Sorting keeps every entry and leaves them oldest first.
    const size_t nEntries = entries.size();
    catalogue::SortByBackupTime(entries);
    FUZZ_CHECK(entries.size() == nEntries);
    for (size_t i = 1; i < entries.size(); ++i)
        FUZZ_CHECK(!EarlierThan(entries[i].stBackupTime, entries[i - 1].stBackupTime));
    return 0;
}
