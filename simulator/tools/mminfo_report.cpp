#include "simulator/tools/mminfo_report.h"

#include <cstdio>

namespace nwsim
{
namespace
{

std::string DateColumn(const DateTime& t, bool b12Hour)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%d/%d/%04d ", t.month, t.day, t.year);
    return buf + (b12Hour ? FormatClock12(t) : FormatClock24(t));
}

std::string LevelText(const std::string& sLevel)
{
    if (sLevel == "incremental" || sLevel == "incr")
        return "incr";
    return sLevel;
}

} // namespace

std::string ReportTitle(const ReportStyle& style)
{
    return style.bTypeColumn ? "volume,type,client,date     time,size,ssid,fl,lvl,name"
                             : "volume,client,date     time,size,ssid,fl,lvl,name";
}

std::string SizeText(unsigned long long ullBytes)
{
    static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
    unsigned uUnit = 0;
    unsigned long long v = ullBytes;
    while (v >= 1024 * 10 && uUnit < 4) {
        v = (v + 512) / 1024;
        ++uUnit;
    }
    return std::to_string(v) + " " + kUnits[uUnit];
}

std::vector<std::string> ReportLines(const Saveset& s, const std::string& sClient, const ReportStyle& style)
{
    std::vector<std::string> volumes{s.sVolume};
    volumes.insert(volumes.end(), s.clones.begin(), s.clones.end());
    std::vector<std::string> lines;
    for (const std::string& volume : volumes) {
        std::string sLine = volume + ",";
        if (style.bTypeColumn)
            sLine += s.sMedia + ",";
        sLine += sClient + "," + DateColumn(s.saveTime, style.b12Hour) + "," + SizeText(s.ullSize) + "," + s.sSsid +
                 "," + s.sFlags + "," + LevelText(s.sLevel) + "," + s.sName;
        lines.push_back(sLine);
    }
    return lines;
}

} // namespace nwsim
