// The segments of a light curve: the gap rule with its joining of short
// pieces, the files of a joined star, the user's breakpoints, and the
// lowest frequency searched that follows from them.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include "extraction/segments.hpp"

using namespace extraction;

namespace {

// Points every 1/64 d (exact in binary) over each stretch [start, end].
constexpr double step = 1.0 / 64;

std::vector<double> observed(const std::vector<std::pair<double, double>>& stretches)
{
    std::vector<double> t;
    for (const auto& [start, end] : stretches)
        for (int k = 0; start + k * step <= end; ++k) t.push_back(start + k * step);
    return t;
}

std::vector<Segment> segments_of(const std::vector<double>& t) { return segment_light_curve(t, {}, {}).segments; }

}  // namespace

TEST(Segments, GapRuleSplitsLongStretchesAndKeepsACampaignOfNightsWhole)
{
    // A space sector: two orbits of 13 d with a 1 d gap between them.
    const std::vector<double> sector = observed({{0.0, 13.0}, {14.0, 27.0}});
    const Segmentation s = segment_light_curve(sector, {}, {});
    ASSERT_EQ(s.segments.size(), 2u);
    EXPECT_EQ(s.segments[0].last, 13.0);
    EXPECT_EQ(s.segments[1].first, 14.0);
    EXPECT_EQ(s.segments[0].count + s.segments[1].count, sector.size());
    EXPECT_EQ(s.of_point.front(), 0u);
    EXPECT_EQ(s.of_point.back(), 1u);

    // Twenty-one nights of 0.3 d, one a day, and a week lost to the weather:
    // every piece is short, so all are one segment.
    std::vector<std::pair<double, double>> nights;
    for (int night = 0; night < 28; ++night)
        if (night < 10 || night >= 17) nights.push_back({night, night + 0.3});
    EXPECT_EQ(segments_of(observed(nights)).size(), 1u);
}

TEST(Segments, AShortPieceJoinsTheNeighbourAcrossTheSmallerGap)
{
    // 20 d, gap 0.75 d, 2 d, gap 0.5625 d, 20 d: the 2 d piece joins the later;
    // with the gaps the other way round, the earlier.
    std::vector<Segment> s = segments_of(observed({{0, 20}, {20.75, 22.75}, {23.3125, 43}}));
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[1].first, 20.75);
    s = segments_of(observed({{0, 20}, {20.5625, 22.5625}, {23.3125, 43}}));
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].last, 22.5625);
    // Two short pieces in a row are joined first; together they reach 5 d
    // and stay a segment of their own.
    s = segments_of(observed({{0, 20}, {21, 23}, {24, 26.5}, {28, 48}}));
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[1].first, 21.0);
    EXPECT_EQ(s[1].last, 26.5);
}

TEST(Segments, PointsOfDifferentFilesAreNeverInOneSegment)
{
    // Two files overlapping in time, their points interleaved, and a third
    // that begins without a gap where the second ends.
    std::vector<double> t;
    std::vector<std::uint32_t> file;
    for (int k = 0; k < 1000; ++k) {
        t.push_back(k * step);  // 0 .. 15.6 d
        file.push_back(k % 2 == 0 ? 7 : 3);
    }
    for (int k = 0; k < 500; ++k) {
        t.push_back(1000 * step + k * step);
        file.push_back(5);
    }
    const Segmentation s = segment_light_curve(t, file, {});
    ASSERT_EQ(s.segments.size(), 3u);
    // Numbered by first time, then by file.
    EXPECT_EQ(s.segments[0].source, 7u);
    EXPECT_EQ(s.segments[1].source, 3u);
    EXPECT_EQ(s.segments[2].source, 5u);
    for (std::size_t k = 0; k < t.size(); ++k) EXPECT_EQ(s.segments[s.of_point[k]].source, file[k]) << k;
    EXPECT_EQ(s.segments[0].count, 500u);
}

TEST(Segments, BreakpointsReplaceTheGapRuleAndAreTakenAsGiven)
{
    const std::vector<double> t = observed({{0.0, 13.0}, {14.0, 27.0}});
    SegmentRules rules;
    rules.breakpoints = std::vector<double>{20.0, 6.5, 100.0};  // any order; one beyond the data
    const Segmentation s = segment_light_curve(t, {}, rules);
    ASSERT_EQ(s.segments.size(), 3u);  // the gap at 13 d is no longer a boundary
    EXPECT_EQ(s.segments[0].last, 6.5 - step);
    EXPECT_EQ(s.segments[1].first, 6.5);  // a point at a breakpoint lies after it
    EXPECT_EQ(s.segments[2].first, 20.0);
    // A short stretch the user asks for is kept; files still split.
    rules.breakpoints = std::vector<double>{1.0};
    std::vector<std::uint32_t> file(t.size(), 0);
    for (std::size_t k = 0; k < t.size(); ++k)
        if (t[k] > 13.5) file[k] = 1;
    EXPECT_EQ(segment_light_curve(t, file, rules).segments.size(), 3u);
    // No breakpoint at all: one segment per file.
    rules.breakpoints = std::vector<double>{};
    EXPECT_EQ(segment_light_curve(t, file, rules).segments.size(), 2u);
}

TEST(Segments, InputThatCannotBeSegmentedIsRefused)
{
    EXPECT_THROW(segment_light_curve(std::vector<double>{0, 2, 1}, {}, {}), std::invalid_argument);
    EXPECT_THROW(segment_light_curve(std::vector<double>{0, 1}, std::vector<std::uint32_t>{0}, {}),
                 std::invalid_argument);
    SegmentRules rules;
    rules.gap = -1;
    EXPECT_THROW(segment_light_curve(std::vector<double>{0, 1}, {}, rules), std::invalid_argument);
    EXPECT_TRUE(segment_light_curve({}, {}, {}).segments.empty());
}

TEST(Segments, LowestCandidateFrequencyFollowsTheMedianLength)
{
    const std::vector<Segment> segments = {{0, 10, 100, 0}, {11, 41, 100, 0}, {42, 62, 100, 0}, {63, 100, 100, 0}};
    EXPECT_DOUBLE_EQ(median_segment_length(segments), 25.0);           // lengths 10, 30, 20, 37
    EXPECT_DOUBLE_EQ(lowest_candidate_frequency(100.0, segments), 0.08);  // 2/25 above 1/100
    const std::vector<Segment> one = {{0, 100, 100, 0}};
    EXPECT_DOUBLE_EQ(lowest_candidate_frequency(100.0, one), 0.02);
    const std::vector<Segment> points = {{5, 5, 1, 0}};
    EXPECT_DOUBLE_EQ(lowest_candidate_frequency(100.0, points), 0.01);  // no length: 1/T
}
