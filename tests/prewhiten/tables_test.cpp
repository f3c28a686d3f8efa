// The tables of an extraction: the CSV in full and in the layout of the
// design, the aligned text rounded to the errors, the residual file in the
// classic time-series layout, and the screen summary.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/lightcurve_files.hpp"
#include "star.hpp"
#include "tables.hpp"

namespace {

using lightcurve_test::Folder;
using lightcurve_test::content;


std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

double number(const std::string& text)
{
    double x = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), x);
    EXPECT_TRUE(ec == std::errc() && end == text.data() + text.size()) << text;
    return x;
}

extraction::Result sample()
{
    extraction::Result r;
    r.n = 4;
    r.span = 10.5;
    r.t_ref = 2459000.123456789;
    r.D = 1.25;
    r.rms = 0.3;
    r.stop = extraction::Stop::snr;
    r.stop_value = 3.2;
    extraction::Frequency f1;
    f1.id = 1;
    f1.value = {12.3456789012, 1.5, 0.25};
    f1.covariance = {1.2e-5, 0.012, 0.0013};
    f1.analytic = {1.1e-5, 0.011, 0.0012};
    f1.snr = 45.67;
    f1.correlation = 1.25;
    f1.log10_fap = -30.54;
    extraction::Frequency f2 = f1;
    f2.id = 2;
    f2.value = {24.6913578024, 0.1 + 0.2, 0.9};  // an amplitude with a long shortest form
    f2.covariance = {4.4e-4, 0.05, 0.02};
    f2.snr = 6.0;
    f2.log10_fap = -1.0;
    f2.correlation = 2.5;
    f2.label = {"2f1", 0.03};  // a chance above 1 %: only possible
    r.frequencies = {f1, f2};
    r.residuals = {0.1, -0.2, 1e-17, -0.5};
    return r;
}

prewhiten::TableContext context()
{
    return {"star.dat", "mmag", "the next peak, at 3 c/d, has S/N 3.2, below 4", {{"refine", "all"}}};
}

TEST(FrequencyTable, CommentHeaderAndRowsInFull)
{
    const Folder folder;
    const std::string file = folder.name("star.frequencies.csv");
    const extraction::Result r = sample();
    prewhiten::write_frequencies_csv(file, r, context());
    const std::vector<std::string> lines = split(content(file), '\n');
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0],
              "# N=4, T=10.5, t_ref=2459000.123456789, unit=mmag, D=1.25, stop=snr, next_snr=3.2, refine=all");
    EXPECT_EQ(lines[1], "id,frequency,frequency_err,amplitude,amplitude_err,phase,phase_err,snr,log10_fap,combination,"
                        "combination_probability");
    EXPECT_EQ(lines[2], "1,12.3456789012,1.2e-05,1.5,0.012,0.25,0.0013,45.67,-30.54,,");
    const std::vector<std::string> row = split(lines[3], ',');
    ASSERT_EQ(row.size(), 11u);
    EXPECT_EQ(number(row[3]), 0.1 + 0.2);  // reads back to the same double
    EXPECT_EQ(row[3], "0.30000000000000004");
    EXPECT_EQ(row[9], "2f1");  // the plain label, its chance beside it
    EXPECT_EQ(row[10], "0.03");
}

TEST(FrequencyTable, StopReasonsOtherThanTheSignalToNoise)
{
    const Folder folder;
    const std::string file = folder.name("t.csv");
    extraction::Result r = sample();
    r.stop = extraction::Stop::fap;
    r.stop_value = -2.5;
    prewhiten::write_frequencies_csv(file, r, context());
    EXPECT_NE(content(file).find("stop=fap, next_log10_fap=-2.5,"), std::string::npos);
    r.stop = extraction::Stop::max_frequencies;
    prewhiten::write_frequencies_csv(file, r, context());
    EXPECT_NE(content(file).find("stop=max-frequencies, refine=all\n"), std::string::npos);
}

