// The files and the screen summary of a frequency extraction: the table
// of frequencies (in full for programs, aligned for the eye), the
// residuals in the time-series layout of the classic programs, and the
// spectra of the data and of the residuals.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "extraction/extraction.hpp"
#include "lightcurve/lightcurve.hpp"
#include "output.hpp"

namespace prewhiten {

// What the tables say about the run besides the table itself.
struct TableContext {
    std::string label;         // the star as the screen names it
    std::string unit;          // "ppt", "mmag" or "none"
    std::string stop;          // the stop reason in a sentence
    Facts extra;               // further facts for the comment line (method, ...)
};

// --- text for the eye -------------------------------------------------------

// Decimals that show a value to two significant digits of its error
// (0.0123 -> 4 decimals); 6 when the error is unknown, at most 12.
int decimals_for(double error);
// x with that many decimals; an error to two significant digits.
std::string fixed(double x, int decimals);
std::string two_digits(double x);
// Rows of text cells, each column as wide as its widest cell; numbers to
// the right, the last column to the left.
std::string aligned(const std::vector<std::vector<std::string>>& rows);

// <stem>.frequencies.csv: the comment line (N, T, t_ref, unit, D, the stop
// reason and the extra facts), the header, one row per frequency in
// extraction order; numbers in full; errors from the covariance.
void write_frequencies_csv(const std::filesystem::path& name, const extraction::Result& result,
                           const TableContext& context);

// <stem>.frequencies.txt: the same table aligned for reading, rounded to
// two significant digits of each error, with the analytic errors beside
// the covariance ones.
void write_frequencies_txt(const std::filesystem::path& name, const extraction::Result& result,
                           const TableContext& context);

// <stem>.baseline.csv: the comment line (N, T, the unit, the baseline and
// the number of segments), the header, one row per segment: its number,
// first and last time, points, the degree of its baseline and the
// coefficients of c0 + c1 (t - centre) + c2 (t - centre)^2 with their
// errors, in full (empty beyond the degree).
void write_baselines_csv(const std::filesystem::path& name, const extraction::Result& result,
                         const TableContext& context);

// The baselines as comment lines for the aligned table (empty when there
// are none), rounded to two digits of each error.
std::string baselines_text(const extraction::Result& result, const TableContext& context);

// <stem>.residuals.dat: a header line, then time, residual (and error when
// the light curve has errors) per point, numbers in full.
void write_residuals(const std::filesystem::path& name, const lightcurve::LightCurve& curve,
                     const extraction::Result& result, const TableContext& context);

// The text of <stem>.frequencies.csv.
std::string frequencies_csv(const extraction::Result& result, const TableContext& context);

// The text of the aligned table (what write_frequencies_txt writes).
std::string frequencies_text(const extraction::Result& result, const TableContext& context);

// The star's summary: how many frequencies, why the loop stopped, D and
// the residual rms, and the strongest frequencies (at most `rows`).
void say_extraction(std::ostream& out, const extraction::Result& result, const TableContext& context,
                    std::size_t rows = 10);

}  // namespace prewhiten
