// The decisions of a hard-link section that need no file system: which names are left out and
// which name the missing ones are linked to.
#pragma once
#include "restore/link_entry.h"

namespace linksection
{

// Names that Windows was about to delete when the backup was made ("Temp\PendingDeletes\$$DeleteMe",
// any case); they are never recreated.
bool IsPendingDelete(const wchar_t* pPath);

// The first entry with a path whose "exists" flag is set, or entries.end() when there is none.
LinkEntries::iterator FindTarget(LinkEntries& entries);

// How many entries with a path exist and how many are missing; entries without a path count as neither.
struct SectionCounts {
    size_t nPresent = 0;
    size_t nMissing = 0;
};
SectionCounts CountSection(const LinkEntries& entries);

} // namespace linksection
