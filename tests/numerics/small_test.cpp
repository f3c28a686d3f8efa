// The small pieces of the numerics: byte counts that saturate, the memory
// of large arrays, medians, and the text of numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include "numerics/large_memory.hpp"
#include "numerics/median.hpp"
#include "numerics/sizes.hpp"
#include "numerics/text.hpp"

namespace {

TEST(Sizes, SaturateInsteadOfWrapping)
{
    using numerics::most_bytes;
    EXPECT_EQ(numerics::add_sizes(2, 3), 5u);
    EXPECT_EQ(numerics::add_sizes(most_bytes - 1, 2), most_bytes);
    EXPECT_EQ(numerics::multiply_sizes(most_bytes / 2, 3), most_bytes);
    EXPECT_EQ(numerics::multiply_sizes(0, most_bytes), 0u);
    EXPECT_EQ(numerics::sum_sizes({most_bytes / 2, most_bytes / 2, 5}), most_bytes);
}

TEST(LargeMemory, AlignedUsableAndRefusedWhenAbsurd)
{
    // Below 2 MiB aligned to a cache line, from 2 MiB up to a huge page;
    // every element written and read back, grown and shrunk in a vector.
    numerics::LargeVector<double> small(1000, 1.5), large((3u << 20) / sizeof(double), 2.5);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(small.data()) % 64, 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(large.data()) % (2u << 20), 0u);
    large.resize(large.size() * 2, 3.5);
    EXPECT_EQ(large.front(), 2.5);
    EXPECT_EQ(large.back(), 3.5);
    small.clear();
    small.shrink_to_fit();
    EXPECT_THROW(numerics::allocate_large(static_cast<std::size_t>(-1) - 1000), std::bad_alloc);
}

TEST(Median, OddEvenAndEmpty)
{
    EXPECT_EQ(numerics::median({3, 1, 2}), 2);
    EXPECT_EQ(numerics::median({4, 1, 3, 2}), 2.5);
    EXPECT_TRUE(std::isnan(numerics::median({})));
    // Middle values whose difference overflows.
    EXPECT_EQ(numerics::median({-1.5e308, 1.5e308}), 0);
}

TEST(Median, StepThroughGapsAndRepeats)
{
    // Steps 1, 1, 0 (a repeated time), 1, 50 (a gap), 1: the positive ones
    // are 1, 1, 1, 50, 1, whose median is 1.
    const std::vector<double> t = {0, 1, 2, 2, 3, 53, 54};
    EXPECT_EQ(numerics::median_step(t), 1);
    EXPECT_EQ(numerics::median_step(std::vector<double>{5, 5, 5}), 0);
}

TEST(Numbers, ShortestTextThatReadsBackTheSameDouble)
{
    EXPECT_EQ(numerics::full_number(0.1), "0.1");
    EXPECT_EQ(numerics::full_number(15.383003), "15.383003");
    EXPECT_EQ(numerics::full_number(1e-10), "1e-10");
    EXPECT_EQ(numerics::full_number(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(numerics::full_number(-0.0), "-0");
    EXPECT_EQ(numerics::full_number(std::nan("")), "nan");
    EXPECT_EQ(numerics::bytes_text(512), "512 bytes");
    EXPECT_EQ(numerics::bytes_text(3u << 29), "1.5 GiB");
}

}  // namespace
