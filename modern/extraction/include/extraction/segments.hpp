// The segments of a light curve: stretches of it observed without a long
// interruption, each of which gets its own baseline (an offset and a slow
// drift) in the fit, since a space telescope's pointing, temperature and
// detector change across a gap or between two files, and a ground-based
// night has its own extinction and zero point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace extraction {

struct SegmentRules {
    double gap = 0.5;          // d: a longer interruption splits the light curve
    double min_length = 5.0;   // d: shorter segments are joined to their neighbours
    // Times at which to split instead of the gap rule (the user's own
    // segments); unset: the gap rule.
    std::optional<std::vector<double>> breakpoints;
};

struct Segment {
    double first = 0.0, last = 0.0;  // times of its first and last point, d
    std::size_t count = 0;           // points
    std::size_t source = 0;          // the file its points come from
    double length() const { return last - first; }
};

struct Segmentation {
    std::vector<std::size_t> of_point;  // the segment of each point
    std::vector<Segment> segments;      // in order of first time (then of file)
};

// segment_light_curve: the segments of a light curve.
//   Given:    times    one per point, in increasing order (repeats allowed), d
//             sources  the file of each point (any numbers; points of one
//                      file need not be consecutive: files may overlap in
//                      time), or empty when all come from one file
//             rules    the gap, the shortest length, or the user's breakpoints
//   Returned: the segment of each point and each segment's extent, count
//             and file; throws std::invalid_argument on times out of order
//             or not finite, sources of another size, or rules that are
//             negative or not finite
//   Notes: 1. Points of different files are never in one segment: each
//             file is segmented on its own, and the segments of all files
//             are then numbered in order of their first time.
//          2. The gap rule, within a file: (a) the points are split where
//             two consecutive times are more than `gap` apart; (b) pieces
//             shorter than `min_length` that follow one another are joined
//             into one, whatever the gaps between them (the nights of a
//             ground-based campaign, the sparse points of a survey); (c) a
//             segment still shorter than `min_length` is joined to the
//             neighbour across the smaller of its two gaps (the earlier one
//             at equal gaps).  After (b) the neighbours of a short segment
//             are long, so (c) joins each short segment once and the order
//             in which they are taken does not matter.  A file shorter than
//             `min_length` in all is one segment.
//          3. Breakpoints, within a file: a point at time t lies after each
//             breakpoint b <= t and before each b > t; the stretches between
//             breakpoints that hold points are the segments, taken as the
//             user gave them (neither the gap rule nor `min_length`
//             applies).  A segment may then hold too few points for its
//             baseline: the caller checks the counts.
//          4. The length of a segment is last - first: a single point has
//             length 0.
Segmentation segment_light_curve(std::span<const double> times, std::span<const std::uint32_t> sources,
                                 const SegmentRules& rules);

// median_segment_length: the median of last - first over the segments (the
// mean of the middle two for an even count), d; 0 for none.
double median_segment_length(std::span<const Segment> segments);

// lowest_candidate_frequency: the default lowest frequency searched when
// each segment has its own baseline, max(1/T, 2/L), L the median segment
// length.
//   Given:    span      T, the time span of the light curve, d (> 0)
//             segments  its segments
//   Returned: c/d
//   Notes: 1. Below 1/T a variation cannot be told from a trend at all.  A
//             segment's baseline is a polynomial of low degree over its
//             length L, and a sinusoid slower than about two cycles per L
//             looks like such a polynomial there: the baselines take part
//             of it and leave the rest as a broad hump of power below 2/L
//             that is no star's, and the noise box near zero frequency,
//             mostly white noise, makes that hump look significant.
//          2. A median length of 0 (segments of single points) gives 1/T.
double lowest_candidate_frequency(double span, std::span<const Segment> segments);

}  // namespace extraction
