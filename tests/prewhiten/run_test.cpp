// The pieces of a run: stems and stars, the grid's defaults from the light
// curve, the memory refusal, and the spectrum of the real TESS file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <sstream>

#include "support/lightcurve_files.hpp"
#include "grid.hpp"
#include "run.hpp"
#include "screen.hpp"
#include "star.hpp"
#include "support/recording_plotter.hpp"

namespace {

using lightcurve::LightCurve;
using prewhiten::Options;

TEST(Stems, FolderExtensionAndCompressionTakenOff)
{
    EXPECT_EQ(prewhiten::stem_of("star.dat"), "star");
    EXPECT_EQ(prewhiten::stem_of("out/tic1.fits.gz"), "tic1");
    EXPECT_EQ(prewhiten::stem_of("../a.b.c"), "a.b");
    EXPECT_EQ(prewhiten::stem_of("noext"), "noext");
    EXPECT_EQ(prewhiten::stem_of("dir.d/.hidden"), ".hidden");
}

TEST(Stars, OnePerFileOrOneJoined)
{
    Options o;
    o.files = {"q1.dat", "sub/q2.fits"};
    const auto apart = prewhiten::stars_of(o);
    ASSERT_EQ(apart.size(), 2u);
    EXPECT_EQ(apart[1].stem, "q2");
    EXPECT_EQ(apart[1].name, "sub/q2.fits");
    o.join = true;
    const auto joined = prewhiten::stars_of(o);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].files, o.files);
    EXPECT_EQ(joined[0].stem, "q1");
    EXPECT_EQ(joined[0].name, "q1.dat + 1 more");
}

LightCurve times(std::vector<double> t)
{
    LightCurve c;
    c.values.assign(t.size(), 0.0);
    c.times = std::move(t);
    return c;
}

TEST(Grid, DefaultsFromSpanAndCadence)
{
    // T = 20 d; steps 0.5 d but for one gap: median step 0.5, Nyquist 1 c/d.
    const LightCurve c = times({0, 0.5, 1, 1.5, 10, 19, 19.5, 20});
    const spectrum::Grid g = prewhiten::grid_for(c, Options{});
    EXPECT_EQ(g.fmin, 1.0 / 20);         // 1/T
    EXPECT_EQ(g.step, 1.0 / (10 * 20));  // 1/(oversample T)
    // From 0.05 to 1 c/d in steps of 0.005: 191 frequencies, 1 included.
    EXPECT_EQ(g.count, 191u);
    EXPECT_NEAR(g.frequency(g.count - 1), 1.0, 1e-12);
}

TEST(Grid, OptionsOverrideTheDefaults)
{
    const LightCurve c = times({0, 1, 2, 3, 4});
    Options o;
    o.fmin = 0;
    o.fmax = 3;
    o.oversample = 2;
    spectrum::Grid g = prewhiten::grid_for(c, o);
    EXPECT_EQ(g.fmin, 0);
    EXPECT_EQ(g.step, 1.0 / 8);
    EXPECT_EQ(g.count, 25u);
    o.step = 0.7;
    g = prewhiten::grid_for(c, o);
    EXPECT_EQ(g.count, 5u);  // 0, 0.7, 1.4, 2.1, 2.8
}

std::string grid_error(const LightCurve& c, const Options& o)
{
    try {
        prewhiten::grid_for(c, o);
    } catch (const prewhiten::StarError& e) {
        return e.what();
    }
    return "no error";
}

TEST(Grid, Refusals)
{
    EXPECT_EQ(grid_error(times({}), {}), "no usable observations");
    EXPECT_EQ(grid_error(times({5, 5, 5}), {}),
              "a spectrum needs observations at two different times at least (3 usable, all at one time)");
    Options o;
    o.fmin = 2;
    EXPECT_EQ(grid_error(times({0, 1, 2}), o), "the grid is empty: fmin 2 c/d is above fmax 0.5 c/d");
    o.fmin = 0;
    o.step = 1e-300;
    EXPECT_EQ(grid_error(times({0, 1, 2}), o), "a grid of 5e+299 frequencies from 0 to 0.5 c/d in steps of 1e-300 is "
                                                "more than the 536870912 a spectrum can have");
    o.step = 0.5 / (std::size_t{1} << 29);
    EXPECT_EQ(grid_error(times({0, 1, 2}), o), "a grid of 5.36871e+08 frequencies from 0 to 0.5 c/d in steps of "
                                                "9.31323e-10 is more than the 536870912 a spectrum can have");
    o.step = 0.5 / ((std::size_t{1} << 29) - 1);
    EXPECT_EQ(prewhiten::grid_for(times({0, 1, 2}), o).count, std::size_t{1} << 29);
}

