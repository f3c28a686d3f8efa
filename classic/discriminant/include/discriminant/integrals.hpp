// The eight surface integrals of the pulsation velocity field over the
// visible disc: twelve-point Gauss-Legendre sums over mu (integraal), with
// limb darkening beta (limbdarkening) and velocity ratio K (alfa).
#pragma once

namespace discriminant {

double hh5lk(int l, int k);
double hh4lk(int l, int k);
double hhlkr(int l, int k, int r);
double hh2lkr(int l, int k, int r);
double hh3lkr(int l, int k, int r);
double hnlk(int n, int l, int k);
double jnlk(int n, int l, int k);
double bnmlk(int n, int k, int a, int b);

}  // namespace discriminant
