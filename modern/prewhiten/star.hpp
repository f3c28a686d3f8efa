// One star of a command line: its files, what its results are named after,
// and its run: read, analysed, written.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "batch.hpp"
#include "extraction/extraction.hpp"
#include "extraction/segments.hpp"
#include "lightcurve/lightcurve.hpp"
#include "lightcurve/lists.hpp"
#include "options.hpp"
#include "plotting/plot.hpp"

namespace prewhiten {

// A star that cannot be done, for a reason that is neither its files nor
// the writing of its results (an empty grid, too little memory).
class StarError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One star: how the screen and the files name it, the stem its output
// files are named after, and its files (several with --join).
struct Star {
    std::string name;  // its first file's name, control characters escaped ("q1.dat + 1 more" with --join)
    std::string stem;
    std::vector<std::string> files;
};

// The name of a file without its folder and its extension (and without a
// compression suffix before that): "out/tic1.fits.gz" gives "tic1";
// standard input (-) gives "stdin".
std::string stem_of(const std::string& file);

// The stars of the options: one per file, or one of all files with --join.
std::vector<Star> stars_of(const Options& options);

// The lists a run takes from files beside its light curves, read once for
// all its stars: the user's breakpoints (--segments) and the table of
// frequencies to start from (--frequencies).
struct UserLists {
    std::optional<std::vector<double>> breakpoints;
    std::optional<lightcurve::FrequencyTable> frequencies;
};

// The lists the options name; a lightcurve::Error that names the file (and
// the line) when one cannot be read.
UserLists read_user_lists(const Options& options);

// The segments of a star's light curve: split at the gaps of the options
// (or the user's breakpoints) and always between the files of --join.
extraction::Segmentation segments_of(const lightcurve::LightCurve& curve, const Options& options,
                                     const UserLists& lists);

// The light curve of a star, read, in its unit and in time order.
lightcurve::LightCurve read_star(const Star& star, const Options& options);

struct StarResults;  // star_files.hpp

// prepare_star: what a star's analysis is done on, from its light curve
// (r.curve, read): its segments (for an extraction), the grid, the
// method's facts, the window frequency; lists are the run's user lists.
//   Throws StarError when the star cannot be analysed (no grid, a window
//   its span cannot take, more memory than the limit).
void prepare_star(const Options& options, const UserLists& lists, StarResults& r);

// analyse_star: the star's spectrum (with --spectrum-only) or its
// extraction, the spectral window when asked for, what its tables say
// about the run, and its picture unless --plot none; nothing written,
// nothing said.
//   Given:    star      what the tables and the picture name it
//             options   the run's options
//             lists     the run's user lists (a starting table)
//             r         prepared by prepare_star
//             progress  called after each frequency extracted; an
//                       exception it throws ends the analysis
void analyse_star(const Star& star, const Options& options, const UserLists& lists, StarResults& r,
                  const extraction::ProgressCallback& progress = {});

// The picture of an analysed star's extraction.
PictureInput star_picture(const Star& star, const Options& options, const StarResults& r);

// What became of a star: done, or the message that says why not; and its
// row of the summary file.
struct StarOutcome {
    bool done = false;
    std::string message;
    SummaryRow summary;
    std::size_t dropped = 0;  // rows of its files not used
    std::string warning;      // said on standard error, the star still done
};

// run_star: reads, analyses and writes one star.
//   Given:    star, options  the star and the run's options
//             lists          the run's breakpoints and starting frequencies
//             plot           the plotter its picture is drawn on
//             out            its account (the summary, the files written)
//             progress       a terminal for the progress line, or none
//             position       what the progress line says before the
//                            star's name ("star 3 of 200: " in a batch)
//   Returned: what became of it; every failure is in the outcome
//   Notes: 1. One spectrum plan for all the spectra of the star on its grid
//             (the data, each residual spectrum of the extraction, the
//             window); everything is computed before the first file is
//             written.
StarOutcome run_star(const Star& star, const Options& options, plotting::Plotter& plot, std::ostream& out,
                     std::ostream* progress = nullptr, const std::string& position = "",
                     const UserLists& lists = {});

}  // namespace prewhiten
