// The standard library registers each locale facet it creates; the registered facets are
// released when the module ends.
#include <cstdlib>
#include <locale>

namespace
{
struct FacetNode {
    FacetNode* pNext;
    std::_Facet_base* pFacet;
};
FacetNode* g_pFacets = nullptr;

void __cdecl ReleaseFacets()
{
    while (FacetNode* pNode = g_pFacets) {
        g_pFacets = pNode->pNext;
        delete pNode->pFacet->_Decref();
        delete pNode;
    }
}
} // namespace

namespace std
{
void __cdecl _Facet_Register(_Facet_base* pFacet)
{
    if (g_pFacets == nullptr)
        atexit(ReleaseFacets);
    g_pFacets = new FacetNode{g_pFacets, pFacet};
}
} // namespace std
