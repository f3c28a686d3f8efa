// Shared records of discriminant: the quadrature rule, the velocity ratio K,
// the limb-darkening coefficient beta and the standard error Sf.  They live
// for the whole run; the main program and gauleg write them, the surface
// integrals and the moment discriminant read them.
#pragma once

namespace discriminant {

// The number of nodes of the quadrature rule.
constexpr int quadrature_points = 12;

// The 12-point Gauss-Legendre rule on [0, 1], filled once by gauleg: the
// only place the nodes and weights are held.  Index 0 holds node 1 (the node
// closest to 0); nodes ascend.
struct Integraal {
    double nodes[quadrature_points] = {};
    double weights[quadrature_points] = {};
};

// K: ratio of the horizontal to the vertical velocity amplitude.
struct Alfa {
    double K = 0.0;
};

// beta of the limb-darkening law I(mu) ~ 1 + beta mu.
struct Limbdarkening {
    double beta = 0.0;
};

// Standard error of the weighted norm of the observations (printed as Sf).
struct Error {
    double sf = 0.0;
};

extern Integraal integraal;
extern Alfa alfa;
extern Limbdarkening limbdarkening;
extern Error error;

}  // namespace discriminant
