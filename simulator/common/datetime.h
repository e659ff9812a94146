// Calendar times of the store and of the tools' dialogue (no time zones: everything is local).
#pragma once
#include <string>

namespace nwsim
{

struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    long long Key() const; // orders times; equal keys are equal times
    bool operator<(const DateTime& o) const { return Key() < o.Key(); }
    bool operator<=(const DateTime& o) const { return Key() <= o.Key(); }
    bool operator==(const DateTime& o) const { return Key() == o.Key(); }
};

// "2021-03-08 22:00:00", the store's form.
bool ParseStoreTime(const std::string& s, DateTime& dt);
// A point in time as recover takes it: "June 05,2021 13:45:00"; the month may be abbreviated, a
// blank may follow the comma, seconds may be left out; "03/08/2021 22:00[:00]" is also taken.
bool ParsePointInTime(const std::string& s, DateTime& dt);
bool IsValid(const DateTime& dt);

std::string FormatSlashDate(const DateTime& dt);  // 03/08/2021
std::string FormatHourMinute(const DateTime& dt); // 22:00
std::string FormatClock24(const DateTime& dt);    // 22:00:00
std::string FormatClock12(const DateTime& dt);    // 10:00:00 PM (12:30:00 PM at noon, 12:15:00 AM after midnight)
std::string FormatCtime(const DateTime& dt);      // Mon Mar  8 22:00:00 2021
std::string FormatLsTime(const DateTime& dt);     // Mar  8 22:00
DateTime LocalNow();

} // namespace nwsim
