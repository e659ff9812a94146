// Dates and times of the tools' listings and reports, read into a struct tm.
#pragma once
#include <ctime>
#include <string>

namespace catalogue
{

// Report form: date "M/D/YYYY" and time "h:mm:ss". Digits build a number, any other character
// starts the next one; the time must give three numbers and the date three. False (and tm all
// zero) when a number is missing or extra, or a value is out of its range (a two-digit year,
// month 13, minute 75).
bool ParseDateTime3(const std::wstring& sDate, const std::wstring& sTime, struct tm& tm);
// Listing form: date "MM/DD/YYYY" and time "HH:MM" (seconds 0); otherwise as ParseDateTime3.
bool ParseDateTime2(const std::wstring& sDate, const std::wstring& sTime, struct tm& tm);
// Moves a 12-hour clock's hour into 0 to 23: 12 AM is 0, 12 PM is 12, 1 PM to 11 PM add 12.
// Any other token (the 24-hour clock has none) leaves the hour as it is.
void ApplyAmPm(struct tm& tm, const std::wstring& sToken);

} // namespace catalogue
