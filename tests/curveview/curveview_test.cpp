// curveview: the calls of the light-curve plot, and files that are too
// long, too short or missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/io.hpp"
#include "common/graphics.hpp"
#include "curveview.hpp"
#include "support/recording_plotter.hpp"

namespace {

class Curveview : public ::testing::Test {
protected:
    void SetUp() override
    {
        old_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/curveviewXXXXXX";
        dir_ = mkdtemp(tmpl);
        std::filesystem::current_path(dir_);
        common::use_graphics(&rec);
    }
    void TearDown() override
    {
        common::reset_channels();
        common::use_graphics(nullptr);
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    // Runs the program; returns its exit status.
    int run()
    {
        try {
            curveview::run();
        } catch (const common::ProgramEnd& end) {
            common::reset_channels();
            return end.status;
        }
        common::reset_channels();
        return 0;
    }
    // The pt call, abbreviated to its count and symbol.
    std::string points() const
    {
        for (const std::string& c : rec.calls)
            if (c.rfind("pt(", 0) == 0) return c.substr(0, c.find(',')) + c.substr(c.rfind(','));
        return "";
    }

    plotting::RecordingPlotter rec;

private:
    std::filesystem::path old_, dir_;
};

// Third columns are ignored; points outside the window are passed on all
// the same (the library clips them).
TEST_F(Curveview, CallsInOrder)
{
    std::ofstream("ster2.dat") << "HJD  Hp\n50691.5 -20.5 0.01\n50692.25,-140\n50700 10\n";
    EXPECT_EQ(run(), 0);
    std::vector<std::string> expected = {
        "begin(0, \"?\", 1, 1)",
        "page()",
        "sci(1)",
        "svp(0.15, 0.85, 0.15, 0.85)",
        "swin(50691, 50693, -150, 0)",
        "box(\"bcnts\", 0, 0, \"bcntvs\", 0, 0)",
        "pt(3, [50691.5 50692.25 50700], [-20.5 -140 10], 256)",
        "lab(\"HJD - 2450000\", \"Hp\", \"\")",
        "end()"};
    EXPECT_EQ(rec.calls, expected);
}

// More records than the 1500 points of old are all held; reading stops at
// 10000 records.
TEST_F(Curveview, HoldsUpTo10000Points)
{
    {
        std::ofstream out("ster2.dat");
        out << "header\n";
        for (int i = 0; i < 10050; ++i) out << 50691.0 + i * 1e-4 << ' ' << -i * 0.01 << '\n';
    }
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(points(), "pt(10000, 256)");
}

TEST_F(Curveview, HeaderOnlyDrawsTheFrame)
{
    std::ofstream("ster2.dat") << "header only\n";
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(points(), "pt(0, 256)");
    EXPECT_EQ(rec.calls.size(), 9u);
}

// A missing or empty file, or a record that is not two numbers: an input
// error, and nothing drawn.
TEST_F(Curveview, BadFilesAreInputErrors)
{
    EXPECT_EQ(run(), 2);
    std::ofstream("ster2.dat").close();
    EXPECT_EQ(run(), 2);
    std::ofstream("ster2.dat") << "header\n50691.5 -20\n50692 minus\n";
    EXPECT_EQ(run(), 2);
    EXPECT_TRUE(rec.calls.empty());
}

TEST_F(Curveview, UnopenedDeviceGetsNoDrawing)
{
    std::ofstream("ster2.dat") << "header\n50691.5 -20\n";
    rec.opens = false;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(rec.calls, std::vector<std::string>{"begin(0, \"?\", 1, 1)"});
}

}  // namespace
