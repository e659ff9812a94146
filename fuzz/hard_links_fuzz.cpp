// A section of hard-linked names as the host hands it over: the counts, the target and the
// names left out agree with the entries, whatever the paths and flags are.
#include "fuzz_support.h"
#include "restore/link_section.h"

#include <algorithm>
#include <cwctype>

namespace
{

const std::wstring kPendingDeletes = L"temp\\pendingdeletes\\$$deleteme";

std::wstring Lower(std::wstring s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return std::towlower(c); });
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    // Each line is one entry: its first character says whether it has a path ("-": none) and
    // whether the name exists ("+"); the rest is the path.
    const std::vector<std::wstring> lines = fuzzsupport::ToolLines(pData, nSize);
    std::vector<std::wstring> paths;
    std::vector<LinkEntry> storage(lines.size());
    for (const std::wstring& sLine : lines)
        paths.push_back(sLine.size() > 1 ? sLine.substr(1) : std::wstring());
    LinkEntries entries;
    size_t nPresent = 0, nMissing = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const wchar_t wcFlag = lines[i].empty() ? L'-' : lines[i][0];
        storage[i].pPath = wcFlag == L'-' ? nullptr : paths[i].c_str();
        storage[i].bExists = wcFlag == L'+';
        if (storage[i].pPath)
            ++(storage[i].bExists ? nPresent : nMissing);
        entries.push_back(storage[i]);
    }

    const linksection::SectionCounts counts = linksection::CountSection(entries);
    FUZZ_CHECK(counts.nPresent == nPresent && counts.nMissing == nMissing);
    FUZZ_CHECK(counts.nPresent + counts.nMissing <= entries.size());

    auto target = linksection::FindTarget(entries);
    FUZZ_CHECK((target == entries.end()) == (nPresent == 0));
    if (target != entries.end()) {
        FUZZ_CHECK(target->get().pPath && target->get().bExists);
        for (auto it = entries.begin(); it != target; ++it)
            FUZZ_CHECK(!it->get().pPath || !it->get().bExists);
    }

    for (size_t i = 0; i < lines.size(); ++i) {
        if (!storage[i].pPath)
            continue;
        // The path as the API sees it: up to its first NUL.
        const std::wstring sPath = storage[i].pPath;
        const bool bPending = linksection::IsPendingDelete(storage[i].pPath);
        FUZZ_CHECK(bPending == (Lower(sPath).find(kPendingDeletes) != std::wstring::npos));
        // The marker in any case, anywhere in the path, makes any path one to leave out.
        std::wstring sMarked =
            sPath.substr(0, sPath.size() / 2) + L"Temp\\PendingDeletes\\$$DeleteMe" + sPath.substr(sPath.size() / 2);
        FUZZ_CHECK(linksection::IsPendingDelete(sMarked.c_str()));
    }
    return 0;
}
