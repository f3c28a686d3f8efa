// Legendre functions, normalisation factors, rotation coefficients and the
// quadrature rule beneath the surface integrals of the mode identification.
#pragma once

namespace discriminant {

double facul(int n);
double nlm(int l, int m);
double plm(int l, int m, double x);
double almk(int l, int m, int k, double i);
void gauleg();

}  // namespace discriminant
