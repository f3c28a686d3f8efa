// Whole runs of a program as a subprocess, the one way every whole-run test
// starts a program: a fresh working folder, the answers on standard input,
// standard output and standard error captured, the exit status, no display,
// a cap on the size of every file written, and a time limit so that a
// program that loops fails instead of hanging.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace runner {

// A fresh temporary folder, removed with everything in it when it goes.
class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct Run {
    std::string out;         // standard output
    std::string err;         // standard error
    int status = -1;         // exit status; -1 when the program did not exit by itself
    int signal = 0;          // the signal that ended it, 0 when it exited
    bool timed_out = false;  // killed at the time limit
};

// Runs `command` (the program and its arguments; a name without a slash is
// looked up on PATH) in the folder `work` with `answers` on standard input
// (empty: standard input is at its end at once) and no display.
// With `screen_full`, standard output goes to /dev/full, a device that is
// always full, instead of being kept.
Run run_program(const std::vector<std::string>& command, const std::filesystem::path& work,
                const std::string& answers, int seconds = 30, bool screen_full = false);

inline Run run_program(const std::string& program, const std::filesystem::path& work, const std::string& answers,
                       int seconds = 30)
{
    return run_program(std::vector<std::string>{program}, work, answers, seconds);
}

std::string read_file(const std::filesystem::path& file);
void write_file(const std::filesystem::path& file, const std::string& content);  // throws when it fails

}  // namespace runner
