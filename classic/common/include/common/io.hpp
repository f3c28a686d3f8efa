// The text input and output layer of the four programs: channels bound to
// the keyboard, the screen and named files; free-format and formatted reads
// and writes; stop and pause.
//
// Channel 5 is standard input, channel 6 standard output; every other
// channel is bound to a file by open_old / open_new and released by close.
// A write to a channel never opened goes to the file fort.N.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "common/format.hpp"
#include "common/text.hpp"
#include "common/values.hpp"

namespace common {

constexpr int keyboard = 5;
constexpr int screen = 6;

// --- channels ---------------------------------------------------------------

// Binds the channel to an existing file; a missing file is an input error.
void open_old(int channel, std::string_view name);
// The same, but a missing or unreadable file returns false instead.
bool try_open_old(int channel, std::string_view name);
// Creates the file, or replaces it; failure is an input error.
void open_new(int channel, std::string_view name);
// Releases the channel.  A file written through it is closed and checked:
// when what was written cannot all reach it, the program ends with an error
// naming the file (exit status 2).
void close_channel(int channel);
void rewind_channel(int channel);
// The number of lines read so far on the channel (for messages that say
// where a file stopped being read).
long lines_read(int channel);

// --- reading ----------------------------------------------------------------

// Which outcomes the caller deals with itself; any other ends the program
// with an input error report.
struct Handled {
    bool end_of_file = false;
    bool bad_value = false;
};
constexpr Handled handle_end{true, false};
constexpr Handled handle_both{true, true};

// Free-format read: starts on a fresh line, fills the targets in order,
// drops the rest of the last line read.  Unfilled targets keep their values.
ReadOutcome read_free(int channel, std::initializer_list<Target> targets, Handled handled = {});
// Free-format read of one record of a data file (one observation): blank
// lines are passed, then every target is read from one line; a line that
// ends before the last target is a bad value at that line.
ReadOutcome read_record(int channel, std::initializer_list<Target> targets, Handled handled = {});
// Consumes one line.
ReadOutcome skip_line(int channel, Handled handled = {});
// Formatted read by a format string.
ReadOutcome read_fmt(int channel, std::string_view format, std::initializer_list<Target> targets,
                     Handled handled = {});
// One whole line as it stands (without its line end): for answers that
// are not free-format values.
ReadOutcome read_line(int channel, std::string& line, Handled handled = {});

// --- writing ----------------------------------------------------------------

// Free-format write: one leading blank, texts in full, integers and reals
// each after one blank; a value that would reach column 80 starts a new
// line.  An empty list writes an empty line.
void write_free(int channel, std::initializer_list<Value> values);
// Formatted write by a format string.
void write_fmt(int channel, std::string_view format, std::initializer_list<Value> values);
// Text written without a line end (a question the answer follows on the
// same line).
void write_raw(int channel, std::string_view text);
// Sends what is buffered for standard output on its way (before a question
// is answered, and at the end).  A write to a channel that fails, here or
// at any write, ends the program with one line naming the file (or standard
// output) and the system's reason, exit status 2.
void flush_screen();
// Write into a text field: the first record of the formatted result, cut or
// blank-filled to the field.
void write_into(Text& field, std::string_view format, std::initializer_list<Value> values);
// The same result as a plain string (the first record, unpadded).
std::string write_text(std::string_view format, std::initializer_list<Value> values);

// The lines of a free-format write, each ended by '\n' (for tests).
std::string free_format(std::initializer_list<Value> values);

// --- ending -----------------------------------------------------------------

// Thrown to end the program; run_main turns it into the exit status.
struct ProgramEnd {
    int status;
    std::string message;  // for standard error; empty for none
};

// Normal end: exit status 0, no message.
[[noreturn]] void stop();
// A stop with a message: the message on standard error, exit status 1.
[[noreturn]] void stop(std::string_view message);
// Shows the message and waits: "go" resumes, anything else (or the end of
// standard input) ends the program with exit status 3.
void pause(std::string_view message);
// An input error: one line on standard error, exit status 2.
[[noreturn]] void input_error(std::string_view where, std::string_view what);

// Runs a program's main routine and returns its exit status.
int run_main(void (*program)());

// Closes every channel and flushes standard output, each checked; returns
// the report line of every write that failed (run_main's way out).
std::vector<std::string> finish_output();

// Releases every channel and forgets fort.N bindings and failures (for
// tests that run a dialogue more than once in one process).
void reset_channels();

}  // namespace common
