// Medians: the level of a light curve, and its cadence.
#pragma once

#include <span>
#include <vector>

namespace numerics {

// median: the middle value (the mean of the two middle values for an even
// count); NaN for none.
//   Notes: 1. Two middle values of opposite signs near the largest double
//             are averaged by halves, which cannot overflow.
double median(std::vector<double> values);

// median_step: the median of the positive steps between consecutive
// sorted times: the cadence, which gaps do not disturb; 0 when no two
// times differ.
double median_step(std::span<const double> sorted_times);

}  // namespace numerics
