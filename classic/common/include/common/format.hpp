// The one engine for Fortran format strings.  A format such as
// "(1X,F20.8,1X,F20.8)" is parsed once into a flat list of items (repeat
// counts and groups expanded) and cached; writing and reading are two walks
// over that list.
#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/values.hpp"

namespace common {

struct FormatItem {
    enum class Kind {
        literal,  // 'text' or nHtext: written as it stands
        skip,     // nX: n blanks on output, n characters passed over on input
        slash,    // /: end of the record
        a,        // A or Aw
        i,        // Iw or Iw.m
        f,        // Fw.d
        e,        // Ew.d
        g,        // Gw.d
    };
    Kind kind;
    int width = 0;   // 0 for A without a width
    int digits = 0;  // d of Fw.d, Ew.d, Gw.d; m of Iw.m
    bool has_min = false;
    std::string text;  // literal text

    bool is_data() const { return kind >= Kind::a; }
};

struct Format {
    std::vector<FormatItem> items;
    bool has_data = false;
};

class FormatError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Parses a format string (upper or lower case); throws FormatError when it
// is not one.
Format parse_format(std::string_view source);

// The parsed form of a format string, parsed on first use and kept.
const Format& cached_format(std::string_view source);

// Lays out the values by the format.  Records are appended to out, each
// ended by '\n'.  Output goes on after the last value through literals, nX
// and / up to the next data item or the end of the format; when values are
// left at the end of the format it starts again on a new record.
void format_write(const Format& format, std::span<const Value> values, std::string& out);

// One record of input as the reader sees it.
class LineSource {
public:
    virtual ~LineSource() = default;
    // The next line without its line end; false at the end of the input.
    virtual bool next_line(std::string& line) = 0;
};

enum class ReadOutcome { ok, end_of_file, bad_value };

struct ReadResult {
    ReadOutcome outcome = ReadOutcome::ok;
    std::size_t target = 0;   // index of the target that met the end or the bad value
    bool line_ended = false;  // a bad value because a whole record's line ended before it
};

// Reads the targets by the format, starting on a fresh record; the rest of
// the last record read is dropped.
ReadResult format_read(const Format& format, std::span<const Target> targets, LineSource& source);

}  // namespace common
