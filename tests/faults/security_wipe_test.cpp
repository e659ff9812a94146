// The helpers that wipe a password: the whole buffer goes, also what an earlier, longer value
// left past the end of a shorter one, and a copy made for typing never moves to a new buffer.
#include "support/secure_wipe.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

bool AllZero(const wchar_t* p, size_t n)
{
    return std::all_of(p, p + n, [](wchar_t wc) { return wc == 0; });
}

} // namespace

TEST(SecurityWipe, TheWholeBufferIsZeroedNotOnlyTheCurrentText)
{
    std::wstring s = L"a first password that is long enough for the heap";
    s = L"short"; // the buffer keeps the tail of the first value
    const wchar_t* p = s.data();
    const size_t nCapacity = s.capacity();
    ASSERT_GT(nCapacity, 40u);
    ASSERT_FALSE(AllZero(p + 6, nCapacity - 6)) << "the stale tail is there to be wiped";
    velmora::wipe(s);
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(s.data(), p) << "the same buffer, now empty";
    EXPECT_TRUE(AllZero(p, nCapacity + 1));

    std::wstring sShort = L"pw"; // inside the string object itself
    velmora::wipe(sShort);
    EXPECT_TRUE(AllZero(sShort.data(), sShort.capacity() + 1));

    std::string sNarrow(100, 'x');
    velmora::wipe(sNarrow);
    EXPECT_TRUE(std::all_of(sNarrow.data(), sNarrow.data() + 101, [](char c) { return c == 0; }));
}

TEST(SecurityWipe, ASecretCopyLeavesNoOldValueAndTakesItsLineEndInPlace)
{
    std::wstring sDst = L"an old, longer password that stays in the buffer";
    const wchar_t* pOld = sDst.data();
    const size_t nOld = sDst.capacity();
    const std::wstring sSrc = L"new-password-of-some-length";
    velmora::assign_secret(sDst, sSrc, 2);
    EXPECT_EQ(sDst, sSrc);
    ASSERT_EQ(sDst.data(), pOld) << "a buffer big enough is kept";
    EXPECT_TRUE(AllZero(pOld + sSrc.size() + 1, nOld - sSrc.size())) << "the old tail is gone";
    const wchar_t* pNow = sDst.data();
    sDst += L"\r\n";
    EXPECT_EQ(sDst.data(), pNow) << "the line end fits: no copy is left behind in a freed buffer";

    // Into an empty string the copy is made at its final size at once.
    std::wstring sTyped;
    velmora::assign_secret(sTyped, sSrc, 2);
    const wchar_t* pTyped = sTyped.data();
    sTyped += L"\r\n";
    EXPECT_EQ(sTyped.data(), pTyped);
}

TEST(SecurityWipe, ARecordIsWipedWhenItsScopeEnds)
{
    unsigned char bytes[32];
    std::fill(std::begin(bytes), std::end(bytes), 0xAB);
    {
        velmora::wipe_on_exit guard(bytes + 8, 16);
        EXPECT_EQ(bytes[8], 0xAB) << "not before the scope ends";
    }
    for (size_t i = 0; i < 32; ++i)
        EXPECT_EQ(bytes[i], (i >= 8 && i < 24) ? 0 : 0xAB) << i;
}
