#include "tracking/delays.hpp"

#include <cmath>
#include <limits>

#include "tracking/kepler.hpp"

namespace tracking {

FrequencyDelays frequency_delays(std::span<const PhasePoint> points, double frequency, double max_phase_err)
{
    const std::size_t n = points.size();
    FrequencyDelays out;
    out.phase.resize(n);
    out.delay.assign(n, 0.0);
    out.delay_err.assign(n, 0.0);
    out.used.assign(n, false);
    bool first = true;
    double previous = 0.0, sum_w = 0.0, sum_wp = 0.0;
    for (std::size_t w = 0; w < n; ++w) {
        const PhasePoint& p = points[w];
        out.phase[w] = p.phase;
        if (!p.fitted || !(p.phase_err > 0.0) || !(p.phase_err <= max_phase_err) || !std::isfinite(p.phase))
            continue;
        double phase = p.phase;
        if (!first) phase -= std::nearbyint(phase - previous);
        first = false;
        previous = phase;
        out.phase[w] = phase;
        out.used[w] = true;
        const double weight = 1.0 / (p.phase_err * p.phase_err);
        sum_w += weight;
        sum_wp += weight * phase;
    }
    if (sum_w > 0.0) out.mean_phase = sum_wp / sum_w;
    for (std::size_t w = 0; w < n; ++w) {
        if (!out.used[w]) continue;
        out.delay[w] = -seconds_per_day * (out.phase[w] - out.mean_phase) / frequency;
        out.delay_err[w] = seconds_per_day * points[w].phase_err / std::fabs(frequency);
    }
    return out;
}

WindowDelay combine_delays(std::span<const double> delays, std::span<const double> errors)
{
    WindowDelay out;
    double sum_w = 0.0, sum_wd = 0.0;
    for (std::size_t i = 0; i < delays.size(); ++i) {
        const double weight = 1.0 / (errors[i] * errors[i]);
        sum_w += weight;
        sum_wd += weight * delays[i];
    }
    out.frequencies = static_cast<int>(delays.size());
    if (delays.empty() || !(sum_w > 0.0)) {
        out.frequencies = 0;
        return out;
    }
    out.delay = sum_wd / sum_w;
    out.delay_err = 1.0 / std::sqrt(sum_w);
    for (std::size_t i = 0; i < delays.size(); ++i) {
        const double r = (delays[i] - out.delay) / errors[i];
        out.chi2 += r * r;
    }
    out.chi2_dof = delays.size() > 1 ? out.chi2 / static_cast<double>(delays.size() - 1)
                                     : std::numeric_limits<double>::quiet_NaN();
    return out;
}

}  // namespace tracking
