#include "exact.hpp"

#include <algorithm>
#include <limits>

#include "numerics/parallel.hpp"
#include "scargle.hpp"
#include "wide/wide_kernels.hpp"

namespace spectrum::detail {

using numerics::sincos_cycles;

namespace {

constexpr std::size_t block_size = 64;  // frequencies summed together

// The four sums of a block of frequencies, one entry per frequency.
struct BlockSums {
    alignas(64) double zr[block_size];
    alignas(64) double zi[block_size];
    alignas(64) double wr[block_size];
    alignas(64) double wi[block_size];
};

// block_sums: Z and W at grid frequencies j0 .. j0 + count - 1.
//   Given:    phases, centred  as for exact_spectrum
//             j0, count        the block (count <= block_size)
//   Returned: sums             the sums of each frequency of the block
//   Notes: 1. Observations outer, frequencies inner: each frequency's sums
//             take the observations in order 1..n, and the inner loop over
//             independent frequencies is vectorised.
//          2. cos 2 theta and sin 2 theta from the double-angle formulas.
SUITE_KERNEL_BODY void block_sums(const PointPhases& phases, std::span<const double> centred, std::size_t j0,
                                  std::size_t count, BlockSums& sums)
{
    double offset[block_size];
    for (std::size_t d = 0; d < block_size; ++d) {
        offset[d] = static_cast<double>(d);
        sums.zr[d] = sums.zi[d] = sums.wr[d] = sums.wi[d] = 0.0;
    }
    double first = static_cast<double>(j0);
    for (std::size_t k = 0; k < phases.size(); ++k) {
        double r0 = grid_cycles(phases.start[k], phases.advance_hi[k], phases.advance_lo[k], first);
        double advance = phases.advance_hi[k] + phases.advance_lo[k];
        double x = centred[k];
        for (std::size_t d = 0; d < count; ++d) {
            numerics::SinCos e = sincos_cycles(r0 + offset[d] * advance);
            sums.zr[d] += x * e.cos;
            sums.zi[d] -= x * e.sin;
            sums.wr[d] += e.cos * e.cos - e.sin * e.sin;
            sums.wi[d] -= 2.0 * e.sin * e.cos;
        }
    }
}

// The amplitude of each frequency of a block from its sums.
void finish_block(const Grid& grid, const PointPhases& phases, std::span<const double> centred, std::size_t j0,
                  std::size_t count, const BlockSums& sums, std::span<double> amplitude)
{
    double n = static_cast<double>(phases.size());
    for (std::size_t d = 0; d < count; ++d) {
        std::size_t j = j0 + d;
        Sums s{sums.zr[d], sums.zi[d], sums.wr[d], sums.wi[d]};
        if (is_zero_frequency(grid, j))
            amplitude[j] = std::numeric_limits<double>::quiet_NaN();
        else if (needs_direct(s, n))
            amplitude[j] = direct_amplitude(phases, centred, j);
        else
            amplitude[j] = amplitude_from_sums(s, n);
    }
}

}  // namespace

std::vector<double> exact_spectrum(const Grid& grid, const PointPhases& phases, std::span<const double> centred,
                                   int threads)
{
    std::vector<double> amplitude(grid.count);
    std::size_t blocks = (grid.count + block_size - 1) / block_size;
    numerics::for_each_block(blocks, threads, [&](std::size_t b) {
        std::size_t j0 = b * block_size;
        std::size_t count = std::min(block_size, grid.count - j0);
        BlockSums sums;
        suite::widest_form<block_sums>(phases, centred, j0, count, sums);
        finish_block(grid, phases, centred, j0, count, sums, amplitude);
    });
    return amplitude;
}

}  // namespace spectrum::detail
