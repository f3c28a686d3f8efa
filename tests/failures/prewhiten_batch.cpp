// Whole runs of prewhiten over several stars: the shards of a list give
// the files of one call byte for byte, and a call stopped by SIGTERM and
// run again with --resume ends with every star's files whole and the same
// as an uninterrupted call's.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "failures/data.hpp"
#include "failures/runner.hpp"

#ifdef PREWHITEN_PROGRAM

namespace failures {
namespace {

namespace fs = std::filesystem;

// Stars of 2000 points (about a tenth of a second each), each with its
// own start time and so its own phases.
std::vector<std::string> write_stars(const fs::path& folder, int count)
{
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        std::string name = "s";
        name += std::to_string(i);
        name += ".dat";
        write_file(folder / name, light_curve(2000, false, 10.0 + 7.3 * i));
        names.push_back(name);
    }
    return names;
}

std::vector<std::string> names_in(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every file of `a` is in `b` with the same bytes, and no other.
void expect_same_files(const fs::path& a, const fs::path& b)
{
    ASSERT_EQ(names_in(a), names_in(b));
    for (const std::string& name : names_in(a)) EXPECT_TRUE(read_file(a / name) == read_file(b / name)) << name;
}

std::vector<std::string> command(const std::string& out, const std::vector<std::string>& stars,
                                 std::vector<std::string> options = {})
{
    std::vector<std::string> c = {PREWHITEN_PROGRAM, "-o", out};
    c.insert(c.end(), options.begin(), options.end());
    c.insert(c.end(), stars.begin(), stars.end());
    return c;
}

TEST(PrewhitenBatch, ShardsGiveTheFilesOfOneCall)
{
    const Scratch work;
    const std::vector<std::string> stars = write_stars(work.path(), 5);
    const failures::Run whole = run_program(command("whole", stars), work.path(), "", 120);
    ASSERT_EQ(whole.status, 0) << whole.err;
    for (const char* shard : {"1/3", "2/3", "3/3"}) {
        const failures::Run part = run_program(command("parts", stars, {"--shard", shard, "--summary", "all.csv"}),
                                     work.path(), "", 120);
        ASSERT_EQ(part.status, 0) << part.err;
    }
    expect_same_files(work.path() / "whole", work.path() / "parts");
    // Three calls, one summary: its header once and a row per star.
    const std::string summary = read_file(work.path() / "all.csv");
    EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 6);
    for (const std::string& star : stars) EXPECT_NE(summary.find("\n" + star + ",2000,"), std::string::npos) << star;
}

// Starts the program with its output thrown away; returns its process id.
pid_t start(const std::vector<std::string>& c, const fs::path& work)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(work.c_str()) != 0) _exit(127);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        std::vector<char*> argv;
        for (const std::string& a : c) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

std::size_t tables_in(const fs::path& folder)
{
    if (!fs::is_directory(folder)) return 0;
    const std::vector<std::string> names = names_in(folder);
    return std::count_if(names.begin(), names.end(),
                         [](const std::string& n) { return n.ends_with(".frequencies.csv"); });
}

TEST(PrewhitenBatch, StoppedBySigtermThenResumedEndsAsAnUninterruptedCall)
{
    const Scratch work;
    const std::vector<std::string> stars = write_stars(work.path(), 8);
    const failures::Run whole = run_program(command("whole", stars), work.path(), "", 120);
    ASSERT_EQ(whole.status, 0) << whole.err;

    // Stopped as soon as the second table is there: in the third star.
    const pid_t pid = start(command("stopped", stars), work.path());
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (tables_in(work.path() / "stopped") < 2 && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the call ended before the signal: no star was stopped part-way";
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    const std::size_t done = tables_in(work.path() / "stopped");
    EXPECT_LT(done, stars.size());
    for (const std::string& name : names_in(work.path() / "stopped")) {
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
        if (name.ends_with(".frequencies.csv")) {
            EXPECT_TRUE(read_file(work.path() / "stopped" / name) == read_file(work.path() / "whole" / name)) << name;
        }
    }

    const failures::Run resumed = run_program(command("stopped", stars, {"--resume"}), work.path(), "", 120);
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(static_cast<std::size_t>(std::count(resumed.out.begin(), resumed.out.end(), '\n')), stars.size());
    EXPECT_NE(resumed.out.find("s0.dat: skipped, stopped/s0.frequencies.csv is there (--resume)\n"),
              std::string::npos) << resumed.out;
    expect_same_files(work.path() / "whole", work.path() / "stopped");
}

}  // namespace
}  // namespace failures

#endif
