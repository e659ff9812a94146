// The media database report of mminfo ("-xc,": comma-separated columns), line by line.
#pragma once
#include "catalogue/catalogue_types.h"

#include <string>
#include <vector>

namespace catalogue
{

// "<mminfo> -v -s "<server>" -c "<client>" -xc,"
std::wstring MminfoCommandLine(const std::wstring& sMminfoPath, const std::wstring& sServer,
                               const std::wstring& sClient);

// The columns of one report line: volume, [type,] client, date-time, size, ssid, flags, level,
// name (the rest of the line, commas included).
struct MminfoLine {
    std::wstring sVolume, sType, sClient, sDate, sTime, sAmPm, sSizeNumber, sSizeUnit, sSsid, sFlags, sLevel, sName;
};

enum class ReportLine {
    Used,     // the line was split (and, for the parsers below, taken)
    Skipped,  // blank, title, DNS warning, or not what is looked for
    Rejected, // an error report or a line that cannot be split
};

// Splits a line; pReason says why a line was skipped or rejected ("Scrambled line [SSID]", ...).
ReportLine SplitMminfoLine(const std::wstring& sLine, bool bTypePresent, MminfoLine& out, const wchar_t*& pReason);

// The save time of a split line, AM/PM applied; all zero when it cannot be read.
struct tm SaveTime(const MminfoLine& line);

// Catalogue mode: an NMM saveset (any of the three NMM names) stands for all three NMM
// components; each one not yet in the list is appended with that saveset's time.
ReportLine ParseMminfoCatalogue(const std::wstring& sLine, bool bTypePresent, std::vector<SystemStateEntry>& entries,
                                const wchar_t*& pReason);

// Target mode: a saveset whose name holds sTarget becomes an SsidInfo; a later line for the same
// name replaces the earlier one. Read-only clone volumes (".RO") are passed over.
ReportLine ParseMminfoTarget(const std::wstring& sLine, const std::wstring& sTarget, std::vector<SsidInfo>& savesets,
                             const wchar_t*& pReason, bool bTypePresent = true);

// The drive path of a disaster-recovery saveset name: "OSSR_C" gives "C:\", "OSSR_D_" gives
// "D:\". False for a name without the prefix, or one with more than a letter and no "_".
bool OssrTarget(const std::wstring& sName, std::wstring& sTarget);

} // namespace catalogue
