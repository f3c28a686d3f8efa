// hh5lk, hh4lk, hhlkr, hh2lkr, hh3lkr, hnlk, jnlk, bnmlk: the surface
// integrals behind the theoretical line-profile moments.
//
// Every routine sums w_i f(mu_i) over the twelve nodes of integraal, in node
// order, and sets a sum below the single-precision value of 3e-14 in
// magnitude to exactly 0 (the rule is good to about seven digits, so such
// sums are rounding noise of integrals that vanish).  The integrands use
//   D(mu) = mu + beta mu^2                  limb-darkened projected area
//   V(l, k; mu) = mu p(l,k) + (l+1) K (mu p(l,k) - p(l+1,k))
// the line-of-sight velocity: radial part plus horizontal part, since
// (1 - mu^2) dp(l,k)/dmu = (l+1)(mu p(l,k) - p(l+1,k)) for plm's
// normalisation.  Legendre values are recomputed for every occurrence.
#include <cmath>

#include "discriminant/integrals.hpp"
#include "discriminant/legendre.hpp"
#include "discriminant/records.hpp"

namespace discriminant {
namespace {

// The single-precision value of 3e-14: sums below it are returned as 0.
const double cutoff = static_cast<double>(3.0e-14f);

double cut(double sum) { return std::fabs(sum) < cutoff ? 0.0 : sum; }

double area(double mu) { return mu + limbdarkening.beta * (mu * mu); }

double velocity(int l, int k, double mu)
{
    const double radial = mu * plm(l, k, mu);
    return radial + (l + 1.0) * alfa.K * (mu * plm(l, k, mu) - plm(l + 1, k, mu));
}

// The twelve-point sum of w_i f(mu_i), in node order, with the cut-off.
template <typename Integrand>
double quadrature(Integrand f)
{
    double sum = 0.0;
    for (int i = 0; i < quadrature_points; ++i) sum += integraal.weights[i] * f(integraal.nodes[i]);
    return cut(sum);
}

// Sum of w_i sqrt(1 - mu^2) D V(l,k) V(l,q): the terms linear in rotation.
double rotation_pair(int l, int k, int q)
{
    return quadrature([&](double mu) {
        return std::sqrt(1.0 - mu * mu) * area(mu) * velocity(l, k, mu) * velocity(l, q, mu);
    });
}

// Sum of w_i D V(l,k) V(l,r) V(l,q): the third-order terms.
double triple(int l, int k, int r, int q)
{
    return quadrature([&](double mu) { return area(mu) * velocity(l, k, mu) * velocity(l, r, mu) * velocity(l, q, mu); });
}

}  // namespace

// hh5lk: sum of w sqrt(1-mu^2) D V(l,k) V(l,-1-k).
double hh5lk(int l, int k) { return rotation_pair(l, k, -1 - k); }

// hh4lk: sum of w sqrt(1-mu^2) D V(l,k) V(l,1-k).
double hh4lk(int l, int k) { return rotation_pair(l, k, 1 - k); }

// hhlkr: sum of w D V(l,k) V(l,r) V(l,k+r).
double hhlkr(int l, int k, int r) { return triple(l, k, r, k + r); }

// hh2lkr: sum of w D V(l,k) V(l,r) V(l,r-k).
double hh2lkr(int l, int k, int r) { return triple(l, k, r, r - k); }

// hh3lkr: sum of w D V(l,k) V(l,r) V(l,k-r).
double hh3lkr(int l, int k, int r) { return triple(l, k, r, k - r); }

// hnlk: (l+1) times the sum of w D (1-mu^2)^(n/2) (mu p(l,k) - p(l+1,k)),
// the horizontal part of the velocity; the factor comes after the cut-off.
double hnlk(int n, int l, int k)
{
    return quadrature([&](double mu) {
               return area(mu) * std::pow(1.0 - mu * mu, n / 2.0) * (mu * plm(l, k, mu) - plm(l + 1, k, mu));
           })
           * (l + 1);
}

// jnlk: sum of w (mu^2 + beta mu^3) (1-mu^2)^(n/2) p(l,k), the radial part.
double jnlk(int n, int l, int k)
{
    return quadrature([&](double mu) {
        const double weight = mu * mu + limbdarkening.beta * (mu * mu * mu);
        return weight * std::pow(1.0 - mu * mu, n / 2.0) * plm(l, k, mu);
    });
}

// bnmlk: sum of w mu^n p(a,k) p(b,k), without limb darkening.
double bnmlk(int n, int k, int a, int b)
{
    return quadrature([&](double mu) { return int_power(mu, n) * plm(a, k, mu) * plm(b, k, mu); });
}

}  // namespace discriminant
