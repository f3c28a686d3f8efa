#include "reference.hpp"

#include <cmath>
#include <limits>

namespace reference {

namespace {

const long double two_pi = 6.283185307179586476925286766559005768L;

// 2 pi times the fractional part of a number of cycles.
long double angle(long double cycles) { return two_pi * (cycles - std::floor(cycles)); }

double amplitude_at(std::span<const long double> s, std::span<const long double> x, long double f)
{
    if (f == 0.0L) return std::numeric_limits<double>::quiet_NaN();
    long double s2 = 0.0L, c2 = 0.0L;
    for (long double sk : s) {
        s2 += std::sin(angle(2.0L * f * sk));
        c2 += std::cos(angle(2.0L * f * sk));
    }
    // f tau in cycles
    long double tau = std::atan2(s2, c2) / (2.0L * two_pi);
    long double xc = 0.0L, xs = 0.0L, cc = 0.0L, ss = 0.0L;
    for (std::size_t k = 0; k < s.size(); ++k) {
        long double a = angle(f * s[k] - tau);
        long double c = std::cos(a), sn = std::sin(a);
        xc += x[k] * c;
        xs += x[k] * sn;
        cc += c * c;
        ss += sn * sn;
    }
    long double p = 0.0L;
    if (cc > 0.0L) p += xc * xc / (2.0L * cc);
    if (ss > 0.0L) p += xs * xs / (2.0L * ss);
    return static_cast<double>(std::sqrt(4.0L * p / s.size()));
}

}  // namespace

std::vector<double> amplitude(std::span<const double> t, std::span<const double> x, const spectrum::Grid& grid)
{
    long double mean = 0.0L;
    for (double v : x) mean += v;
    mean /= x.size();
    std::vector<long double> s(t.size()), xc(x.size());
    for (std::size_t k = 0; k < t.size(); ++k) {
        s[k] = static_cast<long double>(t[k]) - t[0];
        xc[k] = x[k] - mean;
    }
    std::vector<double> a(grid.count);
    for (std::size_t j = 0; j < grid.count; ++j)
        a[j] = amplitude_at(s, xc, static_cast<long double>(grid.fmin) + static_cast<long double>(j) * grid.step);
    return a;
}

}  // namespace reference
