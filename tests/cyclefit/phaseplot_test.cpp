// The phase diagram of cyclefit: reading the solution file back, the
// residual file, and the exact calls of both drawings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <charconv>
#include <filesystem>
#include <fstream>

#include "common/io.hpp"
#include "cyclefit/plotten.hpp"
#include "cyclefit/records.hpp"
#include "common/graphics.hpp"
#include "solution_writer.hpp"
#include "support/recording_plotter.hpp"

namespace {

using plottest::Solution;
using plottest::Row;

class PhasePlot : public ::testing::Test {
protected:
    void SetUp() override
    {
        old_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/phaseplotXXXXXX";
        dir_ = mkdtemp(tmpl);
        std::filesystem::current_path(dir_);
        common::use_graphics(&rec);
        sol.rows = {{0.0, 0.1, 10.0, 0.5, 9.9, 0.0},
                    {0.3, -0.2, 12.0, 0.25, 12.2, 0.37},
                    {-0.4, 0.05, 11.0, 0.0, 10.95, -0.49383}};
    }
    void TearDown() override
    {
        common::reset_channels();
        common::use_graphics(nullptr);
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }

    // Writes the solution file, feeds the answers and runs plotten; returns
    // what it wrote on the screen.
    std::string plot(const std::string& answers)
    {
        plottest::write_solution(sol);
        return run(answers);
    }
    // Runs plotten on the solution file as it stands.
    std::string run(const std::string& answers)
    {
        cyclefit::lijn4.outname = sol.outname;
        cyclefit::lijn4.inname = sol.inname;
        cyclefit::lijn7.resname = sol.outname.substr(0, sol.outname.size() - 3) + ".res";
        std::ofstream("answers") << answers;
        EXPECT_NE(std::freopen("answers", "r", stdin), nullptr);
        testing::internal::CaptureStdout();
        cyclefit::plotten();
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }
    int count(const std::string& prefix)
    {
        int k = 0;
        for (const std::string& c : rec.calls) k += c.rfind(prefix, 0) == 0;
        return k;
    }

