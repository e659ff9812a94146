// The table of recognised tool texts and the recover-message helper, called with text.
#include "plugin/cvex_impl.h"
#include "restore/recover_literals.h"

#include <gtest/gtest.h>
#include <set>

TEST(RecoverLiterals, EveryEntryIsADistinctTextFoundInsideALine)
{
    std::set<std::wstring> seen;
    for (unsigned i = 0; i < RL_COUNT; ++i) {
        auto id = static_cast<RecoverLiteral>(i);
        std::wstring sText = RecoverLiteralText(id);
        EXPECT_FALSE(sText.empty()) << i;
        EXPECT_TRUE(seen.insert(sText).second) << i;
        EXPECT_TRUE(LineHas(L"12345:recover: " + sText + L" (more)", id)) << i;
    }
    EXPECT_EQ(std::wstring(RecoverLiteralText(RL_COUNT)), L"");
    EXPECT_FALSE(LineHas(L"anything", RL_COUNT));
}

TEST(RecoverLiterals, MatchingIsExactAndCaseSensitive)
{
    EXPECT_TRUE(LineHas(L"Current working directory is /", RL_BANNER));
    EXPECT_TRUE(LineHas(L"current working directory is /", RL_BANNER));
    EXPECT_FALSE(LineHas(L"recover>", RL_PROMPT)); // the prompt ends with a blank
    EXPECT_TRUE(LineHas(L"recover> ", RL_PROMPT));
    EXPECT_FALSE(LineHas(L"INCORRECT PASSWORD FOR FILE D:\\x", RL_INCORRECT_PASSWORD));
    EXPECT_TRUE(LineHas(L"nsrexecd: 352:Remote system error - Connection timed out", RL_CONNECTION_TIMED_OUT));
    EXPECT_FALSE(LineHas(L"Remote system error - Connection timed out", RL_CONNECTION_TIMED_OUT));
}

// Without a marker the line is handed back whole; an empty line leaves the text as it was.
TEST(ParseRecoverMsg, TextAfterTheFirstMarkerWithItsLeadingBlank)
{
    const struct {
        const wchar_t *pLine, *pText;
        bool bFound;
    } kRows[] = {{L"53357:recover: Cannot open D:\\x", L" Cannot open D:\\x", true},
                 {L"1:recover::recover: twice", L":recover: twice", true},
                 {L"x:recover:", L"", true},
                 {L"recover: no colon before", L"recover: no colon before", false},
                 {L"", L"kept", false}};
    for (const auto& row : kRows) {
        std::wstring sText = L"kept";
        EXPECT_EQ(CVEXImpl::ParseRecoverMsg(row.pLine, sText), row.bFound) << row.pLine;
        EXPECT_EQ(sText, row.pText) << row.pLine;
    }
}
