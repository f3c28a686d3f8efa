#include "tracking/track.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "numerics/median.hpp"
#include "numerics/parallel.hpp"

namespace tracking {
namespace {

using Clock = std::chrono::steady_clock;
double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Groups of points per window for the orbit's window means.
constexpr int orbit_nodes = 4;
// Frequencies sampled in the noise band of each frequency.
constexpr int noise_samples = 16;
// Rounds of the consistency scaling (each changes the others' weights).
constexpr int consistency_rounds = 4;

void check_input(std::span<const double> times, std::span<const double> values, std::span<const double> errors,
                 std::span<const TableFrequency> table, double t_ref, const Settings& settings)
{
    if (!(settings.width > 0.0) || !std::isfinite(settings.width))
        throw std::invalid_argument("tracking: the window width must be a positive number of days");
    if (!(settings.step >= 0.0) || !std::isfinite(settings.step))
        throw std::invalid_argument("tracking: the window step must be a positive number of days (or 0 for the width)");
    if (values.size() != times.size())
        throw std::invalid_argument("tracking: times and values differ in number");
    if (settings.weights && errors.size() != times.size())
        throw std::invalid_argument("tracking: weights need one error per point");
    if (!std::isfinite(t_ref)) throw std::invalid_argument("tracking: t_ref is not finite");
    for (std::size_t k = 0; k < times.size(); ++k) {
        if (!std::isfinite(times[k]) || !std::isfinite(values[k]))
            throw std::invalid_argument("tracking: a time or value is not finite");
        if (k > 0 && times[k] < times[k - 1]) throw std::invalid_argument("tracking: times are not sorted");
        if (settings.weights && !(errors[k] > 0.0 && std::isfinite(errors[k])))
            throw std::invalid_argument("tracking: an error is not a positive number");
    }
    for (const TableFrequency& f : table)
        if (!(f.frequency > 0.0) || !std::isfinite(f.frequency) || !std::isfinite(f.amplitude))
            throw std::invalid_argument("tracking: a frequency of the table is not a positive number");
    const double step = settings.step > 0.0 ? settings.step : settings.width;
    if (!times.empty() && (times.back() - times.front()) / step >= static_cast<double>(max_windows))
        throw std::invalid_argument("tracking: the window step is too small for the time span (more than " +
                                    std::to_string(max_windows) + " windows)");
}

// Fits every window (threads share the windows; each is fitted whole by
// one), leaving amplitudes, phases and their errors in the cells and each
// fitted frequency's local noise ratio in `noise` (window by window).
void fit_windows(std::span<const double> times, std::span<const double> values, std::span<const double> weights,
                 const std::vector<double>& frequencies, double t_ref, double cadence, const Settings& settings,
                 Result& result, std::vector<std::vector<double>>& noise)
{
    const std::size_t parameters = baseline_terms(settings.baseline) + 2 * frequencies.size();
    noise.assign(result.windows.size(), {});
    numerics::for_each_block(result.windows.size(), numerics::thread_count(settings.threads), [&](std::size_t w) {
        WindowResult& wr = result.windows[w];
        const Window& win = wr.window;
        wr.skip = use_rule(win.count, parameters, settings.width, cadence);
        if (wr.skip != Skip::none) return;
        WindowData data;
        data.times = times.subspan(win.first, win.count);
        data.values = values.subspan(win.first, win.count);
        if (!weights.empty()) data.weights = weights.subspan(win.first, win.count);
        data.t_ref = t_ref;
        data.centre = win.start + 0.5 * settings.width;
        data.half_width = 0.5 * settings.width;
        const WindowFit fit = fit_window(data, frequencies, settings.baseline);
        if (fit.singular) {
            wr.skip = Skip::singular;
            return;
        }
        wr.cells.resize(frequencies.size());
        for (std::size_t i = 0; i < frequencies.size(); ++i) {
            const TermFit& term = fit.terms[i];
            wr.cells[i] = {term.amplitude, term.amplitude_err, term.phase, term.phase_err, 0.0, 0.0, false};
        }
        if (settings.local_noise) noise[w] = local_noise(data, fit, frequencies, settings.noise_box, noise_samples);
    });
}

// The mean over the fitted windows of each frequency's noise ratio, and
// the errors scaled by its square root.
void apply_noise_factors(const std::vector<std::vector<double>>& noise, std::size_t count, Result& result)
{
    result.noise_factor.assign(count, 1.0);
    std::vector<double> sum(count, 0.0);
    std::size_t windows = 0;
    for (const std::vector<double>& ratios : noise) {
        if (ratios.size() != count) continue;
        ++windows;
        for (std::size_t i = 0; i < count; ++i) sum[i] += ratios[i];
    }
    if (windows == 0) return;
    for (std::size_t i = 0; i < count; ++i) {
        result.noise_factor[i] = sum[i] / static_cast<double>(windows);
        const double root = std::sqrt(result.noise_factor[i]);
        for (WindowResult& wr : result.windows)
            if (wr.cells.size() == count) {
                wr.cells[i].amplitude_err *= root;
                wr.cells[i].phase_err *= root;
            }
    }
}

}  // namespace

std::string skip_name(Skip skip)
{
    switch (skip) {
    case Skip::none: return "used";
    case Skip::few_points: return "few-points";
    case Skip::few_for_model: return "few-for-model";
    case Skip::singular: return "singular";
    }
    return "";
}

std::vector<double> consistency_ratios(const std::vector<std::vector<double>>& delays,
                                       const std::vector<std::vector<double>>& errors,
                                       const std::vector<std::vector<bool>>& used)
{
    const std::size_t k = delays.size();
    std::vector<double> ratio(k, nan);
    if (k == 0) return ratio;
    const std::size_t windows = delays[0].size();
    std::vector<double> sum_w(windows, 0.0), sum_wd(windows, 0.0);
    for (std::size_t i = 0; i < k; ++i)
        for (std::size_t w = 0; w < windows; ++w)
            if (used[i][w]) {
                const double weight = 1.0 / (errors[i][w] * errors[i][w]);
                sum_w[w] += weight;
                sum_wd[w] += weight * delays[i][w];
            }
    for (std::size_t i = 0; i < k; ++i) {
        double chi2 = 0.0;
        std::size_t count = 0;
        for (std::size_t w = 0; w < windows; ++w) {
            if (!used[i][w]) continue;
            const double weight = 1.0 / (errors[i][w] * errors[i][w]);
            const double others = sum_w[w] - weight;
            // Leave-one-out weights below a part in 10^9 of the total are
            // rounding: no other frequency in this window.
            if (!(others > 1e-9 * sum_w[w])) continue;
            const double mean = (sum_wd[w] - weight * delays[i][w]) / others;
            const double d = delays[i][w] - mean;
            chi2 += d * d / (errors[i][w] * errors[i][w] + 1.0 / others);
            ++count;
        }
        // Each frequency's delays are measured from its own mean phase: one
        // degree of freedom fewer.
        if (count > 1) ratio[i] = chi2 / static_cast<double>(count - 1);
    }
    return ratio;
}

Result track(std::span<const double> times, std::span<const double> values, std::span<const double> errors,
             std::span<const TableFrequency> table, double t_ref, const Settings& settings)
{
    check_input(times, values, errors, table, t_ref, settings);
    const Clock::time_point start = Clock::now();
    Result result;
    result.width = settings.width;
    result.step = settings.step > 0.0 ? settings.step : settings.width;
    result.t_ref = t_ref;
    result.table.assign(table.begin(), table.end());

    // The frequencies each window fits.
    std::vector<double> all_f, all_a;
    for (const TableFrequency& f : table) {
        all_f.push_back(f.frequency);
        all_a.push_back(f.amplitude);
    }
    const std::vector<bool> kept = group_frequencies(all_f, all_a, settings.separation / settings.width);
    std::vector<double> frequencies;
    for (std::size_t i = 0; i < table.size(); ++i) {
        (kept[i] ? result.fitted : result.left_out).push_back(i);
        if (kept[i]) frequencies.push_back(table[i].frequency);
    }
    const std::size_t count = frequencies.size();

    std::vector<double> weights;
    if (settings.weights)
        for (double e : errors) weights.push_back(1.0 / e);
    for (const Window& w : cut_windows(times, settings.width, result.step)) {
        WindowResult wr;
        wr.window = w;
        result.windows.push_back(wr);
    }
    std::vector<std::vector<double>> noise;
    fit_windows(times, values, weights, frequencies, t_ref, numerics::median_step(times), settings, result, noise);
    for (const WindowResult& wr : result.windows) switch (wr.skip) {
        case Skip::none: ++result.counts.used; break;
        case Skip::few_points: ++result.counts.few_points; break;
        case Skip::few_for_model: ++result.counts.few_for_model; break;
        case Skip::singular: ++result.counts.singular; break;
        }
    if (settings.local_noise) apply_noise_factors(noise, count, result);
    else result.noise_factor.assign(count, 1.0);
    result.timing.windows = seconds_since(start);
    Clock::time_point step_start = Clock::now();

    // Phases to delays, frequency by frequency.
    const std::size_t nw = result.windows.size();
    std::vector<std::vector<double>> delay(count), delay_err(count);
    std::vector<std::vector<bool>> used(count);
    std::vector<double> t_mid(nw);
    for (std::size_t w = 0; w < nw; ++w) t_mid[w] = result.windows[w].window.t_mid;
    result.modulation.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<PhasePoint> points(nw);
        for (std::size_t w = 0; w < nw; ++w) {
            const WindowResult& wr = result.windows[w];
            if (wr.cells.empty()) continue;
            points[w] = {wr.cells[i].phase, wr.cells[i].phase_err, true};
        }
        const FrequencyDelays fd = frequency_delays(points, frequencies[i], settings.max_phase_err);
        delay[i] = fd.delay;
        delay_err[i] = fd.delay_err;
        used[i] = fd.used;
        std::vector<double> amp(nw, nan), amp_err(nw, 0.0), phase_err(nw, 0.0);
        for (std::size_t w = 0; w < nw; ++w) {
            WindowResult& wr = result.windows[w];
            if (wr.cells.empty()) continue;
            Cell& cell = wr.cells[i];
            cell.phase = fd.phase[w];
            cell.used = fd.used[w];
            amp[w] = cell.amplitude;
            amp_err[w] = cell.amplitude_err;
            phase_err[w] = cell.phase_err;
        }
        result.modulation[i] = modulation(t_mid, amp, amp_err, fd.phase, phase_err, fd.used, t_ref);
    }

