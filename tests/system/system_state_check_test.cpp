// Whether the system-state components of a backup make a complete set, and what the user is told.
#include "hostapi/message_ids.h"
#include "system/system_state_check.h"

#include <gtest/gtest.h>

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

TEST(SystemStateCheck, EveryRowOfTheVssAndLegacySets)
{
    struct Row {
        std::initializer_list<unsigned> types;
        bool bComplete;
        unsigned uiMessage;
        std::vector<std::wstring> names;
        const wchar_t* pReason;
    };
    const Row kRows[] = {
        {{8, 9, 10}, true, 0, {}, L" Found VSS SYSTEM BOOT:\\, VSS SYSTEM FILESET:\\ and VSS SYSTEM SERVICES:\\ "},
        {{8, 9},
         false,
         146,
         {kBoot, kFileset, kServices},
         L" Found VSS SYSTEM BOOT:\\ and VSS SYSTEM FILESET:\\, but VSS SYSTEM SERVICES:\\ is missing "},
        {{10, 8},
         false,
         146,
         {kBoot, kServices, kFileset},
         L" Found VSS SYSTEM BOOT:\\ and VSS SYSTEM SERVICES:\\, but VSS SYSTEM FILESET:\\ is missing "},
        {{8},
         false,
         147,
         {kBoot, kFileset, kServices},
         L" Found VSS SYSTEM BOOT:\\ but VSS SYSTEM FILESET:\\ and VSS SYSTEM SERVICES:\\ are missing "},
        {{9, 10},
         false,
         146,
         {kFileset, kServices, kBoot},
         L" Found VSS SYSTEM FILESET:\\ and VSS SYSTEM SERVICES:\\, but VSS SYSTEM BOOT:\\ is missing "},
        {{9},
         false,
         147,
         {kFileset, kBoot, kServices},
         L" Found VSS SYSTEM FILESET:\\ but VSS SYSTEM BOOT:\\ and VSS SYSTEM SERVICES:\\ are missing "},
        {{10},
         false,
         147,
         {kServices, kBoot, kFileset},
         L" Found VSS SYSTEM SERVICES:\\ but VSS SYSTEM BOOT:\\ and VSS SYSTEM FILESET:\\ are missing "},
        {{3, 4, 5}, true, 0, {}, L" Found SYSTEM DB, SYSTEM FILES and SYSTEM STATE "},
        {{3, 4},
         false,
         146,
         {L"SYSTEM DB", L"SYSTEM FILES", L"SYSTEM STATE"},
         L" Found SYSTEM DB and SYSTEM FILES, but SYSTEM STATE is missing "},
        {{3, 5},
         false,
         146,
         {L"SYSTEM DB", L"SYSTEM STATE", L"SYSTEM FILES"},
         L" Found SYSTEM DB and SYSTEM STATE, but SYSTEM FILES is missing "},
        {{3},
         false,
         147,
         {L"SYSTEM DB", L"SYSTEM FILES", L"SYSTEM STATE"},
         L" Found SYSTEM DB but SYSTEM FILES and SYSTEM STATE are missing "},
        {{4, 5},
         false,
         146,
         {L"SYSTEM FILES", L"SYSTEM STATE", L"SYSTEM DB"},
         L" Found SYSTEM FILES and SYSTEM STATE, but SYSTEM DB is missing "},
        {{4},
         false,
         147,
         {L"SYSTEM FILES", L"SYSTEM DB", L"SYSTEM STATE"},
         L" Found SYSTEM FILES but SYSTEM DB and SYSTEM STATE are missing "},
        {{5},
         false,
         147,
         {L"SYSTEM STATE", L"SYSTEM DB", L"SYSTEM FILES"},
         L" Found SYSTEM STATE but SYSTEM DB and SYSTEM FILES are missing "},
    };
    for (const Row& row : kRows) {
        Verdict v = JudgeSystemState(Entries(row.types));
        EXPECT_EQ(v.bComplete, row.bComplete) << testing::PrintToString(std::wstring(row.pReason));
        EXPECT_EQ(v.uiMessage, row.uiMessage) << testing::PrintToString(std::wstring(row.pReason));
        if (!row.bComplete) {
            EXPECT_EQ(v.names, row.names);
        }
        EXPECT_EQ(v.sReason, row.pReason);
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
