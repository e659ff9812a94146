#include "tests/faults/matrix_host.h"

#include "hostapi/message_ids.h"
#include "support/vstring.h"
#include "tests/common/test_util.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <iterator>

using namespace faultmatrix;

namespace
{

// Tools end a moment after their output does: a short grace, then none may run (the daemon,
// which runs from Init to Fini, aside).
bool NoToolLeft()
{
    const wchar_t* const kTools[] = {L"recover.exe", L"mminfo.exe", L"nsradmin.exe", L"nsrports.exe",
                                     L"nwinstcreate.exe"};
    for (int i = 0; i < 30; ++i) {
        if (std::all_of(std::begin(kTools), std::end(kTools),
                        [](const wchar_t* p) { return testutil::ProcessesNamed(p).empty(); }))
            return true;
        Sleep(100);
    }
    return false;
}

std::wstring Lower(std::wstring s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return s;
}

// The simulator's firing record of this row's run: a line per firing of a tool's or the server's knob.
std::wstring FiringRecord()
{
    std::ifstream in((std::wstring(sandboxtest::kBin) + L"nwsim.fired").c_str(), std::ios::binary);
    return Lower(velmora::widen(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())));
}

// CVEX_FAULT_ROWS, when set, keeps only the rows whose fault name holds one of its texts, parted
// by '|' ("server busy|tool crashes"): to replay a failing row alone.
bool RowWanted(const Row& row, const std::string& sOnly)
{
    const std::string sName = velmora::to_utf8(FaultName(row));
    for (std::string sAll = sOnly;;) {
        const size_t uiBar = sAll.find('|');
        if (sName.find(sAll.substr(0, uiBar)) != std::string::npos)
            return true;
        if (uiBar == std::string::npos)
            return false;
        sAll.erase(0, uiBar + 1);
    }
}

std::vector<std::wstring> Names(const FileSpaceList& list)
{
    std::vector<std::wstring> names;
    for (const FileSpace& fs : list)
        names.push_back(fs.sFsName);
    return names;
}

} // namespace

unsigned long long MatrixSeed()
{
    static const unsigned long long ullSeed =
        SeedFrom(GetCommandLineW(), getenv("CVEX_FAULT_SEED"), GetTickCount64() ^ GetCurrentProcessId());
    return ullSeed;
}

void MatrixHost::TakeCleanListing()
{
    ASSERT_TRUE(List()) << testing::PrintToString(LastError());
    m_cleanListing = Names(m_list);
    ASSERT_FALSE(m_cleanListing.empty());
    for (const std::wstring& sName : m_cleanListing)
        EXPECT_GT(sandboxtest::TotalsOf(m_sStore, sName).uiObjects, 0u) << "not in the store: " << sName;
}

void MatrixHost::RunRows(const std::vector<Phase>& phases, unsigned uiMiddle)
{
    std::printf("fault matrix seed: %llu (replay with --seed %llu)\n", MatrixSeed(), MatrixSeed());
    std::fflush(stdout);
    const char* pOnly = getenv("CVEX_FAULT_ROWS");
    ASSERT_TRUE(!pOnly || *pOnly) << "CVEX_FAULT_ROWS is set but empty";
    unsigned uiRuns = 0;
    const ULONGLONG ullStart = GetTickCount64();
    for (size_t i : ShuffledOrder(Rows().size(), MatrixSeed())) {
        const Row& row = Rows()[i];
        if (std::find(phases.begin(), phases.end(), row.phase) == phases.end() || (pOnly && !RowWanted(row, pOnly)))
            continue;
        for (unsigned p = 0; p < kPositions; ++p)
            if (row.at[p].bRun) {
                RunOne(row, static_cast<Position>(p), uiMiddle);
                ++uiRuns;
            }
    }
    std::printf("%u runs in %llu s\n", uiRuns, (GetTickCount64() - ullStart) / 1000);
    // A filtered replay may leave a phase without rows, but never the whole table.
    if (pOnly)
        EXPECT_TRUE(std::any_of(Rows().begin(), Rows().end(), [&](const Row& row) { return RowWanted(row, pOnly); }))
            << "no row matches CVEX_FAULT_ROWS";
    else
        EXPECT_GT(uiRuns, 0u) << "no row of these phases";
}

bool MatrixHost::Operate(Phase phase)
{
    if (IsSystemPhase(phase)) {
        // A failed writer's component may leave its staging folder; each run is matched alone.
        testutil::RemoveTree(L"W:\\TEMP\\nsr_recover");
        m_messages.clear();
        m_records.clear();
        return m_pPlugin->PrepareSystem();
    }
    switch (phase) {
    case Phase::Init: return Init();
    case Phase::Listing:
    case Phase::Config: return List();
    default: ClearDrive(L'D'); return Restore(L"D:\\");
    }
}

