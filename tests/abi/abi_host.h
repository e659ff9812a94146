// The ABI host's cases. The host drives CVEX.DLL only through GetProcAddress and the raw virtual
// tables (raw_abi.h); each case checks with GoogleTest's assertions.
#pragma once
#include "tests/abi/raw_abi.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace abi
{

// Host text lengths on both sides of the standard library's inline buffer (7 characters) and of
// its 4096-byte aligned-block rule (2047/2048).
inline constexpr size_t kLengths[] = {0, 7, 8, 2047, 2048, 5000};
// A text of n characters that differs at every position for another seed; every 97th character
// is outside ASCII, so that a narrowing copy shows.
std::wstring Pattern(size_t nChars, unsigned uiSeed);
std::string LengthName(size_t nChars);

// A record whose every field depends on the seed; the name has n characters ("D:\..." from 3 on).
FileSpace MakeFileSpace(size_t nNameChars, unsigned uiSeed);
bool Same(const FileSpace& a, const FileSpace& b);
// n records with names of every test length in turn, the vector's capacity exactly n: whatever
// the module appends makes it reallocate the host's buffer.
FileSpaceList Prefilled(size_t n);
// The first n records are still what Prefilled(n) made.
void CheckPrefilled(const FileSpaceList& list, size_t n);

// The host's side of the log and progress callbacks: what the module reported.
struct HostChannel {
    static constexpr unsigned kMagic = 0xAB1C0DE5;
    std::vector<std::pair<unsigned, std::wstring>> messages; // level, text
    unsigned uiMagic = kMagic;                               // tells a context the module handed back wrongly

    void Attach(void* pPlugin); // through the CRPL object's slots 2 and 3
    // The text of the newest level 3 (error) message; empty when there was none.
    std::wstring LastErrorMessage() const;
};
// Callbacks that came with a context that is no HostChannel (the module mixed up arguments).
int BadContextCalls();

// Where an address lies in the loaded module, from its PE section headers.
enum class Region { Outside, Code, ReadOnlyData, WritableData };
Region RegionOf(HMODULE hModule, const void* p);
// The decorated type name (".?AVCVEX@@") that the virtual table's complete object locator names;
// empty when the table or its locator does not lie in the module's read-only data.
std::string RttiNameOfVtable(HMODULE hModule, const void* const* pVtable);
// The table lies in the module's read-only data, names the type, and every slot points into code.
void CheckVtable(HMODULE hModule, void* const* pVtable, int nSlots, const char* pType);

// The CRPL object, each slot called by its number.
std::wstring LastError(void* pPlugin);
// The operation failed, its reason is the last error, and the log callback got it at level 3.
void CheckFailureReported(void* pPlugin, bool bRc, const HostChannel& channel);
// A new object: "No error" into host strings of every length, the unused slots, the capabilities.
void CheckFreshPlugin(void* pPlugin);
// Properties 1 to 3 written into (or, for 3, left in) host strings of every length.
void CheckProperties(void* pPlugin);
// Without a session every operation fails, tells why through the log callback and the last
// error, and Fini clears that again.
void CheckOperationsFailBeforeInit(void* pPlugin, void* pCredentials, HostChannel& channel);

// The credentials object: the answer-file slots, then copies and comparisons of names of every length.
void CheckCopiesAndComparisons(HMODULE hModule, rawabi::FactoryFn credentialsFactory, const std::wstring& sFolder);
// Init copies the host's names of every length and refuses the set for want of a client name.
void CheckInitTakesHostNames(void* pPlugin, rawabi::FactoryFn credentialsFactory, HostChannel& channel);

// The exported CRPLImpl members. Its default constructor is not exported, so the only CRPLImpl a
// host can copy is the one inside the module's object behind Factory's CRPL.
// The exported table: read-only data, code pointers, CRPLImpl's type; the object's own table
// shares every slot but the destructor.
void CheckExportedVtable(HMODULE hModule, void* pPlugin);
// Copies into host memory (heap and stack), assignment both ways, destruction through slot 0.
void CheckCopies(HMODULE hModule, void* pPlugin);

} // namespace abi
