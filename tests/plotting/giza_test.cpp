// The giza side of the seam on file devices: the PostScript device string
// of the phase plot (with the blank the name keeps before "/ps"), and a
// file that cannot be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "common/io.hpp"
#include "common/graphics.hpp"

namespace {

class Giza : public ::testing::Test {
protected:
    void SetUp() override
    {
        old_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/gizaXXXXXX";
        dir_ = mkdtemp(tmpl);
        std::filesystem::current_path(dir_);
    }
    void TearDown() override
    {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    std::filesystem::path old_, dir_;
};

TEST_F(Giza, PostScriptNameWithTrailingBlank)
{
    plotting::Plotter& pg = common::graphics();
    ASSERT_TRUE(pg.begin(0, "solution.1.23457.ps /ps", 1, 1));
    float x[2] = {0.25f, 0.75f}, y[2] = {1.0f, 2.0f};
    pg.svp(0.1f, 0.9f, 0.3f, 0.9f);
    pg.swin(0.0f, 1.0f, 3.0f, 0.0f);  // a downward value axis
    pg.box("bcts", 0.1f, 2, "bcntsv", 0.0f, 2);
    pg.pt(2, x, y, 751);
    pg.end();
    EXPECT_GT(std::filesystem::file_size("solution.1.23457.ps"), 0u);
}

TEST_F(Giza, UnwritableFileIsNotOpened)
{
    testing::internal::CaptureStdout();
    bool opened = common::graphics().begin(0, "nodir/phase.png/png", 1, 1);
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(opened);
    EXPECT_EQ(out, " Graphics device nodir/phase.png/png cannot be opened: nothing is drawn on it.\n");
    EXPECT_FALSE(std::filesystem::exists("nodir"));
}

}  // namespace
