// The segments of the bundled real light curves with the default rules: a
// space sector splits at its mid-sector gap into its two orbits, and four
// years of Kepler photometry into tens of stretches between its downlinks
// and its quarters' rolls, none shorter than 5 d.  Through the program: the
// baseline file of a star of two segments, and a table to start from.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "extraction/segments.hpp"
#include "lightcurve/lightcurve.hpp"
#include "plotting/plot.hpp"
#include "star.hpp"
#include "support/lightcurve_files.hpp"

namespace {

std::string example(const std::string& name)
{
    const std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/")) + "/examples/" + name;
}

extraction::Segmentation segments_of(const std::string& name)
{
    lightcurve::LightCurve curve = lightcurve::read_file(example(name), {});
    lightcurve::sort_by_time(curve);
    return extraction::segment_light_curve(curve.times, curve.source_index, {});
}

TEST(RealSegments, ATessSectorIsItsTwoOrbitsAndKeplerTensOfStretches)
{
    const extraction::Segmentation tess =
        segments_of("hlsp_tess-spoc_tess_phot_0000000022876651-s0058_tess_v1_lc.fits");
    ASSERT_EQ(tess.segments.size(), 2u);
    EXPECT_GT(tess.segments[1].first - tess.segments[0].last, 1.0);  // the gap of the data downlink
    EXPECT_EQ(tess.segments[0].count + tess.segments[1].count, 11117u);

    const extraction::Segmentation kepler = segments_of("kic7917485_kepler_lc.txt");
    EXPECT_EQ(kepler.segments.size(), 54u);
    EXPECT_NEAR(extraction::median_segment_length(kepler.segments), 29.2, 0.1);
    for (const extraction::Segment& s : kepler.segments) EXPECT_GE(s.length(), 5.0);
}

}  // namespace

// --- segments and starting frequencies through the program ------------------

namespace {

using lightcurve_test::Folder;

// Two stretches of 10 days a day apart, the second 0.8 higher and drifting
// down, under two sinusoids (3.1 and 4.7 c/d) and a little noise.
std::string two_stretches()
{
    std::string text = "t v\n";
    char line[64];
    for (int k = 0; k < 2000; ++k) {
        const bool second = k >= 1000;
        const double t = 100.0 + 0.01 * k + (second ? 1.0 : 0.0);
        const double baseline = second ? 0.8 - 0.02 * (t - 116.0) : 0.0;
        const double v = baseline + std::sin(2 * M_PI * 3.1 * t) + 0.5 * std::sin(2 * M_PI * 4.7 * t + 1.0) +
                         0.01 * std::sin(1.3 * k * k);
        std::snprintf(line, sizeof line, "%.5f %.9f\n", t, v);
        text += line;
    }
    return text;
}

std::vector<std::vector<std::string>> csv_rows(const std::string& file)
{
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, ',')) fields.push_back(cell);
        if (!line.empty() && line.back() == ',') fields.emplace_back();
        rows.push_back(fields);
    }
    return rows;
}

prewhiten::StarOutcome run(const prewhiten::Options& options, const prewhiten::UserLists& lists = {})
{
    plotting::GizaPlotter giza;
    std::ostringstream out;
    return prewhiten::run_star(prewhiten::stars_of(options).front(), options, giza, out, nullptr, "", lists);
}

// A run of the two stretches in the folder to two frequencies, no picture.
prewhiten::Options two_frequencies_of(const Folder& folder)
{
    prewhiten::Options options;
    options.files = {folder.write("s.dat", two_stretches())};
    options.output_folder = folder.name("");
    options.plot = prewhiten::PictureType::none;
    options.max_frequencies = 2;
    return options;
}

TEST(BaselineFile, EachSegmentsOffsetAndDriftWithTheirErrors)
{
    const Folder folder;
    prewhiten::Options options = two_frequencies_of(folder);
    const prewhiten::StarOutcome outcome = run(options);
    ASSERT_TRUE(outcome.done) << outcome.message;
    const auto rows = csv_rows(folder.name("s.baseline.csv"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"segment", "start", "end", "N", "degree", "centre", "c0", "c0_error",
                                                 "c1", "c1_error", "c2", "c2_error"}));
    EXPECT_EQ(rows[1][3], "1000");
    EXPECT_EQ(rows[1][4], "1");
    EXPECT_EQ(rows[2][10], "");  // no c2 for a linear baseline
    // The offsets differ by the step put in, within three errors of it at
    // the second segment's centre; the drift is found in the second only.
    const double centre = std::stod(rows[2][5]);
    const double step = std::stod(rows[2][6]) - std::stod(rows[1][6]);
    const double step_error = std::hypot(std::stod(rows[1][7]), std::stod(rows[2][7]));
    EXPECT_NEAR(step, 0.8 - 0.02 * (centre - 116.0), 3 * step_error + 1e-3);
    EXPECT_NEAR(std::stod(rows[2][8]), -0.02, 3 * std::stod(rows[2][9]) + 1e-4);
    EXPECT_NEAR(std::stod(rows[1][8]), 0.0, 3 * std::stod(rows[1][9]) + 1e-4);
    // No baseline file without baselines.
    options.baseline = extraction::Baseline::none;
    options.output_folder = folder.name("none");
    std::filesystem::create_directory(options.output_folder);
    ASSERT_TRUE(run(options).done);
    EXPECT_FALSE(std::filesystem::exists(folder.name("none/s.baseline.csv")));
}

// A table to start from is fitted first, in its order, before the loop
// takes the highest peak.
TEST(StartingTable, ItsFrequenciesComeFirst)
{
    const Folder folder;
    prewhiten::Options options = two_frequencies_of(folder);
    prewhiten::UserLists lists;
    lists.frequencies = lightcurve::read_frequency_table(folder.write("start.txt", "# the weaker one\n4.7\n"));
    ASSERT_TRUE(run(options, lists).done);
    const auto rows = csv_rows(folder.name("s.frequencies.csv"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_NEAR(std::stod(rows[1][1]), 4.7, 1e-4);
    EXPECT_NEAR(std::stod(rows[2][1]), 3.1, 1e-4);
}

}  // namespace
