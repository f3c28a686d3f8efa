// Synthetic light curves for the spectrum tests, and the comparisons of
// two spectra row by row.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace testseries {

struct Shape {
    std::size_t n = 100;
    double start = 2457000.0;  // time of the first observation (BJD)
    double span = 27.0;        // days
    bool gaps = true;          // three nights lost and one long gap
    bool regular = false;      // strictly even cadence, no jitter
    bool shuffled = false;     // times out of order
    double amplitude = 3.0;    // of the sinusoid
    double frequency = 13.37;  // c/d
    double noise = 1.0;        // standard deviation of the white noise
    std::uint64_t seed = 1;
};

struct Series {
    std::vector<double> t, x;
};

inline Series make(const Shape& shape)
{
    std::mt19937_64 rng(shape.seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    Series s;
    double cadence = shape.span / static_cast<double>(shape.n);
    for (std::size_t k = 0; k < shape.n; ++k) {
        double offset = (static_cast<double>(k) + (shape.regular ? 0.0 : 0.4 * uniform(rng))) * cadence;
        if (shape.gaps) {
            // Whole nights of 0.4 d missing every 3 d, and the middle fifth of the span.
            if (std::fmod(offset, 3.0) < 0.4) offset += 0.4;
            if (offset > 0.4 * shape.span && offset < 0.6 * shape.span) offset += 0.3 * shape.span;
        }
        double t = shape.start + offset;
        s.t.push_back(t);
        double phase = shape.frequency * offset;
        s.x.push_back(shape.amplitude * std::sin(2.0 * std::numbers::pi * (phase - std::floor(phase)) + 0.7) +
                      shape.noise * gauss(rng));
    }
    if (shape.shuffled) {
        std::vector<std::size_t> order(shape.n);
        for (std::size_t k = 0; k < shape.n; ++k) order[k] = k;
        std::shuffle(order.begin(), order.end(), rng);
        Series mixed;
        for (std::size_t k : order) {
            mixed.t.push_back(s.t[k]);
            mixed.x.push_back(s.x[k]);
        }
        return mixed;
    }
    return s;
}

// The highest amplitude, NaN rows left out.
inline double highest(const std::vector<double>& a)
{
    double top = 0.0;
    for (double v : a)
        if (!std::isnan(v)) top = std::max(top, v);
    return top;
}

// Largest difference between two spectra, and where: rows that are NaN in
// both agree; NaN in one only is an infinite difference.
struct Difference {
    double largest = 0.0;
    std::size_t row = 0;
};

inline Difference difference(const std::vector<double>& a, const std::vector<double>& b)
{
    Difference d;
    for (std::size_t j = 0; j < a.size(); ++j) {
        if (std::isnan(a[j]) && std::isnan(b[j])) continue;
        double e = std::isnan(a[j]) || std::isnan(b[j]) ? std::numeric_limits<double>::infinity()
                                                        : std::fabs(a[j] - b[j]);
        if (e > d.largest) d = {e, j};
    }
    return d;
}

}  // namespace testseries
