// What prewhiten says on the screen about each star: short lines, each
// starting with the star's name so that a batch's log can be searched.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "extraction/extraction.hpp"
#include "lightcurve/lightcurve.hpp"
#include "options.hpp"
#include "spectrum/spectrum.hpp"
#include "star.hpp"

namespace prewhiten {

// Six significant digits, for the screen and messages: they are for the
// eye, the files hold the numbers in full.
std::string g6(double x);

// The highest amplitude of a spectrum on its grid (NaN amplitudes, such as
// the one at frequency zero, are passed over).
struct Peak {
    bool found = false;  // false: no amplitude above zero
    std::size_t index = 0;
    double frequency = 0;
    double amplitude = 0;
};
Peak highest_peak(const spectrum::Grid& grid, const std::vector<double>& amplitude);

// "tic1.fits: 11977 rows read, 860 dropped (273 time not finite, 587
// quality flagged), 11117 kept", one line per file read.
void say_reading(std::ostream& out, const lightcurve::LightCurve& curve);
// N, T, the median step and the unit; then the grid and the method.
void say_grid(std::ostream& out, const Star& star, const lightcurve::LightCurve& curve, const spectrum::Grid& grid,
              const Options& options);
// The segments (how many, their median and shortest length), the baseline
// each has and how candidates are chosen.
void say_segments(std::ostream& out, const Star& star, const extraction::Segmentation& segmentation,
                  const Options& options);
void say_peak(std::ostream& out, const Star& star, const Peak& peak, lightcurve::Unit unit);
void say_written(std::ostream& out, const Star& star, const std::filesystem::path& file);
// A star's line in a batch: "star.dat: 20000 points, 9 frequencies; stop:
// the next peak, ..., below 4; 0.8 s".
void say_star(std::ostream& out, const StarOutcome& outcome, double seconds);

// "star.dat: frequency 12 of at most 200, 3.4 s" on one line of a
// terminal, rewritten in place as the extraction goes on, after "star 3 of
// 200: " in a batch; wiped when the line goes.  Nothing without a terminal.
class ProgressLine {
public:
    ProgressLine(std::ostream* terminal, std::string label);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(const extraction::Progress& progress);

private:
    std::ostream* terminal_;
    std::string label_;
    std::size_t width_ = 0;
};

}  // namespace prewhiten
