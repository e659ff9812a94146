#include "tests/common/test_util.h"
#include "trace/trace_scope.h"

#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <vector>

using testutil::Contains;
using testutil::ReadTextFile;

namespace
{

// A private trace instance writing into a scratch folder.
struct TraceFile : ::testing::Test {
    testutil::ScratchFolder folder{L"trace_file"};
    CTrace trace{L"unit_trace.log", L"Unit_TraceLevel"};
    void SetUp() override { ASSERT_TRUE(trace.SetLogFolder(folder.path())); }
    std::wstring Text() { return ReadTextFile(folder.file(L"unit_trace.log")); }
};

} // namespace

// The default mask 7 writes errors, warnings and information; level 4 adds verbose lines; level 0
// silences everything, the banner too; a number that is no level keeps the mask.
TEST_F(TraceFile, LevelsSelectTheLinesWritten)
{
    EXPECT_EQ(trace.GetLevelMask(), 7u);
    trace.Line(TL_ERROR, L"F", L"e-line");
    trace.Line(TL_WARNING, L"F", L"w-line");
    trace.Line(TL_INFO, L"F", L"i-line");
    trace.Line(TL_VERBOSE, L"F", L"v-line");
    trace.SetLevel(4);
    trace.Line(TL_VERBOSE, L"F", L"verbose at 4");
    trace.SetLevel(0);
    trace.Line(TL_ERROR, L"F", L"silent");
    trace.Banner(L"silent banner");
    trace.SetLevel(9);
    EXPECT_EQ(trace.GetLevelMask(), 0u);
    std::wstring s = Text();
    for (const wchar_t* p : {L":[E]: F : e-line\n", L":[W]: F : w-line\n", L":[I]: F : i-line\n"})
        EXPECT_TRUE(Contains(s, p)) << testing::PrintToString(std::wstring(p));
    EXPECT_FALSE(Contains(s, L"v-line"));
    EXPECT_TRUE(Contains(s, L":[V]: F : verbose at 4\n"));
    EXPECT_FALSE(Contains(s, L"silent"));
}

TEST_F(TraceFile, ValueFormsAreWrittenExactly)
{
    trace.SetLevel(4);
    trace.Char(TL_INFO, L"F", L"wc", L'\0');
    trace.Char(TL_INFO, L"F", L"c", '\r');
    trace.Char(TL_INFO, L"F", L"lf", L'\n');
    trace.Char(TL_INFO, L"F", L"x", L'x');
    trace.Str(TL_INFO, L"F", L"pNull", static_cast<const wchar_t*>(nullptr));
    trace.Str(TL_INFO, L"F", L"pNarrowNull", static_cast<const char*>(nullptr));
    trace.Str(TL_INFO, L"F", L"sName", std::wstring(L"C:\\Program Files"));
    trace.Str(TL_INFO, L"F", L"sVel", velmora::string(L"v\u00e9l"));
    trace.Int(TL_INFO, L"F", L"iNeg", -42);
    trace.Hex(TL_INFO, L"F", L"uiMask", 0xABC0ull);
    trace.Bool(TL_INFO, L"F", L"bRc", true);
    trace.Bool(TL_INFO, L"F", L"bRc32", FALSE);
    trace.IPv4(TL_INFO, L"F", L"ip", 0x0A000001, true);
    trace.IPv6(TL_INFO, L"F", L"ip6", L"fe80::1");
    trace.IPv6(TL_INFO, L"F", L"bad6", "10.0.0.1");
    GUID g = {0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};
    trace.Guid(TL_INFO, L"F", L"guid", g);
    trace.Time(TL_INFO, L"F", L"stPit", testutil::MakeTime(2021, 6, 5, 7, 8, 9));
    std::wstring s = Text();
    for (const wchar_t* p :
         {L"F : wc = '<NULL>'", L"F : c = '<CR>'", L"F : lf = '<LF>'", L"F : x = 'x'", L"F : pNull = <null>",
          L"F : pNarrowNull = <null>", L"F : sName = \"C:\\Program Files\"", L"F : sVel = \"v\u00e9l\"",
          L"F : iNeg = -42", L"F : uiMask = 0xABC0", L"F : bRc = true", L"F : bRc32 = false", L"F : ip = 10.0.0.1",
          L"F : ip6 = fe80:0000:0000:0000:0000:0000:0000:0001", L"F : bad6 = <Invalid IPv6 address>",
          L"F : guid = { 12345678-9ABC-DEF0-0102-030405060708 }", L"F : stPit = 05/06/2021 07:08:09"})
        EXPECT_TRUE(Contains(s, p)) << "missing: " << testing::PrintToString(std::wstring(p));
}

