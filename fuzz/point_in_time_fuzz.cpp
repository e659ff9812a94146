// The point in time of the answer file: a text either gives a date and time that exist, which
// formats back to a text that parses to the same fields, or a reason.
#include "credentials/point_in_time.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::wstring sText = fuzzsupport::ToolText(std::string(reinterpret_cast<const char*>(pData), nSize));
    SYSTEMTIME st = {};
    st.wDayOfWeek = 0x1234;
    st.wMilliseconds = 0x4321;
    const wchar_t* pReason = pit::Parse(sText, st);
    FUZZ_CHECK(st.wDayOfWeek == 0x1234 && st.wMilliseconds == 0x4321);
    if (pReason) {
        FUZZ_CHECK(*pReason != L'\0');
        return 0;
    }
    FUZZ_CHECK(!sText.empty());
    FUZZ_CHECK(st.wMonth >= 1 && st.wMonth <= 12);
    FUZZ_CHECK(st.wDay >= 1 && st.wDay <= pit::DaysInMonth(st.wMonth, st.wYear));
    FUZZ_CHECK(st.wYear >= 1601 && st.wYear <= 30827);
    FUZZ_CHECK(st.wHour <= 23 && st.wMinute <= 59 && st.wSecond <= 59);

    const std::wstring sFormatted = pit::Format(st);
    FUZZ_CHECK(sFormatted.size() == 19 || (st.wYear > 9999 && sFormatted.size() == 20));
    SYSTEMTIME again = {};
    FUZZ_CHECK(pit::Parse(sFormatted, again) == nullptr);
    FUZZ_CHECK(again.wDay == st.wDay && again.wMonth == st.wMonth && again.wYear == st.wYear);
    FUZZ_CHECK(again.wHour == st.wHour && again.wMinute == st.wMinute && again.wSecond == st.wSecond);
    return 0;
}