    plotting::RecordingPlotter rec;
    Solution sol;

private:
    std::filesystem::path old_, dir_;
};

std::string num(float v)
{
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The line call of the fitted curve (closed over the cycle) or of the zero
// line, with the phases and values the solution file holds.
std::string curveline(bool zero)
{
    std::string xs = "[", ys = "[";
    for (int q = 0; q <= 100; ++q) {
        float x = q < 100 ? static_cast<float>(0.01 * q) : 1.0f;
        float y = zero ? 0.0f : std::strtof(common::write_text("(F13.7)", {plottest::curvefit(q % 100)}).c_str(), nullptr);
        if (q) {
            xs.push_back(' ');
            ys.push_back(' ');
        }
        xs.append(num(x));
        ys.append(num(y));
    }
    return "line(101, " + xs + "], " + ys + "])";
}

int occurrences(const std::string& text, const std::string& part)
{
    int k = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++k;
    return k;
}

const std::string blank24(24, ' ');

// One drawing of the three observations of the fixture, after the device
// call, with the value and residual windows given.
std::vector<std::string> drawing(const std::string& ywin, const std::string& rwin, const std::string& ylabel,
                                 const std::string& title, const std::string& vr = "98.76")
{
    return {"svp(0.1, 0.9, 0.3, 0.9)",
            "sci(1)",
            "swin(0, 1, " + ywin + ")",
            "box(\"bcts\", 0.1, 2, \"bcntsv\", 0, 2)",
            "pt(3, [0 0.37 0.50617], [10 12 11], 751)",
            "erry(1, [0], [9.5], [10.5], 1)",
            "erry(1, [0.37], [11.75], [12.25], 1)",
            "erry(1, [0.50617], [11], [11], 1)",
            "sch(0.8)",
            "mtxt(\"t\", -1.5, 0.02, 0, \"FREQ 1 =  1.23457000( 1)\")",
            "mtxt(\"t\", -1.5, 0.34, 0, \"" + blank24 + "\")",
            "mtxt(\"t\", -1.5, 0.65999997, 0, \"" + blank24 + "\")",
            "mtxt(\"t\", -3, 0.02, 0, \"" + blank24 + "\")",
            "mtxt(\"t\", -3, 0.34, 0, \"" + blank24 + "\")",
            "mtxt(\"t\", -3, 0.65999997, 0, \"" + blank24 + "\")",
            "mtxt(\"t\", -4.5, 0.02, 0, \"" + blank24 + "\")",
            "mtxt(\"t\", -4.5, 0.34, 0, \"" + blank24 + "\")",
            "mtxt(\"t\", -4.5, 0.65999997, 0, \"" + blank24 + "\")",
            "mtxt(\"t\", -6, 0.02, 0, \"" + blank24 + "\")",
            "mtxt(\"t\", -6, 0.34, 0, \"" + blank24 + "\")",
            "sch(1)",
            "lab(\" \", \" \", \"" + title + "\")",
            "sch(1)",
            "mtxt(\"l\", 4, 0.5, 0.5, \"" + ylabel + "\")",
            curveline(false),
            "mtxt(\"b\", -1.25, 0.5, 0.5, \"variance reduction = " + vr + " %\")",
            "svp(0.1, 0.9, 0.1, 0.3)",
            "sci(1)",
            "swin(0, 1, " + rwin + ")",
            "box(\"bcnts\", 0.1, 2, \"bcntsv\", 0, 0)",
            "pt(3, [0 0.37 0.50617], [0.1 -0.2 0.05], 751)",
            "mtxt(\"l\", 4, 0.5, 0.5, \"residuals\")",
            "mtxt(\"b\", 2.5, 0.5, 0.5, \"phase\")",
            curveline(true),
            "end()"};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Hipparcos magnitudes: both value axes run downwards.  Values 9.5..12.25
// (with errors) widen by 1.5/7 and 2/7 of 2.75; residuals -0.2..0.1 by 1/8
// of 0.3.  Negative phases are folded into [0, 1).
TEST_F(PhasePlot, MagnitudesCallByCall)
{
    std::string out = plot("5\n0\n");
    std::vector<std::string> expected = std::vector<std::string>{"begin(0, \"?\", 1, 1)"} +
        drawing("12.839286, 8.714286", "0.1375, -0.23750001", "Hipparcos H\\dp\\u(mag)", "solution.1.23457.ps ");
    EXPECT_EQ(rec.calls, expected);
    EXPECT_NE(out.find(" Which kind of data-set?\n"), std::string::npos);
    EXPECT_NE(out.find("\n Do you want a ps-file? (1=yes; 0=no)\n"), std::string::npos);
}

// An equivalent width: the axes run upwards; the second drawing goes into
// the PostScript file, whose device keeps the name's trailing blank.
TEST_F(PhasePlot, EquivalentWidthAndPostScriptPass)
{
    std::string out = plot("13\n0\n2\n1\n");
    std::vector<std::string> pass = drawing("8.910714, 13.035714", "-0.23750001, 0.1375", "EW", "solution.1.23457.ps ");
    std::vector<std::string> expected = std::vector<std::string>{"begin(0, \"?\", 1, 1)"} + pass +
                                        std::vector<std::string>{"begin(0, \"solution.1.23457.ps /ps\", 1, 1)"} + pass;
    EXPECT_EQ(rec.calls, expected);
    EXPECT_NE(out.find("\n\n solution.1.23457.ps \n\n"), std::string::npos);
    EXPECT_EQ(occurrences(out, " Which kind of data-set?\n"), 2);  // 13 was refused
    EXPECT_EQ(occurrences(out, " Do you want a ps-file? (1=yes; 0=no)\n"), 2);  // and so was 2
}

// Every kind of data: its value label, and the direction of both value
// axes (magnitudes, kinds 5 to 12, run downwards).
TEST_F(PhasePlot, LabelAndDirectionOfEveryKind)
{
    const char* labels[13] = {"EW",
                              "<v> (km/s)",
                              "<v\\u2\\d> (km/s)\\u2\\d",
                              "<v\\u3\\d> (km/s)\\u3\\d",
                              "v\\drad\\u (km/s)",
                              "Hipparcos H\\dp\\u(mag)",
                              "Geneva U (mag)",
                              "Geneva B\\d1\\u (mag)",
                              "Geneva B (mag)",
                              "Geneva B\\d2\\u (mag)",
                              "Geneva V\\d1\\u (mag)",
                              "Geneva V (mag)",
                              "Geneva G (mag)"};
    for (int kind = 0; kind <= 12; ++kind) {
        rec.calls.clear();
        plot(std::to_string(kind) + "\n0\n");
        EXPECT_EQ(count("mtxt(\"l\", 4, 0.5, 0.5, \"" + std::string(labels[kind]) + "\")"), 1) << kind;
        bool downwards = kind >= 5;
        EXPECT_EQ(cyclefit::lijn1.ymin > cyclefit::lijn1.ymax, downwards) << kind;
        EXPECT_EQ(cyclefit::lijn3.rmin > cyclefit::lijn3.rmax, downwards) << kind;
    }
}

TEST_F(PhasePlot, ResidualFileWeightsAndSingleValues)
{
    sol.rows = {{0.0, 0.1, 10.0, 0.0, 9.9, 0.0},
                {0.1, 0.1, 10.0, 0.5, 9.9, 0.1},
                {0.2, 0.1, 10.0, 0.8, 9.9, 0.2},
                {50123.4567, -1.25, 12345.67891, 2.0, 12345.5, 0.3}};
    plot("0\n0\n");
    std::vector<std::string> expected = {
        "   4   1.23457000  star.dat                                                    ",
        "    0.0000000         0.10000    0.00000    1.00000         9.9000        10.0000",
        "    0.1000000         0.10000    0.50000    1.00000         9.9000        10.0000",
        "    0.2000000         0.10000    0.80000    0.62500         9.9000        10.0000",
        "50123.4567000        -1.25000    2.00000    0.25000     12345.5000     12345.6787"};
    EXPECT_EQ(plottest::lines_of("solution.1.23457.res"), expected);
}

TEST_F(PhasePlot, CountOf10000ObservationsIsAsterisks)
{
    sol.rows.assign(10000, Row{0.5, 0.01, 10.0, 0.1, 9.99, 0.25});
    plot("0\n0\n");
    std::vector<std::string> res = plottest::lines_of("solution.1.23457.res");
    ASSERT_EQ(res.size(), 10001u);
    EXPECT_EQ(res[0].substr(0, 18), "****   1.23457000 ");
    EXPECT_EQ(cyclefit::lijn1.npts, 10000);
}

TEST_F(PhasePlot, PerfectFitShowsFiveAsterisks)
{
    sol.fracvar = 1.0;
    plot("5\n0\n");
    EXPECT_EQ(count("mtxt(\"b\", -1.25, 0.5, 0.5, \"variance reduction = ***** %\")"), 1);
}

TEST_F(PhasePlot, FirstFrequencyOf10OrMoreGivesTheLongName)
{
    sol.freq = 12.34568;
    sol.outname = "solution.12.34568.fv";
    std::string out = plot("0\n1\n");
    EXPECT_EQ(count("lab(\" \", \" \", \"solution.12.34568.ps \")"), 2);
    EXPECT_EQ(count("begin(0, \"solution.12.34568.ps /ps\", 1, 1)"), 1);
    EXPECT_NE(out.find("\n solution.12.34568.ps \n"), std::string::npos);
}

// A fit whose frequency has no harmonic: nothing to fold on.  The residual
// file is still complete; nothing is drawn and no question is asked.
TEST_F(PhasePlot, NoHarmonicDeclinesThePlot)
{
    sol.nharm = 0;
    sol.imax = 0;
    std::string out = plot("");
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_NE(out.find("\n There is no frequency to fold on: no phase plot.\n"), std::string::npos);
    EXPECT_EQ(out.find("Which kind"), std::string::npos);
    EXPECT_EQ(plottest::lines_of("solution.1.23457.res").size(), 4u);
}

// A field that is not a number in the second observation row: one line,
// the plot of the first row alone, and no fitted curve (none was read).
TEST_F(PhasePlot, UnreadableFieldStopsTheReading)
{
    plottest::write_solution(sol);
    plottest::change_line(sol.outname, 39, "    0.3000000     abc");
    cyclefit::lijn3.fracvar = 0.5;  // as the fit left it
    std::string out = run("0\n0\n");
    EXPECT_NE(out.find("\n solution.1.23457.fv, line 39: no number the plot can use; reading stops there.\n"),
              std::string::npos);
    EXPECT_EQ(cyclefit::lijn1.npts, 1);
    EXPECT_EQ(count("pt(1, [0], [10], 751)"), 1);
    EXPECT_EQ(count("line("), 1);  // the zero line only
    EXPECT_EQ(count("mtxt(\"b\", -1.25, 0.5, 0.5, \"variance reduction = 50.00 %\")"), 1);
    EXPECT_EQ(plottest::lines_of("solution.1.23457.res").size(), 2u);
}

// The file ends inside the calculated fit: no word, all points, no curve.
TEST_F(PhasePlot, FileEndingInTheCurveDrawsNoCurve)
{
    plottest::write_solution(sol);
    plottest::change_line(sol.outname, 98, "", true);
    std::string out = run("0\n0\n");
    EXPECT_EQ(out.find("reading stops"), std::string::npos);
    EXPECT_EQ(count("pt(3, "), 2);
    EXPECT_EQ(count("line("), 1);
    EXPECT_EQ(count("mtxt(\"b\", -1.25, 0.5, 0.5, \"variance reduction = 98.76 %\")"), 1);
}

// A device that cannot be opened gets no drawing calls; the dialogue goes on.
TEST_F(PhasePlot, UnopenedDeviceGetsNoDrawing)
{
    rec.opens = false;
    std::string out = plot("0\n1\n");
    std::vector<std::string> expected = {"begin(0, \"?\", 1, 1)", "begin(0, \"solution.1.23457.ps /ps\", 1, 1)"};
    EXPECT_EQ(rec.calls, expected);
}

}  // namespace
