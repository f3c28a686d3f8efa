// The command line: every option into its field, the defaults of the
// design, usage errors as one line with status 1, and the help text made
// from the same options.
#include <gtest/gtest.h>

#include <sstream>

#include "options.hpp"

namespace {

using prewhiten::CommandLine;

struct Parsed {
    CommandLine line;
    std::string out;
    std::string err;
};

Parsed parse(std::vector<std::string> words)
{
    words.insert(words.begin(), "prewhiten");
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    std::ostringstream out, err;
    Parsed p;
    p.line = prewhiten::parse_command_line(static_cast<int>(argv.size()), argv.data(), out, err);
    p.out = out.str();
    p.err = err.str();
    return p;
}

TEST(CommandLine, Defaults)
{
    const Parsed p = parse({"star.dat"});
    ASSERT_TRUE(p.line.run) << p.err;
    const prewhiten::Options& o = p.line.options;
    EXPECT_EQ(o.files, std::vector<std::string>{"star.dat"});
    EXPECT_FALSE(o.join);
    EXPECT_FALSE(o.spectrum_only);
    EXPECT_EQ(o.output_folder, ".");
    EXPECT_EQ(o.unit, lightcurve::Unit::none);
    EXPECT_EQ(o.columns.time, "");
    EXPECT_EQ(o.columns.value, "");
    EXPECT_EQ(o.columns.error, "");
    EXPECT_EQ(o.columns.quality_mask, ~std::uint64_t{0});
    EXPECT_FALSE(o.fmin || o.fmax || o.step || o.window || o.max_memory);
    EXPECT_EQ(o.oversample, 10);
    EXPECT_EQ(o.spectrum.method, spectrum::Method::nufft);
    EXPECT_EQ(o.spectrum.tolerance, spectrum::Settings{}.tolerance);
    EXPECT_EQ(o.spectrum.threads, 0);
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.err, "");
}

TEST(CommandLine, EveryOptionToItsField)
{
    const Parsed p = parse({"--unit", "flux", "-o", "out/", "--spectrum-only", "--join", "--time", "BJD", "--value",
                            "4", "--error", "none", "--quality-mask", "0x1f", "--fmin", "0.5", "--fmax", "+80",
                            "--step", "1e-4", "--method", "exact", "--tolerance", "1e-6", "--threads", "3",
                            "--window", "15.38", "--max-memory", "1.5G", "a.fits", "b.fits"});
    ASSERT_TRUE(p.line.run) << p.err;
    const prewhiten::Options& o = p.line.options;
    EXPECT_EQ(o.files, (std::vector<std::string>{"a.fits", "b.fits"}));
    EXPECT_EQ(o.unit, lightcurve::Unit::flux);
    EXPECT_EQ(o.output_folder, "out/");
    EXPECT_TRUE(o.spectrum_only);
    EXPECT_TRUE(o.join);
    EXPECT_EQ(o.columns.time, "BJD");
    EXPECT_EQ(o.columns.value, "4");
    EXPECT_EQ(o.columns.error, "none");
    EXPECT_EQ(o.columns.quality_mask, 31u);
    EXPECT_EQ(*o.fmin, 0.5);
    EXPECT_EQ(*o.fmax, 80);
    EXPECT_EQ(*o.step, 1e-4);
    EXPECT_EQ(o.spectrum.method, spectrum::Method::exact);
    EXPECT_EQ(o.spectrum.tolerance, 1e-6);
    EXPECT_EQ(o.spectrum.threads, 3);
    EXPECT_EQ(*o.window, 15.38);
    EXPECT_EQ(*o.max_memory, 1610612736u);
}

