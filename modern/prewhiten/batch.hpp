// Many stars: the share of a list one call takes (--shard), and the
// summary file every call appends a row per star to (--summary).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace prewhiten {

// --shard i/n: every n-th star of the list, starting at the i-th (1-based).
struct Shard {
    std::size_t index = 1;
    std::size_t count = 1;
};

// Reads "i/n" with whole numbers 1 <= i <= n; false when the text is not
// one.
bool parse_shard(const std::string& text, Shard& shard);

// Whether the star at `position` (0-based) of the list is in the shard.
inline bool in_shard(std::size_t position, const Shard& shard)
{
    return position % shard.count == shard.index - 1;
}

// One star's row of the summary file.
struct SummaryRow {
    std::string file;          // the star as the screen names it
    bool analysed = false;     // false: the fields up to stop are left empty
    std::size_t n = 0;         // points
    double span = 0.0;         // T, days
    std::size_t frequencies = 0;
    double f1 = 0.0, a1 = 0.0; // the first frequency extracted (empty when none)
    std::string unit;
    std::string stop;          // the stop reason's word: snr, fap, ...
    bool done = false;         // status: done or failed
    std::string message;       // why it failed
    std::string stop_sentence; // the stop reason in words, for the screen (not in the file)

    // The orbit's columns, in the rows of runs with --track.
    bool orbit_columns = false;
    bool tracked = false;      // the star was tracked (false: the columns are left empty)
    bool orbit = false;        // an orbit was claimed
    double orbit_period = 0.0, orbit_asini = 0.0, orbit_e = 0.0;  // days, seconds, -
};

// The header line of the summary file.
inline constexpr const char* summary_header = "file,N,T,frequencies,f1,A1,unit,stop,status,message\n";
// With --track each row also has the orbit's columns.
inline constexpr const char* summary_header_with_orbit =
    "file,N,T,frequencies,f1,A1,unit,stop,status,message,orbit_claimed,orbit_period,orbit_asini_c,orbit_e\n";

// The header of a summary with or without the orbit's columns; and, of a
// file's first line, why rows of that layout cannot be appended to it
// (empty when they can: the file is new, or has that header, or a first
// line that is neither of the two headers).
const char* summary_header_for(bool orbit_columns);
std::string summary_layout_clash(const std::string& first_line, bool orbit_columns);

// The row as a CSV line: numbers in full, control characters in the text
// fields escaped (escape_controls), a field quoted when it holds a comma or
// a quote.
std::string summary_line(const SummaryRow& row);

// append_summary: appends the row to the file, with the header first when
// the file is new or empty.  Several processes (the jobs of a cluster, GNU
// parallel) may share one file: each row is written whole under an
// exclusive lock, and taken back (the file cut to its length before) when a
// write fails, so a full disc never leaves part of a row.
// The file is never opened through a symbolic link, and must be a regular
// file.  Throws WriteError when the row cannot be written.
void append_summary(const std::filesystem::path& file, const SummaryRow& row);

}  // namespace prewhiten
