// The decisions of the console engine, tested directly on text and records.
#include "console/console_session.h"
#include "console/key_events.h"
#include "console/line_assembler.h"
#include "console/noise.h"
#include "console/poll_pace.h"
#include "console/ring_buffer.h"
#include "console/tcp_watch.h"

#include <gtest/gtest.h>

namespace
{

// Feeds text and collects what the assembler hands out: byte by byte, or in pieces of nPiece
// bytes as the reader hands over what its ring holds.
std::vector<std::pair<LineAssembler::Result, std::wstring>> Assemble(const std::string& text, size_t nPiece = 0)
{
    LineAssembler a;
    std::vector<std::pair<LineAssembler::Result, std::wstring>> out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        size_t nTaken = 1;
        LineAssembler::Result r = nPiece == 0 ? a.push(p[i]) : a.push(p + i, std::min(nPiece, text.size() - i), nTaken);
        i += nTaken;
        if (r != LineAssembler::Result::More)
            out.push_back({r, a.piece() ? a.line() + L" <piece>" : a.line()});
    }
    return out;
}

using R = LineAssembler::Result;

} // namespace

TEST(LineAssembler, LinesLoseTheirEndsTrailingBlanksFormFeedsAndNulsAndAPartialLineIsKept)
{
    const std::pair<std::string, std::vector<std::wstring>> kCases[] = {
        {"abc\r\nxyz  \r\r\n\n", {L"abc", L"xyz", L""}},
        {std::string("a\fb") + std::string(1, 0) + "c\r\npartial", {L"abc"}},
    };
    for (const auto& [text, expected] : kCases) {
        std::vector<std::wstring> lines;
        for (const auto& [result, line] : Assemble(text))
            lines.push_back(line);
        EXPECT_EQ(lines, expected);
    }
}

TEST(LineAssembler, PromptWithoutLineEndArrivesWithItsLastBlank)
{
    LineAssembler a;
    std::string text = "  recover> ";
    for (size_t i = 0; i + 1 < text.size(); ++i)
        EXPECT_EQ(a.push(static_cast<unsigned char>(text[i])), R::More) << i;
    EXPECT_EQ(a.push(' '), R::Prompt);
    EXPECT_EQ(a.line(), L"  recover> ");
    EXPECT_TRUE(StartsWithRecoverPrompt(L"recover> "));
    EXPECT_FALSE(StartsWithRecoverPrompt(L"recover>"));
    EXPECT_FALSE(StartsWithRecoverPrompt(L"x recover> "));
}

TEST(LineAssembler, Utf8LinesKeepTheirLettersAndOtherBytesStayBytes)
{
    // "E:\Grüße Ωmega.dat" as UTF-8, then the same name in a single-byte code page.
    auto out = Assemble("E:\\Gr\xC3\xBC\xC3\x9F"
                        "e \xCE\xA9mega.dat\r\nE:\\Gr\xFC\xDF"
                        "e.dat\r\n");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].second, L"E:\\Gr\u00FC\u00DFe \u03A9mega.dat");
    ASSERT_EQ(out[1].second.size(), 12u); // one character per byte, nothing dropped
    EXPECT_EQ(out[1].second.substr(0, 5), L"E:\\Gr");
    EXPECT_EQ(out[1].second.substr(7), L"e.dat");
    EXPECT_EQ(DecodeToolLine(""), L"");
}

TEST(LineAssembler, LinesAsLongAsALongPathComeWholeLongerOnesInMarkedPiecesCutBetweenCharacters)
{
    LineAssembler a;
    std::vector<std::pair<R, bool>> results;
    std::wstring sWhole;
    auto feed = [&](const std::string& text) {
        for (unsigned char c : text) {
            R r = a.push(c);
            if (r != R::More) {
                results.push_back({r, a.piece()});
                sWhole += a.line();
            }
        }
    };
    // A listing line of a 32,767-character path of two-byte letters: one line, whole.
    std::string sPath = "D:\\";
    while (sPath.size() < 2 * 32767)
        sPath += "\xCE\xA9";
    feed("1 f 10 03/08/2021 22:10 " + sPath + "\r\n");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], std::make_pair(R::Line, false));
    EXPECT_EQ(sWhole.size(), 24 + 3 + (2 * 32767 - 3) / 2 + 1);
    // Past the limit: pieces, every one marked, the last too; no letter is cut in two.
    results.clear();
    sWhole.clear();
    std::string sLong = "xy"; // the limit falls inside a letter
    while (sLong.size() < LineAssembler::kMaxLine + 100)
        sLong += "\xE2\x82\xAC"; // the euro sign, three bytes
    feed(sLong + "\r\nnext\r\n");
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0], std::make_pair(R::LongLine, true));
    EXPECT_EQ(results[1], std::make_pair(R::Line, true));
    EXPECT_EQ(results[2], std::make_pair(R::Line, false)) << "the next line is whole again";
    EXPECT_EQ(sWhole, L"xy" + std::wstring((sLong.size() - 2) / 3, L'\u20ac') + L"next");
    EXPECT_EQ(Utf8CutPoint("ab\xE2\x82"), 2u);
    EXPECT_EQ(Utf8CutPoint("ab\xE2\x82\xAC"), 5u);
    EXPECT_EQ(Utf8CutPoint("ab\xF0\x9F\x98"), 2u);
    EXPECT_EQ(Utf8CutPoint("ab\xFC"), 3u) << "a byte of a code page is no UTF-8 lead";
}