TEST(CommandLine, ExtractionOptionsAndTheirDefaults)
{
    const Parsed defaults = parse({"star.dat"});
    ASSERT_TRUE(defaults.line.run) << defaults.err;
    const prewhiten::Options& d = defaults.line.options;
    EXPECT_EQ(d.snr, 4.0);
    EXPECT_EQ(d.box, 1.0);
    EXPECT_EQ(d.max_frequencies, 200);
    EXPECT_FALSE(d.fap || d.resolution || d.separation);
    EXPECT_FALSE(d.weights || d.resume);
    EXPECT_EQ(d.refine, extraction::Refine::all);
    EXPECT_EQ(d.fit, extraction::FitMethod::fast);

    const Parsed p = parse({"--snr", "5.5", "--box", "2", "--max-frequencies", "50", "--fap", "1e-3", "--weights",
                            "--refine", "new", "--resolution", "0.01", "--separation", "0.02", "--resume",
                            "star.dat"});
    ASSERT_TRUE(p.line.run) << p.err;
    const prewhiten::Options& o = p.line.options;
    EXPECT_EQ(o.snr, 5.5);
    EXPECT_EQ(o.box, 2.0);
    EXPECT_EQ(o.max_frequencies, 50);
    EXPECT_EQ(*o.fap, 1e-3);
    EXPECT_TRUE(o.weights);
    EXPECT_EQ(o.refine, extraction::Refine::fresh);
    EXPECT_EQ(*o.resolution, 0.01);
    EXPECT_EQ(*o.separation, 0.02);
    EXPECT_TRUE(o.resume);
    EXPECT_EQ(parse({"--refine", "none", "a"}).line.options.refine, extraction::Refine::none);

    // Candidates by S/N, a linear baseline per segment of the gap rule.
    EXPECT_EQ(d.select, extraction::Select::snr);
    EXPECT_EQ(d.baseline, extraction::Baseline::linear);
    EXPECT_FALSE(d.segment_gap || d.min_segment || d.segments || d.harmonics || !d.frequencies_file.empty());
    const Parsed classical = parse({"--select", "height", "--baseline", "none", "--segment-gap", "2",
                                    "--min-segment", "0", "--harmonics", "0.6028", "a"});
    ASSERT_TRUE(classical.line.run) << classical.err;
    const prewhiten::Options& c = classical.line.options;
    EXPECT_EQ(c.select, extraction::Select::height);
    EXPECT_EQ(c.baseline, extraction::Baseline::none);
    EXPECT_EQ(*c.segment_gap, 2.0);
    EXPECT_EQ(*c.min_segment, 0.0);
    EXPECT_EQ(*c.harmonics, 0.6028);
    EXPECT_EQ(*parse({"--segments", "cuts.txt", "a"}).line.options.segments, "cuts.txt");
    EXPECT_EQ(parse({"--baseline", "quadratic", "a"}).line.options.baseline, extraction::Baseline::quadratic);
    EXPECT_STREQ(prewhiten::refine_name(extraction::Refine::fresh), "new");
    EXPECT_EQ(parse({"--fit", "exact", "a"}).line.options.fit, extraction::FitMethod::exact);
}

TEST(CommandLine, TrackingExtractsOrTracksATable)
{
    Parsed p = parse({"--track", "10", "star.dat"});
    ASSERT_TRUE(p.line.run) << p.err;
    EXPECT_TRUE(prewhiten::extracts(p.line.options) && prewhiten::tracks(p.line.options));
    EXPECT_FALSE(p.line.options.track_step || p.line.options.orbit_fap);  // W and 1e-3 by default
    EXPECT_FALSE(prewhiten::extracts(parse({"star.dat", "--spectrum-only"}).line.options));
}

TEST(CommandLine, LastValueOfARepeatedOptionCounts)
{
    const Parsed p = parse({"--unit", "flux", "--unit", "mag", "--oversample", "5", "star.dat", "--oversample", "20"});
    ASSERT_TRUE(p.line.run) << p.err;
    EXPECT_EQ(p.line.options.unit, lightcurve::Unit::mag);
    EXPECT_EQ(p.line.options.oversample, 20);
}

TEST(CommandLine, HelpAndVersionAnswerOnStandardOutput)
{
    const Parsed help = parse({"--help"});
    EXPECT_FALSE(help.line.run);
    EXPECT_EQ(help.line.status, 0);
    EXPECT_EQ(help.out, prewhiten::help_text());
    EXPECT_EQ(help.err, "");
    const Parsed version = parse({"--version", "star.dat"});
    EXPECT_FALSE(version.line.run);
    EXPECT_EQ(version.out, "prewhiten 0.1.0\n");
}

