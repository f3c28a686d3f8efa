// Many stars: the shards of a list and the summary file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/lightcurve_files.hpp"
#include "batch.hpp"
#include "output.hpp"
#include "run.hpp"
#include "support/recording_plotter.hpp"

namespace {

using prewhiten::Shard;
using prewhiten::SummaryRow;
using lightcurve_test::content;

// A star done: its file, N, T, frequencies, f1, A1, unit and stop word.
SummaryRow done_row(const std::string& file, std::size_t n, double span, std::size_t k, double f1, double a1,
                    const std::string& unit, const std::string& stop)
{
    SummaryRow row;
    row.file = file;
    row.analysed = row.done = true;
    row.n = n, row.span = span, row.frequencies = k, row.f1 = f1, row.a1 = a1;
    row.unit = unit;
    row.stop = stop;
    return row;
}

SummaryRow failed_row(const std::string& file, const std::string& message = "")
{
    SummaryRow row;
    row.file = file;
    row.message = message;
    return row;
}

TEST(Shards, EveryNthFromTheIthWithoutOverlap)
{
    Shard s;
    ASSERT_TRUE(prewhiten::parse_shard("2/3", s));
    EXPECT_EQ(s.index, 2u);
    EXPECT_EQ(s.count, 3u);
    std::vector<int> taken(10, 0);
    for (std::size_t i = 1; i <= 3; ++i) {
        ASSERT_TRUE(prewhiten::parse_shard(std::to_string(i) + "/3", s));
        for (std::size_t p = 0; p < taken.size(); ++p) taken[p] += prewhiten::in_shard(p, s) ? 1 : 0;
    }
    EXPECT_EQ(taken, std::vector<int>(10, 1));
    ASSERT_TRUE(prewhiten::parse_shard("2/3", s));
    EXPECT_FALSE(prewhiten::in_shard(0, s));
    EXPECT_TRUE(prewhiten::in_shard(1, s));
    EXPECT_TRUE(prewhiten::in_shard(4, s));
}

TEST(Shards, RefusedTexts)
{
    Shard s{7, 9};
    for (const char* bad : {"", "1", "0/3", "4/3", "1/0", "-1/3", "1/-3", "a/3", "1/3x", " 1/3", "1//3", "1/3/4"})
        EXPECT_FALSE(prewhiten::parse_shard(bad, s)) << bad;
    EXPECT_EQ(s.index, 7u);  // left as it was
}

TEST(Summary, RowsInFullQuotedWhereNeeded)
{
    SummaryRow row = done_row("out/tic 1.fits", 11117, 27.5, 2, 15.383003, 4.578, "ppt", "snr");
    EXPECT_EQ(prewhiten::summary_line(row), "out/tic 1.fits,11117,27.5,2,15.383003,4.578,ppt,snr,done,\n");
    row.frequencies = 0;
    EXPECT_EQ(prewhiten::summary_line(row), "out/tic 1.fits,11117,27.5,0,,,ppt,snr,done,\n");
    const SummaryRow failed = failed_row("a,\"b\".dat", "a,\"b\".dat, line 3: too few columns");
    EXPECT_EQ(prewhiten::summary_line(failed),
              "\"a,\"\"b\"\".dat\",,,,,,,,failed,\"a,\"\"b\"\".dat, line 3: too few columns\"\n");
}

TEST(Summary, OrbitColumnsOfATrackedRunAndNoMixedLayouts)
{
    SummaryRow row = done_row("a.dat", 10, 1, 1, 2, 3, "mmag", "snr");
    row.orbit_columns = row.tracked = row.orbit = true;
    row.orbit_period = 840.5, row.orbit_asini = 7.05, row.orbit_e = 0.15;
    EXPECT_EQ(prewhiten::summary_line(row), "a.dat,10,1,1,2,3,mmag,snr,done,,yes,840.5,7.05,0.15\n");
    row.orbit = false;
    EXPECT_EQ(prewhiten::summary_line(row), "a.dat,10,1,1,2,3,mmag,snr,done,,no,,,\n");
    row.tracked = false;  // too short, or failed
    EXPECT_EQ(prewhiten::summary_line(row), "a.dat,10,1,1,2,3,mmag,snr,done,,,,,\n");

    // A file begun by a run of the other layout takes no row of this one,
    // also when it was begun after this run looked at it.
    lightcurve_test::Folder folder;
    const std::string file = folder.name("summary.csv");
    prewhiten::append_summary(file, failed_row("b.dat"));
    EXPECT_THROW(prewhiten::append_summary(file, row), prewhiten::WriteError);
    EXPECT_EQ(content(file), std::string(prewhiten::summary_header) + "b.dat,,,,,,,,failed,\n");
}

TEST(Summary, HeaderOnceThenRowsAppended)
{
    lightcurve_test::Folder folder;
    const std::string file = folder.name("summary.csv");
    prewhiten::append_summary(file, done_row("a.dat", 10, 1, 1, 2, 3, "mmag", "snr"));
    prewhiten::append_summary(file, failed_row("b.dat"));
    EXPECT_EQ(content(file), std::string(prewhiten::summary_header) + "a.dat,10,1,1,2,3,mmag,snr,done,\n" +
                                 "b.dat,,,,,,,,failed,\n");
    EXPECT_THROW(prewhiten::append_summary(folder.name("no/summary.csv"), failed_row("c.dat")), prewhiten::WriteError);
}

// A full disc (the file-size limit makes one a few bytes on): the row
// is refused whole, the file left as it was, and the next row, with room,
// is whole on a line of its own.
TEST(Summary, RowWholeOrNotAtAll)
{
    lightcurve_test::Folder folder;
    const std::string file = folder.name("summary.csv");
    prewhiten::append_summary(file, done_row("a.dat", 10, 1, 1, 2, 3, "mmag", "snr"));
    const std::string before = content(file);

    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = before.size() + 5;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const SummaryRow b = done_row("b.dat", 10, 1, 1, 2, 3, "mmag", "snr");
    std::string message;
    try {
        prewhiten::append_summary(file, b);
    } catch (const prewhiten::WriteError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(message, file + ": cannot be written (only 5 of the row's " +
                           std::to_string(prewhiten::summary_line(b).size()) + " bytes could be written)");
    EXPECT_EQ(content(file), before);

    // A row cut by a program killed as it wrote is closed before the next.
    std::ofstream(file, std::ios::app) << "c.dat,10,";
    prewhiten::append_summary(file, failed_row("d.dat"));
    EXPECT_EQ(content(file), before + "c.dat,10,\nd.dat,,,,,,,,failed,\n");
}

TEST(Summary, NeverThroughASymbolicLinkNorIntoWhatIsNotAFile)
{
    lightcurve_test::Folder folder;
    const std::string target = folder.write("target", "precious\n");
    std::filesystem::create_symlink(target, folder.name("summary.csv"));
    try {
        prewhiten::append_summary(folder.name("summary.csv"), failed_row("a.dat"));
        FAIL() << "written through the link";
    } catch (const prewhiten::WriteError& e) {
        EXPECT_EQ(std::string(e.what()), folder.name("summary.csv") + ": is a symbolic link, not followed");
    }
    EXPECT_EQ(content(target), "precious\n");
    ASSERT_EQ(mkfifo(folder.name("fifo").c_str(), 0600), 0);
    EXPECT_THROW(prewhiten::append_summary(folder.name("fifo"), failed_row("a.dat")), prewhiten::WriteError);
}

TEST(Summary, ProcessesSharingTheFileLoseNoRow)
{
    lightcurve_test::Folder folder;
    const std::string file = folder.name("summary.csv");
    std::vector<pid_t> children;
    for (int p = 0; p < 4; ++p) {
        const pid_t child = fork();
        if (child == 0) {
            for (int i = 0; i < 50; ++i) {
                const std::string name = "star" + std::to_string(p) + "_" + std::to_string(i) + ".dat";
                prewhiten::append_summary(file, done_row(name, 20000, 27, 9, 1.5, 2.5, "ppt", "snr"));
            }
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) waitpid(child, nullptr, 0);
    std::istringstream lines(content(file));
    std::string line;
    int headers = 0, rows = 0;
    while (std::getline(lines, line)) {
        if (line + "\n" == prewhiten::summary_header) ++headers;
        else if (line.ends_with(",27,9,1.5,2.5,ppt,snr,done,")) ++rows;
    }
    EXPECT_EQ(headers, 1);
    EXPECT_EQ(rows, 200);
}

// A batch on a terminal: each star's progress says which of how many it
// is; the screen has a line per star.
TEST(Batch, ProgressNamesTheStarOfHowManyAndTheScreenALineEach)
{
    lightcurve_test::Folder folder;
    std::string star = "t v\n";
    for (int k = 0; k < 400; ++k) {
        const double t = 0.05 * k;
        star += std::to_string(t) + " " + std::to_string(std::sin(2 * M_PI * 3.1 * t)) + "\n";
    }
    prewhiten::Options options;
    options.files = {folder.write("a.dat", star), folder.write("b.dat", star)};
    options.output_folder = folder.name("");
    options.max_frequencies = 1;
    options.plot = prewhiten::PictureType::none;
    std::ostringstream out, err;
    plotting::RecordingPlotter recorder;  // no picture is drawn
    EXPECT_EQ(prewhiten::run(options, recorder, out, err, true), 0);
    EXPECT_NE(err.str().find("\rstar 1 of 2: " + options.files[0] + ": frequency 1 of at most 1, "), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("\rstar 2 of 2: " + options.files[1] + ": frequency 1 of at most 1, "), std::string::npos)
        << err.str();
    std::istringstream lines(out.str());
    std::string line;
    for (const std::string& file : options.files) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line.rfind(file + ": 400 points, 1 frequency; stop: 1 frequency extracted, the most asked for; ", 0),
                  0u) << line;
    }
    EXPECT_FALSE(std::getline(lines, line));
}

}  // namespace
