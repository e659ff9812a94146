#include "restore/link_section.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// A section of names with their "exists" flags; a null name is an entry without a path.
struct Section {
    std::vector<LinkEntry> storage;
    LinkEntries entries;
    Section(std::initializer_list<std::pair<const wchar_t*, bool>> names)
    {
        for (const auto& [pPath, bExists] : names)
            storage.push_back({pPath, bExists});
        for (LinkEntry& e : storage)
            entries.push_back(e);
    }
};

} // namespace

TEST(LinkSection, PendingDeletesAreFoundInAnyCase)
{
    EXPECT_TRUE(linksection::IsPendingDelete(L"C:\\Windows\\Temp\\PendingDeletes\\$$DeleteMe.a.dll.01"));
    EXPECT_TRUE(linksection::IsPendingDelete(L"c:\\windows\\TEMP\\pendingdeletes\\$$deleteme"));
    EXPECT_FALSE(linksection::IsPendingDelete(L"C:\\Windows\\Temp\\PendingDeletes\\file.dll"));
    EXPECT_FALSE(linksection::IsPendingDelete(L"C:\\Windows\\Temp\\$$DeleteMe"));
    EXPECT_FALSE(linksection::IsPendingDelete(L""));
}

TEST(LinkSection, TargetIsTheFirstExistingNameWithAPath)
{
    Section s({{nullptr, true}, {L"D:\\a", false}, {L"D:\\b", true}, {L"D:\\c", true}});
    auto target = linksection::FindTarget(s.entries);
    ASSERT_NE(target, s.entries.end());
    EXPECT_STREQ(target->get().pPath, L"D:\\b") << "an entry without a path is never the target";

    Section none({{L"D:\\a", false}, {nullptr, true}});
    EXPECT_EQ(linksection::FindTarget(none.entries), none.entries.end());
}

TEST(LinkSection, CountsLeaveOutEntriesWithoutAPath)
{
    Section s({{L"D:\\a", true}, {L"D:\\b", false}, {nullptr, false}, {nullptr, true}, {L"D:\\c", false}});
    linksection::SectionCounts counts = linksection::CountSection(s.entries);
    EXPECT_EQ(counts.nPresent, 1u);
    EXPECT_EQ(counts.nMissing, 2u);
    Section empty({});
    counts = linksection::CountSection(empty.entries);
    EXPECT_EQ(counts.nPresent + counts.nMissing, 0u);
}
