// The point-in-time text of the answer file: "DD/MM/YYYY HH:MM:SS", day first, 24-hour time.
#pragma once
#include "support/win.h"

#include <string>

namespace pit
{

const WORD kUnreadable = 0xFFFF;

// Parses the text into the date and time fields of st (wDayOfWeek and wMilliseconds are left
// alone). Any single non-blank character separates the fields; blanks before each item are
// skipped; nothing after the seconds is looked at. A field whose number cannot be read (text
// ended, no digits, more than 16 bits), and every field after it, is set to kUnreadable, which
// every range check refuses: a text that cannot be read whole is never a point in time, and no
// earlier value survives. Returns nullptr on success, otherwise the reason; fields stay stored.
const wchar_t* Parse(const std::wstring& sText, SYSTEMTIME& st);

bool IsLeapYear(unsigned uiYear);
// Days in the month (1 to 12) of the year; 0 for a month out of range.
unsigned DaysInMonth(unsigned uiMonth, unsigned uiYear);

// The text written to the answer file; empty when there is no point in time (wDay is 0).
std::wstring Format(const SYSTEMTIME& st);

} // namespace pit
