// Constants shared by the programs, each written once to the digits the
// programs' stored results depend on.
#pragma once

namespace suite {

// Two pi as the period search and the harmonic fit use it: the 15-digit
// decimal 6.28318530717959, which lies 3.5e-15 above 2 pi.  Phases, trial
// angles and the fitted coefficients carry these exact digits in their last
// bits, so it must not be replaced by the double nearest 2 pi.
constexpr double twopi = 6.28318530717959;

// Half of that decimal two pi (3.141592653589795), for the quadrant
// corrections of phases computed with it.
constexpr double half_twopi = twopi / 2;

// The double nearest pi, for angles given in degrees and the geometry of
// the stellar disc.
constexpr double pi = 3.141592653589793;

}  // namespace suite
