#include "numerics/large_memory.hpp"

#include <sys/mman.h>

#include <cstdlib>

namespace numerics {

namespace {

constexpr std::size_t huge_page = huge_page_bytes;
constexpr std::size_t cache_line = 64;

std::size_t rounded_up(std::size_t bytes, std::size_t to) { return (bytes + to - 1) / to * to; }

}  // namespace

void* allocate_large(std::size_t bytes)
{
    if (bytes > static_cast<std::size_t>(-1) - huge_page) throw std::bad_alloc();
    const std::size_t alignment = bytes >= huge_page ? huge_page : cache_line;
    const std::size_t size = rounded_up(bytes == 0 ? 1 : bytes, alignment);
    void* memory = std::aligned_alloc(alignment, size);
    if (!memory) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    // Advice only: where it is refused the memory is used as it is.
    if (alignment == huge_page) madvise(memory, size, MADV_HUGEPAGE);
#endif
    return memory;
}

void free_large(void* memory) noexcept { std::free(memory); }

}  // namespace numerics