TEST(FrequencyTable, ALockedSeriesIsSaidInEveryTableWithoutANewColumn)
{
    extraction::Result r = sample();
    r.frequencies[0].harmonic = 1;
    r.frequencies[1].harmonic = 2;
    r.frequencies[1].label = {"2f1", 0.0};
    const std::string csv = prewhiten::frequencies_csv(r, context());
    EXPECT_NE(csv.find(", locked_F=12.3456789012, locked_F_err=1.2e-05,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",combination_probability\n"), std::string::npos);
    const std::string said = "harmonic series locked at F = 12.345679 +- 1.2e-05 c/d (f1 and 1 harmonic)";
    EXPECT_NE(prewhiten::frequencies_text(r, context()).find("# " + said + ": "), std::string::npos);
    std::ostringstream out;
    prewhiten::say_extraction(out, r, context(), 1);
    EXPECT_NE(out.str().find("star.dat: " + said + "\n"), std::string::npos) << out.str();
}

TEST(FrequencyTable, AlignedTextRoundedToTwoDigitsOfTheError)
{
    const std::string text = prewhiten::frequencies_text(sample(), context());
    const std::vector<std::string> lines = split(text, '\n');
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "# star.dat: N = 4, T = 10.5000 d, t_ref = 2459000.123457, unit mmag, D = 1.250");
    EXPECT_EQ(lines[1], "# 2 frequencies; stop: the next peak, at 3 c/d, has S/N 3.2, below 4");
    // Frequency to 6 decimals (error 1.2e-5), amplitude to 3 (0.012),
    // phase to 4 (0.0013); columns as wide as their widest cell.
    // The second row: 5 decimals (4.4e-4), 3 (0.05) and 3 (0.02).
    EXPECT_EQ(lines[7], "id  frequency  err_cov   err_MO  amplitude  err_cov  err_MO   phase  err_cov  err_MO"
                        "   S/N  log10_FAP   D_f  combination");
    EXPECT_EQ(lines[8], " 1  12.345679  1.2e-05  1.1e-05      1.500    0.012   0.011  0.2500   0.0013  0.0012"
                        "  45.7      -30.5  1.25");
    EXPECT_EQ(lines[9], " 2   24.69136  0.00044  1.1e-05      0.300     0.05   0.011   0.900     0.02  0.0012"
                        "   6.0       -1.0  2.50  2f1?");
}

// Each segment's baseline: in full in its own file, empty fields beyond its
// degree, and rounded to its errors after the aligned table.
TEST(BaselineTable, EachSegmentInFullAndAfterTheAlignedTable)
{
    extraction::Result r = sample();
    r.segments = {{100.0, 110.5, 3, 0}, {111.0, 111.0, 1, 0}};
    extraction::SegmentBaseline linear{2, 105.25, {0.125, -0.0123456, 0.0}, {0.01, 0.0011, 0.0}};
    extraction::SegmentBaseline offset{1, 111.0, {-0.5, 0.0, 0.0}, {0.2, 0.0, 0.0}};  // one point: an offset only
    r.baselines = {linear, offset};
    prewhiten::TableContext c = context();
    c.extra = {{"baseline", "linear"}, {"segments", "2"}};
    const Folder folder;
    const std::string file = folder.name("star.baseline.csv");
    prewhiten::write_baselines_csv(file, r, c);
    EXPECT_EQ(content(file), "# N=4, T=10.5, unit=mmag, baseline=linear, segments=2\n"
                             "segment,start,end,N,degree,centre,c0,c0_error,c1,c1_error,c2,c2_error\n"
                             "1,100,110.5,3,1,105.25,0.125,0.01,-0.0123456,0.0011,,\n"
                             "2,111,111,1,0,111,-0.5,0.2,,,,\n");
    const std::vector<std::string> lines = split(prewhiten::frequencies_text(r, c), '\n');
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[10], "#");
    EXPECT_EQ(lines[13], "#        1  100.0000  110.5000  3  105.2500  0.125  0.01  -0.0123  0.0011");
    EXPECT_EQ(lines[14], "#        2  111.0000  111.0000  1  111.0000  -0.50   0.2");
}

TEST(FrequencyTable, RejectedCandidatesNamedInTheTextAndOnTheScreen)
{
    extraction::Result r = sample();
    r.rejected = {{3.25, 0.4, extraction::Rejection::Why::merged, 1},
                  {0.2, 0.9, extraction::Rejection::Why::low_snr, 2},
                  {0.3, 0.8, extraction::Rejection::Why::low_snr, 2}};
    const std::string text = prewhiten::frequencies_text(r, context());
    EXPECT_NE(text.find("\n# candidate at 3.250000 c/d rejected after 1 frequency: its fit brought two frequencies "
                        "within 1/(2T)\n"),
              std::string::npos)
        << text;
    std::ostringstream out;
    prewhiten::say_extraction(out, r, context());
    EXPECT_NE(out.str().find("star.dat: 1 candidate passed over because the fit diverged (see the .txt table)\n"),
              std::string::npos);
    // Those that fell short of the S/N limit are counted apart.
    EXPECT_NE(text.find("\n# candidate at 0.200000 c/d rejected after 2 frequencies: its fit left it below the S/N "
                        "limit\n"),
              std::string::npos);
    EXPECT_NE(out.str().find("star.dat: 2 candidates passed over, below the S/N limit after the fit"),
              std::string::npos);
}

