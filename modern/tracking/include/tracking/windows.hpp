// Windows of a light curve for tracking its frequencies through time: which
// points each window holds, whether it holds enough to be fitted, and which
// frequencies a window can tell apart.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace tracking {

// The points of one window: [first, first + count) of the sorted times,
// those with start <= t < end.
struct Window {
    std::size_t first = 0;
    std::size_t count = 0;
    double start = 0.0;  // days
    double end = 0.0;    // start + W
    double t_mid = 0.0;  // the mean time of its points (the epoch its phases measure); start + W / 2 when empty
};

// cut_windows: windows of width W starting at the first time, every S days.
//   Given:    times  sorted, finite, at least one
//             width  W > 0, days
//             step   S > 0, days
//   Returned: one window per start t_0 + j S <= last time, j = 0, 1, ...
//   Notes: 1. Starts are t_0 + j S computed from j, not by adding S
//             repeatedly, so no rounding accumulates over thousands of
//             windows.
//          2. With S = W every point lies in exactly one window; with
//             S < W neighbouring windows share points.
//          3. (last - first) / S + 1 windows: the caller keeps S from being
//             so small that they would not fit in memory (track refuses
//             more than max_windows).
std::vector<Window> cut_windows(std::span<const double> times, double width, double step);

// Why a window is not used.
enum class Skip {
    none,           // used
    few_points,     // fewer than half the points of a full window at the median cadence
    few_for_model,  // not more than twice the parameters of its fit
    singular,       // its fit's columns are dependent (gaps that leave a frequency unseen)
};

// use_rule: whether a window of `count` points is fitted.
//   Given:    count       points in the window
//             parameters  of its fit (baseline and two per frequency)
//             width       W, days; cadence the median step, days
//   Returned: Skip::none when count >= W / (2 cadence) and count > 2 parameters
Skip use_rule(std::size_t count, std::size_t parameters, double width, double cadence);

// group_frequencies: which frequencies a window of width W fits.
//   Given:    frequencies  c/d; amplitudes the table's, one each
//             separation   c/d, about 1.5 / W
//   Returned: one flag per frequency, true when it is kept
//   Notes: 1. In order of decreasing amplitude (ties: the earlier in the
//             table first), a frequency is kept unless it lies within the
//             separation of one already kept or of zero (where the
//             window's baseline takes it).  Each group of frequencies a
//             window cannot tell apart is represented by its strongest,
//             and a dense region does not collapse into one chain.
//          2. The modulation that phase-modulated modes show as sidelobes
//             f +- 1 / P_orb in the whole data is, within a window, the
//             phase shift the window measures; fitting the sidelobes there
//             would absorb it.
std::vector<bool> group_frequencies(std::span<const double> frequencies, std::span<const double> amplitudes,
                                    double separation);

}  // namespace tracking
