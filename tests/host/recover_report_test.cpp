// The unattended recovery's verdict, summary, report and message ids, decided from plain data,
// and its command line.
#include "host/recover_cli.h"
#include "host/recover_report.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace refhost;

namespace
{

PhaseOutcome P(const wchar_t* pName, const wchar_t* pOutcome, const wchar_t* pDetail = L"")
{
    PhaseOutcome p;
    p.sName = pName;
    p.sOutcome = pOutcome;
    p.sDetail = pDetail;
    return p;
}

FilespaceOutcome Fs(const wchar_t* pName, unsigned uiCounted, unsigned uiRestored, bool bResult = true)
{
    FilespaceOutcome fs;
    fs.sName = pName;
    fs.uiCounted = uiCounted;
    fs.uiRestored = uiRestored;
    fs.bResult = bResult;
    fs.ullBytes = 100ull * uiRestored;
    return fs;
}

RecoverRun GoodRun()
{
    RecoverRun run;
    run.sServer = L"localhost";
    run.sClient = L"winclient1";
    run.phases = {P(L"answer file", L"succeeded"),      P(L"Init", L"succeeded"),
                  P(L"GetFilespaceList", L"succeeded"), P(L"RestoreFilespace W:\\", L"succeeded"),
                  P(L"PrepareSystem", L"succeeded"),    P(L"Fini", L"succeeded")};
    run.filespaces = {Fs(L"W:\\", 26, 26), Fs(L"D:\\", 5, 5)};
    ComponentOutcome c;
    c.sTitle = L"VSS OTHER:\\";
    c.uiCounted = c.uiRestored = 3;
    c.bFinished = true;
    run.components = {c};
    return run;
}

std::vector<std::wstring> Args(std::initializer_list<const wchar_t*> list)
{
    return {list.begin(), list.end()};
}

} // namespace

TEST(RecoverVerdict, EachOutcomeHasItsExitCodeAndSaysWhereOrWhich)
{
    RecoverRun run = GoodRun();
    EXPECT_EQ(DecideVerdict(run).iExit, kRecovered);
    EXPECT_EQ(DecideVerdict(run).Line(), L"Verdict: recovered");

    RecoverRun incomplete = GoodRun();
    incomplete.filespaces[1].uiRestored = 2;
    Verdict v = DecideVerdict(incomplete);
    EXPECT_EQ(v.iExit, kWithWarnings);
    EXPECT_EQ(v.Line(), L"Verdict: recovered with warnings (D:\\ incomplete (2 of 5 objects))");

    RecoverRun warned = GoodRun();
    warned.messages.push_back({145, ML_WARNING, L"x", L""});
    warned.components[0].uiRestored = 1;
    EXPECT_EQ(DecideVerdict(warned).sWhy, L"VSS OTHER:\\ incomplete; 1 warning messages");

    // The first failed phase is where it failed, even when a later one failed too.
    RecoverRun failed = GoodRun();
    failed.phases[3] = P(L"RestoreFilespace W:\\", L"failed", L"recover ended with 1");
    failed.phases[4] = P(L"PrepareSystem", L"failed");
    failed.filespaces[1].uiRestored = 1; // a warning does not hide the failure
    EXPECT_EQ(DecideVerdict(failed).iExit, kFailed);
    EXPECT_EQ(DecideVerdict(failed).Line(), L"Verdict: failed (RestoreFilespace W:\\: recover ended with 1)");

    RecoverRun bad;
    bad.phases = {P(L"answer file", L"failed", L"a.ini does not pass the check")};
    EXPECT_EQ(DecideVerdict(bad).iExit, kBadInput);

    // An abort beats the failure it caused.
    RecoverRun aborted = failed;
    aborted.uiAbortRequests = 2;
    EXPECT_EQ(DecideVerdict(aborted).iExit, kAborted);
    EXPECT_EQ(DecideVerdict(aborted).sWhy, L"in RestoreFilespace W:\\");
    RecoverRun stopped = GoodRun();
    stopped.uiAbortRequests = 1;
    EXPECT_EQ(DecideVerdict(stopped).iExit, kAborted);
}

