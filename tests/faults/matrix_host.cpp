#include "tests/faults/matrix_host.h"

#include "hostapi/message_ids.h"
#include "support/vstring.h"
#include "tests/common/test_util.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace faultmatrix;

namespace
{

const wchar_t kRunCounts[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.state";
const wchar_t* const kTools[] = {L"recover.exe", L"mminfo.exe", L"nsradmin.exe", L"nsrports.exe", L"nwinstcreate.exe"};

// Tools end a moment after their output does: a short grace, then none may run.
bool NoToolLeft()
{
    for (int i = 0; i < 30; ++i) {
        bool bAny = false;
        for (const wchar_t* p : kTools)
            bAny = bAny || !testutil::ProcessesNamed(p).empty();
        if (!bAny)
            return true;
        Sleep(100);
    }
    return false;
}

} // namespace

unsigned long long MatrixSeed()
{
    static const unsigned long long ullSeed =
        SeedFrom(GetCommandLineW(), getenv("CVEX_FAULT_SEED"), GetTickCount64() ^ GetCurrentProcessId());
    return ullSeed;
}

namespace
{

// CVEX_FAULT_ROWS, when set, keeps only the rows whose fault name holds one of its texts, parted
// by '|' ("server busy|tool crashes"): to replay a failing row alone.
bool RowWanted(const Row& row)
{
    const char* pOnly = getenv("CVEX_FAULT_ROWS");
    if (!pOnly || !*pOnly)
        return true;
    const std::string sName = velmora::to_utf8(FaultName(row));
    for (std::string sAll = pOnly;;) {
        const size_t uiBar = sAll.find('|');
        if (sName.find(sAll.substr(0, uiBar)) != std::string::npos)
            return true;
        if (uiBar == std::string::npos)
            return false;
        sAll.erase(0, uiBar + 1);
    }
}

} // namespace

void MatrixHost::RunRows(const std::vector<Phase>& phases, unsigned uiMiddle)
{
    std::printf("fault matrix seed: %llu (replay with --seed %llu)\n", MatrixSeed(), MatrixSeed());
    std::fflush(stdout);
    unsigned uiRuns = 0;
    const ULONGLONG ullStart = GetTickCount64();
    for (size_t i : ShuffledOrder(Rows().size(), MatrixSeed())) {
        const Row& row = Rows()[i];
        if (std::find(phases.begin(), phases.end(), row.phase) == phases.end() || !RowWanted(row))
            continue;
        for (unsigned p = 0; p < kPositions; ++p)
            if (row.at[p].bRun) {
                RunOne(row, static_cast<Position>(p), uiMiddle);
                ++uiRuns;
            }
    }
    std::printf("%u runs in %llu s\n", uiRuns, (GetTickCount64() - ullStart) / 1000);
    EXPECT_TRUE(uiRuns > 0 || getenv("CVEX_FAULT_ROWS"));
}

bool MatrixHost::Operate(Phase phase)
{
    if (IsSystemPhase(phase)) {
        m_messages.clear();
        m_records.clear();
        return m_pPlugin->PrepareSystem();
    }
    switch (phase) {
    case Phase::Init: return Init();
    case Phase::Listing:
    case Phase::Config: return List();
    default: return Restore(L"D:\\");
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

void MatrixHost::RunOne(const Row& row, Position pos, unsigned uiMiddle)
{
    const Expect& e = row.at[pos];
    SCOPED_TRACE("seed " + std::to_string(MatrixSeed()) + ": " + velmora::to_utf8(PhaseName(row.phase)) + ", " +
                 velmora::to_utf8(FaultName(row)) + ", " + velmora::to_utf8(PositionName(pos)));
    SetFaults(FaultKnobs(row, pos, uiMiddle));
    SetServerKnobs(ServerKnobs(row, pos, uiMiddle));
    DeleteFileW(kRunCounts);
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
    EXPECT_EQ(bResult, e.bResult);
    EXPECT_EQ(WarningAndErrorIds(), e.ids);
    if (e.pLastError)
        EXPECT_TRUE(testutil::Contains(LastError(), e.pLastError)) << testing::PrintToString(LastError());
    else
        EXPECT_EQ(LastError(), sBefore);
    EXPECT_LE(ullMs, e.uiBoundSeconds * 1000ull);
    EXPECT_TRUE(NoToolLeft());
    std::printf("  %-14ls %-32ls %-10ls %5.1f s\n", PhaseName(row.phase), FaultName(row).c_str(),
                PositionName(pos).c_str(), ullMs / 1000.0);
    std::fflush(stdout);
}
