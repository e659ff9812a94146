// Whether the system-state components of a backup make a complete set, and what the user is told.
#include "hostapi/message_ids.h"
#include "system/system_state_check.h"

#include <gtest/gtest.h>

#include <algorithm>

using systemstate::JudgeSystemState;
using systemstate::Verdict;

namespace
{

std::vector<SystemStateEntry> Entries(std::initializer_list<unsigned> types)
{
    std::vector<SystemStateEntry> v;
    for (unsigned t : types) {
        SystemStateEntry e;
        e.eType = t;
        v.push_back(e);
    }
    return v;
}

const wchar_t kBoot[] = L"VSS SYSTEM BOOT:\\";
const wchar_t kFileset[] = L"VSS SYSTEM FILESET:\\";
const wchar_t kServices[] = L"VSS SYSTEM SERVICES:\\";

} // namespace

// The message names the members found first, then the missing ones, each group in the set's order.
TEST(SystemStateCheck, EveryRowOfTheVssAndLegacySets)
{
    const std::vector<std::wstring> kVss = {kBoot, kFileset, kServices};
    const std::vector<std::wstring> kLegacy = {L"SYSTEM DB", L"SYSTEM FILES", L"SYSTEM STATE"};
    struct Row {
        std::initializer_list<unsigned> types;
        unsigned uiMessage; // 0: complete
        const wchar_t* pReason;
    };
    const Row kRows[] = {
        {{8, 9, 10}, 0, L" Found VSS SYSTEM BOOT:\\, VSS SYSTEM FILESET:\\ and VSS SYSTEM SERVICES:\\ "},
        {{8, 9}, 146, L" Found VSS SYSTEM BOOT:\\ and VSS SYSTEM FILESET:\\, but VSS SYSTEM SERVICES:\\ is missing "},
        {{10, 8}, 146, L" Found VSS SYSTEM BOOT:\\ and VSS SYSTEM SERVICES:\\, but VSS SYSTEM FILESET:\\ is missing "},
        {{9, 10}, 146, L" Found VSS SYSTEM FILESET:\\ and VSS SYSTEM SERVICES:\\, but VSS SYSTEM BOOT:\\ is missing "},
        {{8}, 147, L" Found VSS SYSTEM BOOT:\\ but VSS SYSTEM FILESET:\\ and VSS SYSTEM SERVICES:\\ are missing "},
        {{9}, 147, L" Found VSS SYSTEM FILESET:\\ but VSS SYSTEM BOOT:\\ and VSS SYSTEM SERVICES:\\ are missing "},
        {{10}, 147, L" Found VSS SYSTEM SERVICES:\\ but VSS SYSTEM BOOT:\\ and VSS SYSTEM FILESET:\\ are missing "},
        {{3, 4, 5}, 0, L" Found SYSTEM DB, SYSTEM FILES and SYSTEM STATE "},
        {{5, 3}, 146, L" Found SYSTEM DB and SYSTEM STATE, but SYSTEM FILES is missing "},
        {{4}, 147, L" Found SYSTEM FILES but SYSTEM DB and SYSTEM STATE are missing "},
    };
    for (const Row& row : kRows) {
        Verdict v = JudgeSystemState(Entries(row.types));
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.pReason)));
        EXPECT_EQ(v.bComplete, row.uiMessage == 0);
        EXPECT_EQ(v.uiMessage, row.uiMessage);
        EXPECT_EQ(v.sReason, row.pReason);
        if (row.uiMessage == 0)
            continue;
        const bool bVss = *row.types.begin() >= 8;
        std::vector<std::wstring> found, missing;
        for (unsigned i = 0; i < 3; ++i) {
            bool bHas = std::count(row.types.begin(), row.types.end(), (bVss ? 8u : 3u) + i) != 0;
            (bHas ? found : missing).push_back((bVss ? kVss : kLegacy)[i]);
        }
        found.insert(found.end(), missing.begin(), missing.end());
        EXPECT_EQ(v.names, found);
    }
}

TEST(SystemStateCheck, DisasterRecoveryAloneIsEnoughAndNoSetIsMessage165)
{
    Verdict v = JudgeSystemState(Entries({12}));
    EXPECT_TRUE(v.bComplete);
    EXPECT_EQ(v.sReason, L" Found DISASTER RECOVERY:\\ ");
    EXPECT_TRUE(JudgeSystemState(Entries({8, 3, 12})).bComplete) << "whatever else is missing";
    for (auto types : {std::initializer_list<unsigned>{}, {13, 14, 15}, {1, 2}, {6, 7, 11, 16}}) {
        v = JudgeSystemState(Entries(types));
        EXPECT_FALSE(v.bComplete);
        EXPECT_EQ(v.uiMessage, unsigned(MSG_NO_SYSTEM_STATE));
        EXPECT_EQ(v.sReason, L"No system state");
    }
    // A complete VSS set is enough; the incomplete legacy set beside it is not looked at.
    EXPECT_TRUE(JudgeSystemState(Entries({3, 8, 9, 10})).bComplete);
    // Any VSS member decides: a complete legacy set does not make up for an incomplete VSS one.
    EXPECT_EQ(JudgeSystemState(Entries({3, 4, 5, 8})).uiMessage, unsigned(MSG_SYSTEM_STATE_TWO_MISSING));
}
