#include "tests/common/test_util.h"
#include "trace/trace.h"

#include <gtest/gtest.h>

TEST(TraceFormat, HeaderHasTimeThreadAndLevelTag)
{
    SYSTEMTIME st = testutil::MakeTime(2026, 3, 7, 4, 5, 6, 7);
    EXPECT_EQ(tracefmt::Header(st, 0x2a, TL_ERROR), L"[2026-03-07 04:05:06.007]:002A:[E]: ");
    EXPECT_EQ(tracefmt::Header(st, 0x12345, TL_WARNING), L"[2026-03-07 04:05:06.007]:12345:[W]: ");
    EXPECT_EQ(tracefmt::Header(st, 1, TL_INFO).substr(30), L":[I]: ");
    EXPECT_EQ(tracefmt::Header(st, 1, TL_VERBOSE).substr(30), L":[V]: ");
}

TEST(TraceFormat, ControlCharactersAreNamed)
{
    EXPECT_EQ(tracefmt::CharText(L'\0'), L"<NULL>");
    EXPECT_EQ(tracefmt::CharText(L'\n'), L"<LF>");
    EXPECT_EQ(tracefmt::CharText(L'\r'), L"<CR>");
    EXPECT_EQ(tracefmt::CharText(L'x'), L"x");
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

TEST(TraceFormat, IPv6IsExpandedToEightGroups)
{
    EXPECT_EQ(tracefmt::ExpandIPv6(L"fe80::1"), L"fe80:0000:0000:0000:0000:0000:0000:0001");
    EXPECT_EQ(tracefmt::ExpandIPv6(L"::1"), L"0000:0000:0000:0000:0000:0000:0000:0001");
    EXPECT_EQ(tracefmt::ExpandIPv6(L"::"), L"0000:0000:0000:0000:0000:0000:0000:0000");
    EXPECT_EQ(tracefmt::ExpandIPv6(L"2001:DB8:0:0:1:2:3:4"), L"2001:0db8:0000:0000:0001:0002:0003:0004");
    EXPECT_EQ(tracefmt::ExpandIPv6(L"10.0.0.1"), L"");
    EXPECT_EQ(tracefmt::ExpandIPv6(L"1:2:3:4:5:6:7:8:9"), L"");
    EXPECT_EQ(tracefmt::ExpandIPv6(L"1::2::3"), L"");
    EXPECT_EQ(tracefmt::ExpandIPv6(L"12345::1"), L"");
    EXPECT_EQ(tracefmt::ExpandIPv6(L"1:2:3:4:5:6:7::8"), L"");
}

TEST(TraceFormat, OldLogReplacesTheExtension)
{
    EXPECT_EQ(tracefmt::OldLogPath(L"C:\\logs\\CVEX_trace.log"), L"C:\\logs\\CVEX_trace.old");
    EXPECT_EQ(tracefmt::OldLogPath(L"C:\\lo.gs\\trace"), L"C:\\lo.gs\\trace.old");
}

TEST(TraceFormat, LevelNumbersMapToMasksAndOthersKeepTheMask)
{
    EXPECT_EQ(tracefmt::MaskForLevel(0, 7), 0u);
    EXPECT_EQ(tracefmt::MaskForLevel(1, 7), 1u);
    EXPECT_EQ(tracefmt::MaskForLevel(2, 7), 3u);
    EXPECT_EQ(tracefmt::MaskForLevel(3, 0), 7u);
    EXPECT_EQ(tracefmt::MaskForLevel(4, 7), 15u);
    EXPECT_EQ(tracefmt::MaskForLevel(5, 7), 7u);
    EXPECT_EQ(tracefmt::MaskForLevel(-1, 3), 3u);
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
