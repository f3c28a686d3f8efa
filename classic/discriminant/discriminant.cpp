// discriminant: how well the mode (l, m) at inclination incl, pulsation
// amplitude vp, rotation vomega and line width sigma explains the seven
// observed moment amplitudes AA (first order), CC, DD, EE (second order),
// FF, GG, RST (third order).
//
// Each deviation between theory and observation is taken to the power
// 1/order, so that all seven are velocities; they are weighted by the
// observations' value-to-error ratios and combined in a root sum of squares.
// The call also leaves in error.sf the standard error of the weighted norm of
// the observations.
//
// The theoretical moments are sums of products of rotation coefficients
// a(k) = almk(l, m, k, incl) and surface integrals.  The integrals depend
// only on l, the orders and the run's K and beta, so they are tabulated once
// per degree; the rotation coefficients and the sums S2 ... S7 built from them
// depend only on (l, m, incl), so they are tabulated per inclination and
// reused for every vp, vomega and sigma; the weights and Sf depend on the
// observations alone and are formed once for them.  The tables live in a
// DiscriminantCache the caller owns, sized once for the largest degree of
// its run.  Every final expression keeps the order of operations of its
// definition (factors are cached, never partial products that would regroup
// it), so the results are bit for bit those of recomputing everything at
// each call.
#include "discriminant/discriminant.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "discriminant/integrals.hpp"
#include "discriminant/legendre.hpp"
#include "discriminant/records.hpp"

