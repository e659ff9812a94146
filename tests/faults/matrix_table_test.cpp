// The fault matrix's table outside a machine: the knobs each row writes, the shuffled order and
// its seed, that the restore's rows cover every text the module recognises, and that the
// document shows the table as it is. With --print-matrix the program writes the table as
// markdown instead (scripts/update-fault-matrix.sh pastes it into the document).
#include "hostapi/message_ids.h"
#include "restore/recover_literals.h"
#include "simulator/common/faults.h"
#include "support/vstring.h"
#include "support/win.h"
#include "tests/faults/fault_matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

using namespace faultmatrix;

namespace
{

const char kBegin[] = "<!-- fault matrix begin -->\n";
const char kEnd[] = "<!-- fault matrix end -->";

// A row's line as the simulated recover prints it in the middle of a restore of D:.
std::string LineOf(const Row& row)
{
    std::string s = velmora::to_utf8(row.pArgument);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        return s.substr(1, s.size() - 2);
    return nwsim::PresetLine(s, {"recover", "localhost", "winclient1", "D:\\Data\\report.txt"});
}

const Row* Find(Phase phase, Fault fault, const wchar_t* pArgument = L"")
{
    for (const Row& row : Rows())
        if (row.phase == phase && row.fault == fault && std::wstring(row.pArgument) == pArgument)
            return &row;
    return nullptr;
}

} // namespace

TEST(FaultMatrixTable, EachPhaseAndPositionWritesItsKnob)
{
    const Row* ddcl = Find(Phase::Restore, Fault::Line, L"ddcl");
    ASSERT_NE(ddcl, nullptr);
    EXPECT_EQ(FaultKnobs(*ddcl, kStart, 7), std::vector<std::wstring>{L"recover restore start say ddcl"});
    EXPECT_EQ(FaultKnobs(*ddcl, kMiddle, 7), std::vector<std::wstring>{L"recover restore object:7 say ddcl"});
    EXPECT_EQ(FaultKnobs(*ddcl, kLast, 7), std::vector<std::wstring>{L"recover restore end say ddcl"});
    Row count = *ddcl;
    count.phase = Phase::Count;
    EXPECT_EQ(FaultKnobs(count, kMiddle, 4), std::vector<std::wstring>{L"run:1 recover session object:4 say ddcl"});
    Row init = *ddcl;
    init.phase = Phase::Init;
    EXPECT_EQ(FaultKnobs(init, kMiddle, 2), std::vector<std::wstring>{L"recover session line:2 say ddcl"});
    // Init stops reading at the first prompt: its last line is the one before it.
    EXPECT_EQ(FaultKnobs(init, kLast, 2), std::vector<std::wstring>{L"recover session prompt:1 say ddcl"});
    Row listing = *ddcl;
    listing.phase = Phase::Listing;
    EXPECT_EQ(FaultKnobs(listing, kLast, 4), std::vector<std::wstring>{L"run:1 recover session end say ddcl"});
    Row config = *ddcl;
    config.phase = Phase::Config;
    EXPECT_EQ(FaultKnobs(config, kLast, 2),
              std::vector<std::wstring>{L"for:\"C:\\QERNCFG\\disrec.ini\" recover restore end say ddcl"});
    EXPECT_TRUE(ServerKnobs(*ddcl, kStart, 7).empty());

    const Row* crash = Find(Phase::Restore, Fault::Crash);
    ASSERT_NE(crash, nullptr);
    EXPECT_EQ(FaultKnobs(*crash, kMiddle, 3), std::vector<std::wstring>{L"recover restore object:3 crash"});
    const Row* drop = Find(Phase::Restore, Fault::ServerDrop);
    ASSERT_NE(drop, nullptr);
    EXPECT_TRUE(FaultKnobs(*drop, kStart, 3).empty());
    using Knobs = std::vector<std::pair<std::wstring, std::wstring>>;
    // The restore pass is recover's second session: the count's is spared.
    EXPECT_EQ(ServerKnobs(*drop, kMiddle, 9), (Knobs{{L"drop_after_lines", L"9"},
                                                     {L"drop_tool", L"recover"},
                                                     {L"drop_skip_sessions", L"1"},
                                                     {L"drop_sessions", L"1"}}));
    Row countDrop = *drop;
    countDrop.phase = Phase::Count;
    EXPECT_EQ(ServerKnobs(countDrop, kStart, 9)[2],
              (std::pair<std::wstring, std::wstring>{L"drop_skip_sessions", L"0"}));
    EXPECT_EQ(ServerKnobs(countDrop, kStart, 9)[0], (std::pair<std::wstring, std::wstring>{L"drop_after_lines", L"1"}));
}