TEST(LineAssembler, PiecesGiveTheSameLinesAsBytes)
{
    std::string sLong = "x";
    while (sLong.size() < 2 * LineAssembler::kMaxLine + 10)
        sLong += "\xE2\x82\xAC recover> "; // three-byte letters, and prompts that are not one
    const std::string text = std::string("  recover> ") + "a b\f c\r\n" + std::string(1030, 'y') + " z\r\n" +
                             std::string(1, 0) + "recover>recover> \n  \r\n" + sLong + "end\n" +
                             "Gr\xC3\xBC\xC3\x9F  \r\n" + "recover>\f \n" + "tail";
    const auto expected = Assemble(text);
    ASSERT_EQ(expected.size(), 11u);
    for (size_t nPiece : {1, 2, 3, 7, 9, 10, 64, 1023, 1024, 1025, 65536, 200000})
        EXPECT_EQ(Assemble(text, nPiece), expected) << "pieces of " << nPiece;
}

TEST(RingBuffer, WrapsAndReportsFull)
{
    ByteRing ring;
    std::vector<unsigned char> block(ByteRing::kSize - 10, 'a');
    EXPECT_EQ(ring.put(block.data(), block.size()), block.size());
    unsigned char c = 0;
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(ring.get(c));
    std::vector<unsigned char> more(200, 'b');
    EXPECT_EQ(ring.put(more.data(), more.size()), 110u); // wraps around, stops when full
    EXPECT_TRUE(ring.full());
    size_t n = 0;
    std::string tail;
    while (ring.get(c)) {
        ++n;
        if (n > ByteRing::kSize - 110)
            tail += static_cast<char>(c);
    }
    EXPECT_EQ(n, ByteRing::kSize);
    EXPECT_EQ(tail, std::string(110, 'b'));
    EXPECT_TRUE(ring.empty());
}

TEST(RingBuffer, ReadableIsTheOnePieceUpToTheWrapAndConsumeFreesIt)
{
    ByteRing ring;
    size_t n = 99;
    ring.readable(n);
    EXPECT_EQ(n, 0u) << "empty";
    std::vector<unsigned char> block(ByteRing::kSize, 'a');
    ASSERT_EQ(ring.put(block.data(), block.size()), block.size());
    ring.readable(n);
    EXPECT_EQ(n, ByteRing::kSize) << "full";
    ring.consume(ByteRing::kSize - 5);
    EXPECT_FALSE(ring.full());
    std::vector<unsigned char> more = {'1', '2', '3'};
    ASSERT_EQ(ring.put(more.data(), more.size()), 3u);
    const unsigned char* p = ring.readable(n);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), n), "aaaaa") << "up to the end of the array";
    ring.consume(n);
    p = ring.readable(n);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), n), "123") << "then from its start";
    ring.consume(n);
    EXPECT_TRUE(ring.empty());
}

TEST(TcpWatch, OnlyAnEstablishedConnectionToTheDaemonPortCountsAndItsStateName)
{
    std::vector<TcpRow> rows = {{80, 5}, {7937, 8}, {7937, 11}, {7937, 5}};
    EXPECT_EQ(FindNsrexecdRow(rows), 3) << "CLOSE_WAIT and TIME_WAIT rows are no live session";
    EXPECT_EQ(FindNsrexecdRow({{7937, 11}, {7937, 8}, {7937, 2}, {7937, 1}}), -1);
    EXPECT_EQ(FindNsrexecdRow({{80, 5}, {7938, 5}}), -1);
    EXPECT_EQ(NsrexecdStateText(5), L"NetWorker nsrexecd Port - Established");
    EXPECT_EQ(NsrexecdStateText(1), L"NetWorker nsrexecd Port - Closed");
    EXPECT_EQ(NsrexecdStateText(12), L"NetWorker nsrexecd Port - Delete TCB");
    EXPECT_EQ(NsrexecdStateText(0), L"");
    EXPECT_EQ(NsrexecdStateText(13), L"");
}

