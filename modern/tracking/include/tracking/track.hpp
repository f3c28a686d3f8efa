// Tracking the frequencies of a light curve through time.
//
// The extraction gives one amplitude and phase per frequency for the whole
// light curve.  Here they are measured again in windows of W days, at the
// same fixed frequencies and the same t_ref, and three things are read
// from how they change: amplitude modulation, frequency change, and the
// light-travel time of a star in a binary, which moves all its phases
// together (the phase-modulation method; Murphy et al. 2014, MNRAS 441,
// 2515; Murphy & Shibahashi 2015, MNRAS 450, 4475).
//
// Plain functions on arrays: nothing prints, nothing is written.  Invalid
// arguments throw std::invalid_argument naming the argument.  Results do
// not depend on the number of threads: each window is fitted whole by one
// thread and everything after the windows runs in order.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "tracking/delays.hpp"
#include "tracking/modulation.hpp"
#include "tracking/orbit.hpp"
#include "tracking/window_fit.hpp"
#include "tracking/windows.hpp"

namespace tracking {

// The most windows a light curve is cut into: a step that would give more
// (a few minutes over years of data) is refused rather than filling memory.
inline constexpr std::size_t max_windows = 100000;

// A frequency of the table being tracked.
struct TableFrequency {
    int id = 0;
    double frequency = 0.0;  // c/d
    double amplitude = 0.0;  // the table's, which decides the strongest of a group
};

struct Settings {
    double width = 10.0;  // W, days
    double step = 0.0;    // S, days; 0: W
    Baseline baseline = Baseline::linear;
    bool weights = false;      // weight the window fits by 1 / error^2
    double separation = 1.5;   // frequencies closer than separation / W are grouped
    double max_phase_err = 0.1;  // cycles: a window's phase with a larger error takes no part in the delays
    double orbit_fap = 1e-3;     // an orbit is claimed below this false-alarm probability
    // Errors of each frequency's amplitudes and phases scaled by the
    // residuals' noise near it over their overall variance (local_noise),
    // averaged over the windows.
    bool local_noise = true;
    double noise_box = 1.0;    // c/d, the band of that noise
    // Each frequency's delay errors scaled up by the scatter of its delays
    // about the other frequencies' (consistency_ratios), where that chi2
    // per degree of freedom exceeds 1 by more than twice its own scatter.
    bool consistency = true;
    OrbitSettings orbit;
    int threads = 1;  // 0: as many as the machine has
};

// One frequency in one window.
struct Cell {
    double amplitude = 0.0, amplitude_err = 0.0;
    double phase = 0.0, phase_err = 0.0;  // cycles; unwrapped where used, in [0, 1) otherwise
    double time_delay = 0.0, time_delay_err = 0.0;  // seconds, where used
    bool used = false;  // takes part in the window's delay
};

struct WindowResult {
    Window window;
    Skip skip = Skip::none;
    std::vector<Cell> cells;  // one per fitted frequency (Result::fitted), empty when skipped
    WindowDelay delay;
};

struct Counts {
    std::size_t used = 0, few_points = 0, few_for_model = 0, singular = 0;
    std::size_t skipped() const { return few_points + few_for_model + singular; }
};

// Seconds spent in each part of the step.
struct Timing {
    double windows = 0.0;  // cutting and fitting the windows
    double delays = 0.0;   // unwrapping, delays, modulation
    double search = 0.0;   // the spectrum of the delays
    double orbit = 0.0;    // the orbit's fit
    double total = 0.0;
};

struct Result {
    double width = 0.0, step = 0.0, t_ref = 0.0;
    std::vector<TableFrequency> table;
    std::vector<std::size_t> fitted;     // indices into table of the frequencies the windows fit
    std::vector<std::size_t> left_out;   // indices of those grouped with a stronger one
    std::vector<WindowResult> windows;
    Counts counts;
    std::vector<double> noise_factor;       // per fitted frequency
    std::vector<double> consistency_scale;  // per fitted frequency, >= 1
    std::vector<DelayPoint> delays;         // the windows with a delay, in order
    std::vector<std::size_t> delay_window;  // the window of each
    DelaySpectrum spectrum;
    OrbitFit orbit;                          // fitted only when the spectrum claims an orbit
    std::vector<Modulation> modulation;      // per fitted frequency
    Timing timing;
};

// track: the whole step on one light curve.
//   Given:    times, values  one each per point, times sorted, all finite
//             errors         one per point, > 0, or empty; used when settings.weights
//             table          the frequencies (their ids, values, amplitudes)
//             t_ref          the table's reference time, days
//             settings       W > 0, S >= 0, at most max_windows windows
//   Returned: everything measured
Result track(std::span<const double> times, std::span<const double> values, std::span<const double> errors,
             std::span<const TableFrequency> table, double t_ref, const Settings& settings);

// consistency_ratios: for each frequency, the chi2 per degree of freedom
// of its delays about the weighted mean of the other frequencies' delays
// in the same windows (leave one out), each difference weighted by the sum
// of the two variances.  An orbit moves every frequency's delays alike and
// cancels here; noise, intrinsic phase wander and beating with an
// unresolved neighbour do not.
//   Given:    delays, errors, used  per frequency, per window (errors > 0 where used)
//   Returned: one ratio per frequency; NaN where no window has another frequency
std::vector<double> consistency_ratios(const std::vector<std::vector<double>>& delays,
                                       const std::vector<std::vector<double>>& errors,
                                       const std::vector<std::vector<bool>>& used);

// The word of a skip reason: "few-points", "few-for-model", "singular".
std::string skip_name(Skip skip);

}  // namespace tracking
