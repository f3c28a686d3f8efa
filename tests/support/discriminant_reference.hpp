// The straightforward moment discriminant: every rotation coefficient and
// every surface integral recomputed at every call.  The program's cached
// form must agree with it bit for bit.
#pragma once

#include "discriminant/discriminant.hpp"

namespace discriminant {

// The theoretical counterparts of the seven observed amplitudes: observing
// them exactly gives the mode a discriminant of (nearly) 0.
struct Moments {
    double AA = 0, CC = 0, DD = 0, EE = 0, FF = 0, GG = 0, RST = 0;
    double T4 = 0;         // |T4|, the pulsational part of EE
    double rotation4 = 0;  // the rotational part of EE
};

Moments reference_moments(const Couple& couple, const Gridpoint& point);

double discriminant_reference(const Couple& couple, const Gridpoint& point, const Observed& observed);

}  // namespace discriminant
