// Cases of the exported CRPLImpl members: its virtual table (data), copy constructor and copy
// assignment. CRPLImpl's default constructor is not exported, so the only CRPLImpl a host can
// copy is the one inside the module's own object behind Factory's CRPL.
#pragma once
#include "support/win.h"

namespace abiimpl
{

// The CRPLImpl part of the object that Factory returned; null when it is not where the class
// declarations put it.
void* ImplOf(HMODULE hModule, void* pPlugin);
// The exported table: in the module's read-only data, code pointers, CRPLImpl's type; the
// object's own table shares every slot but the destructor.
void CheckExportedVtable(HMODULE hModule, void* pPlugin);
// Copies into host memory (heap and stack), assignment both ways, destruction through slot 0.
void CheckCopies(HMODULE hModule, void* pPlugin);

} // namespace abiimpl
