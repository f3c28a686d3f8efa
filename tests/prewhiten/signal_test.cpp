// A run stopped by a signal while it writes leaves neither a result nor
// its temporary file, and still ends by that signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/lightcurve_files.hpp"
#include "output.hpp"

namespace {

namespace fs = std::filesystem;

// Runs `body` in a child process; returns the signal that ended it (0 if
// it exited).
template <class Body>
int signal_ending(Body body)
{
    const pid_t child = fork();
    if (child == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

TEST(Signals, TemporaryFileRemovedAndTheSignalEndsTheRun)
{
    lightcurve_test::Folder folder;
    const std::string name = folder.name("star.frequencies.csv");
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        const int ended = signal_ending([&] {
            prewhiten::remove_temporaries_on_signals();
            prewhiten::OutputFile file(name);
            file.write("id,frequency\n");
            ::kill(getpid(), sig);
        });
        EXPECT_EQ(ended, sig);
        EXPECT_TRUE(fs::is_empty(folder.name(""))) << sig;
    }
}

TEST(Signals, FinishedFilesStayAndOnlyTheOneBeingWrittenGoes)
{
    lightcurve_test::Folder folder;
    const int ended = signal_ending([&] {
        prewhiten::remove_temporaries_on_signals();
        prewhiten::OutputFile done(folder.name("a.csv"));
        done.write("whole\n");
        done.commit();
        prewhiten::OutputFile open(folder.name("b.csv"));
        open.write("half");
        ::kill(getpid(), SIGTERM);
    });
    EXPECT_EQ(ended, SIGTERM);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(folder.name(""))) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"a.csv"});
}

// A file's private folder, with the file another library was writing in
// it (the picture), goes too.
TEST(Signals, PrivateFolderAndItsFileRemoved)
{
    lightcurve_test::Folder folder;
    const int ended = signal_ending([&] {
        prewhiten::remove_temporaries_on_signals();
        prewhiten::WholeFile in_progress(folder.name("star.png"));
        std::ofstream(in_progress.path()) << "half a picture";
        ::kill(getpid(), SIGTERM);
    });
    EXPECT_EQ(ended, SIGTERM);
    EXPECT_TRUE(fs::is_empty(folder.name("")));
}

}  // namespace
