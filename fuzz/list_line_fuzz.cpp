// The object lines of "list -l" in the count's interactive session: a parsed line written back
// in the tool's form parses to the same object, and the count's verdict agrees with the parts.
#include "fuzz_support.h"
#include "restore/restore_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    for (const std::wstring& sLine : fuzzsupport::ToolLines(pData, nSize)) {
        ListedObject object;
        if (ParseListLine(sLine, object)) {
            FUZZ_CHECK(!object.sDate.empty() && !object.sTime.empty() && !object.sPath.empty());
            FUZZ_CHECK(object.sDate.find_first_of(L" \t") == std::wstring::npos);
            FUZZ_CHECK(object.sPath.front() != L' ' && object.sPath.front() != L'\t');
            FUZZ_CHECK(object.sPath.back() != L'\r' && object.sPath.back() != L'\n');
            FUZZ_CHECK(sLine.find(object.sPath) != std::wstring::npos);
            const std::wstring sBack = L"1 - " + std::to_wstring(object.ullSize) + L" " + object.sDate + L" " +
                                       object.sTime + L" " + object.sPath;
            ListedObject again;
            FUZZ_CHECK(ParseListLine(sBack, again));
            FUZZ_CHECK(again.ullSize == object.ullSize && again.sDate == object.sDate && again.sTime == object.sTime &&
                       again.sPath == object.sPath);
        }
        ListedObject counted;
        counted.ullSize = 99;
        CountLine kind = ClassifyCountLine(sLine, counted);
        if (kind == CountLine::File || kind == CountLine::Directory) {
            FUZZ_CHECK(IsObjectPath(counted.sPath) && !IsPerFileError(counted.sPath));
            FUZZ_CHECK((kind == CountLine::Directory) == (counted.sPath.back() == L'\\'));
            FUZZ_CHECK(kind == CountLine::File || counted.ullSize == 0);
        } else {
            FUZZ_CHECK(counted.ullSize == 99 && counted.sPath.empty());
        }
    }
    return 0;
}
