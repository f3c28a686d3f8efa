// The runs of prewhiten: the stars of a command line, each read, analysed
// and written in turn; one star's failure is reported at its boundary and
// the batch goes on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "lightcurve/lightcurve.hpp"
#include "batch.hpp"
#include "options.hpp"
#include "spectrum/spectrum.hpp"

namespace prewhiten {

// A star that cannot be done, for a reason that is neither its files nor
// the writing of its results (an empty grid, too little memory).
class StarError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One star: its files (several with --join), the stem its output files
// are named after, and how the screen names it.
struct Star {
    std::vector<std::string> files;
    std::string stem;
    std::string label;
    std::string position;  // "star 3 of 200: " in a batch's progress line
};

// The name of a file without its folder and its extension (and without a
// compression suffix before that): "out/tic1.fits.gz" gives "tic1";
// standard input (-) gives "stdin".
std::string stem_of(const std::string& file);

// The stars of the options: one per file, or one of all files with --join.
std::vector<Star> stars_of(const Options& options);

// The files a star's run writes, in the output folder; the first is its
// table (the spectrum with --spectrum-only), whose presence --resume takes
// for the star done.
std::vector<std::filesystem::path> output_files(const Star& star, const Options& options);

// The light curve of a star, read, in its unit and in time order.
lightcurve::LightCurve read_star(const Star& star, const Options& options);

// The frequency grid of a star: the options, with the defaults from its
// light curve (1/T, the Nyquist frequency of the median step, 1/(10 T)).
spectrum::Grid grid_for(const lightcurve::LightCurve& curve, const Options& options);

// A spectral window the light curve's span cannot take (|F| T/2 at 2^49
// cycles or more, where the phases lose their accuracy): a StarError,
// before anything of the star is written.
void check_window(const lightcurve::LightCurve& curve, const Options& options);

// A warning when the noise box is so narrow for the light curve's span that
// a peak (about 2/T wide) fills much of it (without the star's name); empty
// otherwise.
std::string box_warning(const lightcurve::LightCurve& curve, const Options& options);

// Memory a star's run needs at most, and the limit it must stay within
// (--max-memory, or by default half the machine's memory, which leaves room
// for the system and the other jobs).
std::uint64_t memory_needed(const lightcurve::LightCurve& curve, const spectrum::Grid& grid, const Options& options);
std::uint64_t memory_limit(const Options& options);

// What became of a star: done, or the message that says why not; and its
// row of the summary file.
struct StarOutcome {
    bool done = false;
    std::string message;
    SummaryRow summary;
    std::size_t dropped = 0;  // rows of its files not used
    std::string warning;      // said on standard error, the star still done
};

// Reads, analyses and writes one star, with its summary on `out` and,
// when `progress` is given (a terminal), a progress line there.
StarOutcome run_star(const Star& star, const Options& options, std::ostream& out, std::ostream* progress = nullptr);

// Every star of the options in turn; each failure named on `err`, and the
// progress line on `err` when `progress` is set (standard error is a
// terminal).  Returns the exit status: 0 all done, 1 the files of the
// command line cannot be used together (a file twice in --join, a summary
// that would append to an input or a result), 2 one or more stars not done.
int run(const Options& options, std::ostream& out, std::ostream& err, bool progress = false);

// The whole program: the command line, then the run.
int main_program(int argc, const char* const argv[], std::ostream& out, std::ostream& err, bool progress = false);

}  // namespace prewhiten