TEST(Memory, NeedAndLimit)
{
    LightCurve c = times({0, 1, 2, 3});
    const spectrum::Grid g{0.1, 0.01, 1000};
    Options o;
    const std::uint64_t without = prewhiten::memory_needed(c, g, o);
    EXPECT_GE(without, spectrum::memory_needed(4, g, o.spectrum) + 8 * sizeof(double));
    o.window = 1.0;
    EXPECT_EQ(prewhiten::memory_needed(c, g, o), without + 1000 * sizeof(double));
    // By default half the machine's memory: room for the system and others.
    const auto machine = static_cast<std::uint64_t>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGE_SIZE);
    EXPECT_EQ(prewhiten::memory_limit(Options{}), machine / 2);
    o.max_memory = 12345;
    EXPECT_EQ(prewhiten::memory_limit(o), 12345u);
}

// What the light curve's span allows: a window the phases can follow, a
// noise box wider than a few peaks.
TEST(SpanLimits, WindowRefusedAndNarrowBoxWarned)
{
    const LightCurve c = times({0, 10, 20});  // T = 20 d: 4/T = 0.2 c/d
    Options o;
    o.window = 5.6e13;  // |F| T/2 = 5.6e14, just below 2^49
    EXPECT_NO_THROW(prewhiten::check_window(c, o));
    o.window = 5.7e13;
    EXPECT_THROW(prewhiten::check_window(c, o), prewhiten::StarError);
    o.box = 0.2;
    EXPECT_EQ(prewhiten::box_warning(c, o), "");
    o.box = 0.19;
    const std::string warning = prewhiten::box_warning(c, o);
    EXPECT_EQ(warning.rfind("--box 0.19 c/d is narrower than 4/T = 0.2 c/d, twice a peak's width", 0), 0u) << warning;
}

TEST(Peak, HighestAmplitudePassingOverNaN)
{
    const spectrum::Grid g{0, 0.5, 4};
    EXPECT_EQ(prewhiten::highest_peak(g, {std::nan(""), 1, 3, 2}).frequency, 1.0);
    EXPECT_FALSE(prewhiten::highest_peak(g, {std::nan(""), 0, 0, 0}).found);
}

TEST(Reading, JoinedStarInItsUnitAndTimeOrder)
{
    lightcurve_test::Folder folder;
    Options o;
    o.files = {folder.write("b.dat", "10 100\n11 300\n12 200\n"), folder.write("a.dat", "1 50\n2 40\n3 60\n")};
    o.join = true;
    o.unit = lightcurve::Unit::flux;
    const LightCurve c = prewhiten::read_star(prewhiten::stars_of(o).front(), o);
    EXPECT_EQ(c.times, (std::vector<double>{1, 2, 3, 10, 11, 12}));
    const std::vector<double> ppt = {0, -200, 200, -500, 500, 0};
    ASSERT_EQ(c.values.size(), ppt.size());
    for (std::size_t i = 0; i < ppt.size(); ++i) EXPECT_NEAR(c.values[i], ppt[i], 1e-12);
    EXPECT_EQ(c.unit, lightcurve::Unit::flux);
}

// The TESS file: its strongest peak is the orbital harmonic near 1.2056
// c/d.  Found on the default grid up to 5 c/d, then located by the exact
// sums on a fine grid around it.
TEST(TessFile, StrongestPeakNearTheOrbitalHarmonic)
{
    Options o;
    o.files = {lightcurve_test::tess_file()};
    o.unit = lightcurve::Unit::flux;
    o.fmax = 5;
    const prewhiten::Star star = prewhiten::stars_of(o).front();
    const LightCurve c = prewhiten::read_star(star, o);
    ASSERT_EQ(c.size(), 11117u);
    const spectrum::Grid g = prewhiten::grid_for(c, o);
    const spectrum::Plan plan(c.times, g, o.spectrum);
    const prewhiten::Peak coarse = prewhiten::highest_peak(g, plan.amplitude(c.values));
    ASSERT_TRUE(coarse.found);
    EXPECT_NEAR(coarse.frequency, 1.2056, g.step);

    o.fmin = coarse.frequency - g.step;
    o.fmax = coarse.frequency + g.step;
    o.step = 1e-5;
    o.spectrum.method = spectrum::Method::exact;
    const spectrum::Grid fine = prewhiten::grid_for(c, o);
    const spectrum::Plan exact(c.times, fine, o.spectrum);
    const prewhiten::Peak peak = prewhiten::highest_peak(fine, exact.amplitude(c.values));
    EXPECT_NEAR(peak.frequency, 1.2056, 2e-4);
    EXPECT_GE(peak.amplitude, coarse.amplitude);
}

}  // namespace

namespace {

// A summary that cannot be written makes the run fail.
TEST(Program, UnwritableStandardOutputIsAFailure)
{
    std::ostringstream out, err;
    out.setstate(std::ios::badbit);
    plotting::RecordingPlotter plot;
    const char* argv[] = {"prewhiten", "--version"};
    EXPECT_EQ(prewhiten::main_program(2, argv, plot, out, err), 2);
    EXPECT_EQ(err.str(), "prewhiten: standard output: cannot be written\n");
}

}  // namespace
