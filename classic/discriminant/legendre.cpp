// facul, nlm, plm and almk: factorials, the normalisation of a spherical
// harmonic, the associated Legendre function and the coefficients that turn
// a harmonic about the rotation axis into harmonics about the line of sight.
#include <cmath>
#include <cstdlib>

#include "common/io.hpp"
#include "discriminant/legendre.hpp"

namespace discriminant {

// facul: n!, formed in double precision from 1.0 upwards.
//   Given:    n      any integer
//   Returned: n!, and 1 for every n <= 1 (negative n included)
double facul(int n)
{
    double r = 1.0;
    for (int j = 2; j <= n; ++j) r *= j;
    return r;
}

// nlm: normalisation factor l! sqrt((2l+1) / ((l+m)! (l-m)!)) of the
// harmonic of degree l and order m; nlm * plm has mean square 1 over the
// sphere.  Symmetric in m; a negative factorial argument counts as 1.
double nlm(int l, int m)
{
    return facul(l) * std::sqrt((2.0 * l + 1.0) / (facul(l + m) * facul(l - m)));
}

// plm: associated Legendre function of degree l and order m at x,
// normalised by (l-|m|)!/l!, without the (-1)^m phase for m >= 0.
//   Given:    l, m   degree and order
//             x      argument, |x| <= 1
//   Returned: the function value; 0 when |m| > l
//   Notes: 1. Upward recurrence in the degree from P(|m|,|m|), which carries
//             the Condon-Shortley phase; dividing by (-1)^|m| l!/(l-|m|)!
//             removes the phase and normalises.
//          2. For m < 0 the result takes the factor (-1)^|m| once more.
//          3. |x| > 1 shows the argument and pauses ("bad argument"); a
//             resumed run goes on with that x.  x = +-1 needs no special case.
double plm(int l, int m, double x)
{
    if (std::fabs(x) > 1.0) {
        common::write_free(common::screen, {});
        common::write_free(common::screen, {"abs(x) = ", std::fabs(x)});
        common::write_free(common::screen, {});
        common::pause("bad argument");
    }
    const int mu = std::abs(m);
    if (mu > l) return 0.0;

    double pmm = 1.0;
    if (mu > 0) {
        const double s = std::sqrt((1.0 - x) * (1.0 + x));
        double f = 1.0;
        for (int i = 1; i <= mu; ++i) {
            pmm = -(pmm * f * s);
            f = f + 2.0;
        }
    }
    double result;
    if (l == mu) {
        result = pmm / (sign_power(mu) * facul(mu));
    } else {
        double pmm1 = x * (2 * mu + 1) * pmm;
        if (l == mu + 1) {
            result = pmm1 / (sign_power(mu) * facul(mu + 1));
        } else {
            double pll = 0.0;
            for (int j = mu + 2; j <= l; ++j) {
                pll = (x * (2 * j - 1) * pmm1 - (j + mu - 1) * pmm) / (j - mu);
                pmm = pmm1;
                pmm1 = pll;
            }
            result = pll / (sign_power(mu) * facul(l)) * facul(l - mu);
        }
    }
    if (m < 0) result = result * sign_power(mu);
    return result;
}

// almk: weight of the harmonic of order k about the line of sight in the
// harmonic (l, m) about the rotation axis, seen at inclination i.
//   Given:    l, m, k  degree, order about the axis, order about the line of sight
//             i        inclination in radians
//   Returned: a(l, m, k, i); 0 when the sum over t is empty (|k| > l or |m| > l)
//   Notes: 1. The powers of cos(i/2) and sin(i/2) are repeated products, so
//             that i = 0 and i = pi need no special case (0^0 = 1).
//          2. Each term and the closing factorials are grouped exactly as
//             below; the cached form of the discriminant relies on it.
double almk(int l, int m, int k, double i)
{
    const double c = std::cos(i / 2.0);
    const double s = std::sin(i / 2.0);
    const int tmin = std::max(0, -k - m);
    const int tmax = std::min(l - k, l - m);
    double sum = 0.0;
    for (int t = tmin; t <= tmax; ++t) {
        const double numerator = sign_power(k + t + l) * (int_power(c, 2 * t + m + k) * int_power(s, 2 * l - 2 * t - m - k));
        const double denominator = facul(t) * facul(l - m - t) * facul(l - k - t) * facul(m + k + t);
        sum += numerator / denominator;
    }
    return sum * facul(l - m) * facul(l + m);
}

}  // namespace discriminant
