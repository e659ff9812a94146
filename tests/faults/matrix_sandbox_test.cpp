// The fault matrix's rows of Init, the listing, the configuration retrieval and the two passes of
// a filespace restore, run inside a sandbox machine that restores D: from the restore tests'
// standard store.
#include "tests/faults/matrix_host.h"

using namespace faultmatrix;

namespace
{

class FaultMatrix : public MatrixHost, public testing::WithParamInterface<Phase>
{
};

} // namespace

// Each phase after a fresh Init (but Init's own rows) and a clean listing to compare with.
TEST_P(FaultMatrix, EveryRowOfThePhase)
{
    const Phase phase = GetParam();
    const bool bPasses = phase == Phase::Count || phase == Phase::Restore;
    if (phase != Phase::Init) {
        ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
        TakeCleanListing();
    }
    // The middle of a pass is its middle object; of the listing, a line within the answer to
    // "ll -S"; of the other sessions, the line before the banner.
    const unsigned uiMiddle = bPasses                   ? sandboxtest::TotalsOf(L"standard", L"D:\\").uiObjects / 2 + 1
                              : phase == Phase::Listing ? 4
                                                        : 2;
    RunRows({phase}, uiMiddle);
}

INSTANTIATE_TEST_SUITE_P(Phases, FaultMatrix,
                         testing::Values(Phase::Init, Phase::Listing, Phase::Config, Phase::Count, Phase::Restore));
