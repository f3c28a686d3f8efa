// Ending a program: a normal stop, a stop with a message, a pause that
// waits for the user, and the input error report.
#include <cstdio>

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
    try {
        program();
    } catch (const ProgramEnd& end) {
        status = end.status;
        std::fflush(stdout);
        if (!end.message.empty()) std::fprintf(stderr, "%s\n", end.message.c_str());
    }
    reset_channels();
    std::fflush(stdout);
    return status;
}

}  // namespace common
