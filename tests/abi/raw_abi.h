// The module's binary interface as a host built by another compiler sees it: the slot numbers of
// its virtual tables, a function-pointer type per slot (x64: the object in rcx, then the
// arguments) and the decorated names of its exported members. Nothing here calls through the
// project's class declarations.
#pragma once
#include "hostapi/host_types.h"

#include <string>

namespace rawabi
{

// The CRPL object that Factory returns.
enum CrplSlot : int {
    kDestructor = 0,
    kGetLastErrorMsg = 1,
    kSetLogMsgCallbackFn = 2,
    kSetProgMsgCallbackFn = 3,
    kHasCapability = 4,
    kGetModuleProperty = 5,
    kInit = 6,
    kFini = 7,
    kGetFilespaceList = 8,
    kRestoreFilespace = 15,
    kPrepareSystem = 18,
    kCheckSystemState = 19,
    kCrplSlots = 23,
};
// The slots that do nothing and answer true.
inline constexpr int kUnusedSlots[] = {9, 10, 11, 12, 13, 14, 16, 17, 20, 21, 22};

// The credentials object that CredentialsFactory returns.
enum CredentialsSlot : int {
    kCredDestructor = 0,
    kSetDefaults = 1,
    kCheck = 2,
    kGetCredentialsFromAnsFile = 3,
    kSetAnsFileFromCredentials = 4,
    kCredentialsSlots = 5,
};

// The exported CRPLImpl virtual table.
enum CrplImplSlot : int {
    kImplDestructor = 0,
    kImplGetLastErrorMsg = 1,
    kImplSetLastErrorMsg = 2,
    kCrplImplSlots = 7,
};

// Scalar deleting destructor: flags bit 0 frees the memory; returns the object's address.
using DeletingDtorFn = void* (*)(void* self, unsigned flags);
using GetTextFn = void (*)(void* self, std::wstring& out);
using SetTextFn = void (*)(void* self, const wchar_t* text);
using SetLogFn = void (*)(void* self, LogMsgCallbackFn fn, void* context);
using SetProgFn = void (*)(void* self, ProgMsgCallbackFn fn, void* context);
using HasCapabilityFn = bool (*)(void* self, int capability);
using PropertyFn = unsigned (*)(void* self, unsigned id, std::wstring& out);
using InitFn = bool (*)(void* self, void* credentials);
using FiniFn = bool (*)(void* self, bool hardReset);
using ListFn = bool (*)(void* self, FileSpaceList* list);
using RestoreFn = bool (*)(void* self, FileSpace* fileSpace);
using NoArgFn = bool (*)(void* self);
using VoidFn = void (*)(void* self);
// The module's own string type derives from std::wstring and adds nothing to its layout.
using PathFn = bool (*)(void* self, const std::wstring& path);
using CopyCtorFn = void* (*)(void* self, const void* other);
using AssignFn = void* (*)(void* self, const void* other);
using CompareFn = bool (*)(const void* self, const void* other);
using FactoryFn = void* (*)();

inline constexpr char kCrplImplCopy[] = "??0CRPLImpl@@QEAA@AEBV0@@Z";
inline constexpr char kCrplImplAssign[] = "??4CRPLImpl@@QEAAAEAV0@AEBV0@@Z";
inline constexpr char kCrplImplVtable[] = "??_7CRPLImpl@@6B@";
inline constexpr char kCredentialsAssign[] = "??4CvexCredentials@@QEAAAEAV0@AEBV0@@Z";
inline constexpr char kCredentialsEqual[] = "??8CvexCredentials@@QEBA_NAEBV0@@Z";
inline constexpr char kCredentialsUnequal[] = "??9CvexCredentials@@QEBA_NAEBV0@@Z";

inline void* const* VtableOf(const void* object)
{
    return *static_cast<void* const* const*>(object);
}

template <typename Fn> Fn Slot(const void* object, int index)
{
    return reinterpret_cast<Fn>(VtableOf(object)[index]);
}

template <typename Fn> Fn Export(HMODULE hModule, const char* pName)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(hModule, pName)));
}

} // namespace rawabi
