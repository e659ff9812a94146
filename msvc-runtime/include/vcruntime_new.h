// Stand-in for Visual C++'s vcruntime_new.h: the replaceable allocation operators. They are
// defined in msvc-runtime/src/new_delete.cpp over the C runtime's malloc and free.
#pragma once
#include <vcruntime.h>

#ifdef __cplusplus
extern "C++" {
#pragma pack(push, _CRT_PACKING)
namespace std
{
struct nothrow_t {
    explicit nothrow_t() = default;
};
extern nothrow_t const nothrow;
#ifdef __cpp_aligned_new
enum class align_val_t : size_t {};
#endif
} // namespace std

[[nodiscard]] __declspec(allocator) void* __cdecl operator new(size_t _Size);
[[nodiscard]] __declspec(allocator) void* __cdecl operator new(size_t _Size, std::nothrow_t const&) noexcept;
[[nodiscard]] __declspec(allocator) void* __cdecl operator new[](size_t _Size);
[[nodiscard]] __declspec(allocator) void* __cdecl operator new[](size_t _Size, std::nothrow_t const&) noexcept;
void __cdecl operator delete(void* _Block) noexcept;
void __cdecl operator delete(void* _Block, std::nothrow_t const&) noexcept;
void __cdecl operator delete[](void* _Block) noexcept;
void __cdecl operator delete[](void* _Block, std::nothrow_t const&) noexcept;
void __cdecl operator delete(void* _Block, size_t _Size) noexcept;
void __cdecl operator delete[](void* _Block, size_t _Size) noexcept;
#ifdef __cpp_aligned_new
[[nodiscard]] __declspec(allocator) void* __cdecl operator new(size_t _Size, std::align_val_t _Al);
[[nodiscard]] __declspec(allocator) void* __cdecl operator new(size_t _Size, std::align_val_t _Al,
                                                               std::nothrow_t const&) noexcept;
[[nodiscard]] __declspec(allocator) void* __cdecl operator new[](size_t _Size, std::align_val_t _Al);
[[nodiscard]] __declspec(allocator) void* __cdecl operator new[](size_t _Size, std::align_val_t _Al,
                                                                 std::nothrow_t const&) noexcept;
void __cdecl operator delete(void* _Block, std::align_val_t _Al) noexcept;
void __cdecl operator delete(void* _Block, std::align_val_t _Al, std::nothrow_t const&) noexcept;
void __cdecl operator delete[](void* _Block, std::align_val_t _Al) noexcept;
void __cdecl operator delete[](void* _Block, std::align_val_t _Al, std::nothrow_t const&) noexcept;
void __cdecl operator delete(void* _Block, size_t _Size, std::align_val_t _Al) noexcept;
void __cdecl operator delete[](void* _Block, size_t _Size, std::align_val_t _Al) noexcept;
#endif

#ifndef __PLACEMENT_NEW_INLINE
#define __PLACEMENT_NEW_INLINE
[[nodiscard]] inline void* __cdecl operator new(size_t, void* _Where) noexcept
{
    return _Where;
}
inline void __cdecl operator delete(void*, void*) noexcept {}
#endif
#ifndef __PLACEMENT_VEC_NEW_INLINE
#define __PLACEMENT_VEC_NEW_INLINE
[[nodiscard]] inline void* __cdecl operator new[](size_t, void* _Where) noexcept
{
    return _Where;
}
inline void __cdecl operator delete[](void*, void*) noexcept {}
#endif
#pragma pack(pop)
}
#endif
