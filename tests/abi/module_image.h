// Where an address lies in a loaded module, from its PE section headers, and the run-time type
// name that the Microsoft ABI places in front of every virtual table.
#pragma once
#include "support/win.h"

#include <string>

namespace abiimage
{

enum class Region { Outside, Code, ReadOnlyData, WritableData };

Region RegionOf(HMODULE hModule, const void* p);
const char* RegionName(Region region);

// The decorated type name (".?AVCVEX@@") that the virtual table's complete object locator names;
// empty when the table or its locator does not lie in the module's read-only data.
std::string RttiNameOfVtable(HMODULE hModule, const void* const* pVtable);

} // namespace abiimage