TEST(RecoverVerdict, AnEndedFilespaceAndComponentShowAsAbortedNotFailed)
{
    RecoverRun run = GoodRun();
    run.filespaces[1].bResult = false;
    run.filespaces[1].bAborted = true;
    run.components[0].bFinished = false;
    run.components[0].bAborted = true;
    run.phases[3] = P(L"RestoreFilespace D:\\", L"aborted", L"User aborted");
    run.uiAbortRequests = 2;
    std::vector<std::wstring> lines = FormatRecoverSummary(run);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_NE(lines[2].find(L" restored "), std::wstring::npos) << "W: finished before the abort";
    EXPECT_NE(lines[3].find(L" aborted "), std::wstring::npos);
    EXPECT_EQ(lines[3].find(L"failed"), std::wstring::npos);
    EXPECT_NE(lines[4].find(L" aborted "), std::wstring::npos);
    EXPECT_EQ(lines[5], L"Verdict: aborted (in RestoreFilespace D:\\)");
    auto report = nlohmann::json::parse(RecoverReportJson(run));
    EXPECT_EQ(report["filespaces"][1]["result"], "aborted");
    EXPECT_EQ(report["components"][0]["result"], "aborted");
    EXPECT_EQ(report["verdict"]["exitCode"], 4);
    EXPECT_TRUE(report["verify"].is_null()) << "not asked for";

    // A filespace that failed on its own stays failed, also when an abort came later.
    run.filespaces[1].bAborted = false;
    EXPECT_NE(FormatRecoverSummary(run)[3].find(L" failed "), std::wstring::npos);
}

TEST(RecoverReport, MessageIdsComeFromTheTableWithConversionsMatchingAnyText)
{
    std::map<unsigned, std::wstring> table = {
        {145, L"Restoration of files to %s will be skipped as volume is not present"},
        {123, L"CopyFile() failed with error %u"},
        {200, L"Only %u of %u objects counted were restored to %s"},
        {117, L"Connecting to NetWorker server ..."}};
    EXPECT_EQ(MatchMessageId(L"Restoration of files to E:\\ will be skipped as volume is not present", table), 145u);
    EXPECT_EQ(MatchMessageId(L"CopyFile() failed with error 5", table), 123u);
    EXPECT_EQ(MatchMessageId(L"Only 2 of 5 objects counted were restored to D:\\", table), 200u);
    EXPECT_EQ(MatchMessageId(L"Connecting to NetWorker server ...", table), 117u);
    EXPECT_EQ(MatchMessageId(L"Connecting to NetWorker server ... now", table), 0u) << "the whole text must match";
    EXPECT_EQ(MatchMessageId(L"Something else", table), 0u);
}

TEST(RecoverCommandLine, OptionsParseAndBadOnesGiveTwo)
{
    RecoverOptions o;
    std::string sOut;
    EXPECT_EQ(ParseRecoverOptions(Args({L"--recover", L"--answer-file", L"X:\\a.ini", L"--only", L"D:\\", L"W:\\",
                                        L"--skip-system-state", L"--report", L"r.json", L"--verify", L"--abort-file",
                                        L"Z:\\tmp\\stop"}),
                                  o, sOut),
              -1)
        << sOut;
    EXPECT_EQ(o.sAnswerFile, L"X:\\a.ini");
    ASSERT_EQ(o.only.size(), 2u);
    EXPECT_EQ(o.only[1], L"W:\\");
    EXPECT_TRUE(o.bSkipSystemState && o.bVerify);
    EXPECT_EQ(o.sReport, L"r.json");
    EXPECT_EQ(o.sAbortFile, L"Z:\\tmp\\stop");
    EXPECT_FALSE(o.bPasswordGiven);

    RecoverOptions missing;
    EXPECT_EQ(ParseRecoverOptions(Args({L"--recover"}), missing, sOut), 2) << "no answer file";
    EXPECT_NE(sOut.find("--answer-file"), std::string::npos);
    RecoverOptions unknown;
    EXPECT_EQ(ParseRecoverOptions(Args({L"--recover", L"--answer-file", L"a", L"--bogus"}), unknown, sOut), 2);

    RecoverOptions help;
    EXPECT_EQ(ParseRecoverOptions(Args({L"--recover", L"--help"}), help, sOut), 0);
    for (const char* pCode : {"0  recovered", "1  failed", "2  bad input", "3  recovered with warnings", "4  aborted"})
        EXPECT_NE(sOut.find(pCode), std::string::npos) << pCode;
}
