// The amplitude spectrum by direct sums over observations and frequencies:
// the reference of the fast method.
#pragma once

#include <span>
#include <vector>

#include "phases.hpp"

namespace spectrum::detail {

// exact_spectrum: Scargle amplitudes over the grid by direct sums.
//   Given:    grid     the frequencies
//             phases   the observations' phases along the grid
//             centred  the values minus their mean
//             threads  threads to use
//   Returned: one amplitude per grid frequency
//   Notes: 1. The grid is cut into fixed blocks of frequencies, each summed
//             whole by one thread over the observations in order, so the
//             result does not depend on the number of threads.
//          2. Within a block the phase of an observation advances by its
//             grid advance from the block's first phase (computed exactly):
//             the added rounding stays below 1e-14 cycles.
//          3. Cost: about n * count sines and cosines (vectorised).
std::vector<double> exact_spectrum(const Grid& grid, const PointPhases& phases, std::span<const double> centred,
                                   int threads);

}  // namespace spectrum::detail
