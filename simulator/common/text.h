// Small text helpers shared by the simulated tools. All text is UTF-8 in std::string.
#pragma once
#include <string>
#include <vector>

namespace nwsim
{

std::string Trim(const std::string& s);
std::string Lower(std::string s);
bool EqualsNoCase(const std::string& a, const std::string& b);
bool StartsWithNoCase(const std::string& s, const std::string& prefix);
// Splits at every occurrence of cSep; empty fields are kept.
std::vector<std::string> Split(const std::string& s, char cSep);
// Splits text into lines at LF, dropping a CR before it.
std::vector<std::string> Lines(const std::string& sText);
// Decimal number of the whole text; false for anything else (no sign, no blanks).
bool ParseUnsigned(const std::string& s, unsigned long long& ullValue);
std::wstring Wide(const std::string& sUtf8);
std::string Utf8(const std::wstring& s);

} // namespace nwsim
