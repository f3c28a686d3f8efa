// The Scargle amplitude spectrum in its textbook form, loop for loop: for
// each frequency the time shift tau of tan(2 w tau) = sum sin 2wt /
// sum cos 2wt, then the two least-squares terms, in extended precision
// with the library's sine and cosine.  The yardstick of both methods.
#pragma once

#include <span>
#include <vector>

#include "spectrum/spectrum.hpp"

namespace reference {

// Scargle amplitude sqrt(4 P / N) of the mean-subtracted values at each
// grid frequency; NaN at a frequency of exactly zero (0/0); a term whose
// basis function vanishes at every time contributes nothing.
std::vector<double> amplitude(std::span<const double> t, std::span<const double> x, const spectrum::Grid& grid);

}  // namespace reference
