// Byte counts that saturate instead of wrapping around: the memory a run
// would need is added up from sizes that may be absurd (a grid of 2^29
// frequencies, a light curve of 10^12 points), and a figure too large to
// hold must read as more than any memory, never as a small number.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <limits>

namespace numerics {

// The largest byte count: "more than any memory".
inline constexpr std::size_t most_bytes = std::numeric_limits<std::size_t>::max();

// a + b, or most_bytes when the sum does not fit.
constexpr std::size_t add_sizes(std::size_t a, std::size_t b) { return a > most_bytes - b ? most_bytes : a + b; }

// a * b, or most_bytes when the product does not fit.
constexpr std::size_t multiply_sizes(std::size_t a, std::size_t b)
{
    return b != 0 && a > most_bytes / b ? most_bytes : a * b;
}

// The sum of the sizes, saturating.
constexpr std::size_t sum_sizes(std::initializer_list<std::size_t> sizes)
{
    std::size_t total = 0;
    for (std::size_t s : sizes) total = add_sizes(total, s);
    return total;
}

}  // namespace numerics
