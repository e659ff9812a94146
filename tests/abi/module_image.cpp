#include "tests/abi/abi_host.h"
#include <cstring>

namespace abi
{
namespace
{

const IMAGE_NT_HEADERS64* NtHeaders(HMODULE hModule)
{
    auto* pBase = reinterpret_cast<const BYTE*>(hModule);
    auto* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase);
    if (pDos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(pBase + pDos->e_lfanew);
    return pNt->Signature == IMAGE_NT_SIGNATURE ? pNt : nullptr;
}

// The complete object locator of the x64 Microsoft ABI: image-relative offsets (signature 1).
struct ObjectLocator {
    DWORD dwSignature;
    DWORD dwOffset;
    DWORD dwCdOffset;
    DWORD dwTypeDescriptor;
    DWORD dwClassDescriptor;
    DWORD dwSelf;
};

// The type descriptor: its own virtual table, a spare pointer, then the decorated name.
struct TypeDescriptor {
    const void* pVtable;
    void* pSpare;
    char szName[1];
};

} // namespace

Region RegionOf(HMODULE hModule, const void* p)
{
    const IMAGE_NT_HEADERS64* pNt = hModule ? NtHeaders(hModule) : nullptr;
    if (!pNt)
        return Region::Outside;
    const auto uRva = reinterpret_cast<ULONG_PTR>(p) - reinterpret_cast<ULONG_PTR>(hModule);
    const IMAGE_SECTION_HEADER* pSection = IMAGE_FIRST_SECTION(pNt);
    for (WORD i = 0; i < pNt->FileHeader.NumberOfSections; ++i, ++pSection) {
        const DWORD dwSize = pSection->Misc.VirtualSize;
        if (uRva < pSection->VirtualAddress || uRva >= pSection->VirtualAddress + dwSize)
            continue;
        if (pSection->Characteristics & IMAGE_SCN_MEM_EXECUTE)
            return Region::Code;
        return (pSection->Characteristics & IMAGE_SCN_MEM_WRITE) ? Region::WritableData : Region::ReadOnlyData;
    }
    return Region::Outside;
}

std::string RttiNameOfVtable(HMODULE hModule, const void* const* pVtable)
{
    if (RegionOf(hModule, pVtable) != Region::ReadOnlyData || RegionOf(hModule, pVtable - 1) != Region::ReadOnlyData)
        return {};
    auto* pLocator = static_cast<const ObjectLocator*>(pVtable[-1]);
    if (RegionOf(hModule, pLocator) != Region::ReadOnlyData || pLocator->dwSignature != 1)
        return {};
    auto* pBase = reinterpret_cast<const BYTE*>(hModule);
    auto* pType = reinterpret_cast<const TypeDescriptor*>(pBase + pLocator->dwTypeDescriptor);
    if (RegionOf(hModule, pType) == Region::Outside)
        return {};
    return std::string(pType->szName, strnlen(pType->szName, 256));
}

void CheckVtable(HMODULE hModule, void* const* pVtable, int nSlots, const char* pType)
{
    SCOPED_TRACE(std::string("virtual table of ") + pType);
    EXPECT_TRUE(RegionOf(hModule, pVtable) == Region::ReadOnlyData) << "in read-only data";
    EXPECT_EQ(RttiNameOfVtable(hModule, pVtable), pType) << "type of the table";
    for (int i = 0; i < nSlots; ++i)
        EXPECT_TRUE(RegionOf(hModule, pVtable[i]) == Region::Code) << "slot " << i << " points into code";
}

} // namespace abi
