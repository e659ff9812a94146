#include "plugin/crpl_impl.h"
#include "plugin/cvex.h"
#include "tests/abi/abi_host.h"

#include <cstring>
#include <new>

using namespace rawabi;

namespace abi
{
namespace
{

// CVEX adds one member to CRPL: the pointer to its CVEXImpl, whose first base is CRPLImpl.
static_assert(sizeof(CVEX) == sizeof(CRPL) + sizeof(void*), "CVEX holds only the pointer to its implementation");

const size_t kImplSize = sizeof(CRPLImpl);

void* const* ExportedVtable(HMODULE hModule)
{
    return Export<void* const*>(hModule, kCrplImplVtable);
}

std::wstring TextOf(void* pImpl)
{
    std::wstring s;
    Slot<GetTextFn>(pImpl, kImplGetLastErrorMsg)(pImpl, s);
    return s;
}

// Fails an operation of the CRPL object so that its CRPLImpl part holds a new last error.
std::wstring FailAndRead(void* pPlugin, int iSlot)
{
    if (iSlot == kGetFilespaceList)
        Slot<ListFn>(pPlugin, iSlot)(pPlugin, nullptr);
    else
        Slot<NoArgFn>(pPlugin, iSlot)(pPlugin);
    return LastError(pPlugin);
}

void CheckCopyInto(CopyCtorFn copy, void* pMemory, void* pImpl, void* const* pVtable, const std::wstring& sWant)
{
    std::memset(pMemory, 0xCD, kImplSize);
    EXPECT_TRUE(copy(pMemory, pImpl) == pMemory) << "copy constructor returns its object";
    EXPECT_TRUE(VtableOf(pMemory) == pVtable) << "the copy has the exported table";
    EXPECT_EQ(TextOf(pMemory), sWant) << "the copy's last error";
}

} // namespace

void* ImplOf(HMODULE hModule, void* pPlugin)
{
    void* pImpl = *reinterpret_cast<void* const*>(static_cast<char*>(pPlugin) + sizeof(CRPL));
    const bool bFound = pImpl && RttiNameOfVtable(hModule, VtableOf(pImpl)) == ".?AVCVEXImpl@@";
    EXPECT_TRUE(bFound) << "CVEXImpl object behind the CRPL object";
    return bFound ? pImpl : nullptr;
}

void CheckExportedVtable(HMODULE hModule, void* pPlugin)
{
    void* const* pVtable = ExportedVtable(hModule);
    ASSERT_TRUE(pVtable != nullptr) << "exported CRPLImpl table found by its decorated name";
    CheckVtable(hModule, pVtable, kCrplImplSlots, ".?AVCRPLImpl@@");
    void* pImpl = ImplOf(hModule, pPlugin);
    for (int i = 1; pImpl && i < kCrplImplSlots; ++i) {
        SCOPED_TRACE("CVEXImpl slot " + std::to_string(i));
        EXPECT_TRUE(VtableOf(pImpl)[i] == pVtable[i]) << "inherited from CRPLImpl";
    }
}

void CheckCopies(HMODULE hModule, void* pPlugin)
{
    SCOPED_TRACE("CRPLImpl copies");
    void* pImpl = ImplOf(hModule, pPlugin);
    auto copy = Export<CopyCtorFn>(hModule, kCrplImplCopy);
    auto assign = Export<AssignFn>(hModule, kCrplImplAssign);
    void* const* pVtable = ExportedVtable(hModule);
    ASSERT_TRUE(pImpl && copy && assign && pVtable) << "exported members found";
    const std::wstring sFirst = FailAndRead(pPlugin, kGetFilespaceList);
    void* pCopy = ::operator new(kImplSize);
    CheckCopyInto(copy, pCopy, pImpl, pVtable, sFirst);
    Slot<SetTextFn>(pCopy, kImplSetLastErrorMsg)(pCopy, L"set by the host");
    EXPECT_EQ(TextOf(pCopy), L"set by the host") << "the copy's own last error";
    EXPECT_EQ(LastError(pPlugin), sFirst) << "the source keeps its last error";
    const std::wstring sSecond = FailAndRead(pPlugin, kCheckSystemState);
    EXPECT_TRUE(sSecond != sFirst) << "a second failure gives another text";
    EXPECT_TRUE(assign(pCopy, pImpl) == pCopy) << "operator= returns its object";
    EXPECT_EQ(TextOf(pCopy), sSecond) << "assigned last error";
    EXPECT_TRUE(assign(pCopy, pCopy) == pCopy) << "self-assignment returns its object";
    EXPECT_EQ(TextOf(pCopy), sSecond) << "self-assignment keeps the text";
    // The module's deleting destructor frees what the host's operator new gave.
    EXPECT_TRUE(Slot<DeletingDtorFn>(pCopy, kImplDestructor)(pCopy, 1) == pCopy) << "deleting destructor";
    alignas(16) unsigned char stack[kImplSize];
    CheckCopyInto(copy, stack, pImpl, pVtable, sSecond);
    EXPECT_TRUE(Slot<DeletingDtorFn>(stack, kImplDestructor)(stack, 0) == stack) << "destructor without freeing";
}

} // namespace abi