TEST(KeyEvents, ShiftCtrlAltBitsBecomeControlKeyState)
{
    INPUT_RECORD r;
    ASSERT_TRUE(BuildKeyEvent(L'A', 0x141, 30, true, r));
    EXPECT_EQ(r.EventType, KEY_EVENT);
    EXPECT_TRUE(r.Event.KeyEvent.bKeyDown);
    EXPECT_EQ(r.Event.KeyEvent.wRepeatCount, 1);
    EXPECT_EQ(r.Event.KeyEvent.wVirtualKeyCode, 0x41);
    EXPECT_EQ(r.Event.KeyEvent.wVirtualScanCode, 30);
    EXPECT_EQ(r.Event.KeyEvent.uChar.UnicodeChar, L'A');
    EXPECT_EQ(r.Event.KeyEvent.dwControlKeyState, 16u);
    ASSERT_TRUE(BuildKeyEvent(L'x', 0x758, 45, false, r));
    EXPECT_EQ(r.Event.KeyEvent.dwControlKeyState, 16u + 8u + 2u);
    EXPECT_FALSE(r.Event.KeyEvent.bKeyDown);
    EXPECT_FALSE(BuildKeyEvent(L'\u20ac', -1, 0, true, r));
    EXPECT_FALSE(BuildKeyEvent(L'x', 0x58, 0, true, r));
}

TEST(Noise, PortAndServiceComplaintsAreIgnoredButPromptsAreNot)
{
    EXPECT_STREQ(IgnoreReason(L"xx Failed initialize ports yy"), L"Ignoring Ports");
    EXPECT_STREQ(IgnoreReason(L"RAP error: Service not available"), L"Ignoring Bad Service");
    EXPECT_STREQ(IgnoreReason(L"nsrexec: Failed to get port range from local host"), L"Ignoring Bad Port Range");
    EXPECT_NE(IgnoreReason(L""), nullptr);
    EXPECT_EQ(IgnoreReason(L"recover> "), nullptr);
    EXPECT_EQ(IgnoreReason(L"C:\\Windows\\"), nullptr);
}

TEST(ToolName, TheProgramOfACommandLineWithoutItsFolder)
{
    EXPECT_EQ(ToolNameOfCommand(L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nsrports.exe -t host"), L"nsrports.exe");
    EXPECT_EQ(ToolNameOfCommand(L"\"C:\\Program Files\\t\\engine_fake_tool.exe\" password 1"), L"engine_fake_tool.exe");
    EXPECT_EQ(ToolNameOfCommand(L"  recover.exe"), L"recover.exe");
    EXPECT_EQ(ToolNameOfCommand(L"\"unclosed\\quote.exe"), L"quote.exe");
    EXPECT_EQ(ToolNameOfCommand(L""), L"");
}

TEST(PollPace, HotOnlyAfterStreamingThenBriskRightAfterActivityRegularBeforeAnyAndOnceItIsOld)
{
    PollPace pace;
    EXPECT_EQ(pace.SleepMs(0), PollPace::kRegularMs) << "no activity yet, even at tick 0";
    EXPECT_EQ(pace.SleepMs(5000), PollPace::kRegularMs);
    pace.Activity(10000, PollPace::kStreamingBytes);
    EXPECT_EQ(pace.SleepMs(10000), PollPace::kHotMs);
    EXPECT_EQ(pace.SleepMs(10000 + PollPace::kHotWindowMs - 1), PollPace::kHotMs);
    EXPECT_EQ(pace.SleepMs(10000 + PollPace::kHotWindowMs), PollPace::kBriskMs);
    EXPECT_EQ(pace.SleepMs(10000 + PollPace::kBriskWindowMs - 1), PollPace::kBriskMs);
    EXPECT_EQ(pace.SleepMs(10000 + PollPace::kBriskWindowMs), PollPace::kRegularMs);
    pace.Activity(20000, PollPace::kStreamingBytes - 1);
    EXPECT_EQ(pace.SleepMs(20000), PollPace::kBriskMs) << "a line now and then is no stream: no spinning";
    pace.Activity(30000);
    EXPECT_EQ(pace.SleepMs(30005), PollPace::kBriskMs) << "each activity opens the window again";
}
