#include "extraction/segments.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>

namespace extraction {
namespace {

// A run of one file's points: positions [begin, end) in the list of its
// points in time order.
struct Piece {
    std::size_t begin = 0, end = 0;
};

void check_input(std::span<const double> times, std::span<const std::uint32_t> sources, const SegmentRules& rules)
{
    if (!sources.empty() && sources.size() != times.size())
        throw std::invalid_argument("segments: the files of the points differ in number from the times");
    for (std::size_t k = 0; k < times.size(); ++k) {
        if (!std::isfinite(times[k])) throw std::invalid_argument("segments: a time is not a finite number");
        if (k > 0 && times[k] < times[k - 1]) throw std::invalid_argument("segments: the times are not in order");
    }
    if (!(rules.gap >= 0.0) || !std::isfinite(rules.gap))
        throw std::invalid_argument("segments: the gap must be a number of days, at least 0");
    if (!(rules.min_length >= 0.0) || !std::isfinite(rules.min_length))
        throw std::invalid_argument("segments: the shortest length must be a number of days, at least 0");
    if (rules.breakpoints)
        for (double b : *rules.breakpoints)
            if (!std::isfinite(b)) throw std::invalid_argument("segments: a breakpoint is not a finite number");
}

// The points of each file, each list in time order, the files in order of
// their number.
std::vector<std::vector<std::size_t>> points_by_file(std::size_t n, std::span<const std::uint32_t> sources)
{
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (sources.empty()) return {order};
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return sources[a] < sources[b]; });
    std::vector<std::vector<std::size_t>> files;
    for (std::size_t k = 0; k < n; ++k) {
        if (k == 0 || sources[order[k]] != sources[order[k - 1]]) files.emplace_back();
        files.back().push_back(order[k]);
    }
    return files;
}

struct FileView {
    std::span<const double> times;
    const std::vector<std::size_t>& points;  // this file's, in time order

    double time(std::size_t position) const { return times[points[position]]; }
    double length(const Piece& p) const { return time(p.end - 1) - time(p.begin); }
    double gap(const Piece& before, const Piece& after) const { return time(after.begin) - time(before.end - 1); }
};

std::vector<Piece> split_at_gaps(const FileView& file, double gap)
{
    std::vector<Piece> pieces{{0, 0}};
    for (std::size_t k = 0; k < file.points.size(); ++k) {
        if (k > 0 && file.time(k) - file.time(k - 1) > gap) pieces.push_back({k, k});
        pieces.back().end = k + 1;
    }
    return pieces;
}

std::vector<Piece> split_at_breakpoints(const FileView& file, std::vector<double> breakpoints)
{
    std::sort(breakpoints.begin(), breakpoints.end());
    std::vector<Piece> pieces{{0, 0}};
    auto next = breakpoints.begin();
    for (std::size_t k = 0; k < file.points.size(); ++k) {
        // The breakpoints passed since the previous point: one split at most.
        bool passed = false;
        while (next != breakpoints.end() && *next <= file.time(k)) {
            passed = true;
            ++next;
        }
        if (passed && k > 0) pieces.push_back({k, k});
        pieces.back().end = k + 1;
    }
    return pieces;
}

// Step (b) of the gap rule: consecutive short pieces joined.
std::vector<Piece> join_short_runs(const FileView& file, const std::vector<Piece>& pieces, double min_length)
{
    std::vector<Piece> joined;
    bool last_short = false;
    for (const Piece& p : pieces) {
        const bool short_piece = file.length(p) < min_length;
        if (short_piece && last_short)
            joined.back().end = p.end;
        else
            joined.push_back(p);
        last_short = short_piece;
    }
    return joined;
}

// Step (c): each segment still short joined to the neighbour across its
// smaller gap.  Its neighbours are long (step b), so the choices do not
// depend on one another: all are made first, then applied.
std::vector<Piece> join_short_to_neighbours(const FileView& file, const std::vector<Piece>& pieces,
                                            double min_length)
{
    const std::size_t count = pieces.size();
    if (count < 2) return pieces;
    std::vector<char> joins_previous(count, 0), joins_next(count, 0);
    for (std::size_t s = 0; s < count; ++s) {
        if (!(file.length(pieces[s]) < min_length)) continue;
        if (s == 0)
            joins_next[s] = 1;
        else if (s + 1 == count)
            joins_previous[s] = 1;
        else if (file.gap(pieces[s - 1], pieces[s]) <= file.gap(pieces[s], pieces[s + 1]))
            joins_previous[s] = 1;
        else
            joins_next[s] = 1;
    }
    std::vector<Piece> joined;
    for (std::size_t s = 0; s < count; ++s) {
        const bool continues = s > 0 && (joins_previous[s] || joins_next[s - 1]);
        if (continues)
            joined.back().end = pieces[s].end;
        else
            joined.push_back(pieces[s]);
    }
    return joined;
}

std::vector<Piece> pieces_of(const FileView& file, const SegmentRules& rules)
{
    if (rules.breakpoints) return split_at_breakpoints(file, *rules.breakpoints);
    const std::vector<Piece> pieces = join_short_runs(file, split_at_gaps(file, rules.gap), rules.min_length);
    return join_short_to_neighbours(file, pieces, rules.min_length);
}

}  // namespace

Segmentation segment_light_curve(std::span<const double> times, std::span<const std::uint32_t> sources,
                                 const SegmentRules& rules)
{
    check_input(times, sources, rules);
    Segmentation out;
    out.of_point.assign(times.size(), 0);
    if (times.empty()) return out;

    // Each file's segments, with the points of each.
    std::vector<std::vector<std::size_t>> members;
    for (const std::vector<std::size_t>& points : points_by_file(times.size(), sources)) {
        const FileView file{times, points};
        const std::size_t source = sources.empty() ? 0 : sources[points.front()];
        for (const Piece& p : pieces_of(file, rules)) {
            out.segments.push_back({file.time(p.begin), file.time(p.end - 1), p.end - p.begin, source});
            members.emplace_back(points.begin() + static_cast<std::ptrdiff_t>(p.begin),
                                 points.begin() + static_cast<std::ptrdiff_t>(p.end));
        }
    }

    // Numbered in order of first time, then of file.
    std::vector<std::size_t> order(out.segments.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const Segment &x = out.segments[a], &y = out.segments[b];
        return x.first != y.first ? x.first < y.first : x.source < y.source;
    });
    std::vector<Segment> sorted;
    for (std::size_t s = 0; s < order.size(); ++s) {
        sorted.push_back(out.segments[order[s]]);
        for (std::size_t k : members[order[s]]) out.of_point[k] = s;
    }
    out.segments = std::move(sorted);
    return out;
}

double median_segment_length(std::span<const Segment> segments)
{
    if (segments.empty()) return 0.0;
    std::vector<double> lengths;
    for (const Segment& s : segments) lengths.push_back(s.length());
    std::sort(lengths.begin(), lengths.end());
    const std::size_t n = lengths.size();
    return n % 2 == 1 ? lengths[n / 2] : 0.5 * (lengths[n / 2 - 1] + lengths[n / 2]);
}

double lowest_candidate_frequency(double span, std::span<const Segment> segments)
{
    const double median_length = median_segment_length(segments);
    const double lowest = 1.0 / span;
    return median_length > 0.0 ? std::max(lowest, 2.0 / median_length) : lowest;
}

}  // namespace extraction
