#include "baseline.hpp"

#include <algorithm>
#include <cmath>

namespace extraction {
namespace {

double half_length(const Segment& s) { return s.length() > 0.0 ? 0.5 * s.length() : 1.0; }

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

void limit_to_distinct_times(std::span<const double> times, std::span<const std::size_t> of_point,
                             std::vector<SegmentBaseline>& shapes)
{
    // Up to three distinct times of each segment are enough to tell.
    std::vector<std::vector<double>> seen(shapes.size());
    for (std::size_t k = 0; k < times.size(); ++k) {
        std::vector<double>& d = seen[of_point[k]];
        if (d.size() < 3 && std::find(d.begin(), d.end(), times[k]) == d.end()) d.push_back(times[k]);
    }
    for (std::size_t s = 0; s < shapes.size(); ++s)
        shapes[s].coefficients = std::min(shapes[s].coefficients, static_cast<int>(seen[s].size()));
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