TEST(CommandLine, HelpNamesEveryOptionWithItsDefault)
{
    const std::string help = prewhiten::help_text();
    for (const char* text :
         {"--time COLUMN=1 / TIME", "--value COLUMN=2 / PDCSAP_FLUX", "--error COLUMN=3 if numbers / value_ERR",
          "--quality-mask BITS=all", "--unit UNIT=none", "--join", "-o,--output DIR=.", "--spectrum-only",
          "--window F", "--fmin F=1/T", "--fmax F=0.5/median step", "--oversample K=10", "--step F=1/(oversample T)",
          "--method M=nufft", "--fit HOW=fast", "--tolerance E=", "--threads N=0",
          "--max-memory SIZE=half the machine's memory",
          "--version", "--help", "<stem>.spectrum.csv", "<stem>.window.csv", "Exit status", "--snr S=4", "--box W=1",
          "--max-frequencies K=200", "--fap P=off", "--weights", "--refine WHICH=all", "--resolution F=1.5/T",
          "--separation F=1/T", "--resume", "<stem>.frequencies.csv", "<stem>.frequencies.txt",
          "<stem>.residuals.dat", "--select WHICH=snr", "--baseline B=linear", "--segment-gap D=0.5",
          "--min-segment D=5", "--segments FILE", "--harmonics F0", "--frequencies FILE"})
        EXPECT_NE(help.find(text), std::string::npos) << text;
}

struct Refusal {
    std::vector<std::string> words;
    std::string message;
};

class UsageError : public testing::TestWithParam<Refusal> {};

const std::string snr_refused = "--snr: must be at least 1: no peak below the mean noise is a detection";

TEST_P(UsageError, OneLineStatusOne)
{
    const Parsed p = parse(GetParam().words);
    EXPECT_FALSE(p.line.run);
    EXPECT_EQ(p.line.status, 1);
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.err, "prewhiten: " + GetParam().message + " (prewhiten --help lists the options)\n");
}

