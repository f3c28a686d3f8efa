// Light curves of one star as the modern program reads them: text tables
// and FITS light-curve files, the rows that cannot be used dropped and
// counted by reason, several files of one star joined, and the values
// brought to parts per thousand or millimagnitudes.
//
// Nothing here prints: a reader returns a light curve (or throws Error with
// a message that names the file, and the line where there is one), and the
// caller says on the screen what was read and dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace lightcurve {

// A file that cannot be read or used; the message names the file (and the
// line of a text file) and says what is wrong.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Which columns to read.  Each is a 1-based column number or a column name
// (matched in full; case is ignored when no column has exactly that name);
// empty means the format's default:
//   text:  time 1, value 2, error 3 when time and value are both the
//          defaults and the first data row has a number in a third column;
//   FITS:  time TIME, value PDCSAP_FLUX, error the value's name + "_ERR"
//          when the table has that column.
// The word "none" for the error reads no errors.
struct Selection {
    std::string time;
    std::string value;
    std::string error;
    // FITS: a row whose quality flags share a bit with the mask is dropped
    // (QUALITY, or SAP_QUALITY in the older layout).  All bits by default:
    // any flag drops the row; 0 keeps every row.
    std::uint64_t quality_mask = ~std::uint64_t{0};
};

inline constexpr const char* no_column = "none";

// Why a column choice as written cannot be one (column 0, a number beyond
// any table), or empty when it can.
std::string column_choice_problem(const std::string& text);

enum class Format { text, fits };

// Rows that were read but cannot be used.  A row is counted once, under the
// first reason that applies in the order time, quality, value, error.
struct Dropped {
    std::size_t time_not_finite = 0;   // time NaN or infinite (or an empty field)
    std::size_t quality_flagged = 0;   // FITS quality flag within the mask
    std::size_t value_not_finite = 0;  // value NaN or infinite (or an empty field)
    std::size_t error_not_finite = 0;  // error NaN or infinite (or an empty field)

    std::size_t total() const { return time_not_finite + quality_flagged + value_not_finite + error_not_finite; }
};

// What was read from one file.
struct Source {
    std::string file;             // the name as given
    Format format = Format::text;
    std::string time_column;      // the columns read, as the file names them
    std::string value_column;     // (a text file without names: "column 2")
    std::string error_column;     // empty when no errors were read
    std::string quality_column;   // FITS: the quality column used, empty if none
    std::size_t rows = 0;         // data rows read
    Dropped dropped;
    std::size_t kept() const { return rows - dropped.total(); }
};

// Value units after conversion.
enum class Unit {
    none,  // as given
    flux,  // read as flux, converted to parts per thousand of the median
    mag,   // read as magnitudes, converted to millimagnitudes from the median
};

// The unit of the converted values as files and the screen write it:
// "ppt", "mmag", or "none" for values as given.
const char* unit_name(Unit unit);

// One star's usable observations: times (days), values and, when an error
// column was read, the errors, one per time.
struct LightCurve {
    std::vector<double> times;
    std::vector<double> values;
    std::vector<double> errors;  // empty when has_errors is false
    bool has_errors = false;
    Unit unit = Unit::none;
    std::vector<Source> sources;  // one per file read (several when joined)
    // The file of each point, as its index in `sources` (filled by join);
    // empty when every point comes from the first.
    std::vector<std::uint32_t> source_index;

    std::size_t size() const { return times.size(); }
    // The bytes its arrays hold (for the memory a run needs).
    std::size_t bytes() const;
};

// --- reading ----------------------------------------------------------------

// The file name that stands for standard input.
inline constexpr const char* standard_input = "-";

// How messages name a file: "standard input" for -, any other name as it
// stands.
std::string name_in_messages(const std::string& file);

// What a read may take.  The memory is what the arrays it fills and the
// buffers it keeps may hold together; a read that would need more is
// refused before it takes it.  memory_name says in messages what the limit
// is and how it is raised (for instance "--max-memory 1.0 GiB").
struct Limits {
    std::uint64_t memory = std::numeric_limits<std::uint64_t>::max();
    std::string memory_name = "the memory limit";
};

// The longest line of a text table: a light curve's line holds a few
// numbers, and a file without line ends (a binary file, a device) must not
// be taken into memory whole.
inline constexpr std::size_t longest_line = std::size_t{1} << 20;

// Reads a file, choosing the reader by its first bytes: FITS files (and
// gzip-compressed ones, which cfitsio opens) by the FITS reader, anything
// else as text.  The file is opened once and read once, so a pipe, a FIFO
// or standard input ("-") is read whole like a file; a FITS stream, or a
// gzip-compressed FITS file, is taken into memory (within limits.memory)
// first.  A file compressed otherwise (bzip2, xz, zstd, compress) is an
// error that says so.
LightCurve read_file(const std::string& file, const Selection& selection, const Limits& limits = {});

// Text: columns separated by blanks (any run of spaces and tabs) or by a
// comma (with blanks around it or not; two commas in a row enclose an empty
// field, which reads as a missing value).  Lines starting with # or % and
// blank lines are skipped.  The first other line is a header when it names
// a column asked for by name, or when the time or value field in it is not
// a number; column names come from it, or, without one, from the last
// comment line before the data.  Numbers are decimal, with an exponent in
// E or D; nan and inf (any case, with a sign) are the non-finite values.
// A data row with too few fields, or a selected field that is not a number,
// is an error that names the file and line.  A UTF-8 byte-order mark at
// the start of the file is skipped; a line longer than longest_line is an
// error that names it.
LightCurve read_text(const std::string& file, const Selection& selection, const Limits& limits = {});

// FITS: the first binary-table extension.  Its size as the header gives it
// (NAXIS1 bytes per row times NAXIS2 rows, and the heap of PCOUNT bytes)
// must agree with the file: a table that runs past the file's end, or
// whose end is not followed by the file's end or the next extension, is an
// error; and the memory its rows need is checked against limits.memory
// before any is read.
LightCurve read_fits(const std::string& file, const Selection& selection, const Limits& limits = {});

// --- cleaning ---------------------------------------------------------------

// Sorts the observations by time (stable: equal times keep their order).
void sort_by_time(LightCurve& curve);

// The largest magnitude of a value or an error the analysis takes: its
// results (amplitudes, residuals) stay within the range of doubles.
inline constexpr double largest_value = 1e300;

// Converts the values (and errors) to the unit: flux to (x / median - 1) *
// 1000 ppt, magnitudes to (x - median) * 1000 mmag.  A flux whose median
// is not positive cannot be converted: Error.  Unit::none leaves them.
// A value or an error beyond largest_value in the unit (before or after a
// conversion) is an Error that names the range.
void convert(LightCurve& curve, Unit unit);

// One star observed in several files: each file's values in the unit, its
// own median removed, then all merged in time order.  Errors are kept when
// every file has them; each point's file is kept in source_index.
LightCurve join(std::vector<LightCurve> parts, Unit unit);

// The time span T = last - first of sorted times (0 for fewer than two).
double time_span(const std::vector<double>& sorted_times);

}  // namespace lightcurve
