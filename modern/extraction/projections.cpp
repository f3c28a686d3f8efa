#include "projections.hpp"

#include <algorithm>
#include <array>

#include "numerics/cycles.hpp"
#include "numerics/parallel.hpp"
#include "wide/wide_kernels.hpp"

namespace extraction {
namespace {

// Rows per block (a multiple of the lanes), and the most partitions the
// rows are cut into: a fixed count, so that the sums never depend on the
// number of threads.
constexpr std::size_t block_rows = 64;
constexpr std::size_t max_partitions = 16;
constexpr std::size_t lanes = 8;

using Lanes = std::array<double, lanes>;

double total(const Lanes& l) { return ((l[0] + l[1]) + (l[2] + l[3])) + ((l[4] + l[5]) + (l[6] + l[7])); }

struct Partitions {
    std::size_t count = 0, blocks = 0, n = 0;
    explicit Partitions(std::size_t rows)
        : count(std::min(max_partitions, (rows + block_rows - 1) / block_rows)),
          blocks((rows + block_rows - 1) / block_rows), n(rows)
    {
    }
    std::size_t first_row(std::size_t j) const { return std::min(n, j * blocks / count * block_rows); }
    std::size_t end_row(std::size_t j) const { return first_row(j + 1); }
};

// The lanes of one partition's sums.
struct WaveLanes {
    Lanes sine{}, cosine{}, tau_sine{}, tau_cosine{}, tau2_sine{}, tau2_cosine{};
};

struct PartitionSums {
    Lanes chi2{}, constant{};
    std::vector<WaveLanes> waves;
};

// One block of rows, padded to block_rows with rows of zero weight.
struct Block {
    std::array<double, block_rows> tau{}, base{}, w2{}, residual{};
    std::vector<double> sines, cosines;  // block_rows per wave
};

// add_lanes: the products of two rows added to the lanes, lane l taking
// rows l, l + 8, ...: a fixed order, the same bits in every vector width.
inline void add_lanes(const double* x, const double* y, Lanes& out)
{
    Lanes acc = out;
    for (std::size_t k = 0; k < block_rows; k += lanes)
        for (std::size_t l = 0; l < lanes; ++l) acc[l] += x[k + l] * y[k + l];
    out = acc;
}

// block_kernel: the residuals of one block and their sums, every wave's
// sine and cosine formed once (the spectrum's vectorised sine and cosine
// of cycles, reduced exactly).
SUITE_KERNEL_BODY void block_kernel(Block& b, double constant, const Wave* waves, std::size_t count, int powers, PartitionSums& sums)
{
    std::array<double, block_rows> model, weighted, weighted_tau, weighted_tau2;
    model.fill(constant);
    for (std::size_t i = 0; i < count; ++i) {
        double* s = b.sines.data() + i * block_rows;
        double* c = b.cosines.data() + i * block_rows;
        const double f = waves[i].frequency, a = waves[i].sine, bb = waves[i].cosine;
        for (std::size_t k = 0; k < block_rows; ++k) {
            const numerics::SinCos e = numerics::sincos_cycles(f * b.tau[k]);
            s[k] = e.sin;
            c[k] = e.cos;
            model[k] += a * e.sin + bb * e.cos;
        }
    }
    for (std::size_t k = 0; k < block_rows; ++k) {
        b.residual[k] = b.base[k] - model[k];
        weighted[k] = b.w2[k] * b.residual[k];
        weighted_tau[k] = weighted[k] * b.tau[k];
        weighted_tau2[k] = weighted_tau[k] * b.tau[k];
    }
    add_lanes(weighted.data(), b.residual.data(), sums.chi2);
    std::array<double, block_rows> ones;
    ones.fill(1.0);
    add_lanes(weighted.data(), ones.data(), sums.constant);
    for (std::size_t i = 0; i < count; ++i) {
        const double* s = b.sines.data() + i * block_rows;
        const double* c = b.cosines.data() + i * block_rows;
        add_lanes(weighted.data(), s, sums.waves[i].sine);
        add_lanes(weighted.data(), c, sums.waves[i].cosine);
        if (powers < 1) continue;
        add_lanes(weighted_tau.data(), s, sums.waves[i].tau_sine);
        add_lanes(weighted_tau.data(), c, sums.waves[i].tau_cosine);
        if (powers < 2) continue;
        add_lanes(weighted_tau2.data(), s, sums.waves[i].tau2_sine);
        add_lanes(weighted_tau2.data(), c, sums.waves[i].tau2_cosine);
    }
}

}  // namespace

Projection project(std::span<const double> tau, std::span<const double> base, std::span<const double> weights,
                   double constant, std::span<const Wave> waves, int powers, std::span<double> residuals,
                   int threads)
{
    const std::size_t n = std::min(tau.size(), base.size());
    const Partitions parts(n);
    std::vector<PartitionSums> part(parts.count);
    numerics::for_each_block(parts.count, threads, [&](std::size_t j) {
        PartitionSums& sums = part[j];
        sums.waves.assign(waves.size(), {});
        Block b;
        b.sines.resize(waves.size() * block_rows);
        b.cosines.resize(waves.size() * block_rows);
        for (std::size_t k0 = parts.first_row(j); k0 < parts.end_row(j); k0 += block_rows) {
            const std::size_t rows = std::min(block_rows, parts.end_row(j) - k0);
            for (std::size_t k = 0; k < block_rows; ++k) {
                const bool row = k < rows;
                b.tau[k] = row ? tau[k0 + k] : 0.0;
                b.base[k] = row ? base[k0 + k] : 0.0;
                const double w = row ? (weights.empty() ? 1.0 : weights[k0 + k]) : 0.0;
                b.w2[k] = w * w;
            }
            suite::widest_form<block_kernel>(b, constant, waves.data(), waves.size(), powers, sums);
            if (!residuals.empty())
                std::copy_n(b.residual.begin(), rows, residuals.begin() + static_cast<std::ptrdiff_t>(k0));
        }
    });
    Projection out;
    out.terms.assign(waves.size(), {});
    for (const PartitionSums& sums : part) {
        out.chi2 += total(sums.chi2);
        out.constant += total(sums.constant);
        for (std::size_t i = 0; i < waves.size(); ++i) {
            out.terms[i].sine += total(sums.waves[i].sine);
            out.terms[i].cosine += total(sums.waves[i].cosine);
            out.terms[i].tau_sine += total(sums.waves[i].tau_sine);
            out.terms[i].tau_cosine += total(sums.waves[i].tau_cosine);
            out.terms[i].tau2_sine += total(sums.waves[i].tau2_sine);
            out.terms[i].tau2_cosine += total(sums.waves[i].tau2_cosine);
        }
    }
    return out;
}

}  // namespace extraction
