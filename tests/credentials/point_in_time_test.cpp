// The point-in-time text: parsing with its range checks in order, and the written form.
#include "credentials/cvex_credentials.h"
#include "credentials/point_in_time.h"
#include "tests/common/test_util.h"
#include "tests/credentials/cred_test_util.h"

#include <gtest/gtest.h>

namespace
{

struct PitCase {
    const wchar_t* pText;
    const wchar_t* pReason; // nullptr: parses
    WORD wDay, wMonth, wYear, wHour, wMinute, wSecond;
};

using PitParse = ::testing::TestWithParam<PitCase>;

TEST_P(PitParse, ReasonAndStoredFields)
{
    const PitCase& c = GetParam();
    SYSTEMTIME st = {};
    st.wDayOfWeek = 3;
    st.wMilliseconds = 456;
    const wchar_t* pReason = pit::Parse(c.pText, st);
    if (c.pReason) {
        ASSERT_NE(pReason, nullptr);
        EXPECT_STREQ(pReason, c.pReason);
    } else {
        EXPECT_EQ(pReason, nullptr) << pReason;
    }
    EXPECT_EQ(st.wDay, c.wDay);
    EXPECT_EQ(st.wMonth, c.wMonth);
    EXPECT_EQ(st.wYear, c.wYear);
    EXPECT_EQ(st.wHour, c.wHour);
    EXPECT_EQ(st.wMinute, c.wMinute);
    EXPECT_EQ(st.wSecond, c.wSecond);
    // never set from text
    EXPECT_EQ(st.wDayOfWeek, 3);
    EXPECT_EQ(st.wMilliseconds, 456);
}

INSTANTIATE_TEST_SUITE_P(LeapYearsAndMonthLengths, PitParse,
                         ::testing::Values(PitCase{L"29/02/2000 00:00:00", nullptr, 29, 2, 2000, 0, 0, 0},
                                           PitCase{L"29/02/1900 00:00:00", L"Day out of range", 29, 2, 1900, 0, 0, 0},
                                           PitCase{L"29/02/2024 23:59:59", nullptr, 29, 2, 2024, 23, 59, 59},
                                           PitCase{L"29/02/2023 12:00:00", L"Day out of range", 29, 2, 2023, 12, 0, 0},
                                           PitCase{L"31/04/2021 10:00:00", L"Day out of range", 31, 4, 2021, 10, 0, 0},
                                           PitCase{L"31/12/2021 10:00:00", nullptr, 31, 12, 2021, 10, 0, 0},
                                           PitCase{L"01/01/1601 00:00:00", nullptr, 1, 1, 1601, 0, 0, 0},
                                           PitCase{L"31/12/30827 23:59:59", nullptr, 31, 12, 30827, 23, 59, 59}));

// The day is checked last: every other field fails first.
INSTANTIATE_TEST_SUITE_P(
    OrderOfRangeChecks, PitParse,
    ::testing::Values(PitCase{L"00/01/2021 10:00:00", L"Day out of range", 0, 1, 2021, 10, 0, 0},
                      PitCase{L"00/13/2021 10:00:00", L"Month out of range", 0, 13, 2021, 10, 0, 0},
                      PitCase{L"15/13/2021 10:00:00", L"Month out of range", 15, 13, 2021, 10, 0, 0},
                      PitCase{L"15/00/2021 10:00:00", L"Month out of range", 15, 0, 2021, 10, 0, 0},
                      PitCase{L"15/06/1600 10:00:00", L"Year out of range", 15, 6, 1600, 10, 0, 0},
                      PitCase{L"15/06/30828 10:00:00", L"Year out of range", 15, 6, 30828, 10, 0, 0},
                      PitCase{L"00/06/1600 24:60:60", L"Year out of range", 0, 6, 1600, 24, 60, 60},
                      PitCase{L"15/06/2021 24:00:00", L"Hour out of range", 15, 6, 2021, 24, 0, 0},
                      PitCase{L"31/02/2021 24:60:60", L"Hour out of range", 31, 2, 2021, 24, 60, 60},
                      PitCase{L"15/06/2021 10:60:00", L"Minute out of range", 15, 6, 2021, 10, 60, 0},
                      PitCase{L"15/06/2021 10:00:60", L"Second out of range", 15, 6, 2021, 10, 0, 60},
                      PitCase{L"31/02/2021 10:00:60", L"Second out of range", 31, 2, 2021, 10, 0, 60}));

const WORD X = pit::kUnreadable;

INSTANTIATE_TEST_SUITE_P(SeparatorsAndBlanks, PitParse,
                         ::testing::Values(PitCase{L"05-06-2020 13.45.00", nullptr, 5, 6, 2020, 13, 45, 0},
                                           PitCase{L"05x06y2020 13z45#07", nullptr, 5, 6, 2020, 13, 45, 7},
                                           PitCase{L"  5 / 6 /2020\t13 : 45 : 7", nullptr, 5, 6, 2020, 13, 45, 7},
                                           PitCase{L"5/6/2020 1:2:3 and more", nullptr, 5, 6, 2020, 1, 2, 3},
                                           PitCase{L"05//06/2020 10:00:00", L"Month out of range", 5, X, X, X, X, X},
                                           PitCase{L"05/06/202010:00:00", L"Year out of range", 5, 6, X, X, X, X}));

// A field that cannot be read, and every later one, holds a value every range check refuses.
INSTANTIATE_TEST_SUITE_P(UnreadableFields, PitParse,
                         ::testing::Values(PitCase{L"05/06/2021", L"Hour out of range", 5, 6, 2021, X, X, X},
                                           PitCase{L"05/06/2021 10:xx:00", L"Minute out of range", 5, 6, 2021, 10, X,
                                                   X},
                                           PitCase{L"05/06/2021 10:30", L"Second out of range", 5, 6, 2021, 10, 30, X},
                                           PitCase{L"05/06", L"Year out of range", 5, 6, X, X, X, X},
                                           PitCase{L"yesterday", L"Month out of range", X, X, X, X, X, X},
                                           PitCase{L"05/06/99999 10:00:00", L"Year out of range", 5, 6, X, X, X, X},
                                           PitCase{L"-5/06/2021 10:00:00", L"Month out of range", X, X, X, X, X, X}));

TEST(PitFormat, ZeroPaddedDayFirstAndEmptyWithoutDay)
{
    SYSTEMTIME st = testutil::MakeTime(2021, 6, 5, 7, 8, 9);
    EXPECT_EQ(pit::Format(st), L"05/06/2021 07:08:09");
    st.wYear = 987;
    EXPECT_EQ(pit::Format(st), L"05/06/0987 07:08:09");
    st.wDay = 0; // no point in time, whatever the other fields hold
    EXPECT_EQ(pit::Format(st), L"");
}

TEST(PitMember, FailedParseTracesItsReasonAndKeepsWhatWasRead)
{
    CvexCredentials cred;
    credtest::TraceWatch watch;
    EXPECT_FALSE(cred.ParsePit(L"31/04/2021 10:00:00"));
    EXPECT_TRUE(watch.Saw(L"CrplCredentials::ParsePit : ... ending(Day out of range)"));
    EXPECT_EQ(cred.m_Pit.wDay, 31);
    EXPECT_EQ(cred.m_Pit.wMonth, 4);
    EXPECT_FALSE(cred.ParsePit(L""));
    EXPECT_TRUE(watch.Saw(L"CrplCredentials::ParsePit : ... ending(Empty PIT string)"));
    EXPECT_EQ(cred.m_Pit.wDay, 31) << "an empty text changes nothing";
    EXPECT_TRUE(cred.ParsePit(L"01/02/2003 04:05:06"));
    EXPECT_TRUE(cred.HasPit());
}

} // namespace
