// Free-format (list-directed) reading and writing, on any line source.
#pragma once

#include <span>
#include <string>

#include "common/format.hpp"
#include "common/values.hpp"

namespace common {

// Where the values of one read may stand.
enum class Lines {
    any,    // answers: a read that needs more values than its line holds
            // goes on to the next lines
    whole,  // records of a data file: every value on the first line that
            // holds one; a line that ends before the last value is a bad
            // value at that line
};

// Starts on a fresh line and fills the targets in order.  Values are
// separated by blanks, tabs, commas or line ends; blank lines are passed
// while no value has been read (with Lines::any, while values are still
// needed); the rest of the last line read is dropped.  A text is one word,
// or a text in apostrophes or double quotes.  With no targets one line is
// consumed.
ReadResult free_read(std::span<const Target> targets, LineSource& source, Lines lines = Lines::any);

// The lines of one free-format write, each ended by '\n'.
void free_write(std::span<const Value> values, std::string& out);

}  // namespace common
