#include "tests/common/test_util.h"
#include "trace/trace.h"

#include <gtest/gtest.h>

#include <utility>

TEST(TraceFormat, HeaderHasTimeThreadAndLevelTag)
{
    SYSTEMTIME st = testutil::MakeTime(2026, 3, 7, 4, 5, 6, 7);
    EXPECT_EQ(tracefmt::Header(st, 0x2a, TL_ERROR), L"[2026-03-07 04:05:06.007]:002A:[E]: ");
    EXPECT_EQ(tracefmt::Header(st, 0x12345, TL_WARNING), L"[2026-03-07 04:05:06.007]:12345:[W]: ");
    EXPECT_EQ(tracefmt::Header(st, 1, TL_INFO).substr(30), L":[I]: ");
    EXPECT_EQ(tracefmt::Header(st, 1, TL_VERBOSE).substr(30), L":[V]: ");
}

TEST(TraceFormat, BufferOf32BytesStaysOnOneLineAnd33Wrap)
{
    unsigned char bytes[33];
    for (int i = 0; i < 33; ++i)
        bytes[i] = static_cast<unsigned char>(i * 8);
    std::wstring s32 = tracefmt::HexBytes(bytes, 32);
    EXPECT_EQ(s32.find(L'\n'), std::wstring::npos);
    EXPECT_EQ(s32.substr(0, 11), L"00 08 10 18");
    EXPECT_EQ(s32.size(), 32u * 3 - 1);
    std::wstring s33 = tracefmt::HexBytes(bytes, 33);
    EXPECT_EQ(s33.substr(0, 3), L"\n00");
    EXPECT_EQ(s33.substr(s33.size() - 4), L"8\n00"); // byte 32 (256 wraps to 0) alone on a new line
    EXPECT_EQ(tracefmt::HexBytes(bytes, 0), L"");
}

// Valid forms are written as eight groups of four lower-case digits, anything else as empty.
TEST(TraceFormat, IPv6IsExpandedToEightGroups)
{
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"::1", L"0000:0000:0000:0000:0000:0000:0000:0001"},
        {L"::", L"0000:0000:0000:0000:0000:0000:0000:0000"},
        {L"2001:DB8:0:0:1:2:3:4", L"2001:0db8:0000:0000:0001:0002:0003:0004"},
        {L"10.0.0.1", L""},
        {L"1:2:3:4:5:6:7:8:9", L""},
        {L"1::2::3", L""},
        {L"12345::1", L""},
        {L"1:2:3:4:5:6:7::8", L""}};
    for (const auto& [pIn, pOut] : rows)
        EXPECT_EQ(tracefmt::ExpandIPv6(pIn), pOut) << testing::PrintToString(std::wstring(pIn));
}

TEST(TraceFormat, OldLogReplacesTheExtension)
{
    EXPECT_EQ(tracefmt::OldLogPath(L"C:\\logs\\CVEX_trace.log"), L"C:\\logs\\CVEX_trace.old");
    EXPECT_EQ(tracefmt::OldLogPath(L"C:\\lo.gs\\trace"), L"C:\\lo.gs\\trace.old");
}

TEST(TraceFormat, LevelNumbersMapToMasksAndOthersKeepTheMask)
{
    const int rows[][3] = {{0, 7, 0}, {1, 7, 1}, {2, 7, 3}, {3, 0, 7}, {4, 7, 15}, {5, 7, 7}, {-1, 3, 3}};
    for (const auto& r : rows)
        EXPECT_EQ(tracefmt::MaskForLevel(r[0], r[1]), static_cast<unsigned>(r[2])) << r[0] << " " << r[1];
}

TEST(TraceFormat, NetWorkerMaskSelectsGroupsForCommandsAndOutput)
{
    // Default 10: output lines (2) of group 8 only.
    EXPECT_TRUE(CVEXTrace::NwMaskSelects(10, 0x8, 2));
    EXPECT_FALSE(CVEXTrace::NwMaskSelects(10, 0x8, 1));
    EXPECT_FALSE(CVEXTrace::NwMaskSelects(10, 0x10, 2));
    // Combined groups need every bit.
    EXPECT_TRUE(CVEXTrace::NwMaskSelects(0x200101, 0x200100, 1));
    EXPECT_FALSE(CVEXTrace::NwMaskSelects(0x200001, 0x200100, 1));
}
