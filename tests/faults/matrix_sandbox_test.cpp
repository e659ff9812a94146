// The fault matrix run inside a sandbox machine: every row of a phase, in an order shuffled
// from a seed, each at the positions it names. Each run checks the operation's result, the
// warnings and errors the host received, the last-error text, the time it took, and that no
// tool process was left behind.
#include "hostapi/message_ids.h"
#include "tests/common/test_util.h"
#include "tests/faults/fault_matrix.h"
#include "tests/restore/restore_host.h"

#include <cstdio>
#include <cstdlib>

using namespace faultmatrix;

namespace
{

const wchar_t kRunCounts[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\nwsim.state";
const wchar_t* const kTools[] = {L"recover.exe", L"mminfo.exe", L"nsradmin.exe", L"nsrports.exe", L"nwinstcreate.exe"};

unsigned long long Seed()
{
    static const unsigned long long ullSeed =
        SeedFrom(GetCommandLineW(), getenv("CVEX_FAULT_SEED"), GetTickCount64() ^ GetCurrentProcessId());
    return ullSeed;
}

std::string Narrow(const std::wstring& s)
{
    return std::string(s.begin(), s.end());
}

class FaultMatrix : public RestoreHost
{
protected:
    void RunPhase(Phase phase)
    {
        std::printf("fault matrix seed: %llu (replay with --seed %llu)\n", Seed(), Seed());
        std::fflush(stdout);
        const bool bPasses = phase == Phase::Count || phase == Phase::Restore;
        if (phase != Phase::Init) {
            ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
        }
        if (bPasses) {
            ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        }
        // The middle of a pass is its middle object; of the listing, a line within the answer to
        // "ll -S"; of the other sessions, the line before the banner.
        const unsigned uiMiddle = bPasses ? restoretest::TotalsOf(L"standard", L"D:\\").uiObjects / 2 + 1
                                  : phase == Phase::Listing ? 4
                                                            : 2;
        unsigned uiRuns = 0;
        const ULONGLONG ullStart = GetTickCount64();
        for (size_t i : ShuffledOrder(Rows().size(), Seed())) {
            const Row& row = Rows()[i];
            if (row.phase != phase)
                continue;
            for (unsigned p = 0; p < kPositions; ++p)
                if (row.at[p].bRun) {
                    RunOne(row, static_cast<Position>(p), uiMiddle);
                    ++uiRuns;
                }
        }
        std::printf("%u runs of %ls in %llu s\n", uiRuns, PhaseName(phase), (GetTickCount64() - ullStart) / 1000);
        EXPECT_GT(uiRuns, 0u);
    }

private:
    bool Operate(Phase phase)
    {
        switch (phase) {
        case Phase::Init: return Init();
        case Phase::Listing:
        case Phase::Config: return List();
        default: return Restore(L"D:\\");
        }
    }

    std::vector<unsigned> WarningAndErrorIds()
    {
        std::vector<unsigned> ids = MessageIds(), out;
        for (size_t i = 0; i < ids.size(); ++i)
            if (m_messages[i].uiLevel >= ML_WARNING)
                out.push_back(ids[i]);
        return out;
    }

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

    void RunOne(const Row& row, Position pos, unsigned uiMiddle)
    {
        const Expect& e = row.at[pos];
        SCOPED_TRACE("seed " + std::to_string(Seed()) + ": " + Narrow(PhaseName(row.phase)) + ", " +
                     Narrow(FaultName(row)) + ", " + Narrow(PositionName(pos)));
        SetFaults(FaultKnobs(row, pos, uiMiddle));
        SetServerKnobs(ServerKnobs(row, pos, uiMiddle));
        DeleteFileW(kRunCounts);
        // Init starts by clearing the last error, and so does the configuration's copy into place
        // (reached only when the listing and the fetch worked); the restore leaves it as it was.
        const bool bListing = row.phase == Phase::Config || row.phase == Phase::Listing;
        const bool bClears = row.phase == Phase::Init || (bListing && e.bResult);
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
};

} // namespace

TEST_F(FaultMatrix, Init)
{
    RunPhase(Phase::Init);
}

TEST_F(FaultMatrix, Listing)
{
    RunPhase(Phase::Listing);
}

TEST_F(FaultMatrix, Configuration)
{
    RunPhase(Phase::Config);
}

TEST_F(FaultMatrix, CountPass)
{
    RunPhase(Phase::Count);
}

TEST_F(FaultMatrix, RestorePass)
{
    RunPhase(Phase::Restore);
}
