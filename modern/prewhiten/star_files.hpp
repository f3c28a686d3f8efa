// The files a star's run writes: one table of them, which the writers,
// --resume, the clash checks and the --help text all walk.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "extraction/extraction.hpp"
#include "lightcurve/lightcurve.hpp"
#include "options.hpp"
#include "output.hpp"
#include "picture.hpp"
#include "plotting/plot.hpp"
#include "spectrum/spectrum.hpp"
#include "star.hpp"
#include "tables.hpp"
#include "track_star.hpp"

namespace prewhiten {

// Everything a star's files are written from, computed before the first of
// them is written: a failure before then leaves no file of the star.
struct StarResults {
    lightcurve::LightCurve curve;  // as analysed: in its unit, in time order
    extraction::Segmentation segmentation;     // empty with --spectrum-only
    spectrum::Grid grid;
    Facts method;                  // the spectrum's method (and tolerance), for the files' comment lines
    int threads = 1;               // --threads, for the writing of long files too
    std::vector<double> amplitude;             // the data's spectrum (--spectrum-only)
    std::optional<double> window_frequency;    // --window
    std::vector<double> window;                // the spectral window there
    std::optional<extraction::Result> extraction;  // absent with --spectrum-only
    TableContext context;                      // of the extraction's tables
    std::optional<PictureInput> picture;       // the extraction's picture, unless --plot none
    std::optional<TrackedStar> tracking;       // --track, when the light curve holds three windows
};

// When a kind of file is written.
enum class Written {
    extraction,  // by an extraction (not with --spectrum-only)
    baselines,   // by an extraction with a baseline per segment
    every_run,   // by every run that computes the spectrum (all but the tracking of a --frequencies table)
    window,      // with --window
    png,         // by an extraction with --plot png
    pdf,         // by an extraction with --plot pdf
    tracking,    // with --track, for a star tracked
    track_png,   // with --track and --plot png, for a star tracked
    track_pdf,   // with --track and --plot pdf, for a star tracked
};

// A kind of file a star's run writes.
struct ResultFile {
    const char* suffix;  // after the stem: <stem>.frequencies.csv
    // What it holds, for --help: lines that fit beside the name within 80
    // columns, each but the last ended by '\n'; empty when the line before
    // speaks for it.
    const char* holds;
    Written when;
    // Writes the file whole under `name`; throws WriteError when it cannot.
    void (*write)(const std::filesystem::path& name, const StarResults& results, plotting::Plotter& plot);
};

// Every kind, in the order --help lists them.  The first kind a run writes
// is the star's table (the frequency table, or the spectrum with
// --spectrum-only): written last, its presence is what --resume takes for
// the star done.
std::span<const ResultFile> result_files();

// Whether a run with these options writes the kind.
bool writes(const ResultFile& file, const Options& options);

// Whether the kind is written only for a star whose frequencies were
// tracked (a star too short for three windows has none of them).
bool needs_tracking(const ResultFile& file);

// The path of the kind of file for the star, in the output folder.
std::filesystem::path output_file(const Star& star, const Options& options, const ResultFile& file);

// The files the run writes for the star, in the table's order: the first
// is its table.
std::vector<std::filesystem::path> output_files(const Star& star, const Options& options);

// The lines of --help that list the files, one per kind ("  <stem>.png ...").
std::string result_files_help();

// write_star_files: every file of the star the run writes, the table last.
//   Returned: the files written, in the table's order
//   Notes: 1. A file that cannot be written throws WriteError; the files
//             written before it stay (each is whole), the table is not
//             written, so --resume does the star again.
std::vector<std::filesystem::path> write_star_files(const Star& star, const Options& options,
                                                    const StarResults& results, plotting::Plotter& plot);

}  // namespace prewhiten
