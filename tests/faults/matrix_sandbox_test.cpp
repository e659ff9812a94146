// The fault matrix's rows of Init, the listing, the configuration retrieval and the two passes of
// a filespace restore, run inside a sandbox machine that restores D: from the restore tests'
// standard store.
#include "tests/faults/matrix_host.h"

using namespace faultmatrix;

namespace
{

class FaultMatrix : public MatrixHost
{
protected:
    void RunPhase(Phase phase)
    {
        const bool bPasses = phase == Phase::Count || phase == Phase::Restore;
        if (phase != Phase::Init) {
            ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
        }
        if (phase != Phase::Init) {
            TakeCleanListing();
        }
        // The middle of a pass is its middle object; of the listing, a line within the answer to
        // "ll -S"; of the other sessions, the line before the banner.
        const unsigned uiMiddle = bPasses ? sandboxtest::TotalsOf(L"standard", L"D:\\").uiObjects / 2 + 1
                                  : phase == Phase::Listing ? 4
                                                            : 2;
        RunRows({phase}, uiMiddle);
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
