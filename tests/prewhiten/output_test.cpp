// Output files: numbers that read back to the same double, and files that
// are whole or absent, never half written under their final name.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/lightcurve_files.hpp"
#include "output.hpp"

namespace {

namespace fs = std::filesystem;
using lightcurve_test::Folder;
using lightcurve_test::content;
using lightcurve_test::files_in;



TEST(Comments, KeyValuePairs)
{
    EXPECT_EQ(prewhiten::comment_line({{"N", "3"}, {"T", "1.5"}, {"unit", "ppt"}}), "# N=3, T=1.5, unit=ppt\n");
    EXPECT_EQ(prewhiten::comment_line({{"file", "a\nb"}}), "# file=a\\nb\n");
}

// Names written into files stay on their line: control characters become
// C escapes, everything else (backslashes, UTF-8) is kept as it is.
TEST(Names, ControlCharactersEscaped)
{
    EXPECT_EQ(prewhiten::escape_controls("tic 1_\\x.fits"), "tic 1_\\x.fits");
    EXPECT_EQ(prewhiten::escape_controls("a\nb\tc\rd\x1b[2Je\x7f\u00e9"), "a\\nb\\tc\\rd\\x1b[2Je\\x7f\u00e9");
    EXPECT_EQ(prewhiten::escape_controls(std::string("z\0y", 3)), "z\\x00y");
}

TEST(SpectrumFile, CommentHeaderAndRows)
{
    Folder folder;
    const std::string name = folder.name("s.spectrum.csv");
    spectrum::Grid grid{0.5, 0.25, 3};
    const std::vector<double> a = {1, 0.1, 2.5};
    prewhiten::write_spectrum_csv(name, {{"N", "10"}, {"method", "exact"}}, grid, {{"amplitude", a}});
    EXPECT_EQ(content(name), "# N=10, method=exact\nfrequency,amplitude\n0.5,1\n0.75,0.1\n1,2.5\n");
    EXPECT_EQ(files_in(folder.name("")), std::vector<std::string>{"s.spectrum.csv"});
}

TEST(OutputFiles, UncommittedFileLeavesNothing)
{
    Folder folder;
    {
        prewhiten::OutputFile file(folder.name("a.csv"));
        file.write("half");
    }
    EXPECT_TRUE(files_in(folder.name("")).empty());
}

TEST(OutputFiles, ReplacesAnOlderFileOnlyWhenWhole)
{
    Folder folder;
    const std::string name = folder.write("a.csv", "old\n");
    prewhiten::OutputFile file(name);
    file.write("new\n");
    EXPECT_EQ(content(name), "old\n");
    file.commit();
    EXPECT_EQ(content(name), "new\n");
    EXPECT_EQ(files_in(folder.name("")), std::vector<std::string>{"a.csv"});
}

TEST(OutputFiles, MissingFolderAndFolderInTheWay)
{
    Folder folder;
    EXPECT_THROW(prewhiten::OutputFile(folder.name("none/a.csv")), prewhiten::WriteError);
    fs::create_directory(folder.name("a.csv"));
    prewhiten::OutputFile file(folder.name("a.csv"));
    file.write("x\n");
    try {
        file.commit();
        FAIL();
    } catch (const prewhiten::WriteError& e) {
        EXPECT_NE(std::string(e.what()).find("a.csv: cannot be written (Is a directory)"), std::string::npos);
    }
    EXPECT_EQ(files_in(folder.name("")), std::vector<std::string>{"a.csv"});
    EXPECT_TRUE(fs::is_directory(folder.name("a.csv")));
}

// A full disc, as the file-size limit makes one: the write fails, the
// failure is an error, and no file is left.
TEST(OutputFiles, FullDiscIsAnErrorAndLeavesNothing)
{
    Folder folder;
    const std::string name = folder.name("big.spectrum.csv");
    std::vector<double> a(200000, 0.123456789);
    spectrum::Grid grid{1, 1e-5, a.size()};

    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        prewhiten::write_spectrum_csv(name, {{"N", "1"}}, grid, {{"amplitude", a}});
    } catch (const prewhiten::WriteError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, old_handler);
    EXPECT_NE(message.find("big.spectrum.csv: cannot be written (File too large)"), std::string::npos) << message;
    EXPECT_TRUE(files_in(folder.name("")).empty());
}

}  // namespace
