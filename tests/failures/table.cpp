// Checking one row of a failure table against a whole run.
#include "failures/table.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "failures/runner.hpp"

namespace failures {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

void check_message(const Run& run, const Message& m)
{
    const std::string& text = m.stream == Stream::out ? run.out : run.err;
    const char* where = m.stream == Stream::out ? "standard output" : "standard error";
    switch (m.how) {
    case Match::whole:
        EXPECT_EQ(text, m.text) << where;
        break;
    case Match::line: {
        const auto lines = lines_of(text);
        const long n = std::count(lines.begin(), lines.end(), m.text);
        if (m.times == 0) {
            EXPECT_GE(n, 1) << "no line \"" << m.text << "\" on " << where << ":\n" << text;
        } else {
            EXPECT_EQ(n, m.times) << "lines \"" << m.text << "\" on " << where << ":\n" << text;
        }
        break;
    }
    case Match::contains:
        EXPECT_NE(text.find(m.text), std::string::npos) << "\"" << m.text << "\" not on " << where << ":\n" << text;
        break;
    }
}

void check_left(const fs::path& work, const Left& f)
{
    SCOPED_TRACE("file " + f.name);
    const fs::path file = work / f.name;
    ASSERT_TRUE(fs::is_regular_file(file)) << "missing";
    const std::string content = read_file(file);
    if (f.nonempty) {
        EXPECT_FALSE(content.empty());
        return;
    }
    EXPECT_TRUE(content.empty() || content.back() == '\n') << "last line not complete";
    if (f.lines >= 0) {
        EXPECT_EQ(static_cast<long>(std::count(content.begin(), content.end(), '\n')), f.lines);
    }
    for (const std::string& h : f.holds) EXPECT_NE(content.find(h), std::string::npos) << "no \"" << h << "\"";
}

}  // namespace

void check_row(const std::string& program, const Row& row, int seconds)
{
    Scratch work;
    for (const Input& in : row.inputs) {
        if (in.folder)
            fs::create_directories(work.path() / in.name);
        else if (!in.link_to.empty())
            fs::create_symlink(in.link_to, work.path() / in.name);
        else
            write_file(work.path() / in.name, in.content);
    }

    std::vector<std::string> command = {program};
    command.insert(command.end(), row.arguments.begin(), row.arguments.end());
    const Run run = run_program(command, work.path(), row.answers, seconds, row.screen_full);
    ASSERT_FALSE(run.timed_out) << "no end within " << seconds << " s; standard output:\n" << run.out;
    EXPECT_EQ(run.status, row.status) << "standard error:\n" << run.err;

    bool err_named = false;
    for (const Message& m : row.messages) {
        check_message(run, m);
        err_named = err_named || m.stream == Stream::err;
    }
    if (!err_named && row.quiet_stderr) {
        EXPECT_EQ(run.err, "") << "standard error";
    }

    // The inputs unchanged, the files listed, and nothing else.
    std::set<std::string> expected;
    for (const Input& in : row.inputs) {
        expected.insert(in.name);
        if (!in.link_to.empty()) {
            EXPECT_TRUE(fs::is_symlink(work.path() / in.name)) << in.name << " replaced";
        } else if (!in.folder) {
            EXPECT_EQ(read_file(work.path() / in.name), in.content) << in.name << " changed";
        }
    }
    for (const Left& f : row.left) {
        expected.insert(f.name);
        check_left(work.path(), f);
    }
    for (const auto& entry : fs::recursive_directory_iterator(work.path())) {
        const std::string name = entry.path().lexically_relative(work.path()).string();
        bool inside_input = false;
        for (const Input& in : row.inputs)
            inside_input = inside_input || (in.folder && name.rfind(in.name + "/", 0) == 0);
        EXPECT_TRUE(expected.count(name) || inside_input) << "unexpected file " << name;
    }
    for (const std::string& name : row.absent) EXPECT_FALSE(fs::exists(work.path() / name)) << name << " exists";
}

}  // namespace failures
