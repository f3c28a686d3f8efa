// One star's analysis on a light curve held in memory, by the program's own
// parts: its options parsed by its command-line parser (names, defaults,
// checks and messages), its pipeline after reading, its writers.  What runs
// here is what `prewhiten` runs on a file, so the numbers are the same to
// the last bit.
#pragma once

#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "extraction/extraction.hpp"
#include "lightcurve/lightcurve.hpp"
#include "spectrum/spectrum.hpp"

namespace prewhiten {

struct Options;
struct StarResults;

// Words the command line would refuse; the message is the program's.
class UsageError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// A star that cannot be analysed, or a file of it that cannot be written;
// the message is the program's.
class AnalysisError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The --help text of the program, and its version ("0.1.0").
std::string options_help();
std::string program_version_text();

// What the program names a file's results after: its name without the
// folder and the extension ("out/tic1.fits.gz" gives "tic1").
std::string stem_of_file(const std::string& file);

// read_light_curve: the light curve of one star as the program reads it:
// its files (several only with --join), columns, quality mask and unit
// from command-line words; in its unit and in time order.
//   Throws UsageError for bad words or more than one star,
//   lightcurve::Error for a file that cannot be read or used.
lightcurve::LightCurve read_light_curve(const std::vector<std::string>& words);

// light_curve_of_arrays: a light curve from arrays, by the readers' rule:
// a row with a time, a value or an error that is not finite is dropped and
// counted under the first of these reasons.
//   Given:    name               what messages call it
//             times, values      days, any unit; one each per row
//             errors             one per row, or empty for none
//   Returned: the light curve in unit none, in the given order (set its
//             unit when the values are already in ppt or mmag)
//   Throws std::invalid_argument when the lengths differ.
lightcurve::LightCurve light_curve_of_arrays(const std::string& name, std::span<const double> times,
                                             std::span<const double> values, std::span<const double> errors);

using Facts = std::vector<std::pair<std::string, std::string>>;

// StarAnalysis: one star's run after reading, as the program does it: the
// values brought to --unit and put in time order, the grid, the checks,
// then the spectrum (--spectrum-only) or the extraction, and the window.
class StarAnalysis {
public:
    // Given:    name      what the tables and the picture call the star
    //           curve     its light curve, any time order; in unit none
    //                     it is brought to --unit, in ppt or mmag it is
    //                     taken as it is (--unit must then be that or none)
    //           words     command-line words of options (no files)
    //           progress  called after each frequency extracted; what it
    //                     throws ends the run and passes through
    // Throws UsageError for bad words, AnalysisError (or lightcurve::Error
    // from the unit conversion) for a star that cannot be analysed.
    StarAnalysis(const std::string& name, lightcurve::LightCurve curve, const std::vector<std::string>& words,
                 const extraction::ProgressCallback& progress = {});
    ~StarAnalysis();
    StarAnalysis(StarAnalysis&&) noexcept;
    StarAnalysis& operator=(StarAnalysis&&) noexcept;

    const lightcurve::LightCurve& curve() const;  // as analysed: in its unit, in time order
    const spectrum::Grid& grid() const;
    const std::vector<double>& amplitude() const;  // the data's spectrum (--spectrum-only)
    const std::vector<double>& window() const;     // the spectral window (--window), else empty
    const extraction::Result* extraction() const;  // null with --spectrum-only
    const std::string& stop_sentence() const;      // empty with --spectrum-only
    // The text of the program's <stem>.frequencies.csv for the extraction
    // (empty with --spectrum-only): its comment line, header and rows.
    std::string frequencies_csv() const;
    // What the files' comment lines say about the run (method, tolerance,
    // refine, weights, S/N limit, box).
    Facts facts() const;
    // The program's warning about the star (a narrow noise box), or empty.
    const std::string& warning() const;

    // write_files: the files the program writes for the star but its
    // picture, in `folder` under `stem`; the table last.  Each is whole or
    // absent.  Returns their paths; throws AnalysisError when one cannot
    // be written.
    std::vector<std::filesystem::path> write_files(const std::filesystem::path& folder,
                                                   const std::string& stem) const;
    // write_picture: the program's picture of the extraction as `type`
    // ("png" or "pdf"), whole or absent.  AnalysisError when it cannot be
    // written; UsageError for another type or with --spectrum-only.
    void write_picture(const std::filesystem::path& name, const std::string& type) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace prewhiten
