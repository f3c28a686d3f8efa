// The baseline of each segment of a light curve: a polynomial of low
// degree in t - centre, the segment's own offset and drift.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "extraction/extraction.hpp"
#include "extraction/fit.hpp"

namespace extraction {

// coefficients_asked: the polynomial's coefficients a baseline asks for
// (0 for none, 1 offset, 2 linear, 3 quadratic).
int coefficients_asked(Baseline baseline);

// segment_shapes: each segment's centre and the coefficients its baseline
// can have: those asked, fewer when the segment has fewer points than
// coefficients, and an offset alone when all its times are equal.
std::vector<SegmentBaseline> segment_shapes(std::span<const Segment> segments, Baseline baseline);

// limit_to_distinct_times: each segment's coefficients at most its number of
// distinct times (a quadratic through two distinct times is not determined,
// and would make the joint fit's normal matrix singular).
void limit_to_distinct_times(std::span<const double> times, std::span<const std::size_t> of_point,
                             std::vector<SegmentBaseline>& shapes);

// baseline_basis: the segments' baselines as columns of the joint fit.
//   Given:    times      one per point, d
//             of_point   the segment of each point
//             shapes     each segment's centre and number of coefficients
//                        (segment_shapes)
//   Returned: the scaled time x = (t - centre) / h of each point, h half
//             the extent of the segment's points (1 for a single time), and
//             the first segment with a baseline as the reference whose
//             offset is the model's constant
BaselineBasis baseline_basis(std::span<const double> times, std::span<const std::size_t> of_point,
                             std::span<const SegmentBaseline> shapes);

// baselines_from_fit: the fitted baselines in the unit of the values and
// days, with their standard errors from the joint covariance.
//   Given:    basis, layout  the fit's baseline columns and parameters
//             model          the fitted model (constant, baseline)
//             cov            its covariance (covariance_from, same layout
//                            with every frequency free), or empty
//             factor         the errors' variance factor (D_b)
//   Returned: baselines      value[] and error[] of each segment
//   Notes: 1. Every offset is the constant plus the segment's own offset
//             column (none for the reference segment): its variance is
//             var c + var o + 2 cov(c, o).
//          2. The coefficient of (t - centre)^p is c_p / h^p, its error
//             likewise.
void baselines_from_fit(const BaselineBasis& basis, const Layout& layout, const Model& model,
                        std::span<const double> cov, double factor, std::vector<SegmentBaseline>& baselines);

// baseline_value: the polynomial of one segment at time t.
double baseline_value(const SegmentBaseline& baseline, double t);

// baseline_at_points: the baseline at each point, of its own segment.
std::vector<double> baseline_at_points(std::span<const double> times, std::span<const std::size_t> of_point,
                                       std::span<const SegmentBaseline> baselines);

}  // namespace extraction