TEST(ResidualFile, HeaderLineThenTimeResidualAndError)
{
    const Folder folder;
    const std::string file = folder.name("star.residuals.dat");
    lightcurve::LightCurve curve;
    curve.times = {2459000.1, 2459000.2, 2459000.30000001, 2459000.4};
    curve.values = {1, 2, 3, 4};
    const extraction::Result r = sample();
    prewhiten::write_residuals(file, curve, r, context());
    EXPECT_EQ(content(file), "time residual (star.dat minus 2 frequencies, unit mmag)\n"
                             "2459000.1 0.1\n2459000.2 -0.2\n2459000.30000001 1e-17\n2459000.4 -0.5\n");
    curve.errors = {0.5, 0.25, 0.125, 1.5};
    curve.has_errors = true;
    prewhiten::write_residuals(file, curve, r, context());
    const std::vector<std::string> lines = split(content(file), '\n');
    EXPECT_EQ(lines[0], "time residual error (star.dat minus 2 frequencies, unit mmag)");
    EXPECT_EQ(lines[4], "2459000.4 -0.5 1.5");
}

TEST(Summary, EveryLineNamesTheStarStrongestFirst)
{
    std::ostringstream out;
    prewhiten::say_extraction(out, sample(), context(), 1);
    const std::vector<std::string> lines = split(out.str(), '\n');
    ASSERT_EQ(lines.size(), 4u);
    for (const std::string& line : lines) EXPECT_EQ(line.rfind("star.dat: ", 0), 0u) << line;
    EXPECT_EQ(lines[0], "star.dat: 2 frequencies; stop: the next peak, at 3 c/d, has S/N 3.2, below 4");
    EXPECT_NE(lines[2].find("f1 "), std::string::npos);
    EXPECT_NE(lines[2].find("12.3456789 c/d"), std::string::npos);
    EXPECT_EQ(lines[3], "star.dat: and 1 weaker");
}

TEST(Progress, OneLineRewrittenInPlaceAndWipedAtTheEnd)
{
    const Folder folder;
    std::string star = "t v\n";
    for (int k = 0; k < 400; ++k) {
        const double t = 0.05 * k;
        const double value = std::sin(2 * M_PI * 3.1 * t) + 0.5 * std::sin(2 * M_PI * 4.7 * t);
        star += std::to_string(t) + " " + std::to_string(value) + "\n";
    }
    prewhiten::Options options;
    options.files = {folder.write("s.dat", star)};
    options.output_folder = folder.name("");
    options.max_frequencies = 2;
    std::ostringstream out, progress;
    plotting::GizaPlotter giza;
    ASSERT_TRUE(prewhiten::run_star(prewhiten::stars_of(options).front(), options, giza, out, &progress).done);
    const std::string text = progress.str();
    const std::string label = options.files.front();
    EXPECT_EQ(text.find("\r" + label + ": frequency 1 of at most 2, "), 0u) << text;
    EXPECT_NE(text.find("\r" + label + ": frequency 2 of at most 2, "), std::string::npos) << text;
    EXPECT_EQ(text.find('\n'), std::string::npos);  // never a new line
    // Wiped: blanks over the longest line, and the cursor back at its start.
    const std::size_t wipe = text.rfind('\r', text.size() - 2);
    EXPECT_EQ(text.back(), '\r');
    EXPECT_EQ(text.find_first_not_of(' ', wipe + 1), text.size() - 1);
    // Without a terminal, nothing.
    std::ostringstream quiet;
    EXPECT_TRUE(prewhiten::run_star(prewhiten::stars_of(options).front(), options, giza, quiet).done);
    EXPECT_EQ(quiet.str().find('\r'), std::string::npos);
}

}  // namespace

namespace {

// With --spectrum-only the spectrum is the star's table: written last, so a
// window that cannot be written leaves no spectrum that --resume would take
// for the star done.
TEST(StarFiles, TheTableIsWrittenLastAndOnlyWhenTheRestIsWritten)
{
    const Folder folder;
    std::string star = "t v\n";
    for (int k = 0; k < 200; ++k) star += std::to_string(0.05 * k) + " " + std::to_string(std::sin(0.9 * k)) + "\n";
    prewhiten::Options options;
    options.files = {folder.write("s.dat", star)};
    options.output_folder = folder.name("");
    options.spectrum_only = true;
    options.window = 1.5;
    std::filesystem::create_directory(folder.name("s.window.csv"));  // in the window's way
    plotting::GizaPlotter giza;
    std::ostringstream out;
    const prewhiten::StarOutcome outcome =
        prewhiten::run_star(prewhiten::stars_of(options).front(), options, giza, out);
    EXPECT_FALSE(outcome.done);
    EXPECT_NE(outcome.message.find("s.window.csv: cannot be written"), std::string::npos) << outcome.message;
    EXPECT_FALSE(std::filesystem::exists(folder.name("s.spectrum.csv")));
    EXPECT_EQ(out.str().find("wrote"), std::string::npos);
}

}  // namespace
