// Straightforward moment discriminant, written term by term from its
// definition; the reference for the cached form in discriminant/.
#include "support/discriminant_reference.hpp"

#include <cmath>
#include <cstdlib>

#include "discriminant/integrals.hpp"
#include "discriminant/legendre.hpp"
#include "discriminant/records.hpp"

namespace discriminant {

Moments reference_moments(const Couple& couple, const Gridpoint& point)
{
    const int l = couple.l, m = couple.m;
    const double incl = point.incl, vp = point.vp, vomega = point.vomega, sigma = point.sigma;
    const double K = alfa.K;
    const double beta = limbdarkening.beta;
    Moments t;
    auto a = [&](int k) { return almk(l, m, k, incl); };
    auto G = [&](int n, int k) { return K * hnlk(n, l, k) + jnlk(n, l, k); };
    auto b = [&](int n, int k, int p, int q) { return bnmlk(n, k, p, q); };
    auto B = [&](int k) {
        const double lk = (l + 1) * K;
        return (1 + lk) * (1 + lk) * (b(3, k, l, l) + beta * b(4, k, l, l))
               + lk * lk * (b(1, k, l + 1, l + 1) + beta * b(2, k, l + 1, l + 1))
               - 2 * K * (l + 1) * (1 + lk) * (b(2, k, l, l + 1) + beta * b(3, k, l, l + 1));
    };
    const double N = nlm(l, m);
    const double L = (beta + beta) / 3 + 1;

    const double T1 = 2 * vp * N / L * a(0) * G(0, 0);
    t.AA = std::fabs(T1);

    if (l == 0) {
        t.CC = 0.15 * (vp * vp) * (5 + 4 * beta) / (3 + 2 * beta);
    } else {
        double S2 = 0;
        for (int k = 1; k <= l; ++k) S2 += 2 * sign_power(k) * a(k) * a(-k) * B(k);
        S2 += a(0) * a(0) * B(0);
        const double T2 = S2 * (vp * vp) * (N * N) / L;
        t.CC = std::fabs(T2);
    }

    t.DD = 0;
    if (m != 0) {
        const double T3 = 2 * N / L * vp * vomega * (a(1) + a(-1)) * G(1, 1);
        t.DD = std::fabs(T3);
    }

    double S4 = 0;
    for (int k = -l; k <= l; ++k) S4 += a(k) * a(k) * B(k);
    const double T4 = S4 * (vp * vp) * (N * N) / L;
    t.T4 = std::fabs(T4);
    t.rotation4 = (vomega * vomega) * (15 + 8 * beta) / (60 + 40 * beta);
    t.EE = t.T4 + t.rotation4 + sigma * sigma;

    if (l == 0) {
        t.FF = (vp * vp * vp) * (6 + 5 * beta) / (60 + 40 * beta);
    } else {
        double S5 = 0;
        for (int k = -l; k <= l - 1; ++k) {
            for (int r = k + 1; r <= l; ++r)
                if (std::abs(k + r) <= l) S5 += 2 * sign_power(k + r + 1) * a(k) * a(r) * a(-k - r) * hhlkr(l, k, r);
            if (std::abs(2 * k) <= l) S5 -= a(k) * a(k) * a(-2 * k) * hhlkr(l, k, k);
        }
        const double T5 = S5 * (vp * vp * vp) * (N * N * N) / 2 / L;
        t.FF = std::fabs(T5);
    }

    t.GG = 0;
    if (m != 0) {
        double S6 = 0;
        for (int k = -l; k <= l; ++k) S6 += a(k) * (a(-1 - k) * hh5lk(l, k) - hh4lk(l, k) * a(1 - k));
        const double T6 = (vp * vp) * ((N * N) * S6 * 3 / (2 * L)) * vomega;
        t.GG = std::fabs(T6);
    }

    double S7 = 0;
    for (int k = -l; k <= l; ++k)
        for (int r = -l; r <= l; ++r) {
            if (std::abs(k + r) <= l) S7 += a(k) * a(r) * a(k + r) * hhlkr(l, k, r);
            if (std::abs(r - k) <= l) {
                S7 += a(k) * a(r) * a(r - k) * hh2lkr(l, k, r);
                S7 += a(k) * a(r) * a(k - r) * hh3lkr(l, k, r);
            }
        }
    const double T7 = std::fabs(S7) * (vp * vp * vp) * (N * N * N) / (2 * L)
                      + std::fabs(N * vp * (sigma * sigma) / L * 6 * a(0) * G(0, 0))
                      + std::fabs(N * vp * (vomega * vomega) / L
                                  * (3 * a(0) * G(2, 0) - 1.5 * (a(2) + a(-2)) * G(2, 2)));
    t.RST = T7;
    return t;
}

double discriminant_reference(const Couple& couple, const Gridpoint& point, const Observed& observed)
{
    const int m = couple.m;
    const double sigma = point.sigma;
    const double AA = observed.value[0], CC = observed.value[1], DD = observed.value[2], EE = observed.value[3],
                 FF = observed.value[4], GG = observed.value[5], RST = observed.value[6];
    const double eAA = observed.error[0], eCC = observed.error[1], eDD = observed.error[2], eEE = observed.error[3],
                 eFF = observed.error[4], eGG = observed.error[5], eRST = observed.error[6];
    const double half = 1.0 / 2.0;
    const double third = 1.0 / 3.0;
    const Moments t = reference_moments(couple, point);
    const double d1 = std::fabs(t.AA - AA);
    const double d2 = std::pow(std::fabs(t.CC - CC), half);
    const double d3 = m == 0 ? std::pow(DD, half) : std::pow(std::fabs(t.DD - DD), half);
    const double d4 = std::pow(std::fabs(EE - t.T4 - t.rotation4 - sigma * sigma), half);
    const double d5 = std::pow(std::fabs(t.FF - FF), third);
    const double d6 = m == 0 ? std::pow(GG, third) : std::pow(std::fabs(t.GG - GG), third);
    const double d7 = std::pow(std::fabs(t.RST - RST), third);

    const double S = AA / eAA + CC / eCC + DD / eDD + EE / eEE + FF / eFF + GG / eGG + RST / eRST;
    const double wAA = AA / (eAA * S), wCC = CC / (eCC * S), wDD = DD / (eDD * S), wEE = EE / (eEE * S);
    const double wFF = FF / (eFF * S), wGG = GG / (eGG * S), wRST = RST / (eRST * S);

    auto sq = [](double x) { return x * x; };
    const double discr = std::sqrt(sq(wAA * d1) + sq(wCC * d2) + sq(wDD * d3) + sq(wEE * d4) + sq(wFF * d5)
                                   + sq(wGG * d6) + sq(wRST * d7));

    const double two_thirds = 2.0 / 3.0;
    const double nobs = std::sqrt(sq(wAA) * sq(AA) + sq(wCC) * CC + sq(wDD) * DD + sq(wEE) * EE
                                  + sq(wFF) * std::pow(FF, two_thirds) + sq(wGG) * std::pow(GG, two_thirds)
                                  + sq(wRST) * std::pow(RST, two_thirds));
    // A third-order quantity observed as 0 has weight 0: its term is 0.
    auto third_order = [&](double w, double e, double v) {
        return v == 0 ? 0.0 : sq(w) * sq(w) * sq(e) * std::pow(v, -two_thirds);
    };
    error.sf = std::sqrt(sq(wAA) * sq(wAA) * sq(eAA) * sq(AA)
                         + (sq(wCC) * sq(wCC) * sq(eCC) + sq(wDD) * sq(wDD) * sq(eDD) + sq(wEE) * sq(wEE) * sq(eEE)) / 4
                         + (third_order(wFF, eFF, FF) + third_order(wGG, eGG, GG) + third_order(wRST, eRST, RST)) / 9)
               / nobs;
    return discr;
}

}  // namespace discriminant
