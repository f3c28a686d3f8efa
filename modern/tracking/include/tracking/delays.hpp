// From the phases of the windows to time delays: each frequency's phases
// unwrapped along the windows, its delay in each window, and the weighted
// mean delay of each window over the frequencies that carry one.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace tracking {

// One frequency in one window, as the window fit measured it.
struct PhasePoint {
    double phase = 0.0;      // cycles
    double phase_err = 0.0;  // cycles
    bool fitted = false;     // the window was fitted
};

// One frequency's time delays along the windows.
struct FrequencyDelays {
    std::vector<double> phase;      // unwrapped, cycles (as measured where not used)
    std::vector<double> delay;      // seconds; 0 where not used
    std::vector<double> delay_err;  // seconds; 0 where not used
    std::vector<bool> used;         // takes part in the unwrapping and the delays
    double mean_phase = 0.0;        // phibar, the weighted mean of the used phases
};

// frequency_delays: unwrapping and delays of one frequency.
//   Given:    points         one per window, in time order
//             frequency      c/d
//             max_phase_err  cycles: a window whose phase error exceeds
//                            it takes no part (0.1)
//   Returned: the delays
//   Notes: 1. Each used phase gets whole cycles added so that it differs
//             from the previous used window's by at most half a cycle.
//          2. tau = -86400 (phi - phibar) / f, sigma_tau = 86400 sigma_phi / f:
//             the light of the model A sin(2 pi (f (t - t_ref) + phi))
//             delayed by tau shows the phase phi - f tau, so a later
//             arrival (the star farther away) is a positive delay.
FrequencyDelays frequency_delays(std::span<const PhasePoint> points, double frequency, double max_phase_err);

// One window's delay over its frequencies.
struct WindowDelay {
    int frequencies = 0;     // K_w, those taking part
    double delay = 0.0;      // seconds, weighted mean
    double delay_err = 0.0;  // seconds, 1 / sqrt(sum 1 / sigma^2)
    double chi2 = 0.0;       // sum (tau_i - tau_w)^2 / sigma_i^2
    double chi2_dof = 0.0;   // chi2 / (K_w - 1); NaN for K_w = 1
};

// combine_delays: the weighted mean of the delays of one window.
//   Given:    delays, errors  seconds, the frequencies taking part (errors > 0)
//   Returned: the mean, its error and the chi2 of the delays about it;
//             frequencies = 0 for none
WindowDelay combine_delays(std::span<const double> delays, std::span<const double> errors);

}  // namespace tracking
