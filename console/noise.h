// Lines of tool output that carry no information for the parsers.
#pragma once
#include <string>

// The reason a line is noise ("Ignoring Ports", ...), or null when it must be parsed.
const wchar_t* IgnoreReason(const std::wstring& sLine);
