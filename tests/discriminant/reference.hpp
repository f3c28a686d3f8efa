// The straightforward moment discriminant: every rotation coefficient and
// every surface integral recomputed at every call.  The program's cached
// form must agree with it bit for bit.
#pragma once

namespace discriminant {

// The theoretical counterparts of the seven observed amplitudes: observing
// them exactly gives the mode a discriminant of (nearly) 0.
struct Moments {
    double AA = 0, CC = 0, DD = 0, EE = 0, FF = 0, GG = 0, RST = 0;
    double T4 = 0;         // |T4|, the pulsational part of EE
    double rotation4 = 0;  // the rotational part of EE
};

Moments reference_moments(int l, int m, double incl, double vp, double vomega, double sigma);

double discriminant_reference(int l, int m, double incl, double vp, double vomega, double sigma,
                              double AA, double CC, double DD, double EE, double FF, double GG, double RST,
                              double eAA, double eCC, double eDD, double eEE, double eFF, double eGG,
                              double eRST);

}  // namespace discriminant
