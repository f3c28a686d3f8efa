// The segments of a light curve: the gap rule with its joining of short
// pieces, the files of a joined star, the user's breakpoints, and the
// lowest frequency searched that follows from them.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "extraction/segments.hpp"

using namespace extraction;

namespace {

// Points every 1/64 d (exact in binary) from `start` to `end`.
constexpr double step = 1.0 / 64;

void observe(std::vector<double>& t, double start, double end)
{
    for (int k = 0; start + k * step <= end; ++k) t.push_back(start + k * step);
}

std::size_t segment_count(const std::vector<double>& t, const SegmentRules& rules = {})
{
    return segment_light_curve(t, {}, rules).segments.size();
}

}  // namespace

TEST(Segments, GapRuleSplitsLongStretchesAndKeepsACampaignOfNightsWhole)
{
    // A space sector: two orbits of 13 d with a 1 d gap between them.
    std::vector<double> sector;
    observe(sector, 0.0, 13.0);
    observe(sector, 14.0, 27.0);
    const Segmentation s = segment_light_curve(sector, {}, {});
    ASSERT_EQ(s.segments.size(), 2u);
    EXPECT_DOUBLE_EQ(s.segments[0].last, 13.0);
    EXPECT_DOUBLE_EQ(s.segments[1].first, 14.0);
    EXPECT_EQ(s.segments[0].count + s.segments[1].count, sector.size());
    EXPECT_EQ(s.of_point.front(), 0u);
    EXPECT_EQ(s.of_point.back(), 1u);

    // Twenty-one nights of 0.3 d, one a day, and a week lost to the weather:
    // every piece is short, so all are one segment.
    std::vector<double> nights;
    for (int night = 0; night < 28; ++night)
        if (night < 10 || night >= 17) observe(nights, night, night + 0.3);
    EXPECT_EQ(segment_count(nights), 1u);
}

TEST(Segments, AShortPieceJoinsTheNeighbourAcrossTheSmallerGap)
{
    // 20 d, gap 0.8 d, 2 d, gap 0.6 d, 20 d: the 2 d piece joins the later.
    std::vector<double> t;
    observe(t, 0.0, 20.0);
    observe(t, 20.8, 22.8);
    observe(t, 23.4, 43.4);
    Segmentation s = segment_light_curve(t, {}, {});
    ASSERT_EQ(s.segments.size(), 2u);
    EXPECT_DOUBLE_EQ(s.segments[1].first, 20.8);
    // With the gaps the other way round, the earlier.
    t.clear();
    observe(t, 0.0, 20.0);
    observe(t, 20.6, 22.6);
    observe(t, 23.4, 43.4);
    s = segment_light_curve(t, {}, {});
    ASSERT_EQ(s.segments.size(), 2u);
    EXPECT_DOUBLE_EQ(s.segments[0].last, 22.6);
    // Two short pieces in a row are joined first; together they reach 5 d
    // and stay a segment of their own.
    t.clear();
    observe(t, 0.0, 20.0);
    observe(t, 21.0, 23.0);
    observe(t, 24.0, 26.5);
    observe(t, 28.0, 48.0);
    s = segment_light_curve(t, {}, {});
    ASSERT_EQ(s.segments.size(), 3u);
    EXPECT_DOUBLE_EQ(s.segments[1].first, 21.0);
    EXPECT_DOUBLE_EQ(s.segments[1].last, 26.5);
    // A light curve shorter than the shortest length in all is one segment.
    t.clear();
    observe(t, 0.0, 1.0);
    observe(t, 3.0, 4.0);
    EXPECT_EQ(segment_count(t), 1u);
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
    std::vector<double> t;
    observe(t, 0.0, 13.0);
    observe(t, 14.0, 27.0);
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
