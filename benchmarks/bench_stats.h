// Plain helpers of the benchmark drivers: summaries of repeated measurements and the values a
// benchmark tool reports in its output.
#pragma once
#include <string>
#include <vector>

namespace bench
{

struct Summary {
    double dMin = 0;
    double dMedian = 0;
    double dMax = 0;
    size_t nCount = 0;
};

// Minimum, median (the mean of the middle two for an even count) and maximum; all zero when
// there are no values.
Summary Summarize(std::vector<double> values);

// The numbers of the lines "KEY NUMBER" among the tool's output lines, in order; other lines and
// lines whose number does not parse are left out.
std::vector<double> ValuesOf(const std::vector<std::wstring>& lines, const std::wstring& sKey);

// One result line for the report: "figure ID UNIT MIN MEDIAN MAX COUNT [NOTE]".
std::string FigureLine(const std::string& sId, const std::string& sUnit, const Summary& s,
                       const std::string& sNote = "");

// Microseconds of the performance counter, for intervals only.
long long NowUs();

// The folder of the running program, with its trailing backslash.
std::wstring ProgramFolder();

} // namespace bench
