// Memory for the large arrays of a star: the fine grids of the spectrum's
// FFT (hundreds of megabytes at 10^6 points), its per-frequency factors and
// per-point kernel tables.  From 2 MiB up it is taken aligned to the huge
// pages of the processor and the system is advised to back it with them
// (transparent huge pages), so that the first touch of the memory costs a
// page fault per 2 MiB instead of per 4 KiB, and the FFT's passes over it
// miss the address cache less.  Where the system gives no huge pages, the
// memory is ordinary memory.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace numerics {

// From this size up, memory is taken on huge pages.
inline constexpr std::size_t huge_page_bytes = std::size_t{2} << 20;

// allocate_large: memory for `bytes` bytes, aligned to 64 bytes at least;
// throws std::bad_alloc when there is none.  Freed with free_large.
void* allocate_large(std::size_t bytes);
void free_large(void* memory) noexcept;

// The allocator of containers of large arrays.
template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept
    {
    }
    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(allocate_large(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t) noexcept { free_large(p); }
    template <class U>
    bool operator==(const LargeAllocator<U>&) const noexcept
    {
        return true;
    }
};

template <class T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

}  // namespace numerics