TEST(FaultMatrixTable, TheSeedDecidesTheOrder)
{
    const std::vector<size_t> a = ShuffledOrder(50, 12345), b = ShuffledOrder(50, 12345), c = ShuffledOrder(50, 54321);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    std::vector<size_t> sorted = a;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 0; i < sorted.size(); ++i)
        EXPECT_EQ(sorted[i], i);
    EXPECT_NE(a, sorted); // shuffled at all
    EXPECT_TRUE(ShuffledOrder(0, 1).empty());

    EXPECT_EQ(SeedFrom(L"prog.exe --gtest_color=no --seed 42", "7", 99), 42u);
    EXPECT_EQ(SeedFrom(L"prog.exe --seed", "7", 99), 7u);
    EXPECT_EQ(SeedFrom(L"prog.exe --seed x", nullptr, 99), 99u);
    EXPECT_EQ(SeedFrom(L"prog.exe", "", 99), 99u);
    EXPECT_EQ(SeedFrom(L"prog.exe", "18446744073709551615", 99), 18446744073709551615ull);
}

TEST(FaultMatrixTable, TheRestoreRowsCoverEveryRecognisedText)
{
    std::set<std::string> presets;
    for (const std::string& s : nwsim::PresetNames())
        presets.insert(s);
    for (const Row& row : Rows()) {
        SCOPED_TRACE(velmora::to_utf8(PhaseName(row.phase)) + ": " + velmora::to_utf8(FaultName(row)));
        const std::string sArgument = velmora::to_utf8(row.pArgument);
        EXPECT_EQ(row.fault == Fault::Line, !sArgument.empty());
        if (row.fault == Fault::Line && sArgument.front() != '"') {
            EXPECT_EQ(presets.count(sArgument), 1u) << "not a preset of the simulated tools";
        }
        for (const Expect& e : row.at) {
            if (e.bRun && !e.bResult) {
                EXPECT_NE(e.pLastError, nullptr) << "a failure the host is not told about";
            }
        }
        EXPECT_TRUE(row.at[kStart].bRun || row.at[kMiddle].bRun || row.at[kLast].bRun) << "a row never run";
    }
    for (unsigned id = 0; id < RL_COUNT; ++id) {
        const std::wstring sLiteral = RecoverLiteralText(static_cast<RecoverLiteral>(id));
        bool bCovered = false;
        for (const Row& row : Rows())
            if (row.phase == Phase::Restore && row.fault == Fault::Line)
                bCovered = bCovered || LineOf(row).find(velmora::to_utf8(sLiteral)) != std::string::npos;
        EXPECT_TRUE(bCovered) << "no restore row prints " << velmora::to_utf8(sLiteral);
    }
    for (Fault f : {Fault::ServerDrop, Fault::ExitNonZero, Fault::Crash, Fault::Hang})
        EXPECT_NE(Find(Phase::Restore, f), nullptr);
    for (Fault f : {Fault::ServerRefuse, Fault::ServerBusy, Fault::ServerSlow, Fault::ServerDrop})
        EXPECT_NE(Find(Phase::Count, f), nullptr);
}

TEST(FaultMatrixTable, TheSystemRowsStrikeTheFirstComponentOfThePreparation)
{
    const Row* secured = Find(Phase::VssRestore, Fault::Line, L"secured_data");
    ASSERT_NE(secured, nullptr);
    EXPECT_EQ(FaultKnobs(*secured, kMiddle, 2),
              std::vector<std::wstring>{L"run:1 recover restore object:2 say secured_data"});
    EXPECT_EQ(FaultKnobs(*secured, kLast, 2), std::vector<std::wstring>{L"run:1 recover restore end say secured_data"});
    const Row* count = Find(Phase::VssCount, Fault::Line, L"not_configured");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(FaultKnobs(*count, kStart, 2),
              std::vector<std::wstring>{L"run:1 recover count start say not_configured"});
    using Knob = std::pair<std::wstring, std::wstring>;
    // The restore's session follows its count's; a count and a report are the first of their tool.
    const Row* drop = Find(Phase::LegacyRestore, Fault::ServerDrop);
    ASSERT_NE(drop, nullptr);
    EXPECT_EQ(ServerKnobs(*drop, kMiddle, 2)[2], (Knob{L"drop_skip_sessions", L"1"}));
    EXPECT_EQ(ServerKnobs(*drop, kMiddle, 2)[1], (Knob{L"drop_tool", L"recover"}));
    const Row* countDrop = Find(Phase::VssCount, Fault::ServerDrop);
    ASSERT_NE(countDrop, nullptr);
    EXPECT_EQ(ServerKnobs(*countDrop, kStart, 2)[2], (Knob{L"drop_skip_sessions", L"0"}));
    for (Phase phase : {Phase::NmmCount, Phase::DrCount}) {
        const Row* report = nullptr;
        for (const Row& row : Rows())
            if (row.phase == phase && row.bReport && row.fault == Fault::ServerDrop)
                report = &row;
        ASSERT_NE(report, nullptr);
        EXPECT_EQ(ServerKnobs(*report, kStart, 2)[1], (Knob{L"drop_tool", L"mminfo"}));
        EXPECT_EQ(ServerKnobs(*report, kStart, 2)[2], (Knob{L"drop_skip_sessions", L"0"}));
        EXPECT_EQ(FaultName(*report), L"report: server drops after N lines");
        Row exit = *report;
        exit.fault = Fault::ExitNonZero;
        EXPECT_EQ(FaultKnobs(exit, kStart, 2), std::vector<std::wstring>{L"run:1 mminfo any start exit 1"});
    }
}