    // Each frequency's delay errors widened by its disagreement with the
    // others, in a few rounds (each changes the others' weights).
    const std::vector<double> first_ratio = consistency_ratios(delay, delay_err, used);
    result.consistency_scale.assign(count, 1.0);
    for (int round = 0; settings.consistency && round < consistency_rounds; ++round) {
        std::vector<std::vector<double>> scaled = delay_err;
        for (std::size_t i = 0; i < count; ++i)
            for (double& e : scaled[i]) e *= result.consistency_scale[i];
        const std::vector<double> ratio = consistency_ratios(delay, scaled, used);
        for (std::size_t i = 0; i < count; ++i) {
            // Only an excess beyond twice the chi2's own scatter, sqrt(2 / dof):
            // widening every frequency whose ratio happens to exceed 1 would
            // make the errors of white noise too large on average.
            const double dof = static_cast<double>(std::count(used[i].begin(), used[i].end(), true)) - 1.0;
            if (dof > 0.0 && ratio[i] > 1.0 + 2.0 * std::sqrt(2.0 / dof))
                result.consistency_scale[i] *= std::sqrt(ratio[i]);
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        result.modulation[i].time_delay_chi2_dof = first_ratio[i];
        for (std::size_t w = 0; w < nw; ++w) {
            WindowResult& wr = result.windows[w];
            if (wr.cells.empty() || !used[i][w]) continue;
            wr.cells[i].time_delay = delay[i][w];
            wr.cells[i].time_delay_err = delay_err[i][w] * result.consistency_scale[i];
        }
    }

    // One delay per window.
    for (std::size_t w = 0; w < nw; ++w) {
        WindowResult& wr = result.windows[w];
        std::vector<double> d, e;
        for (const Cell& cell : wr.cells)
            if (cell.used) {
                d.push_back(cell.time_delay);
                e.push_back(cell.time_delay_err);
            }
        wr.delay = combine_delays(d, e);
        if (wr.delay.frequencies == 0) continue;
        DelayPoint point;
        point.t = wr.window.t_mid;
        point.delay = wr.delay.delay;
        point.delay_err = wr.delay.delay_err;
        node_groups(times.subspan(wr.window.first, wr.window.count), orbit_nodes, point.node_times,
                    point.node_shares);
        result.delays.push_back(std::move(point));
        result.delay_window.push_back(w);
    }

    result.timing.delays = seconds_since(step_start);
    step_start = Clock::now();
    result.spectrum = search_delays(result.delays, result.step, t_ref, settings.orbit_fap);
    result.timing.search = seconds_since(step_start);
    step_start = Clock::now();
    if (result.spectrum.claimed) {
        OrbitSettings orbit = settings.orbit;
        orbit.threads = settings.threads;
        result.orbit = fit_orbit(result.delays, result.spectrum, t_ref, orbit);
    }
    result.timing.orbit = seconds_since(step_start);
    result.timing.total = seconds_since(start);
    return result;
}

}  // namespace tracking
