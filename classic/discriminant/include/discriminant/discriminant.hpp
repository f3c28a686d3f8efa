// The moment discriminant of one candidate mode (l, m) at one grid point,
// and the tables it keeps between calls.
#pragma once

#include <cstdint>
#include <vector>

#include "discriminant/legendre.hpp"
#include "discriminant/records.hpp"

namespace discriminant {

// The largest degree l the discriminant serves: nlm and almk form (l+|m|)!,
// which reaches (2l)! for |m| = l, and every product of factorials they form
// stays below it; so 2l must not pass facul_limit.
constexpr int lmax_finite = facul_limit / 2;

// The seven observed moment amplitudes with their standard errors, in the
// order AA, CC, DD, EE, FF, GG, RST.
struct Observed {
    double value[7] = {};
    double error[7] = {};
};

// A candidate mode: degree l and azimuthal order m.
struct Couple {
    int l = 0;
    int m = 0;
};

// One point of the parameter grid.
struct Gridpoint {
    double incl = 0;    // inclination of the rotation axis (radians)
    double vp = 0;      // pulsation velocity amplitude (km/s)
    double vomega = 0;  // equatorial rotation velocity (km/s)
    double sigma = 0;   // intrinsic line width (km/s)
};

// Surface integrals of one degree l, for the run's K and beta and the
// quadrature rule.  The k-indexed tables hold index k + l; the (k, r)
// tables index (k + l) * width + (r + l), width = 2l + 1.
struct DegreeTables {
    bool valid = false;
    int l = -1;
    int width = 0;
    std::uint64_t K = 0, beta = 0;  // bit patterns the tables were built for
    Integraal rule;                 // and the quadrature rule
    double L = 0;                   // 1 + 2 beta / 3, twice the projected area
    double g00 = 0, g11 = 0, g20 = 0, g22 = 0;
    std::vector<double> B;   // sum of w D V(l,k)^2
    std::vector<double> h5;  // hh5lk(l, k)
    std::vector<double> h4;  // hh4lk(l, k)
    std::vector<double> h;   // hhlkr(l, k, r), where |k + r| <= l
    std::vector<double> h2;  // hh2lkr(l, k, r), where |r - k| <= l
    std::vector<double> h3;  // hh3lkr(l, k, r), where |r - k| <= l
};

// Rotation coefficients of one (l, m, incl) and the sums built from them.
struct Rotation {
    int m = 0;
    std::uint64_t incl = 0;
    double N = 0;
    std::vector<double> a;  // almk(l, m, k, incl), k = -l-2 ... l+2, index k + l + 2
    double S2 = 0, S4 = 0, S5 = 0, S7 = 0;
    double a11 = 0;        // a(1) + a(-1)
    double rotation6 = 0;  // N^2 S6 3 / (2L)
    double bracket7 = 0;   // 3 a(0) G(2,0) - 1.5 (a(2) + a(-2)) G(2,2)
};

// What depends on the observations alone: the weights, the roots DD^(1/2)
// and GG^(1/3) of an m = 0 mode, and the standard error Sf.
struct Weights {
    bool valid = false;
    Observed observed;  // the observations they were formed for
    double AA = 0, CC = 0, DD = 0, EE = 0, FF = 0, GG = 0, RST = 0;
    double rootDD = 0, rootGG = 0;
    double sf = 0;
};

// The tables of the discriminant for degrees 0 ... lmax, sized once: the
// integrals of the degree in use, the rotations of the inclinations met
// lately, and the weights of the observations.
struct DiscriminantCache {
    static constexpr int rotation_slots = 64;

    explicit DiscriminantCache(int capacity);

    int lmax;  // the largest degree the tables hold
    DegreeTables degree;
    std::vector<Rotation> rotations;  // rotation_slots of them
    int rotations_used = 0;
    int rotation_last = 0;
    Weights weights;
};

double discriminant(DiscriminantCache& cache, const Couple& couple, const Gridpoint& point, const Observed& observed);

}  // namespace discriminant