TEST_F(TraceFile, BannerApiFailureLastErrorAndAMissingFolder)
{
    trace.Banner(L"Hello");
    EXPECT_EQ(Text(), L"\n***********\n** Hello **\n***********\n\n\n");
    SetLastError(1234);
    trace.ApiFailure(L"F", L"CloseHandle(STDIN)", 6);
    EXPECT_EQ(GetLastError(), 1234u) << "tracing changed the caller's last error";
    trace.EndFail(L"F", L"RunCommand failed");
    EXPECT_FALSE(trace.SetLogFolder(folder.path() + L"\\does-not-exist"));
    trace.Line(TL_ERROR, L"F", L"still here");
    std::wstring s = Text();
    EXPECT_TRUE(Contains(s, L":[E]: F : CloseHandle(STDIN) : dwLastError = 6\n"));
    EXPECT_TRUE(Contains(s, L":[E]: F : ... ending(RunCommand failed)\n"));
    EXPECT_TRUE(Contains(s, L"still here"));
}

TEST(TraceSettings, LogFolderComesFromHostSettingsAndLevelsFromTraceIni)
{
    std::wstring sFolder;
    CTrace t(L"settings_test.log", L"Settings_TraceLevel");
    t.GetLogFolder(sFolder);
    EXPECT_EQ(sFolder, testutil::ProgramFolder() + L"Logfiles");
    // trace.ini beside the program does not name this key: the mask stays at 7.
    t.ReadLevelFromFile();
    EXPECT_EQ(t.GetLevelMask(), 7u);
    CTrace cvex(L"settings_cvex.log", L"CVEX_TraceLevel");
    cvex.ReadLevelFromFile(); // trace.ini says 4
    EXPECT_EQ(cvex.GetLevelMask(), 15u);
}

TEST(TraceConcurrency, ThreadsWritingOneFileLoseNoLine)
{
    testutil::ScratchFolder folder(L"trace_threads");
    CTrace a(L"shared_trace.log", L"X"), b(L"shared_trace.log", L"X");
    ASSERT_TRUE(a.SetLogFolder(folder.path()));
    ASSERT_TRUE(b.SetLogFolder(folder.path()));
    auto writer = [](LPVOID p) -> DWORD {
        CTrace* t = static_cast<CTrace*>(p);
        for (int i = 0; i < 200; ++i)
            t->Line(TL_ERROR, L"F", L"0123456789012345678901234567890123456789");
        return 0;
    };
    HANDLE h[2] = {CreateThread(nullptr, 0, writer, &a, 0, nullptr), CreateThread(nullptr, 0, writer, &b, 0, nullptr)};
    WaitForMultipleObjects(2, h, TRUE, INFINITE);
    CloseHandle(h[0]);
    CloseHandle(h[1]);
    auto lines = testutil::SplitLines(ReadTextFile(folder.file(L"shared_trace.log")));
    int n = 0;
    for (auto& l : lines)
        if (!l.empty()) {
            EXPECT_TRUE(Contains(l, L":[E]: F : 0123456789012345678901234567890123456789")) << "torn line";
            ++n;
        }
    EXPECT_EQ(n, 400);
}

namespace
{

// The end lines written for F, in order ("... ending" or "... ending(<reason>)").
std::vector<std::wstring> EndLines(const std::wstring& sText)
{
    std::vector<std::wstring> ends;
    std::wregex end(L"F : (\\.\\.\\. ending[^\\n]*)\\n");
    for (std::wsregex_iterator it(sText.begin(), sText.end(), end), last; it != last; ++it)
        ends.push_back((*it)[1]);
    return ends;
}

bool ScopedWork(CTrace& trace, int iWay)
{
    TraceScope scope(L"F", trace);
    if (iWay == 1)
        return scope.Fail(L"first reason");
    if (iWay == 2) {
        scope.Fail(L"warned", TL_WARNING);
        scope.Fail(L"second reason"); // the end is written once
        return false;
    }
    if (iWay == 3)
        throw std::runtime_error("boom");
    if (iWay == 4) {
        scope.End();
        trace.Line(TL_VERBOSE, L"F", L"result after the end");
    }
    return true;
}

} // namespace

TEST_F(TraceFile, AScopeWritesItsStartAndExactlyOneEndOnEveryWayOut)
{
    trace.SetLevel(4);
    EXPECT_TRUE(ScopedWork(trace, 0));
    EXPECT_FALSE(ScopedWork(trace, 1));
    EXPECT_FALSE(ScopedWork(trace, 2));
    EXPECT_THROW(ScopedWork(trace, 3), std::runtime_error);
    EXPECT_TRUE(ScopedWork(trace, 4));
    std::wstring s = Text();
    size_t nStarts = 0;
    for (size_t i = s.find(L"F : starting ..."); i != std::wstring::npos; i = s.find(L"F : starting ...", i + 1))
        ++nStarts;
    EXPECT_EQ(nStarts, 5u);
    EXPECT_EQ(EndLines(s), (std::vector<std::wstring>{L"... ending", L"... ending(first reason)", L"... ending(warned)",
                                                      L"... ending(exception)", L"... ending"}));
    EXPECT_TRUE(Contains(s, L":[W]: F : ... ending(warned)"));
    EXPECT_GT(s.find(L"result after the end"), s.rfind(L"F : ... ending\n")) << "End() writes at once";
}
