// Runs one transcript case: the program in a fresh temporary folder with the
// case's input files, fed the case's answers on standard input, with no
// display.  Standard output, standard error, the exit status and every file
// the run leaves behind are compared exactly with the case's expectations.
//
//   run_transcript PROGRAM CASE_DIR
//
// A case folder holds:
//   args               the command-line arguments, one per line (no file: none)
//   stdin              the answers (no file: standard input is empty)
//   in/                files copied into the working folder before the run
//   expected/stdout, expected/stderr, expected/status
//   expected/files/    every file the run must leave, byte for byte
//   expected/nonempty  names of files that must exist and not be empty,
//                      contents not compared (pictures)
// Any other file the run leaves, or an input file it changes, fails the case.
//
// With TRANSCRIPT_UPDATE=1 the expectations are rewritten from the run
// instead; review every changed line before committing it.
// TRANSCRIPT_WRAPPER runs the program under another command (for instance
// valgrind); anything the wrapper reports on standard error fails the case.
// TRANSCRIPT_TIMEOUT is the time limit in seconds (120).
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/runner.hpp"

namespace fs = std::filesystem;
using runner::read_file;
using runner::write_file;

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The command that runs the program: the wrapper's words, the program,
// then the case's arguments (one per line of its args file).
std::vector<std::string> command_for(const fs::path& program, const fs::path& case_dir)
{
    std::vector<std::string> command;
    const char* wrapper = std::getenv("TRANSCRIPT_WRAPPER");
    std::istringstream words(wrapper ? wrapper : "");
    for (std::string word; words >> word;) command.push_back(word);
    command.push_back(program.string());
    if (fs::is_regular_file(case_dir / "args"))
        for (const std::string& argument : lines_of(read_file(case_dir / "args"))) command.push_back(argument);
    return command;
}

// The files the run produced or changed, by name relative to the folder.
std::vector<std::string> produced_files(const fs::path& work, const fs::path& inputs)
{
    std::vector<std::string> produced;
    for (const auto& entry : fs::recursive_directory_iterator(work, fs::directory_options::skip_permission_denied)) {
        if (!fs::is_regular_file(entry.symlink_status())) continue;
        const std::string name = fs::relative(entry.path(), work).string();
        const fs::path input = inputs / name;
        if (fs::is_regular_file(input) && read_file(input) == read_file(entry.path())) continue;
        produced.push_back(name);
    }
    std::sort(produced.begin(), produced.end());
    return produced;
}

// The first lines of a text, enough to see where it went wrong.
void print_head(const std::string& text)
{
    const std::vector<std::string> lines = lines_of(text);
    for (std::size_t i = 0; i < lines.size() && i < 60; ++i) std::cout << lines[i] << "\n";
}

// Compares a text with its expectation; on a difference shows the start of
// a unified diff, expected against actual.
bool matches(const std::string& label, const fs::path& expected, const std::string& actual)
{
    if (!fs::is_regular_file(expected)) {
        std::cout << "--- " << label << ": no expectation (" << expected.string() << ")\n";
        return false;
    }
    if (read_file(expected) == actual) return true;
    std::cout << "--- " << label << " differs (expected vs actual):\n";
    runner::Scratch scratch;
    const fs::path actual_file = scratch.path() / "actual";
    write_file(actual_file, actual);
    const runner::Run diff = runner::run_program(
        {"diff", "-u", "--label", "expected", "--label", "actual", expected.string(), actual_file.string()},
        scratch.path(), "");
    print_head(diff.out);
    return false;
}

// The names listed in expected/nonempty, one a line.
std::vector<std::string> pictures_of(const fs::path& list)
{
    std::vector<std::string> names;
    if (!fs::is_regular_file(list)) return names;
    for (const std::string& line : lines_of(read_file(list)))
        if (!line.empty()) names.push_back(line);
    return names;
}

bool is_picture(const std::vector<std::string>& pictures, const std::string& name)
{
    return std::find(pictures.begin(), pictures.end(), name) != pictures.end();
}

