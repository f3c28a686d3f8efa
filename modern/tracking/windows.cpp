#include "tracking/windows.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tracking {

std::vector<Window> cut_windows(std::span<const double> times, double width, double step)
{
    std::vector<Window> windows;
    if (times.empty() || !(width > 0.0) || !(step > 0.0)) return windows;
    const double t0 = times.front();
    const double count = std::floor((times.back() - t0) / step) + 1.0;
    for (double j = 0.0; j < count; j += 1.0) {
        Window w;
        w.start = t0 + j * step;
        w.end = w.start + width;
        const auto lo = std::lower_bound(times.begin(), times.end(), w.start);
        const auto hi = std::lower_bound(lo, times.end(), w.end);
        w.first = static_cast<std::size_t>(lo - times.begin());
        w.count = static_cast<std::size_t>(hi - lo);
        // The mean of the points relative to the start: exact enough at
        // any epoch, and within the window by construction.
        double sum = 0.0;
        for (auto t = lo; t != hi; ++t) sum += *t - w.start;
        w.t_mid = w.count > 0 ? w.start + sum / static_cast<double>(w.count) : w.start + 0.5 * width;
        windows.push_back(w);
    }
    return windows;
}

Skip use_rule(std::size_t count, std::size_t parameters, double width, double cadence)
{
    const double full = cadence > 0.0 ? width / cadence : 0.0;
    if (count == 0 || 2.0 * static_cast<double>(count) < full) return Skip::few_points;
    if (count <= 2 * parameters) return Skip::few_for_model;
    return Skip::none;
}

std::vector<bool> group_frequencies(std::span<const double> frequencies, std::span<const double> amplitudes,
                                    double separation)
{
    const std::size_t k = frequencies.size();
    std::vector<std::size_t> order(k);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return std::fabs(amplitudes[a]) > std::fabs(amplitudes[b]); });
    std::vector<bool> kept(k, false);
    std::vector<double> taken;
    for (std::size_t i : order) {
        const double f = std::fabs(frequencies[i]);
        bool close = f < separation;
        for (double g : taken) close = close || std::fabs(f - g) < separation;
        if (close) continue;
        kept[i] = true;
        taken.push_back(f);
    }
    return kept;
}

}  // namespace tracking
