#include "extraction/projections.hpp"

#include <algorithm>
#include <array>

#include "extraction/model.hpp"
#include "spectrum/parallel.hpp"

namespace extraction {
namespace {

// Rows per block (a multiple of the lanes), and the most partitions the
// rows are cut into: a fixed count, so that the sums never depend on the
// number of threads.
constexpr std::size_t block_rows = 64;
constexpr std::size_t max_partitions = 16;
constexpr std::size_t lanes = 4;

using Lanes = std::array<double, lanes>;

double total(const Lanes& l) { return (l[0] + l[1]) + (l[2] + l[3]); }

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
    Lanes sine{}, cosine{}, tau_sine{}, tau_cosine{};
};

struct PartitionSums {
    Lanes chi2{}, constant{};
    std::vector<WaveLanes> waves;
};

// One block of rows, padded to block_rows with rows of zero weight.
struct Block {
    std::array<double, block_rows> tau{}, weighted{}, weighted_tau{};  // tau, w^2 r, w^2 r tau
    std::vector<double> sines, cosines;                               // block_rows per wave
};

// dot_lanes: the products of two rows added to four lanes, lane l taking
// the rows l, l + 4, ...: a fixed order the compiler keeps in vector
// registers, and the same bits in every vector width.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void dot_lanes(const double* x, const double* y, Lanes& out)
{
    Lanes acc = out;
    for (std::size_t k = 0; k < block_rows; k += lanes)
        for (std::size_t l = 0; l < lanes; ++l) acc[l] += x[k + l] * y[k + l];
    out = acc;
}

void block_sums(std::span<const double> tau, std::span<const double> base, std::span<const double> weights,
                double constant, std::span<const Wave> waves, bool with_tau, std::size_t first, std::size_t count,
                std::span<double> residuals, Block& b, PartitionSums& sums)
{
    std::array<double, block_rows> model, arg, w2;
    for (std::size_t k = 0; k < block_rows; ++k) {
        const bool row = k < count;
        b.tau[k] = row ? tau[first + k] : 0.0;
        const double w = row ? (weights.empty() ? 1.0 : weights[first + k]) : 0.0;
        w2[k] = w * w;
        model[k] = constant;
    }
    for (std::size_t i = 0; i < waves.size(); ++i) {
        double* s = b.sines.data() + i * block_rows;
        double* c = b.cosines.data() + i * block_rows;
        for (std::size_t k = 0; k < block_rows; ++k) arg[k] = waves[i].frequency * b.tau[k];
        sin_cos_cycles(arg.data(), s, c, block_rows);
        for (std::size_t k = 0; k < block_rows; ++k) model[k] += waves[i].sine * s[k] + waves[i].cosine * c[k];
    }
    std::array<double, block_rows> r;
    for (std::size_t k = 0; k < block_rows; ++k) {
        r[k] = k < count ? base[first + k] - model[k] : 0.0;
        b.weighted[k] = w2[k] * r[k];
        b.weighted_tau[k] = b.weighted[k] * b.tau[k];
    }
    if (!residuals.empty()) std::copy_n(r.begin(), count, residuals.begin() + static_cast<std::ptrdiff_t>(first));
    dot_lanes(b.weighted.data(), r.data(), sums.chi2);
    std::array<double, block_rows> ones;
    ones.fill(1.0);
    dot_lanes(b.weighted.data(), ones.data(), sums.constant);
    for (std::size_t i = 0; i < waves.size(); ++i) {
        const double* s = b.sines.data() + i * block_rows;
        const double* c = b.cosines.data() + i * block_rows;
        dot_lanes(b.weighted.data(), s, sums.waves[i].sine);
        dot_lanes(b.weighted.data(), c, sums.waves[i].cosine);
        if (!with_tau) continue;
        dot_lanes(b.weighted_tau.data(), s, sums.waves[i].tau_sine);
        dot_lanes(b.weighted_tau.data(), c, sums.waves[i].tau_cosine);
    }
}

}  // namespace

Projection project(std::span<const double> tau, std::span<const double> base, std::span<const double> weights,
                   double constant, std::span<const Wave> waves, bool with_tau, std::span<double> residuals,
                   int threads)
{
    const std::size_t n = std::min(tau.size(), base.size());
    const Partitions parts(n);
    std::vector<PartitionSums> part(parts.count);
    spectrum::for_each_block(parts.count, threads, [&](std::size_t j) {
        PartitionSums& sums = part[j];
        sums.waves.assign(waves.size(), {});
        Block b;
        b.sines.resize(waves.size() * block_rows);
        b.cosines.resize(waves.size() * block_rows);
        for (std::size_t k0 = parts.first_row(j); k0 < parts.end_row(j); k0 += block_rows)
            block_sums(tau, base, weights, constant, waves, with_tau, k0, std::min(block_rows, parts.end_row(j) - k0),
                       residuals, b, sums);
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
        }
    }
    return out;
}

}  // namespace extraction
