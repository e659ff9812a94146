// One name of a group of hard-linked names (a section), as the host hands it over.
#pragma once
#include <functional>
#include <vector>

struct LinkEntry {
    const wchar_t* pPath = nullptr; // full path of the name; entries without one are passed over
    bool bExists = false;           // set by ProcessSection: the name is there as a file
};

typedef std::vector<std::reference_wrapper<LinkEntry>> LinkEntries;