std::vector<unsigned> MatrixHost::WarningAndErrorIds()
{
    std::vector<unsigned> ids = MessageIds(), out;
    for (size_t i = 0; i < ids.size(); ++i)
        if (m_messages[i].uiLevel >= ML_WARNING)
            out.push_back(ids[i]);
    return out;
}

void MatrixHost::ExpectFired(const Row& row, Position pos, unsigned uiMiddle)
{
    const std::wstring sRecord = FiringRecord();
    for (const std::wstring& sKnob : FaultKnobs(row, pos, uiMiddle))
        EXPECT_NE(sRecord.find(Lower(L" = " + sKnob + L"\r\n")), std::wstring::npos) << "did not fire: " << sKnob;
    for (const auto& [sKey, sValue] : ServerKnobs(row, pos, uiMiddle))
        if (sKey == L"refuse" || sKey == L"busy" || sKey == L"delay_seconds" || sKey == L"drop_after_lines")
            EXPECT_NE(sRecord.find(L"server " + sKey + L"\r\n"), std::wstring::npos) << "did not fire: " << sKey;
}

void MatrixHost::ExpectCameBack(Phase phase)
{
    if (phase == Phase::Count || phase == Phase::Restore) {
        EXPECT_VERIFIED(L'D', {L"--filespace", L"D:\\"});
    } else if (phase == Phase::Listing || phase == Phase::Config) {
        EXPECT_EQ(Names(m_list), m_cleanListing);
    } else if (IsSystemPhase(phase)) {
        std::vector<std::wstring> args = {L"--system-state"};
        for (wchar_t wc : {L'W', L'D', L'S'})
            args.insert(args.end(), {L"--drive", std::wstring(1, wc) + L"=" + LinuxDriveFolder(wc)});
        const std::wstring sVerdict = RunStoreVerifier(args);
        EXPECT_TRUE(sVerdict.empty()) << testing::PrintToString(sVerdict);
    }
}

void MatrixHost::RunOne(const Row& row, Position pos, unsigned uiMiddle)
{
    const Expect& e = row.at[pos];
    SCOPED_TRACE("seed " + std::to_string(MatrixSeed()) + ": " + velmora::to_utf8(PhaseName(row.phase)) + ", " +
                 velmora::to_utf8(FaultName(row)) + ", " + velmora::to_utf8(PositionName(pos)));
    SetFaults(FaultKnobs(row, pos, uiMiddle));
    SetServerKnobs(ServerKnobs(row, pos, uiMiddle));
    for (const wchar_t* p : {L"nwsim.state", L"nwsim.fired"})
        DeleteFileW((std::wstring(sandboxtest::kBin) + p).c_str());
    // Init starts by clearing the last error, and so does the configuration's copy into place
    // (reached only when the listing and the fetch worked, or at the end of a preparation that
    // worked); the restore leaves it as it was.
    const bool bCopies = row.phase == Phase::Config || row.phase == Phase::Listing || IsSystemPhase(row.phase);
    const bool bClears = row.phase == Phase::Init || (bCopies && e.bResult);
    const std::wstring sBefore = bClears ? L"No error" : LastError();
    const ULONGLONG ullStart = GetTickCount64();
    const bool bResult = Operate(row.phase);
    const ULONGLONG ullMs = GetTickCount64() - ullStart;
    SetFaults({});
    SetServerKnobs({});
    ExpectFired(row, pos, uiMiddle);
    EXPECT_EQ(bResult, e.bResult);
    EXPECT_EQ(WarningAndErrorIds(), e.ids);
    if (e.pLastError)
        EXPECT_TRUE(testutil::Contains(LastError(), e.pLastError)) << testing::PrintToString(LastError());
    else
        EXPECT_EQ(LastError(), sBefore);
    EXPECT_LE(ullMs, e.uiBoundSeconds * 1000ull);
    EXPECT_TRUE(NoToolLeft());
    // Warning 201 tells the host a component came back short: the store is not matched then.
    const bool bShort = std::find(e.ids.begin(), e.ids.end(), MSG_COMPONENT_INCOMPLETE) != e.ids.end();
    if (bResult && e.bResult && !bShort)
        ExpectCameBack(row.phase);
    std::printf("  %-14ls %-32ls %-10ls %5.1f s\n", PhaseName(row.phase), FaultName(row).c_str(),
                PositionName(pos).c_str(), ullMs / 1000.0);
    std::fflush(stdout);
}
