// The command line of prewhiten: one struct holds every option with its
// default; the parser and the --help text are made from it, so the manual
// and the program cannot drift apart.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "extraction/extraction.hpp"
#include "lightcurve/lightcurve.hpp"
#include "lightcurve/lists.hpp"
#include "batch.hpp"
#include "picture.hpp"
#include "spectrum/spectrum.hpp"

namespace prewhiten {

inline constexpr const char* program_name = "prewhiten";
inline constexpr const char* program_version = "0.1.0";

// The highest --window accepted, c/d (a period of 86 microseconds): a
// double resolves times near BJD 2.46e6 d to 2^-31 d (40 microseconds),
// whose Nyquist frequency is about this; beyond it a window is a slip of
// the keyboard, refused before anything is read.
inline constexpr double highest_window_frequency = 1e9;

struct Options {
    // --- input ---
    std::vector<std::string> files;
    bool join = false;                           // --join: all files are one star
    lightcurve::Selection columns;               // --time, --value, --error, --quality-mask
    lightcurve::Unit unit = lightcurve::Unit::none;  // --unit

    // --- output ---
    std::string output_folder = ".";             // -o
    bool spectrum_only = false;                  // --spectrum-only
    std::optional<double> window;                // --window F: the spectral window at F
    bool resume = false;                         // --resume: skip stars whose table exists
    PictureType plot = PictureType::png;         // --plot png|pdf|none
    std::string summary;                         // --summary FILE: a row per star appended; empty: none
    Shard shard;                                 // --shard i/n: every n-th star from the i-th

    // --- frequency grid (c/d); unset: from the light curve ---
    std::optional<double> fmin;                  // default 1/T
    std::optional<double> fmax;                  // default 0.5 / median step
    std::optional<double> step;                  // default 1 / (oversample T)
    double oversample = 10;

    // --- extraction ---
    double box = 1.0;                            // --box: width of the noise box, c/d
    double snr = 4.0;                            // --snr: stop below this S/N
    int max_frequencies = 200;                   // --max-frequencies
    std::optional<double> fap;                   // --fap: stop above this false-alarm probability
    bool weights = false;                        // --weights: fit with 1/error^2
    extraction::Refine refine = extraction::Refine::all;  // --refine all|new|none
    std::optional<double> resolution;            // --resolution: combinations, default 1.5/T
    std::optional<double> separation;            // --separation: guard around taken peaks, default 1/T

    // --- candidates, segments and baselines ---
    extraction::Select select = extraction::Select::snr;              // --select snr|height
    extraction::Baseline baseline = extraction::Baseline::linear;     // --baseline none|offset|linear|quadratic
    std::optional<double> segment_gap;           // --segment-gap: a longer interruption splits, d; default 0.5
    std::optional<double> min_segment;           // --min-segment: shorter segments are joined, d; default 5
    std::optional<std::string> segments;         // --segments FILE: the user's breakpoints
    std::optional<double> harmonics;             // --harmonics F0: a series n F0 locked in the fit, c/d

    // --- computation ---
    spectrum::Settings spectrum;                 // --method, --tolerance, --threads
    extraction::FitMethod fit = extraction::FitMethod::fast;  // --fit fast|exact
    std::optional<std::uint64_t> max_memory;     // --max-memory, bytes; unset: half the machine's memory

    // --- tracking through time ---
    std::optional<double> track;                 // --track W: window width, days; unset: no tracking
    std::optional<double> track_step;            // --track-step S, days; default W
    std::optional<double> orbit_fap;             // --orbit-fap P: an orbit is claimed below it; default 1e-3
    // --frequencies FILE: a table of frequencies, read (and checked) with
    // the command line: fitted first, then the extraction goes on; with
    // --track the star is tracked at them instead of being extracted.
    std::string frequencies_file;
    std::optional<lightcurve::FrequencyTable> frequency_table;
};

// The false-alarm probability below which an orbit is claimed by default.
inline constexpr double default_orbit_fap = 1e-3;

// What a run does with each star: an extraction (unless --spectrum-only,
// or --track at the frequencies of a table), and the tracking of the
// frequencies through time (--track).
bool extracts(const Options& options);
bool tracks(const Options& options);
// Whether the run computes the star's spectrum (every run but the tracking
// of a table's frequencies).
bool computes_spectrum(const Options& options);

// What the command line asks for.
struct CommandLine {
    Options options;
    bool run = false;  // false: --help, --version or a usage error, already answered
    int status = 0;    // the exit status when run is false
};

// Parses the arguments.  --help and --version write to `out`; a usage
// error writes one line to `err` (with the hint to --help) and gives
// status 1.
CommandLine parse_command_line(int argc, const char* const argv[], std::ostream& out, std::ostream& err);

// parse_words: the options of command-line words (the arguments after the
// program's name), parsed and checked as the command line is.
//   Given:    words         the arguments
//             files_needed  false: the light curve comes from elsewhere,
//                           and the words may name no file
//   Returned: options       what they ask for
//             the message of a usage error, as the program gives it
//             (without its name and the hint), or empty when none
std::string parse_words(const std::vector<std::string>& words, bool files_needed, Options& options);

// The names the command line and the files give the methods and the
// --refine and --fit choices.
const char* method_name(spectrum::Method method);
const char* refine_name(extraction::Refine refine);
const char* select_name(extraction::Select select);
const char* baseline_name(extraction::Baseline baseline);
const char* fit_name(extraction::FitMethod fit);

// The --help text.
std::string help_text();

// Reads a memory size: a number of bytes with an optional suffix K, M, G
// or T (powers of 1024, an optional B or iB after it, any case).  False
// when the text is not one.
bool parse_size(const std::string& text, std::uint64_t& bytes);

}  // namespace prewhiten