INSTANTIATE_TEST_SUITE_P(
    Options, UsageError,
    testing::Values(Refusal{{}, "no light-curve file given"},
                    Refusal{{"--fmin", "x", "a"}, "--fmin: 'x' is not a number"},
                    Refusal{{"--fmin", "-1", "a"}, "--fmin: must be at least 0"},
                    Refusal{{"--fmax", "0", "a"}, "--fmax: must be above 0"},
                    Refusal{{"--fmax", "inf", "a"}, "--fmax: 'inf' is not a number"},
                    Refusal{{"--fmin", "2", "--fmax", "2", "a"}, "--fmax must be above --fmin"},
                    Refusal{{"--oversample", "-3", "a"}, "--oversample: must be above 0"},
                    Refusal{{"--step", "1", "--oversample", "2", "a"}, "--oversample excludes --step"},
                    Refusal{{"--method", "fast", "a"}, "--method: 'fast' is not one of exact, nufft"},
                    Refusal{{"--unit", "Flux", "a"}, "--unit: 'Flux' is not one of none, flux, mag"},
                    Refusal{{"--threads", "1.5", "a"}, "--threads: '1.5' is not a count"},
                    Refusal{{"--threads", "1025", "a"}, "--threads: must be at most 1024"},
                    Refusal{{"--tolerance", "1e-13", "a"}, "--tolerance: must be from 1e-12 to 0.01"},
                    Refusal{{"--max-memory", "5Q", "a"}, "--max-memory: '5Q' is not a size (such as 800M or 16G)"},
                    Refusal{{"--quality-mask", "-1", "a"}, "--quality-mask: '-1' is not a set of flag bits"},
                    Refusal{{"--time", "0", "a"}, "--time: columns are numbered from 1"},
                    Refusal{{"--value", "", "a"}, "--value: a column number or name is needed"},
                    Refusal{{"--bogus", "a"}, "The following argument was not expected: --bogus"},
                    Refusal{{"--snr", "-1", "a"}, snr_refused},
                    Refusal{{"--snr", "0.5", "a"}, snr_refused},
                    Refusal{{"--box", "0.01", "--step", "0.01", "a"}, "--box must be wider than --step"},
                    Refusal{{"--window", "1e308", "a"}, "--window: must be above 0 and at most 1e+09"},
                    Refusal{{"--box", "0", "a"}, "--box: must be above 0"},
                    Refusal{{"--max-frequencies", "-1", "a"}, "--max-frequencies: '-1' is not a count"},
                    Refusal{{"--fap", "0", "a"}, "--fap: must be above 0 and at most 1"},
                    Refusal{{"--fap", "1.5", "a"}, "--fap: must be above 0 and at most 1"},
                    Refusal{{"--refine", "some", "a"}, "--refine: 'some' is not one of all, new, none"},
                    Refusal{{"--fit", "quick", "a"}, "--fit: 'quick' is not one of exact, fast"},
                    Refusal{{"--resolution", "0", "a"}, "--resolution: must be above 0"},
                    Refusal{{"--separation", "-0.1", "a"}, "--separation: must be above 0"},
                    Refusal{{"--track", "-10", "a"}, "--track: must be above 0 and at most 365250"},
                    Refusal{{"--track", "10", "--track-step", "0", "a"},
                            "--track-step: must be above 0 and at most 365250"},
                    Refusal{{"--orbit-fap", "0.01", "a"}, "--orbit-fap needs --track"},
                    Refusal{{"--track", "10", "--orbit-fap", "2", "a"}, "--orbit-fap: must be above 0 and at most 1"},
                    Refusal{{"--track", "10", "--spectrum-only", "a"},
                            "--track needs frequencies to track: an extraction, or --frequencies, not --spectrum-only"},
                    Refusal{{"--track", "10", "--frequencies", "/nonexistent/f.csv", "a"},
                            "--frequencies: /nonexistent/f.csv: cannot be opened for reading (No such file or "
                            "directory)"},
                    Refusal{{"--select", "peak", "a"}, "--select: 'peak' is not one of snr, height"},
                    Refusal{{"--baseline", "cubic", "a"},
                            "--baseline: 'cubic' is not one of none, offset, linear, quadratic"},
                    Refusal{{"--segment-gap", "0", "a"}, "--segment-gap: must be above 0"},
                    Refusal{{"--min-segment", "-1", "a"}, "--min-segment: must be at least 0"},
                    Refusal{{"--segments", "s.txt", "--min-segment", "1", "a"},
                            "--segments takes the breakpoints of its file: not with --segment-gap or --min-segment"},
                    Refusal{{"--harmonics", "0", "a"}, "--harmonics: must be above 0"},
                    Refusal{{"--harmonics", "3", "--fmax", "2", "a"},
                            "--harmonics F0 must lie within the frequencies searched, at most --fmax"},
                    Refusal{{"--harmonics", "2", "--spectrum-only", "a"},
                            "--harmonics locks a series in the extraction's fit: not with --spectrum-only"},
                    Refusal{{"--harmonics", "2", "--track", "10", "a"},
                            "--harmonics locks a series in the extraction's fit: not with --track, whose windows "
                            "fit frequencies one by one"},
                    Refusal{{"--frequencies", "-", "-"}, "standard input (-) can be read once only"}),
    [](const testing::TestParamInfo<Refusal>& info) { return "case" + std::to_string(info.index); });

TEST(Sizes, SuffixesArePowersOf1024)
{
    std::uint64_t b = 0;
    EXPECT_TRUE(prewhiten::parse_size("123", b));
    EXPECT_EQ(b, 123u);
    EXPECT_TRUE(prewhiten::parse_size("2k", b));
    EXPECT_EQ(b, 2048u);
    EXPECT_TRUE(prewhiten::parse_size("800M", b));
    EXPECT_EQ(b, 800u << 20);
    EXPECT_TRUE(prewhiten::parse_size("16GB", b));
    EXPECT_EQ(b, std::uint64_t{16} << 30);
    EXPECT_TRUE(prewhiten::parse_size("1TiB", b));
    EXPECT_EQ(b, std::uint64_t{1} << 40);
    EXPECT_TRUE(prewhiten::parse_size("0.5g", b));
    EXPECT_EQ(b, std::uint64_t{1} << 29);
    EXPECT_TRUE(prewhiten::parse_size("10b", b));
    EXPECT_EQ(b, 10u);
    for (const char* bad : {"", "G", "1X", "1e30T", "-5", "nan", "1 G", "1Gi2"})
        EXPECT_FALSE(prewhiten::parse_size(bad, b)) << bad;
}

}  // namespace