namespace discriminant {
namespace {

double G(int n, int l, int k) { return alfa.K * hnlk(n, l, k) + jnlk(n, l, k); }

double B(int l, int k)
{
    const double K = alfa.K;
    const double beta = limbdarkening.beta;
    const double lk = (l + 1) * K;
    return (1 + lk) * (1 + lk) * (bnmlk(3, k, l, l) + beta * bnmlk(4, k, l, l))
           + lk * lk * (bnmlk(1, k, l + 1, l + 1) + beta * bnmlk(2, k, l + 1, l + 1))
           - 2 * K * (l + 1) * (1 + lk) * (bnmlk(2, k, l, l + 1) + beta * bnmlk(3, k, l, l + 1));
}

// The integrals of degree l, rebuilt when the degree, K, beta or the
// quadrature rule changed since they were built.
const DegreeTables& degree_tables(DiscriminantCache& cache, int l)
{
    DegreeTables& d = cache.degree;
    const std::uint64_t K = std::bit_cast<std::uint64_t>(alfa.K);
    const std::uint64_t beta = std::bit_cast<std::uint64_t>(limbdarkening.beta);
    if (d.valid && d.l == l && d.K == K && d.beta == beta && std::memcmp(&d.rule, &integraal, sizeof integraal) == 0)
        return d;
    d.valid = true;
    d.l = l;
    d.width = 2 * l + 1;
    d.K = K;
    d.beta = beta;
    d.rule = integraal;
    const double b = limbdarkening.beta;
    d.L = (b + b) / 3 + 1;
    d.g00 = G(0, l, 0);
    d.g11 = G(1, l, 1);
    d.g20 = G(2, l, 0);
    d.g22 = G(2, l, 2);
    for (int k = -l; k <= l; ++k) {
        d.B[k + l] = B(l, k);
        d.h5[k + l] = hh5lk(l, k);
        d.h4[k + l] = hh4lk(l, k);
        for (int r = -l; r <= l; ++r) {
            const int kr = (k + l) * d.width + (r + l);
            if (std::abs(k + r) <= l) d.h[kr] = hhlkr(l, k, r);
            if (std::abs(r - k) <= l) {
                d.h2[kr] = hh2lkr(l, k, r);
                d.h3[kr] = hh3lkr(l, k, r);
            }
        }
    }
    cache.rotations_used = 0;  // the sums hold integrals of the old tables
    return d;
}

void fill_rotation(Rotation& R, const DegreeTables& d, int l, int m, double incl)
{
    R.m = m;
    R.incl = std::bit_cast<std::uint64_t>(incl);
    R.N = nlm(l, m);
    for (int k = -l - 2; k <= l + 2; ++k) R.a[k + l + 2] = almk(l, m, k, incl);
    auto a = [&](int k) { return R.a[k + l + 2]; };
    auto h = [&](int k, int r) { return d.h[(k + l) * d.width + (r + l)]; };
    auto h2 = [&](int k, int r) { return d.h2[(k + l) * d.width + (r + l)]; };
    auto h3 = [&](int k, int r) { return d.h3[(k + l) * d.width + (r + l)]; };

    double S2 = 0;
    for (int k = 1; k <= l; ++k) S2 += 2 * sign_power(k) * a(k) * a(-k) * d.B[k + l];
    S2 += a(0) * a(0) * d.B[l];
    R.S2 = S2;

    double S4 = 0;
    for (int k = -l; k <= l; ++k) S4 += a(k) * a(k) * d.B[k + l];
    R.S4 = S4;

    double S5 = 0;
    for (int k = -l; k <= l - 1; ++k) {
        for (int r = k + 1; r <= l; ++r)
            if (std::abs(k + r) <= l) S5 += 2 * sign_power(k + r + 1) * a(k) * a(r) * a(-k - r) * h(k, r);
        if (std::abs(2 * k) <= l) S5 -= a(k) * a(k) * a(-2 * k) * h(k, k);
    }
    R.S5 = S5;

    double S6 = 0;
    for (int k = -l; k <= l; ++k) S6 += a(k) * (a(-1 - k) * d.h5[k + l] - d.h4[k + l] * a(1 - k));
    const double N = R.N;
    R.rotation6 = (N * N) * S6 * 3 / (2 * d.L);

    double S7 = 0;
    for (int k = -l; k <= l; ++k)
        for (int r = -l; r <= l; ++r) {
            if (std::abs(k + r) <= l) S7 += a(k) * a(r) * a(k + r) * h(k, r);
            if (std::abs(r - k) <= l) {
                S7 += a(k) * a(r) * a(r - k) * h2(k, r);
                S7 += a(k) * a(r) * a(k - r) * h3(k, r);
            }
        }
    R.S7 = S7;

    R.a11 = a(1) + a(-1);
    R.bracket7 = 3 * a(0) * d.g20 - 1.5 * (a(2) + a(-2)) * d.g22;
}

// The tabulated rotation of (m, incl) for the current degree: the slot used
// last is tried first (the grid keeps one inclination for many points), then
// the others; a miss fills a free slot, or starts the slots afresh.
const Rotation& rotation(DiscriminantCache& cache, const DegreeTables& d, int l, int m, double incl)
{
    const std::uint64_t key = std::bit_cast<std::uint64_t>(incl);
    if (cache.rotation_last < cache.rotations_used) {
        const Rotation& R = cache.rotations[cache.rotation_last];
        if (R.m == m && R.incl == key) return R;
    }
    for (int s = 0; s < cache.rotations_used; ++s)
        if (cache.rotations[s].m == m && cache.rotations[s].incl == key) {
            cache.rotation_last = s;
            return cache.rotations[s];
        }
    if (cache.rotations_used == DiscriminantCache::rotation_slots) cache.rotations_used = 0;
    cache.rotation_last = cache.rotations_used++;
    Rotation& R = cache.rotations[cache.rotation_last];
    fill_rotation(R, d, l, m, incl);
    return R;
}

// The weights, the m = 0 roots and Sf of the observations, formed again
// only when an observation or an error changed (bit for bit).
const Weights& weights(DiscriminantCache& cache, const Observed& o)
{
    Weights& w = cache.weights;
    if (w.valid && std::memcmp(&w.observed, &o, sizeof o) == 0) return w;
    w.valid = true;
    w.observed = o;
    const double AA = o.value[0], CC = o.value[1], DD = o.value[2], EE = o.value[3], FF = o.value[4],
                 GG = o.value[5], RST = o.value[6];
    const double eAA = o.error[0], eCC = o.error[1], eDD = o.error[2], eEE = o.error[3], eFF = o.error[4],
                 eGG = o.error[5], eRST = o.error[6];

    // Each quantity weighs by its value-to-error ratio; the weights sum to 1.
    const double S = AA / eAA + CC / eCC + DD / eDD + EE / eEE + FF / eFF + GG / eGG + RST / eRST;
    w.AA = AA / (eAA * S);
    w.CC = CC / (eCC * S);
    w.DD = DD / (eDD * S);
    w.EE = EE / (eEE * S);
    w.FF = FF / (eFF * S);
    w.GG = GG / (eGG * S);
    w.RST = RST / (eRST * S);
    w.rootDD = std::pow(DD, 1.0 / 2.0);
    w.rootGG = std::pow(GG, 1.0 / 3.0);

    // Standard error of the weighted norm of the observations, each taken to
    // the power 1/order, with the weights held constant.
    auto sq = [](double x) { return x * x; };
    const double two_thirds = 2.0 / 3.0;
    const double nobs = std::sqrt(sq(w.AA) * sq(AA) + sq(w.CC) * CC + sq(w.DD) * DD + sq(w.EE) * EE
                                  + sq(w.FF) * std::pow(FF, two_thirds) + sq(w.GG) * std::pow(GG, two_thirds)
                                  + sq(w.RST) * std::pow(RST, two_thirds));
    auto third_order = [&](double wq, double e, double v) {
        return v == 0 ? 0.0 : sq(wq) * sq(wq) * sq(e) * std::pow(v, -two_thirds);
    };
    w.sf = std::sqrt(sq(w.AA) * sq(w.AA) * sq(eAA) * sq(AA)
                     + (sq(w.CC) * sq(w.CC) * sq(eCC) + sq(w.DD) * sq(w.DD) * sq(eDD) + sq(w.EE) * sq(w.EE) * sq(eEE)) / 4
                     + (third_order(w.FF, eFF, FF) + third_order(w.GG, eGG, GG) + third_order(w.RST, eRST, RST)) / 9)
           / nobs;
    return w;
}

}  // namespace

// The tables of degrees 0 ... capacity, within 0 ... lmax_finite, allocated
// here once: nothing is allocated while the discriminant runs.
DiscriminantCache::DiscriminantCache(int capacity) : lmax(std::clamp(capacity, 0, lmax_finite))
{
    const std::size_t width = 2 * static_cast<std::size_t>(lmax) + 1;
    degree.B.assign(width, 0.0);
    degree.h5.assign(width, 0.0);
    degree.h4.assign(width, 0.0);
    degree.h.assign(width * width, 0.0);
    degree.h2.assign(width * width, 0.0);
    degree.h3.assign(width * width, 0.0);
    rotations.resize(rotation_slots);
    for (Rotation& R : rotations) R.a.assign(width + 4, 0.0);
}

// discriminant: see the head of this file.
//   Given:    cache               the tables; they hold degrees 0 ... cache.lmax
//             couple              degree l and azimuthal order m, -l <= m <= l
//             point               inclination (radians); vp, vomega, sigma:
//                                 pulsation amplitude, equatorial rotation,
//                                 intrinsic line width (km/s)
//             observed            the seven amplitudes (>= 0) and their
//                                 standard errors (> 0)
//   Returned: the discriminant; error.sf set
//   Notes: 1. Reads integraal, alfa and limbdarkening.
//          2. An observed FF, GG or RST of 0 has weight 0 and adds nothing
//             to error.sf (the plain formula would give 0 times infinity).
//          3. A degree outside 0 ... cache.lmax gives NaN and leaves the
//             tables and error.sf as they were (the program sizes the cache
//             for its run and refuses degrees beyond lmax_finite).
double discriminant(DiscriminantCache& cache, const Couple& couple, const Gridpoint& point, const Observed& observed)
{
    const int l = couple.l;
    const int m = couple.m;
    if (l < 0 || l > cache.lmax) return std::numeric_limits<double>::quiet_NaN();
    const double vp = point.vp, vomega = point.vomega, sigma = point.sigma;
    const double AA = observed.value[0], CC = observed.value[1], DD = observed.value[2], EE = observed.value[3],
                 FF = observed.value[4], GG = observed.value[5], RST = observed.value[6];

    const DegreeTables& d = degree_tables(cache, l);
    const Rotation& R = rotation(cache, d, l, m, point.incl);
    const double beta = limbdarkening.beta;
    const double half = 1.0 / 2.0;
    const double third = 1.0 / 3.0;
    const double N = R.N;
    const double L = d.L;
    const double a0 = R.a[l + 2];

    const double T1 = 2 * vp * N / L * a0 * d.g00;
    const double d1 = std::fabs(std::fabs(T1) - AA);

    double d2;
    if (l == 0) {
        d2 = std::pow(std::fabs(0.15 * (vp * vp) * (5 + 4 * beta) / (3 + 2 * beta) - CC), half);
    } else {
        const double T2 = R.S2 * (vp * vp) * (N * N) / L;
        d2 = std::pow(std::fabs(std::fabs(T2) - CC), half);
    }

    const Weights& w = weights(cache, observed);

    double d3 = w.rootDD;  // an m = 0 mode has no first-order rotation term
    if (m != 0) {
        const double T3 = 2 * N / L * vp * vomega * R.a11 * d.g11;
        d3 = std::pow(std::fabs(std::fabs(T3) - DD), half);
    }

    const double T4 = R.S4 * (vp * vp) * (N * N) / L;
    const double d4 = std::pow(
        std::fabs(EE - std::fabs(T4) - (vomega * vomega) * (15 + 8 * beta) / (60 + 40 * beta) - sigma * sigma), half);

    double d5;
    if (l == 0) {
        d5 = std::pow(std::fabs((vp * vp * vp) * (6 + 5 * beta) / (60 + 40 * beta) - FF), third);
    } else {
        const double T5 = R.S5 * (vp * vp * vp) * (N * N * N) / 2 / L;
        d5 = std::pow(std::fabs(std::fabs(T5) - FF), third);
    }

    double d6 = w.rootGG;
    if (m != 0) {
        const double T6 = (vp * vp) * R.rotation6 * vomega;
        d6 = std::pow(std::fabs(std::fabs(T6) - GG), third);
    }

    const double T7 = std::fabs(R.S7) * (vp * vp * vp) * (N * N * N) / (2 * L)
                      + std::fabs(N * vp * (sigma * sigma) / L * 6 * a0 * d.g00)
                      + std::fabs(N * vp * (vomega * vomega) / L * R.bracket7);
    const double d7 = std::pow(std::fabs(T7 - RST), third);

    auto sq = [](double x) { return x * x; };
    const double discr = std::sqrt(sq(w.AA * d1) + sq(w.CC * d2) + sq(w.DD * d3) + sq(w.EE * d4) + sq(w.FF * d5)
                                   + sq(w.GG * d6) + sq(w.RST * d7));
    error.sf = w.sf;
    return discr;
}

}  // namespace discriminant
