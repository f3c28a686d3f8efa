// Legendre functions, normalisation factors, rotation coefficients and the
// quadrature rule beneath the surface integrals of the mode identification.
#pragma once

namespace discriminant {

// The largest n whose factorial is a finite double: 170! is about 7.3e306,
// 171! exceeds the largest double.
constexpr int facul_limit = 170;

double facul(int n);
double nlm(int l, int m);
double plm(int l, int m, double x);
double almk(int l, int m, int k, double i);
void gauleg();

// (-1)^n as an exact +-1.0.
inline double sign_power(int n) { return n % 2 == 0 ? 1.0 : -1.0; }

// x^n by repeated multiplication from 1.0; n = 0 gives 1, also for x = 0.
inline double int_power(double x, int n)
{
    double r = 1.0;
    for (int j = 0; j < n; ++j) r *= x;
    return r;
}

}  // namespace discriminant
