#include "restore/link_section.h"

#include <algorithm>
#include <cwctype>
#include <string>

namespace linksection
{

bool IsPendingDelete(const wchar_t* pPath)
{
    std::wstring s = pPath;
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return std::towlower(c); });
    return s.find(L"temp\\pendingdeletes\\$$deleteme") != std::wstring::npos;
}

LinkEntries::iterator FindTarget(LinkEntries& entries)
{
    return std::find_if(entries.begin(), entries.end(), [](const LinkEntry& e) { return e.pPath && e.bExists; });
}

SectionCounts CountSection(const LinkEntries& entries)
{
    SectionCounts counts;
    for (const LinkEntry& e : entries)
        if (e.pPath)
            ++(e.bExists ? counts.nPresent : counts.nMissing);
    return counts;
}

} // namespace linksection
