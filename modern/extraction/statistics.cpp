#include "extraction/statistics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "numerics/cycles.hpp"
#include "numerics/parallel.hpp"
#include "wide/wide_kernels.hpp"

namespace extraction {

using numerics::two_pi;

namespace {

// The grid points [begin, end) within box / 2 of f, among the first
// `count`; begin = end when there are none.
struct BoxRange {
    std::size_t begin = 0, end = 0;
    bool cut = false;  // by an end of the grid
};

SUITE_KERNEL_BODY BoxRange box_range(const spectrum::Grid& grid, std::size_t count, double f, const NoiseBox& box)
{
    if (count == 0 || !(grid.step > 0.0)) return {};
    double half = 0.5 * box.width;
    if (box.centred) {
        const double to_end = std::min(f - grid.fmin, grid.frequency(count - 1) - f);
        half = std::min(half, std::max(to_end, box.least));
    }
    // Grid points on the edges of the box count, whatever the rounding.
    const double lo = (f - half - grid.fmin) / grid.step - 1e-9;
    const double hi = (f + half - grid.fmin) / grid.step + 1e-9;
    if (!(hi >= 0.0) || !(lo <= static_cast<double>(count - 1))) return {};
    const std::size_t first = lo <= 0.0 ? 0 : static_cast<std::size_t>(std::ceil(lo));
    // Clamped before the conversion: a box of any size stays within the grid.
    const std::size_t last = static_cast<std::size_t>(std::min(std::floor(hi), static_cast<double>(count - 1)));
    if (first > last) return {};
    return {first, last + 1, lo < 0.0 || hi > static_cast<double>(count - 1)};
}

// A sum carried with the rounding error of each addition (Neumaier 1974),
// and the number of terms in it.
struct RunningSum {
    double sum = 0.0, compensation = 0.0;
    std::size_t terms = 0;

    [[gnu::always_inline]] void add(double x)
    {
        const double t = sum + x;
        compensation += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
        sum = t;
    }
    double value() const { return sum + compensation; }
};

// The amplitudes of a box enter and leave the sum; undefined ones (NaN at
// frequency 0) are no noise and never do.
struct BoxSum {
    std::span<const double> amplitude;
    RunningSum total;
    std::size_t begin = 0, end = 0;

