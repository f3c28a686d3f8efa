#include "numerics/scargle.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "numerics/cycles.hpp"
#include "wide/wide_kernels.hpp"

namespace numerics {

namespace {

// Power a^2 / (2 cc) + b^2 / (2 ss) of the time-shifted form; a term whose
// basis function vanishes at every observation contributes nothing.
double shifted_power(double a, double b, double cc, double ss)
{
    double p = 0.0;
    if (cc > 0.0) p += a * a / (2.0 * cc);
    if (ss > 0.0) p += b * b / (2.0 * ss);
    return p;
}

// Observations whose sines and cosines are formed together, before they
// are summed in order.
constexpr std::size_t chunk_size = 1024;

struct ChunkTrig {
    double cos[chunk_size];
    double sin[chunk_size];
};

// chunk_trig: cosine and sine of scale * phase + shift (in cycles) for
// `count` observations.
SUITE_KERNEL_BODY void chunk_trig(const double* cycles, std::size_t count, double scale, double shift,
                                  ChunkTrig& out)
{
    for (std::size_t i = 0; i < count; ++i) {
        const SinCos e = sincos_cycles(scale * cycles[i] + shift);
        out.cos[i] = e.cos;
        out.sin[i] = e.sin;
    }
}

// The amplitudes of `Sets` sets of phases: each set's sums taken over the
// observations in order, the sets side by side.
template <std::size_t Sets>
void amplitudes_of(const std::span<const double>* cycles, std::span<const double> centred, double* amplitudes)
{
    std::size_t n = centred.size();
    for (std::size_t s = 0; s < Sets; ++s) n = std::min(n, cycles[s].size());
    if (n == 0) {
        std::fill_n(amplitudes, Sets, 0.0);
        return;
    }
    ChunkTrig e[Sets];
    double wr[Sets] = {}, wi[Sets] = {};
    for (std::size_t k0 = 0; k0 < n; k0 += chunk_size) {
        const std::size_t count = std::min(chunk_size, n - k0);
        for (std::size_t s = 0; s < Sets; ++s)
            suite::widest_form<chunk_trig>(cycles[s].data() + k0, count, 2.0, 0.0, e[s]);
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t s = 0; s < Sets; ++s) {
                wr[s] += e[s].cos[i];
                wi[s] -= e[s].sin[i];
            }
    }
    // Phases shifted by half the angle of W (in cycles): the shifted
    // phases' doubled sines sum to zero.
    double shift[Sets];
    for (std::size_t s = 0; s < Sets; ++s) shift[s] = std::atan2(wi[s], wr[s]) / (4.0 * std::numbers::pi);
    double a[Sets] = {}, b[Sets] = {}, cc[Sets] = {}, ss[Sets] = {};
    for (std::size_t k0 = 0; k0 < n; k0 += chunk_size) {
        const std::size_t count = std::min(chunk_size, n - k0);
        for (std::size_t s = 0; s < Sets; ++s)
            suite::widest_form<chunk_trig>(cycles[s].data() + k0, count, 1.0, shift[s], e[s]);
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t s = 0; s < Sets; ++s) {
                a[s] += centred[k0 + i] * e[s].cos[i];
                b[s] += centred[k0 + i] * e[s].sin[i];
                cc[s] += e[s].cos[i] * e[s].cos[i];
                ss[s] += e[s].sin[i] * e[s].sin[i];
            }
    }
    for (std::size_t s = 0; s < Sets; ++s)
        amplitudes[s] = 2.0 * std::sqrt(shifted_power(a[s], b[s], cc[s], ss[s]) / static_cast<double>(n));
}

}  // namespace

double scargle_amplitude(std::span<const double> cycles, std::span<const double> centred)
{
    double amplitude = 0.0;
    amplitudes_of<1>(&cycles, centred, &amplitude);
    return amplitude;
}

void scargle_amplitudes(const std::span<const double> (&cycles)[3], std::span<const double> centred,
                        double (&amplitudes)[3])
{
    amplitudes_of<3>(cycles, centred, amplitudes);
}

}  // namespace numerics
