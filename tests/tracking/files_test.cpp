// The text of the tracking files: the facts line, the headers, numbers in
// full, frequencies left out, and the orbit's row claimed and not.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "tracking/files.hpp"

using namespace tracking;

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Two windows of a table of three frequencies, the second of which is
// grouped with the first; the second window has too few points.
Result small_result()
{
    Result r;
    r.width = 10.0;
    r.step = 10.0;
    r.t_ref = 55100.5;
    r.table = {{1, 12.5, 2.0}, {2, 12.55, 0.5}, {3, 20.1, 1.0}};
    r.fitted = {0, 2};
    r.left_out = {1};
    WindowResult used;
    used.window = {0, 480, 55000.0, 55010.0, 55005.125};
    used.cells = {{2.0, 0.01, 0.25, 0.001, -3.5, 0.6, true}, {1.0, 0.01, 1.125, 0.2, 0.0, 0.0, false}};
    used.delay = {1, -3.5, 0.6, 0.0, NAN};
    WindowResult skipped;
    skipped.window = {480, 12, 55010.0, 55020.0, 55011.0};
    skipped.skip = Skip::few_points;
    r.windows = {used, skipped};
    r.counts.used = 1;
    r.counts.few_points = 1;
    DelayPoint p;
    p.t = 55005.125;
    p.delay = -3.5;
    p.delay_err = 0.6;
    r.delays = {p};
    r.delay_window = {0};
    r.spectrum.searched = true;
    r.spectrum.fmin = 0.001;
    r.spectrum.fmax = 0.04;
    r.spectrum.peak_frequency = 0.0025;
    r.spectrum.log10_fap = -0.5;
    Modulation m;
    m.mean_amplitude = 2.0;
    m.amplitude_chi2_dof = 1.1;
    m.amplitude_slope = -0.1;
    m.amplitude_slope_err = 0.05;
    m.frequency_rate = 1e-10;
    m.frequency_rate_err = 2e-11;
    m.time_delay_chi2_dof = NAN;
    r.modulation = {m, m};
    return r;
}

}  // namespace

TEST(Files, FactsHeadersAndRowsInFullPrecision)
{
    const Result r = small_result();
    const FileContext context{"mmag", "star.frequencies.csv"};
    const std::string facts = "# W=10, S=10, windows=2, used=1, skipped=1, few_points=1, few_for_model=0, singular=0, "
                              "t_ref=55100.5, unit=mmag, frequencies=star.frequencies.csv, overlapping=no, left_out=2";

    const std::vector<std::string> track = lines_of(track_csv(r, context));
    ASSERT_EQ(track.size(), 4u);  // one row per fitted frequency of the fitted window
    EXPECT_EQ(track[0], facts + ", phase=cycles (unwrapped where used), time_delay=s");
    EXPECT_EQ(track[1], "window,t_mid,t_start,t_end,n,id,frequency,amplitude,amplitude_err,phase,phase_err,"
                        "time_delay,time_delay_err,used");
    EXPECT_EQ(track[2], "1,55005.125,55000,55010,480,1,12.5,2,0.01,0.25,0.001,-3.5,0.6,1");
    EXPECT_EQ(track[3], "1,55005.125,55000,55010,480,3,20.1,1,0.01,1.125,0.2,nan,nan,0");

    const std::vector<std::string> delays = lines_of(timedelay_csv(r, context));
    ASSERT_EQ(delays.size(), 3u);
    EXPECT_EQ(delays[0], facts + ", time_delay=s, orbit=none");
    EXPECT_EQ(delays[1], "window,t_mid,n,time_delay,time_delay_err,chi2_dof,frequencies_used");
    EXPECT_EQ(delays[2], "1,55005.125,480,-3.5,0.6,nan,1");

    const std::vector<std::string> modulation = lines_of(modulation_csv(r, context));
    ASSERT_EQ(modulation.size(), 5u);  // every frequency of the table, the one left out as nan
    EXPECT_EQ(modulation[2], "1,12.5,2,1.1,-0.1,0.05,1e-10,2e-11,nan");
    EXPECT_EQ(modulation[3], "2,12.55,nan,nan,nan,nan,nan,nan,nan");

    const std::vector<std::string> orbit = lines_of(orbit_csv(r, context));
    ASSERT_EQ(orbit.size(), 3u);
    EXPECT_EQ(orbit[1], "claimed,period,period_err,asini_c,asini_c_err,e,e_err,varpi,varpi_err,t_p,t_p_err,tau0,"
                        "mass_function,mass_function_err,k1,k1_err,log10_fap,chi2_dof");
    EXPECT_EQ(orbit[2], "no,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,-0.5,nan");
}

TEST(Files, AClaimedOrbitAndItsModel)
{
    Result r = small_result();
    r.step = 5.0;  // overlapping windows are said to be so
    r.spectrum.claimed = true;
    r.spectrum.log10_fap = -12.25;
    OrbitFit& o = r.orbit;
    o.fitted = true;
    o.orbit = {840.5, 7.25, 0.0, 0.0, 54800.0, 0.125};
    o.period_err = 20.5;
    o.asini_err = 0.5;
    o.e_err = 0.0625;
    o.t_max = 55010.25;
    o.t_max_err = 3.5;
    o.mass_function = 5e-7;
    o.mass_function_err = 1e-7;
    o.k1 = 0.1875;
    o.k1_err = 0.015625;
    o.chi2_dof = 0.75;
    o.model = {-3.25};
    const FileContext context{"ppt", "extraction"};
    const std::vector<std::string> delays = lines_of(timedelay_csv(r, context));
    EXPECT_NE(delays[0].find("overlapping=yes"), std::string::npos);
    EXPECT_EQ(delays[1], "window,t_mid,n,time_delay,time_delay_err,chi2_dof,frequencies_used,model");
    EXPECT_EQ(delays[2], "1,55005.125,480,-3.5,0.6,nan,1,-3.25");
    // Circular: e = 0, varpi undefined, and t_p the time of the delay's maximum.
    const std::vector<std::string> orbit = lines_of(orbit_csv(r, context));
    EXPECT_NE(orbit[0].find("orbit=circular"), std::string::npos);
    EXPECT_EQ(orbit[2],
              "yes,840.5,20.5,7.25,0.5,0,0.0625,nan,nan,55010.25,3.5,0.125,5e-07,1e-07,0.1875,0.015625,-12.25,0.75");
    // Eccentric: varpi in degrees and the time of periastron.
    o.eccentric = true;
    o.orbit.e = 0.25;
    o.orbit.varpi = M_PI / 2.0;
    o.varpi_err = M_PI / 180.0;
    o.t_p_err = 4.5;
    EXPECT_EQ(lines_of(orbit_csv(r, context))[2],
              "yes,840.5,20.5,7.25,0.5,0.25,0.0625,90,1,54800,4.5,0.125,5e-07,1e-07,0.1875,0.015625,-12.25,0.75");
}
