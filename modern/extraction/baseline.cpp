#include "baseline.hpp"

#include <algorithm>
#include <cmath>

namespace extraction {
namespace {

// The normal equations of one segment's polynomial in x = (t - centre) / h.
struct SegmentSums {
    double g[3][3] = {};  // sum w^2 x^i x^j
    double b[3] = {};     // sum w^2 x^i y
};

double half_length(const Segment& s) { return s.length() > 0.0 ? 0.5 * s.length() : 1.0; }

double weight_of(std::span<const double> weights, std::size_t k) { return weights.empty() ? 1.0 : weights[k]; }

// The powers 1, x, x^2 of a point's scaled time.
void powers_of(double t, const SegmentBaseline& b, double h, double (&x)[3])
{
    const double u = (t - b.centre) / h;
    x[0] = 1.0;
    x[1] = u;
    x[2] = u * u;
}

std::vector<SegmentSums> normal_sums(std::span<const double> times, std::span<const double> values,
                                     std::span<const double> weights, std::span<const std::size_t> of_point,
                                     std::span<const Segment> segments, std::span<const SegmentBaseline> baselines)
{
    std::vector<SegmentSums> sums(baselines.size());
    for (std::size_t k = 0; k < times.size(); ++k) {
        const std::size_t s = of_point[k];
        const SegmentBaseline& b = baselines[s];
        const int q = b.coefficients;
        double x[3];
        powers_of(times[k], b, half_length(segments[s]), x);
        const double w2 = weight_of(weights, k) * weight_of(weights, k);
        for (int i = 0; i < q; ++i) {
            if (!values.empty()) sums[s].b[i] += w2 * x[i] * values[k];
            for (int j = 0; j < q; ++j) sums[s].g[i][j] += w2 * x[i] * x[j];
        }
    }
    return sums;
}

// The inverse of a symmetric positive definite q x q matrix (q <= 3) by
// Cholesky factors; false when it is not positive definite.
bool invert(const double (&g)[3][3], int q, double (&inverse)[3][3])
{
    double l[3][3] = {};
    for (int i = 0; i < q; ++i)
        for (int j = 0; j <= i; ++j) {
            double s = g[i][j];
            for (int k = 0; k < j; ++k) s -= l[i][k] * l[j][k];
            if (i == j) {
                if (!(s > 0.0)) return false;
                l[i][i] = std::sqrt(s);
            } else {
                l[i][j] = s / l[j][j];
            }
        }
    // L^-1, then (L L^T)^-1 = L^-T L^-1.
    double m[3][3] = {};
    for (int i = 0; i < q; ++i) {
        m[i][i] = 1.0 / l[i][i];
        for (int j = 0; j < i; ++j) {
            double s = 0.0;
            for (int k = j; k < i; ++k) s -= l[i][k] * m[k][j];
            m[i][j] = s / l[i][i];
        }
    }
    for (int i = 0; i < q; ++i)
        for (int j = 0; j < q; ++j) {
            double s = 0.0;
            for (int k = std::max(i, j); k < q; ++k) s += m[k][i] * m[k][j];
            inverse[i][j] = s;
        }
    return true;
}

// The segments' extents (first and last time) from their points, for the
// scale h of each segment's polynomial.
std::vector<Segment> extents(std::span<const double> times, std::span<const std::size_t> of_point,
                             std::size_t segments)
{
    std::vector<Segment> extent(segments);
    std::vector<char> seen(segments, 0);
    for (std::size_t k = 0; k < times.size(); ++k) {
        Segment& e = extent[of_point[k]];
        if (!seen[of_point[k]]) {
            e.first = e.last = times[k];
            seen[of_point[k]] = 1;
        }
        e.first = std::min(e.first, times[k]);
        e.last = std::max(e.last, times[k]);
    }
    return extent;
}

}  // namespace

int coefficients_asked(Baseline baseline)
{
    switch (baseline) {
    case Baseline::none: return 0;
    case Baseline::offset: return 1;
    case Baseline::linear: return 2;
    case Baseline::quadratic: return 3;
    }
    return 0;
}

std::vector<SegmentBaseline> segment_shapes(std::span<const Segment> segments, Baseline baseline)
{
    const int asked = coefficients_asked(baseline);
    std::vector<SegmentBaseline> out(segments.size());
    for (std::size_t s = 0; s < segments.size(); ++s) {
        out[s].centre = 0.5 * (segments[s].first + segments[s].last);
        int q = std::min<std::size_t>(static_cast<std::size_t>(asked), segments[s].count);
        if (!(segments[s].length() > 0.0)) q = std::min(q, 1);
        out[s].coefficients = q;
    }
    return out;
}

void fit_baselines(std::span<const double> times, std::span<const double> values, std::span<const double> weights,
                   std::span<const std::size_t> of_point, std::vector<SegmentBaseline>& baselines)
{
    const std::vector<Segment> extent = extents(times, of_point, baselines.size());
    const std::vector<SegmentSums> sums = normal_sums(times, values, weights, of_point, extent, baselines);
    for (std::size_t s = 0; s < baselines.size(); ++s) {
        SegmentBaseline& b = baselines[s];
        const int q = b.coefficients;
        double inverse[3][3];
        if (q == 0 || !invert(sums[s].g, q, inverse)) continue;
        const double h = half_length(extent[s]);
        for (int i = 0; i < q; ++i) {
            double c = 0.0;
            for (int j = 0; j < q; ++j) c += inverse[i][j] * sums[s].b[j];
            b.value[i] += c / std::pow(h, i);
        }
    }
}

void baseline_errors(std::span<const double> times, std::span<const double> weights,
                     std::span<const std::size_t> of_point, double variance, std::vector<SegmentBaseline>& baselines)
{
    const std::vector<Segment> extent = extents(times, of_point, baselines.size());
    const std::vector<SegmentSums> sums = normal_sums(times, {}, weights, of_point, extent, baselines);
    for (std::size_t s = 0; s < baselines.size(); ++s) {
        SegmentBaseline& b = baselines[s];
        double inverse[3][3];
        const bool ok = b.coefficients > 0 && invert(sums[s].g, b.coefficients, inverse);
        const double h = half_length(extent[s]);
        for (int i = 0; i < 3; ++i)
            b.error[i] = ok && i < b.coefficients ? std::sqrt(variance * inverse[i][i]) / std::pow(h, i) : 0.0;
    }
}

BaselineBasis baseline_basis(std::span<const double> times, std::span<const std::size_t> of_point,
                             std::span<const SegmentBaseline> shapes)
{
    BaselineBasis basis;
    const std::vector<Segment> extent = extents(times, of_point, shapes.size());
    basis.of_point.assign(of_point.begin(), of_point.end());
    for (std::size_t s = 0; s < shapes.size(); ++s) {
        basis.centre.push_back(shapes[s].centre);
        basis.half.push_back(half_length(extent[s]));
        basis.powers.push_back(shapes[s].coefficients);
        if (basis.reference == BaselineBasis::none && shapes[s].coefficients > 0) basis.reference = s;
    }
    basis.x.resize(times.size());
    for (std::size_t k = 0; k < times.size(); ++k) {
        const std::size_t s = of_point[k];
        basis.x[k] = (times[k] - basis.centre[s]) / basis.half[s];
    }
    return basis;
}

void baselines_from_fit(const BaselineBasis& basis, const Layout& layout, const Model& model,
                        std::span<const double> cov, double factor, std::vector<SegmentBaseline>& baselines)
{
    const std::size_t p = layout.size();
    const bool have_cov = cov.size() == p * p;
    for (SegmentBaseline& b : baselines) {
        std::fill(std::begin(b.value), std::end(b.value), 0.0);
        std::fill(std::begin(b.error), std::end(b.error), 0.0);
    }
    for (std::size_t s = 0; s < basis.segments() && s < baselines.size(); ++s)
        if (basis.powers[s] > 0) {
            baselines[s].value[0] = model.constant;
            baselines[s].error[0] = have_cov ? std::sqrt(factor * cov[0]) : NAN;
        }
    for (const Layout::BaselineParameter& c : layout.baseline()) {
        SegmentBaseline& b = baselines[c.segment];
        const double scale = std::pow(basis.half[c.segment], c.power);
        const std::size_t i = c.index;
        const double coefficient = 3 * c.segment + static_cast<std::size_t>(c.power) < model.baseline.size()
                                       ? model.baseline[3 * c.segment + static_cast<std::size_t>(c.power)]
                                       : 0.0;
        double variance = have_cov ? cov[i * p + i] : NAN;
        if (c.power == 0) {
            b.value[0] += coefficient;
            variance += have_cov ? cov[0] + 2.0 * cov[i] : NAN;
        } else {
            b.value[c.power] = coefficient / scale;
        }
        b.error[c.power] = std::sqrt(factor * variance) / scale;
    }
}

double baseline_value(const SegmentBaseline& b, double t)
{
    const double u = t - b.centre;
    double v = 0.0;
    for (int i = b.coefficients - 1; i >= 0; --i) v = v * u + b.value[i];
    return v;
}

std::vector<double> baseline_at_points(std::span<const double> times, std::span<const std::size_t> of_point,
                                       std::span<const SegmentBaseline> baselines)
{
    std::vector<double> out(times.size());
    for (std::size_t k = 0; k < times.size(); ++k) out[k] = baseline_value(baselines[of_point[k]], times[k]);
    return out;
}

}  // namespace extraction
