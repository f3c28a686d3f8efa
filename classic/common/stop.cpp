// Ending a program: a normal stop, a stop with a message, a pause that
// waits for the user, and the input error report.
#include <cstdio>
#include <string>
#include <vector>

#include "common/io.hpp"

namespace common {

void stop() { throw ProgramEnd{0, {}}; }

void stop(std::string_view message) { throw ProgramEnd{1, std::string(message)}; }

void input_error(std::string_view where, std::string_view what)
{
    throw ProgramEnd{2, std::string(where) + ": " + std::string(what)};
}

void pause(std::string_view message)
{
    write_free(screen, {message});
    write_free(screen, {"Type go to continue, anything else stops."});
    std::string answer;
    if (read_line(keyboard, answer, handle_end) != ReadOutcome::ok) throw ProgramEnd{3, {}};
    std::size_t first = answer.find_first_not_of(" \t");
    std::size_t last = answer.find_last_not_of(" \t");
    if (first == std::string::npos || answer.substr(first, last - first + 1) != "go") throw ProgramEnd{3, {}};
}

int run_main(void (*program)())
{
    int status = 0;
    std::vector<std::string> said;  // the lines for standard error
    try {
        program();
    } catch (const ProgramEnd& end) {
        status = end.status;
        if (!end.message.empty()) said.push_back(end.message);
    }
    // Every file closed and standard output flushed, each checked: a write
    // that fails on the way out is not a success either.
    for (const std::string& failure : finish_output()) {
        said.push_back(failure);
        status = 2;
    }
    for (const std::string& line : said) std::fprintf(stderr, "%s\n", line.c_str());
    return status;
}

}  // namespace common