TEST(FaultMatrixTable, EverySystemKindFailsWellInBothPasses)
{
    struct Kind {
        Phase count, restore;
        unsigned uiFailed;
    };
    const Kind kinds[] = {{Phase::VssCount, Phase::VssRestore, MSG_RESTORE_VSS_OTHER_FAILED},
                          {Phase::LegacyCount, Phase::LegacyRestore, MSG_RESTORE_SYSTEM_FILES_FAILED},
                          {Phase::NmmCount, Phase::NmmRestore, MSG_RESTORE_NMM_APPLICATIONS_FAILED},
                          {Phase::DrCount, Phase::DrRestore, MSG_RESTORE_DISASTER_RECOVERY_FAILED}};
    for (auto [count, restore, uiFailed] : kinds) {
        SCOPED_TRACE(velmora::to_utf8(PhaseName(restore)));
        for (Phase phase : {count, restore}) {
            EXPECT_NE(Find(phase, Fault::Crash), nullptr);
            bool bFailingText = false;
            for (const Row& row : Rows())
                bFailingText = bFailingText || (row.phase == phase && row.fault == Fault::Line && !row.at[1].bResult);
            EXPECT_TRUE(bFailingText) << velmora::to_utf8(PhaseName(phase));
        }
        EXPECT_NE(Find(restore, Fault::ExitNonZero), nullptr);
        EXPECT_NE(Find(restore, Fault::ServerDrop), nullptr);
        // A failed preparation names the component: its message is among the ids (the last one, unless
        // the other components of the store failed after it) and is the last error.
        for (const Row& row : Rows())
            for (const Expect& e : row.at)
                if ((row.phase == count || row.phase == restore) && e.bRun && !e.bResult) {
                    ASSERT_FALSE(e.ids.empty());
                    EXPECT_NE(std::find(e.ids.begin(), e.ids.end(), uiFailed), e.ids.end())
                        << velmora::to_utf8(FaultName(row));
                    ASSERT_NE(e.pLastError, nullptr);
                    EXPECT_EQ(std::wstring(e.pLastError).rfind(L"Failed to restore ", 0), 0u);
                }
    }
    // The writers' kind prints every text the system-state passes react to or pass over.
    const RecoverLiteral restoreTexts[] = {
        RL_SECURED_DATA,         RL_RECOVERING_WRITER,       RL_FILE_EXISTS_OVERWRITING,
        RL_COMPRESSED_ATTRIBUTE, RL_NOT_PROPERLY_CONFIGURED, RL_SIMULTANEOUS_RECOVERY,
        RL_RECOVER_MESSAGE};
    const RecoverLiteral countTexts[] = {RL_FILE_EXISTS_OVERWRITING, RL_COMPRESSED_ATTRIBUTE,
                                         RL_NOT_PROPERLY_CONFIGURED};
    auto printed = [](Phase phase, const std::string& sText) {
        for (const Row& row : Rows())
            if (row.phase == phase && row.fault == Fault::Line && LineOf(row).find(sText) != std::string::npos)
                return true;
        return false;
    };
    for (RecoverLiteral id : restoreTexts)
        EXPECT_TRUE(printed(Phase::VssRestore, velmora::to_utf8(RecoverLiteralText(id))))
            << velmora::to_utf8(RecoverLiteralText(id));
    for (RecoverLiteral id : countTexts)
        EXPECT_TRUE(printed(Phase::VssCount, velmora::to_utf8(RecoverLiteralText(id))))
            << velmora::to_utf8(RecoverLiteralText(id));
    EXPECT_TRUE(printed(Phase::VssRestore, "ASR: "));
}

TEST(FaultMatrixTable, TheDocumentShowsTheTable)
{
    std::ifstream in("Z:" CVEX_RELIABILITY_DOC, std::ios::binary);
    const std::string sText((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(sText.empty());
    const size_t iBegin = sText.find(kBegin), iEnd = sText.find(kEnd);
    ASSERT_NE(iBegin, std::string::npos);
    ASSERT_NE(iEnd, std::string::npos);
    const std::string sShown = sText.substr(iBegin + strlen(kBegin), iEnd - iBegin - strlen(kBegin));
    EXPECT_EQ(sShown, Markdown(Rows())) << "run scripts/update-fault-matrix.sh";
    const std::string sTable = Markdown(Rows());
    EXPECT_EQ(std::count(sTable.begin(), sTable.end(), '\n'), static_cast<long>(Rows().size() + 2));
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--print-matrix") == 0) {
            std::fputs(Markdown(Rows()).c_str(), stdout);
            return 0;
        }
    FreeConsole();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
