// The media database report of the simulated mminfo ("-v -xc,": comma-separated).
#pragma once
#include "simulator/common/store.h"

#include <string>
#include <vector>

namespace nwsim
{

struct ReportStyle {
    bool bTypeColumn = true; // 7.4.x and 7.5.x clients print no type column
    bool b12Hour = true;     // "10:00:00 PM" or "22:00:00"
};

std::string ReportTitle(const ReportStyle& style);
// One line per copy of the saveset: its own volume, then each read-only clone volume.
std::vector<std::string> ReportLines(const Saveset& s, const std::string& sClient, const ReportStyle& style);
// "334 KB", "1 MB": the size column.
std::string SizeText(unsigned long long ullBytes);

} // namespace nwsim
