// The replaceable allocation operators over the C runtime's malloc and free, so that a block
// made in this module can be freed by the host and the other way round (both use ucrtbase.dll).
#include <malloc.h>
#include <new>
#include <stdint.h>
#include <stdlib.h>

extern "C" int __cdecl _callnewh(size_t size);

namespace
{
void* AllocateOrThrow(size_t size)
{
    for (;;) {
        if (void* p = malloc(size == 0 ? 1 : size))
            return p;
        if (_callnewh(size) == 0) {
            if (size == SIZE_MAX)
                throw std::bad_array_new_length();
            throw std::bad_alloc();
        }
    }
}

void* AllocateAlignedOrThrow(size_t size, std::align_val_t al)
{
    for (;;) {
        if (void* p = _aligned_malloc(size == 0 ? 1 : size, static_cast<size_t>(al)))
            return p;
        if (_callnewh(size) == 0)
            throw std::bad_alloc();
    }
}
} // namespace

namespace std
{
nothrow_t const nothrow{};
}

void* __cdecl operator new(size_t size)
{
    return AllocateOrThrow(size);
}
void* __cdecl operator new[](size_t size)
{
    return AllocateOrThrow(size);
}
void* __cdecl operator new(size_t size, std::nothrow_t const&) noexcept
{
    try {
        return AllocateOrThrow(size);
    } catch (...) {
        return nullptr;
    }
}
void* __cdecl operator new[](size_t size, std::nothrow_t const& tag) noexcept
{
    return operator new(size, tag);
}
void __cdecl operator delete(void* p) noexcept
{
    free(p);
}
void __cdecl operator delete[](void* p) noexcept
{
    free(p);
}
void __cdecl operator delete(void* p, std::nothrow_t const&) noexcept
{
    free(p);
}
void __cdecl operator delete[](void* p, std::nothrow_t const&) noexcept
{
    free(p);
}
void __cdecl operator delete(void* p, size_t) noexcept
{
    free(p);
}
void __cdecl operator delete[](void* p, size_t) noexcept
{
    free(p);
}

void* __cdecl operator new(size_t size, std::align_val_t al)
{
    return AllocateAlignedOrThrow(size, al);
}
void* __cdecl operator new[](size_t size, std::align_val_t al)
{
    return AllocateAlignedOrThrow(size, al);
}
void* __cdecl operator new(size_t size, std::align_val_t al, std::nothrow_t const&) noexcept
{
    try {
        return AllocateAlignedOrThrow(size, al);
    } catch (...) {
        return nullptr;
    }
}
void* __cdecl operator new[](size_t size, std::align_val_t al, std::nothrow_t const& tag) noexcept
{
    return operator new(size, al, tag);
}
void __cdecl operator delete(void* p, std::align_val_t) noexcept
{
    _aligned_free(p);
}
void __cdecl operator delete[](void* p, std::align_val_t) noexcept
{
    _aligned_free(p);
}
void __cdecl operator delete(void* p, std::align_val_t, std::nothrow_t const&) noexcept
{
    _aligned_free(p);
}
void __cdecl operator delete[](void* p, std::align_val_t, std::nothrow_t const&) noexcept
{
    _aligned_free(p);
}
void __cdecl operator delete(void* p, size_t, std::align_val_t) noexcept
{
    _aligned_free(p);
}
void __cdecl operator delete[](void* p, size_t, std::align_val_t) noexcept
{
    _aligned_free(p);
}