    [[gnu::always_inline]] void enter(std::size_t j)
    {
        if (!std::isfinite(amplitude[j])) return;
        total.add(amplitude[j]);
        ++total.terms;
    }
    [[gnu::always_inline]] void leave(std::size_t j)
    {
        if (!std::isfinite(amplitude[j])) return;
        total.add(-amplitude[j]);
        --total.terms;
    }
    [[gnu::always_inline]] void move_to(BoxRange range)
    {
        if (range.begin >= end || range.end <= begin) {  // no overlap: start afresh
            total = {};
            begin = end = range.begin;
        }
        while (end < range.end) enter(end++);
        while (end > range.end) leave(--end);
        while (begin < range.begin) leave(begin++);
        while (begin > range.begin) enter(--begin);
        if (total.terms == 0) total = {};  // nothing left to round
    }
    double mean() const { return total.terms > 0 ? total.value() / static_cast<double>(total.terms) : 0.0; }
};

// Grid frequencies whose noise one task computes: each block's running
// boxes start afresh, so the noise does not depend on the number of
// threads.
constexpr std::size_t noise_block = std::size_t{1} << 16;

}  // namespace

double box_mean(const spectrum::Grid& grid, std::span<const double> amplitude, double f, const NoiseBox& box)
{
    const BoxRange range = box_range(grid, std::min(grid.count, amplitude.size()), f, box);
    // An undefined amplitude (NaN at frequency 0) is no noise: passed over.
    double sum = 0.0;
    std::size_t used = 0;
    for (std::size_t j = range.begin; j < range.end; ++j)
        if (std::isfinite(amplitude[j])) {
            sum += amplitude[j];
            ++used;
        }
    return used > 0 ? sum / static_cast<double>(used) : 0.0;
}

double box_mean(const spectrum::Grid& grid, std::span<const double> amplitude, double f, double box)
{
    return box_mean(grid, amplitude, f, NoiseBox{box});
}

std::vector<double> local_noise(const spectrum::Grid& grid, std::span<const double> amplitude, const NoiseBox& box)
{
    const std::size_t count = std::min(grid.count, amplitude.size());
    std::vector<double> noise(count);
    BoxSum running{amplitude.first(count), {}, 0, 0};
    for (std::size_t j = 0; j < count; ++j) {
        running.move_to(box_range(grid, count, grid.frequency(j), box));
        noise[j] = running.mean();
    }
    return noise;
}

std::vector<double> local_noise(const spectrum::Grid& grid, std::span<const double> amplitude, double box)
{
    return local_noise(grid, amplitude, NoiseBox{box});
}

// noise_beside_block: noise_beside_peaks of grid frequencies j0 .. j1 - 1,
// from running sums that start at the block, in the widest vector form
// (its rounding and comparisons inline).
SUITE_KERNEL_BODY void noise_beside_block(const spectrum::Grid& grid, std::span<const double> amplitude,
                                          const NoiseBox& box, double core, std::size_t count, std::size_t j0,
                                          std::size_t j1, double* noise)
{
    BoxSum whole{amplitude.first(count), {}, 0, 0}, lobe{amplitude.first(count), {}, 0, 0};
    for (std::size_t j = j0; j < j1; ++j) {
        const double f = grid.frequency(j);
        const BoxRange around = box_range(grid, count, f, box);
        BoxRange peak = box_range(grid, count, f, NoiseBox{core});
        peak.begin = std::max(peak.begin, around.begin);
        peak.end = std::max(peak.begin, std::min(peak.end, around.end));
        whole.move_to(around);
        lobe.move_to(peak);
        noise[j] = whole.mean();
        // A box cut by an end of the grid has the peak at its edge: the
        // noise on its other side is unknown, and its own lobe is then
        // the best guess of it.
        if (around.cut) continue;
        const std::size_t rest = whole.total.terms - std::min(whole.total.terms, lobe.total.terms);
        if (rest == 0) continue;
        const double beside = (whole.total.value() - lobe.total.value()) / static_cast<double>(rest);
        if (beside > 0.0 && beside < noise[j]) noise[j] = beside;
    }
}

std::vector<double> noise_beside_peaks(const spectrum::Grid& grid, std::span<const double> amplitude,
                                       const NoiseBox& box, double core)
{
    std::vector<double> noise;
    noise_beside_peaks(grid, amplitude, box, core, 1, noise);
    return noise;
}

void noise_beside_peaks(const spectrum::Grid& grid, std::span<const double> amplitude, const NoiseBox& box,
                        double core, int threads, std::vector<double>& noise)
{
    const std::size_t count = std::min(grid.count, amplitude.size());
    noise.resize(count);
    const std::size_t blocks = (count + noise_block - 1) / noise_block;
    numerics::for_each_block(blocks, threads, [&](std::size_t b) {
        const std::size_t j0 = b * noise_block, j1 = std::min(count, j0 + noise_block);
        suite::widest_form<noise_beside_block>(grid, amplitude, box, core, count, j0, j1, noise.data());
    });
}

// Frequencies per block of the noise sums.
constexpr std::size_t sums_block = std::size_t{1} << 16;

void NoiseSums::sum(std::span<const double> amplitude, int threads)
{
    count_ = amplitude.size();
    const std::size_t blocks = count_ / sums_block + 1;  // index count_ has a block too
    within_.resize(count_ + 1);
    within_error_.resize(count_ + 1);
    std::vector<RunningSum> totals(blocks);
    numerics::for_each_block(blocks, threads, [&](std::size_t b) {
        const std::size_t j0 = b * sums_block, j1 = std::min(count_ + 1, j0 + sums_block);
        RunningSum running;
        for (std::size_t j = j0; j < j1; ++j) {
            within_[j] = running.sum;
            within_error_[j] = running.compensation;
            if (j < count_ && std::isfinite(amplitude[j])) running.add(amplitude[j]);
        }
        totals[b] = running;
    });
    before_.resize(blocks);
    before_error_.resize(blocks);
    RunningSum carried;
    for (std::size_t b = 0; b < blocks; ++b) {
        before_[b] = carried.sum;
        before_error_[b] = carried.compensation;
        carried.add(totals[b].sum);
        carried.add(totals[b].compensation);
    }
    undefined_.clear();
    for (std::size_t j = 0; j < count_; ++j)
        if (!std::isfinite(amplitude[j])) undefined_.push_back(j);
}

double NoiseSums::range_sum(std::size_t begin, std::size_t end) const
{
    const std::size_t a = begin / sums_block, b = end / sums_block;
    // The large parts first, so that their difference is exact or nearly.
    const double main = (before_[b] - before_[a]) + (within_[end] - within_[begin]);
    return main + ((before_error_[b] - before_error_[a]) + (within_error_[end] - within_error_[begin]));
}

std::size_t NoiseSums::range_terms(std::size_t begin, std::size_t end) const
{
    const auto first = std::lower_bound(undefined_.begin(), undefined_.end(), begin);
    const auto last = std::lower_bound(first, undefined_.end(), end);
    return end - begin - static_cast<std::size_t>(last - first);
}

namespace {

// The noise beside a peak at grid frequency j (noise_beside_block's rule)
// from the sums and counts of finite amplitudes over index ranges.
template <class RangeSum, class RangeTerms>
double noise_beside(const spectrum::Grid& grid, std::size_t count, std::size_t j, const NoiseBox& box, double core,
                    RangeSum range_sum, RangeTerms range_terms)
{
    const double f = grid.frequency(j);
    const BoxRange around = box_range(grid, count, f, box);
    BoxRange peak = box_range(grid, count, f, NoiseBox{core});
    peak.begin = std::max(peak.begin, around.begin);
    peak.end = std::max(peak.begin, std::min(peak.end, around.end));
    const std::size_t terms = range_terms(around.begin, around.end);
    if (terms == 0) return 0.0;
    const double noise = range_sum(around.begin, around.end) / static_cast<double>(terms);
    if (around.cut) return noise;  // the lobe is the best guess of the far side
    const std::size_t rest = range_terms(around.begin, peak.begin) + range_terms(peak.end, around.end);
    if (rest == 0) return noise;
    const double beside =
        (range_sum(around.begin, peak.begin) + range_sum(peak.end, around.end)) / static_cast<double>(rest);
    return beside > 0.0 && beside < noise ? beside : noise;
}

}  // namespace

double NoiseSums::beside(const spectrum::Grid& grid, std::size_t j, const NoiseBox& box, double core) const
{
    return noise_beside(
        grid, count_, j, box, core, [this](std::size_t b, std::size_t e) { return range_sum(b, e); },
        [this](std::size_t b, std::size_t e) { return range_terms(b, e); });
}

double noise_beside_peak(const spectrum::Grid& grid, std::span<const double> amplitude, std::size_t j,
                         const NoiseBox& box, double core)
{
    const std::size_t count = std::min(grid.count, amplitude.size());
    auto finite_sum = [&](std::size_t b, std::size_t e) {
        RunningSum sum;
        for (std::size_t i = b; i < e; ++i)
            if (std::isfinite(amplitude[i])) sum.add(amplitude[i]);
        return sum.value();
    };
    auto finite_terms = [&](std::size_t b, std::size_t e) {
        std::size_t terms = 0;
        for (std::size_t i = b; i < e; ++i) terms += std::isfinite(amplitude[i]) ? 1 : 0;
        return terms;
    };
    return noise_beside(grid, count, j, box, core, finite_sum, finite_terms);
}

Uncertainty analytic_uncertainty(double amplitude, double sigma, std::size_t n, double span)
{
    const double dn = static_cast<double>(n);
    Uncertainty u;
    u.amplitude = std::sqrt(2.0 / dn) * sigma;
    u.phase = u.amplitude / (two_pi * amplitude);
    u.frequency = std::sqrt(6.0) * sigma / (0.5 * two_pi * std::sqrt(dn) * amplitude * span);
    return u;
}

std::size_t sign_runs(std::span<const double> residuals)
{
    if (residuals.empty()) return 0;
    std::size_t runs = 1;
    for (std::size_t k = 1; k < residuals.size(); ++k)
        if ((residuals[k] >= 0.0) != (residuals[k - 1] >= 0.0)) ++runs;
    return runs;
}

double correlation_factor(std::span<const double> residuals)
{
    const std::size_t runs = sign_runs(residuals);
    if (runs == 0) return 1.0;
    return std::max(1.0, static_cast<double>(residuals.size()) / (2.0 * static_cast<double>(runs)));
}

double noise_excess(double local, double rms, std::size_t n)
{
    if (!(rms > 0.0) || n == 0) return 1.0;
    const double white = rms * std::sqrt(0.5 * two_pi / static_cast<double>(n));
    const double ratio = local / white;
    return ratio * ratio;
}

double effective_span(std::span<const double> times)
{
    if (times.empty()) return 0.0;
    double mean = 0.0;
    for (double t : times) mean += t;
    mean /= static_cast<double>(times.size());
    double var = 0.0;
    for (double t : times) var += (t - mean) * (t - mean);
    var /= static_cast<double>(times.size());
    return std::sqrt(2.0 * two_pi * var);
}

double log10_false_alarm(double z, std::size_t n, double fmax, double t_eff)
{
    const double nh = static_cast<double>(n) - 1.0, nk = static_cast<double>(n) - 3.0;
    z = std::clamp(z, 0.0, 1.0);
    if (n < 4 || z <= 0.0 || !(fmax * t_eff > 0.0)) return 0.0;  // no drop: certainly noise
    const double log1mz = std::log1p(-z);               // -inf at z = 1
    const double log_gamma = 0.5 * std::log(2.0 / nh) + std::lgamma(0.5 * nh) - std::lgamma(0.5 * (nh - 1.0));
    const double log_tau =
        log_gamma + std::log(fmax * t_eff) + 0.5 * (nk - 1.0) * log1mz + 0.5 * std::log(0.5 * nh * z);
    const double log_single = 0.5 * nh * log1mz;
    // FAP = 1 - exp(log(1 - P_single) - tau), accurate while it is a
    // normal double; below, its leading terms P_single + tau in logarithms.
    const double tau = std::exp(log_tau), single = std::exp(log_single);
    const double fap = -std::expm1(std::log1p(-single) - tau);
    if (fap > 1e-300) return std::log10(std::min(fap, 1.0));
    const double hi = std::max(log_tau, log_single), lo = std::min(log_tau, log_single);
    if (hi == -std::numeric_limits<double>::infinity()) return -std::numeric_limits<double>::infinity();
    return (hi + std::log1p(std::exp(lo - hi))) / std::log(10.0);
}

}  // namespace extraction
