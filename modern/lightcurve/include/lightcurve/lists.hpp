// Lists a run takes from the user beside the light curves: the times at
// which to split a light curve into segments, and the frequencies an
// extraction starts from (a published table, or the table of an earlier
// run).
//
// Both are small text files: lines starting with # are comments, blank
// lines are skipped, fields are separated by blanks or by a comma (as in
// the light-curve tables), a UTF-8 byte-order mark at the start and a
// carriage return at a line's end are ignored.  A line that cannot be used
// is an Error that names the file and the line.  Nothing here prints.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lightcurve {

// read_breakpoints: the times of a breakpoint file, one per line, in the
// order of the file (days, on the time axis of the light curves).
//   Returned: the times; none for a file of comments only (each file of
//             the star then one segment)
//   Notes: 1. A line with more than one field, or a time that is not a
//             finite number: Error naming the file and line.
std::vector<double> read_breakpoints(const std::string& file);

// The frequencies to start from, with what is known of each sinusoid.
struct FrequencyTable {
    std::vector<double> frequencies;  // c/d, above 0, in the order of the file
    std::vector<double> amplitudes;   // one per frequency, at least 0; empty when the file has none
    std::vector<double> phases;       // cycles, one per frequency; empty when the file has none
    std::optional<double> t_ref;      // the time the phases refer to, when the file gives it
    std::string unit;                 // of the amplitudes ("ppt", "mmag", "none") when the file gives it
};

// read_frequency_table: the frequencies of a table, in either of two forms:
//   - a table with a header line naming its columns, such as the
//     <stem>.frequencies.csv an extraction writes: the columns named
//     frequency (needed), amplitude and phase (when present) are read, by
//     name, case ignored, wherever they stand; the others are left alone.
//     A comment line of facts "# N=..., t_ref=..., unit=..." (the one the
//     extraction writes above its header) gives t_ref and the unit;
//   - a plain column: one frequency per line.
//   Returned: the table; Error naming the file (and the line) when it
//             cannot be read, holds no frequency, or has a line that
//             cannot be used
//   Notes: 1. The form is told by the first line that is not a comment: a
//             header when one of its fields is not a number.
//          2. Phases refer to t_ref: without it they cannot be used as
//             they stand, and the caller decides what to do with them.
//          3. The file is read whole and once, so standard input (-) and
//             pipes serve; beyond 16 MiB it is refused (no list of
//             frequencies is that long: it is another file by mistake).
FrequencyTable read_frequency_table(const std::string& file);

}  // namespace lightcurve
