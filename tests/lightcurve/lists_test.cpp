// The lists a run takes beside its light curves: the table of frequencies
// to start from (an extraction's own table, or a plain column) and the
// breakpoint file, with the lines they refuse.
#include <gtest/gtest.h>

#include <string>

#include "support/lightcurve_files.hpp"
#include "lightcurve/lightcurve.hpp"
#include "lightcurve/lists.hpp"

namespace {

using lightcurve_test::Folder;

// The message of the Error a read throws, or "" when it throws none.
template <class Read>
std::string error_of(Read read)
{
    try {
        read();
    } catch (const lightcurve::Error& e) {
        return e.what();
    }
    return "";
}

TEST(FrequencyTable, AnExtractionsTableByColumnNamesWithItsTimeOfReference)
{
    Folder folder;
    const std::string file = folder.write(
        "star.frequencies.csv",
        "# N=65312, T=1470.46, t_ref=55690.123456789, unit=mmag, D=2.1, stop=snr, next_snr=3.9\n"
        "id,frequency,frequency_err,amplitude,amplitude_err,phase,phase_err,snr,log10_fap,combination\n"
        "1,15.383003,1e-06,4.578,0.01,0.25,0.001,120,-300,\n"
        "2,20.262897,2e-06,2.388,0.01,0.9,0.002,60,-200,\n"
        "3,30.766006,3e-05,0.1,0.01,0.5,0.02,6,-5,2f1\n");
    const lightcurve::FrequencyTable t = lightcurve::read_frequency_table(file);
    EXPECT_EQ(t.frequencies, (std::vector<double>{15.383003, 20.262897, 30.766006}));
    EXPECT_EQ(t.amplitudes, (std::vector<double>{4.578, 2.388, 0.1}));
    EXPECT_EQ(t.phases, (std::vector<double>{0.25, 0.9, 0.5}));
    ASSERT_TRUE(t.t_ref.has_value());
    EXPECT_EQ(*t.t_ref, 55690.123456789);
    EXPECT_EQ(t.unit, "mmag");

    // Columns in another order, separated by blanks, a header in capitals,
    // no phases and no comment line.
    const lightcurve::FrequencyTable u =
        lightcurve::read_frequency_table(folder.write("b.txt", "Amplitude  Frequency\n2.5  7.1\n1.0  3.3\n"));
    EXPECT_EQ(u.frequencies, (std::vector<double>{7.1, 3.3}));
    EXPECT_EQ(u.amplitudes, (std::vector<double>{2.5, 1.0}));
    EXPECT_TRUE(u.phases.empty());
    EXPECT_FALSE(u.t_ref.has_value());
}

TEST(FrequencyTable, APlainColumnWithCommentsBlankLinesAndWindowsLineEnds)
{
    Folder folder;
    const std::string file =
        folder.write("published.txt", "\xEF\xBB\xBF# Table 2 of a paper\r\n\r\n 15.383003\r\n# f2\r\n+20.262897\r\n");
    const lightcurve::FrequencyTable t = lightcurve::read_frequency_table(file);
    EXPECT_EQ(t.frequencies, (std::vector<double>{15.383003, 20.262897}));
    EXPECT_TRUE(t.amplitudes.empty());
    EXPECT_TRUE(t.phases.empty());
}

TEST(FrequencyTable, LinesThatCannotBeUsedAreNamed)
{
    Folder folder;
    auto message = [&](const std::string& content) {
        const std::string file = folder.write("f.csv", content);
        return error_of([&] { lightcurve::read_frequency_table(file); });
    };
    const std::string name = folder.name("f.csv");
    EXPECT_EQ(message("12.5\n1e\n"), name + ", line 2: '1e' is not a frequency");
    EXPECT_EQ(message("12.5\n3.1 0.4\n"), name + ", line 2: 2 fields, where one frequency per line is read");
    EXPECT_EQ(message("12.5\n-3.1\n"), name + ", line 2: the frequency '-3.1' is not above 0");
    EXPECT_EQ(message("# t_ref=x\nfrequency\n1\n"), name + ", line 1: t_ref 'x' is not a number");
    EXPECT_EQ(message("id,amplitude\n1,2\n"),
              name + ", line 1: the header names no column 'frequency' (a plain list has one number a line)");
    EXPECT_EQ(message("frequency,amplitude\n5,1\n6\n"), name + ", line 3: 1 fields, fewer than the header's 2");
    EXPECT_EQ(message("frequency,amplitude\n5,nan\n"), name + ", line 2: the amplitude 'nan' is not a number");
    EXPECT_EQ(message("# nothing\n\n"), name + ": no frequency in it");
    EXPECT_EQ(message("frequency,phase\n"), name + ": no frequency in it");
    EXPECT_NE(error_of([&] { lightcurve::read_frequency_table(folder.name("missing.csv")); }).find("missing.csv"),
              std::string::npos);
}

TEST(Breakpoints, OneTimePerLineAndABadLineNamed)
{
    Folder folder;
    EXPECT_EQ(lightcurve::read_breakpoints(folder.write("b.txt", "# orbits\n2459001.5\n\n2459015.25\n")),
              (std::vector<double>{2459001.5, 2459015.25}));
    EXPECT_TRUE(lightcurve::read_breakpoints(folder.write("none.txt", "# no breakpoint\n")).empty());
    const std::string bad = folder.write("bad.txt", "2459001.5\n2459015,25\n");
    EXPECT_EQ(error_of([&] { lightcurve::read_breakpoints(bad); }),
              bad + ", line 2: 2 fields, where one time per line is read");
}

}  // namespace
