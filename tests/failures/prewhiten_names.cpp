// Whole runs of prewhiten where the names of the files are hostile: a
// symbolic link planted at every name a run may write is never followed,
// and a file name with control characters leaves the residual file
// readable by the classic programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "failures/data.hpp"
#include "failures/runner.hpp"

#ifdef PREWHITEN_PROGRAM

namespace failures {
namespace {

namespace fs = std::filesystem;

// A link planted at each result's name and at the temporary names a process
// id would give it (<name>.<pid>.tmp; the picture's <name>.<pid>.tmp.png),
// all to one file that must stay as it is.  The shell plants them with its
// own process id, then becomes the program.
TEST(PrewhitenNames, PlantedLinksAreNeverFollowed)
{
    const Scratch work;
    write_file(work.path() / "star.dat", light_curve(300));
    write_file(work.path() / "precious", "precious\n");
    const std::vector<std::string> results = {"star.frequencies.csv", "star.frequencies.txt", "star.residuals.dat",
                                              "star.baseline.csv",    "star.spectrum.csv",    "star.window.csv",
                                              "star.png"};
    std::string plant;
    for (const std::string& r : results) plant += "ln -s precious " + r + "; ln -s precious " + r + ".$$.tmp; ";
    plant += "ln -s precious star.png.$$.tmp.png; ";
    const std::string script = plant + "exec " + PREWHITEN_PROGRAM + " --window 1.2345 --max-frequencies 1 star.dat";
    const failures::Run run = run_program({"/bin/sh", "-c", script}, work.path(), "", 60);
    ASSERT_EQ(run.status, 0) << run.err;

    EXPECT_EQ(read_file(work.path() / "precious"), "precious\n");
    std::size_t links = 0;
    for (const auto& entry : fs::directory_iterator(work.path())) {
        const std::string name = entry.path().filename().string();
        if (entry.is_symlink()) {
            ++links;
            EXPECT_NE(name.find(".tmp"), std::string::npos) << name;
        } else {
            EXPECT_TRUE(name == "star.dat" || name == "precious" ||
                        std::find(results.begin(), results.end(), name) != results.end())
                << "left behind: " << name;
        }
    }
    EXPECT_EQ(links, results.size() + 1);  // the temporary names' links, untouched
    for (const std::string& r : results) EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(work.path() / r))) << r;
}

#ifdef PERIODSCAN_PROGRAM
// A newline and a tab in the name: escaped in the residual file's one-line
// header, so periodscan reads every point of it (given a copy under a name
// its dialogue can take).
TEST(PrewhitenNames, ControlCharactersLeaveTheResidualFileReadable)
{
    const Scratch work;
    write_file(work.path() / "two\nlines\t.dat", light_curve(300));
    const std::vector<std::string> command = {PREWHITEN_PROGRAM, "--max-frequencies", "1", "--plot", "none",
                                              "two\nlines\t.dat"};
    const failures::Run extraction = run_program(command, work.path(), "");
    ASSERT_EQ(extraction.status, 0) << extraction.err;
    write_file(work.path() / "r.dat", read_file(work.path() / "two\nlines\t.residuals.dat"));
    const failures::Run search =
        run_program(PERIODSCAN_PROGRAM, work.path(), "r.dat\n0\n2\nr.scargle\n0.01\n0.5 6\n3\neof\n");
    EXPECT_EQ(search.status, 0) << search.err;
    EXPECT_NE(search.out.find("AANTAL :    300\n"), std::string::npos) << search.out;
}
#endif

}  // namespace
}  // namespace failures

#endif
