// The fault matrix's rows of PrepareSystem, inside a sandbox machine whose Windows volume is W:.
// Each kind has a store of its own that holds one component of that kind (the NMM store all
// three NMM savesets, which the listing finds only together), so that a preparation runs few
// tools. One Init serves every kind; each kind's rows run after a listing of its store, the
// kinds and the rows within each in the seed's order.
#include "tests/faults/matrix_host.h"

#include <cstdio>
#include <iterator>

using namespace faultmatrix;

namespace
{

struct KindStore {
    const wchar_t* pStore;
    const wchar_t* pSaveset; // the component whose objects give the middle position
    Phase count;
    Phase restore;
};

const KindStore kKinds[] = {
    {L"vss", L"VSS OTHER:\\", Phase::VssCount, Phase::VssRestore},
    {L"legacy", L"SYSTEM FILES:\\", Phase::LegacyCount, Phase::LegacyRestore},
    {L"nmm", L"APPLICATIONS:\\Microsoft SQL Server, Default Instance", Phase::NmmCount, Phase::NmmRestore},
    {L"dr", L"OSSR_D_", Phase::DrCount, Phase::DrRestore},
};

class SystemMatrix : public MatrixHost
{
protected:
    void RunKind(const KindStore& kind)
    {
        std::printf("kind: %ls\n", kind.pStore);
        UseStore(kind.pStore);
        TakeCleanListing();
        const unsigned uiObjects = sandboxtest::TotalsOf(kind.pStore, kind.pSaveset).uiObjects;
        ASSERT_GE(uiObjects, 2u) << "a component with a middle object";
        RunRows({kind.count, kind.restore}, uiObjects / 2 + 1);
    }
};

} // namespace

TEST_F(SystemMatrix, EveryKind)
{
    const std::vector<size_t> order = ShuffledOrder(std::size(kKinds), MatrixSeed());
    UseStore(kKinds[order.front()].pStore);
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    for (size_t i : order)
        RunKind(kKinds[i]);
}
