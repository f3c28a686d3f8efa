// One row of a failure table: the files a run starts from, the answers it
// is given, and what it must end with: a message on one stream, the exit
// status, and the files it leaves behind.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace failures {

enum class Stream { out, err };

// How a message is found on its stream.
enum class Match {
    whole,     // the whole stream is the text
    line,      // one line of the stream is the text (without its line end)
    contains,  // the text stands somewhere in the stream
};

struct Message {
    Stream stream;
    Match how;
    std::string text;
    int times = 0;  // for Match::line: the number of such lines; 0 means at least one
};

// A file in the working folder before the run (a folder when `folder`; a
// symbolic link to `link_to` when that is given, for instance /dev/full for
// an output file on a full device).
struct Input {
    std::string name;
    std::string content;
    bool folder = false;
    std::string link_to = {};
};

// A file the run leaves behind.  A file written before the program ended
// must be complete: it ends with a line end, has `lines` lines (-1: not
// counted) and holds every text of `holds`.  `nonempty` only asks that it
// exists and is not empty (pictures).
struct Left {
    std::string name;
    int lines = -1;
    std::vector<std::string> holds = {};
    bool nonempty = false;
};

struct Row {
    const char* name;
    std::vector<Input> inputs;
    std::string answers;              // standard input; empty: at its end at once
    std::vector<Message> messages;    // a stream with no message here must stay empty (stderr)
    int status;
    std::vector<Left> left;           // every file the run creates: no other may appear
    std::vector<std::string> absent = {};  // files that must not exist (said again for the reader)
    bool quiet_stderr = true;         // false: standard error may hold what no message names
    std::vector<std::string> arguments = {};  // the command line after the program's name
    bool screen_full = false;         // standard output is /dev/full, a device that is always full
};

// Short forms for the tables.
inline Message stderr_is(const std::string& line) { return {Stream::err, Match::whole, line + "\n"}; }
inline Message stdout_is(const std::string& text) { return {Stream::out, Match::whole, text}; }
inline Message stdout_line(const std::string& line, int times = 0) { return {Stream::out, Match::line, line, times}; }
inline Message stdout_has(const std::string& text) { return {Stream::out, Match::contains, text}; }
inline Input file(const std::string& name, const std::string& content) { return {name, content}; }
inline Input folder(const std::string& name) { return {name, "", true}; }
// An output file whose every write fails: the disc is full.
inline Input full_device(const std::string& name) { return {name, "", false, "/dev/full"}; }
// The row run with standard output on a full device.
inline Row screen_full(Row row)
{
    row.screen_full = true;
    return row;
}

// Runs the program on the row in a fresh folder and checks every
// expectation with GoogleTest assertions.
void check_row(const std::string& program, const Row& row, int seconds = 30);

// For the names of parameterised cases.
inline void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

}  // namespace failures
