// The text of the tracking files: each a comment line of facts, a header
// line and rows of numbers written in full (the shortest text that reads
// back to the same double; "nan" where a figure is undefined).  Writing
// them is the caller's.
//
//   track.csv       one row per fitted window and frequency
//   timedelay.csv   one row per window with a delay (and the orbit's model when one is claimed)
//   modulation.csv  one row per frequency of the table (NaN for those left out)
//   orbit.csv       one row
#pragma once

#include <string>

#include "tracking/track.hpp"

namespace tracking {

// What the files say about where the data came from.
struct FileContext {
    std::string unit;    // of the values and amplitudes: "mmag", "ppt", "none"
    std::string source;  // of the frequencies: the table's file name, or "extraction"
};

std::string track_csv(const Result& result, const FileContext& context);
std::string timedelay_csv(const Result& result, const FileContext& context);
std::string modulation_csv(const Result& result, const FileContext& context);
std::string orbit_csv(const Result& result, const FileContext& context);

}  // namespace tracking
