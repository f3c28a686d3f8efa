// Channels bound to files: must-exist and create-or-replace opens, fort.N
// for a channel never opened, rewind, line counts, and the way a program
// ends on an input error.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/io.hpp"

using namespace common;
namespace fs = std::filesystem;

namespace {

// Each test runs in a fresh folder of its own.
class Channels : public ::testing::Test {
protected:
    void SetUp() override
    {
        old_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("channels_test_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override
    {
        reset_channels();
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    static std::string slurp(const std::string& name)
    {
        std::ifstream in(name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void put(const std::string& name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }

    fs::path old_, dir_;
};

}  // namespace

TEST_F(Channels, MissingFileIsAnInputErrorNamingIt)
{
    EXPECT_FALSE(try_open_old(9, "absent.dat   "));
    try {
        open_old(9, "absent.dat   ");
        FAIL();
    } catch (const ProgramEnd& e) {
        EXPECT_EQ(e.status, 2);
        EXPECT_EQ(e.message.rfind("absent.dat: cannot be opened for reading", 0), 0u) << e.message;
    }
}

TEST_F(Channels, WriteReadBackRewindAndLineCounts)
{
    open_new(11, "out.txt          ");
    write_free(11, {"first"});
    write_fmt(11, "(1X,F20.8,1X,F20.8)", {1.5, -2.25});
    close_channel(11);
    EXPECT_EQ(slurp("out.txt"), " first\n           1.50000000          -2.25000000\n");

    open_old(11, "out.txt");
    double f = 0, s = 0;
    skip_line(11);
    read_fmt(11, "(1X,F20.8,1X,F20.8)", {f, s});
    EXPECT_EQ(f, 1.5);
    EXPECT_EQ(s, -2.25);
    EXPECT_EQ(lines_read(11), 2);
    EXPECT_EQ(skip_line(11, handle_end), ReadOutcome::end_of_file);
    rewind_channel(11);
    EXPECT_EQ(lines_read(11), 0);
    Text word(10);
    read_free(11, {word});
    EXPECT_TRUE(word == "first");
    close_channel(11);

    // Create or replace: a second open empties the file.
    open_new(11, "out.txt");
    close_channel(11);
    EXPECT_EQ(slurp("out.txt"), "");
}

TEST_F(Channels, AChannelNeverOpenedWritesToFortN)
{
    write_fmt(15, "(4X,'FRACVAR : ',F7.4,5X,'file : ',A40)", {0.5, "solution.1.23457.fv"});
    write_free(15, {});
    reset_channels();
    EXPECT_EQ(slurp("fort.15"), "    FRACVAR :  0.5000     file :                      solution.1.23457.fv\n\n");
}

TEST_F(Channels, UnhandledOutcomesEndTheProgramWithTheirLine)
{
    put("data.txt", "header\n1.0 2.0\nbad value\n");
    open_old(9, "data.txt");
    skip_line(9);
    double t = 0, x = 0;
    EXPECT_EQ(read_free(9, {t, x}), ReadOutcome::ok);
    try {
        read_free(9, {t, x});
        FAIL();
    } catch (const ProgramEnd& e) {
        EXPECT_EQ(e.status, 2);
        EXPECT_EQ(e.message, "data.txt, line 3: a real number was expected");
    }
    // Handled outcomes come back to the caller.
    rewind_channel(9);
    skip_line(9);
    skip_line(9);
    EXPECT_EQ(read_free(9, {t, x}, handle_both), ReadOutcome::bad_value);
    EXPECT_EQ(read_free(9, {t, x}, handle_both), ReadOutcome::end_of_file);
    try {
        read_free(9, {t});
        FAIL();
    } catch (const ProgramEnd& e) {
        EXPECT_EQ(e.message, "data.txt, line 4: end of file where a real number was expected");
    }
}

TEST_F(Channels, AnOutputFileThatCannotBeCreatedIsAnInputError)
{
    try {
        open_new(10, "no/such/folder/out.txt");
        FAIL();
    } catch (const ProgramEnd& e) {
        EXPECT_EQ(e.status, 2);
        EXPECT_NE(e.message.find("no/such/folder/out.txt: cannot be created"), std::string::npos);
    }
}

TEST(Ending, StopsCarryTheirStatusAndMessage)
{
    auto status_of = [](void (*f)()) {
        try {
            f();
        } catch (const ProgramEnd& e) {
            return std::pair{e.status, e.message};
        }
        return std::pair{-1, std::string()};
    };
    EXPECT_EQ(status_of([] { stop(); }), (std::pair{0, std::string()}));
    EXPECT_EQ(status_of([] { stop("NF>MAXF"); }), (std::pair{1, std::string("NF>MAXF")}));
    EXPECT_EQ(status_of([] { input_error("standard input, line 2", "an integer was expected"); }),
              (std::pair{2, std::string("standard input, line 2: an integer was expected")}));
    EXPECT_EQ(run_main([] { stop("N<=0"); }), 1);
    EXPECT_EQ(run_main([] {}), 0);
}

// A file on a full device: a write the buffer holds fails at the close, a
// write beyond the buffer fails at once; either ends the program with the
// file and the system's reason, and is reported once.
TEST_F(Channels, WriteThatFailsEndsTheProgramNamingTheFile)
{
    const std::string full = "/dev/full: cannot be written (No space left on device)";
    fs::create_symlink("/dev/full", "out.txt");
    open_new(10, "out.txt");
    write_free(10, {"a short line"});
    try {
        close_channel(10);
        FAIL() << "the close must fail";
    } catch (const ProgramEnd& e) {
        EXPECT_EQ(e.status, 2);
        EXPECT_EQ(e.message, "out.txt: cannot be written (No space left on device)");
    }
    EXPECT_EQ(finish_output(), std::vector<std::string>());  // released: no second report

    open_new(10, "/dev/full");
    try {
        for (int i = 0; i < 100000; ++i) write_fmt(10, "(1X,F20.8,1X,F20.8)", {1.0 * i, 2.0});
        FAIL() << "a write beyond the buffer must fail";
    } catch (const ProgramEnd& e) {
        EXPECT_EQ(e.message, full);
    }
    EXPECT_EQ(finish_output(), std::vector<std::string>());

    open_new(10, "/dev/full");
    write_free(10, {"left open to the end"});
    EXPECT_EQ(finish_output(), std::vector<std::string>{full});
}

// The way out: the program's own message first, then each failed write;
// any failure makes the status 2.
TEST_F(Channels, RunMainReportsAFileLeftOpenThatCannotBeWritten)
{
    EXPECT_EQ(run_main([] {
                  open_new(10, "/dev/full");
                  write_free(10, {"results"});
              }),
              2);
    EXPECT_EQ(run_main([] {
                  open_new(10, "/dev/full");
                  write_free(10, {"results"});
                  stop("N<=0");
              }),
              2);
    EXPECT_EQ(run_main([] {
                  open_new(10, "written.txt");
                  write_free(10, {"results"});
              }),
              0);
    EXPECT_EQ(slurp("written.txt"), " results\n");
}