// The expectations rewritten from the run.
void update(const fs::path& expected, const runner::Run& run, const std::string& status, const fs::path& work,
            const std::vector<std::string>& produced, const std::vector<std::string>& pictures)
{
    fs::create_directories(expected);
    write_file(expected / "stdout", run.out);
    write_file(expected / "stderr", run.err);
    write_file(expected / "status", status);
    fs::remove_all(expected / "files");
    for (const std::string& name : produced) {
        if (is_picture(pictures, name)) continue;
        const fs::path copy = expected / "files" / name;
        fs::create_directories(copy.parent_path());
        fs::copy_file(work / name, copy);
    }
}

// Every expectation checked against the run; true when all hold.
bool check(const fs::path& case_dir, const runner::Run& run, const std::string& status, const fs::path& work,
           const std::vector<std::string>& produced, const std::vector<std::string>& pictures)
{
    const fs::path expected = case_dir / "expected";
    bool ok = matches("standard output", expected / "stdout", run.out);
    ok = matches("standard error", expected / "stderr", run.err) && ok;
    ok = matches("exit status", expected / "status", status) && ok;

    for (const std::string& name : produced) {
        if (is_picture(pictures, name)) {
            if (fs::file_size(work / name) == 0) {
                std::cout << "--- " << name << " is empty\n";
                ok = false;
            }
        } else if (fs::is_regular_file(expected / "files" / name)) {
            ok = matches("file " + name, expected / "files" / name, read_file(work / name)) && ok;
        } else if (fs::is_regular_file(case_dir / "in" / name)) {
            std::cout << "--- input file changed by the run: " << name << "\n";
            ok = false;
        } else {
            std::cout << "--- unexpected file left by the run: " << name << "\n";
            ok = false;
        }
    }
    if (fs::is_directory(expected / "files")) {
        for (const auto& entry : fs::recursive_directory_iterator(expected / "files")) {
            if (!entry.is_regular_file()) continue;
            const fs::path name = fs::relative(entry.path(), expected / "files");
            if (!fs::is_regular_file(work / name)) {
                std::cout << "--- expected file not produced: " << name.string() << "\n";
                ok = false;
            }
        }
    }
    for (const std::string& name : pictures) {
        if (!fs::is_regular_file(work / name)) {
            std::cout << "--- expected picture not produced: " << name << "\n";
            ok = false;
        }
    }
    return ok;
}

int run_case(int argc, char** argv)
{
    if (argc != 3 || !fs::is_directory(argv[2])) {
        std::cerr << "usage: run_transcript PROGRAM CASE_DIR\n";
        return 2;
    }
    const fs::path program = fs::absolute(argv[1]).lexically_normal();
    const fs::path case_dir = fs::absolute(argv[2]).lexically_normal();
    const fs::path expected = case_dir / "expected";

    runner::Scratch work;
    if (fs::is_directory(case_dir / "in")) fs::copy(case_dir / "in", work.path(), fs::copy_options::recursive);
    const std::string answers = fs::is_regular_file(case_dir / "stdin") ? read_file(case_dir / "stdin") : "";
    const char* timeout = std::getenv("TRANSCRIPT_TIMEOUT");
    const int seconds = timeout && *timeout ? std::atoi(timeout) : 120;

    const runner::Run run = runner::run_program(command_for(program, case_dir), work.path(), answers, seconds);
    if (run.timed_out) {
        std::cout << "--- no end within " << seconds << " s; start of standard output:\n";
        print_head(run.out);
        return 1;
    }
    // The status as a shell reports it: 128 and the signal for a program
    // killed by a signal (a file over the size cap, a crash).
    const std::string status = std::to_string(run.signal ? 128 + run.signal : run.status) + "\n";
    const std::vector<std::string> pictures = pictures_of(expected / "nonempty");
    const std::vector<std::string> produced = produced_files(work.path(), case_dir / "in");

    const char* update_mode = std::getenv("TRANSCRIPT_UPDATE");
    if (update_mode && std::string(update_mode) == "1") {
        update(expected, run, status, work.path(), produced, pictures);
        std::cout << "updated " << case_dir.string() << "\n";
        return 0;
    }
    return check(case_dir, run, status, work.path(), produced, pictures) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    // A folder or file that cannot be read or written ends the case as failed.
    try {
        return run_case(argc, argv);
    } catch (const std::exception& e) {
        std::cout << "--- " << e.what() << "\n";
        return 2;
    }
}
