// The tracking of a star's frequencies through time, as a run does it:
// the table tracked (the extraction's, or the one --frequencies names),
// the tracking library's windows, delays and orbit, and what the screen
// and the summary say of them.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "batch.hpp"
#include "extraction/extraction.hpp"
#include "lightcurve/lightcurve.hpp"
#include "lightcurve/lists.hpp"
#include "options.hpp"
#include "track_picture.hpp"
#include "tracking/files.hpp"
#include "tracking/track.hpp"

namespace prewhiten {

// The frequencies tracked and the time their phases refer to.
struct TrackedTable {
    std::vector<tracking::TableFrequency> frequencies;
    double t_ref = 0.0;
    std::string source;  // "extraction", or the table's file name (control characters escaped)
};

// The extraction's frequencies, ids and amplitudes, at its t_ref.
TrackedTable table_of_extraction(const extraction::Result& result);

// table_of_file: the frequencies of a table read by --frequencies.
//   Given:    table   as read; name  its file name
//             curve   the star's light curve, in time order
//             weights fit with weights 1 / error^2 (--weights)
//             memory  the bytes the amplitudes' fit may take, and its text
//                     for the message (--max-memory)
//   Returned: ids 1, 2, ... in the order of the file; t_ref the table's
//             when it gives one, else the mean time of the light curve;
//             amplitudes the table's, or when it has none those of a
//             linear least-squares fit of all its frequencies, held fixed,
//             with a straight line, to the whole light curve
//   Notes: 1. The amplitudes only order the frequencies and choose the
//             strongest of each group a window cannot resolve.  When the
//             fit is singular (two frequencies the light curve cannot tell
//             apart) they are all zero: then the earlier in the file wins.
//          2. The fit holds its design matrix whole: a table of thousands
//             of frequencies without amplitudes on a long light curve is
//             refused (StarError) when it would need more than the memory
//             limit, as a spectrum is.
TrackedTable table_of_file(const lightcurve::FrequencyTable& table, const std::string& name,
                           const lightcurve::LightCurve& curve, bool weights, std::uint64_t memory = UINT64_MAX,
                           const std::string& memory_text = "");

// The settings of the tracking library from the options.
tracking::Settings tracking_settings(const Options& options);

// Whether the light curve holds three whole windows: a span of W + 2 S.
bool spans_three_windows(const lightcurve::LightCurve& curve, const Options& options);
// The line that says it does not.
std::string too_short_to_track(const lightcurve::LightCurve& curve, const Options& options);

// A star's tracking, and what its files are written from.
struct TrackedStar {
    std::string label;  // the star as the screen names it
    tracking::Result result;
    tracking::FileContext context;
    double orbit_fap = default_orbit_fap;
    std::optional<TrackPictureInput> picture;  // unless --plot none
};

// track_star: the tracking of one star at the table's frequencies.
//   Throws StarError when the weights need errors the light curve lacks;
//   std::invalid_argument from the library (a step that would cut more
//   windows than it allows).
TrackedStar track_star(const std::string& label, const lightcurve::LightCurve& curve, const TrackedTable& table,
                       const Options& options);

// A few lines on the screen: the windows used and skipped, the verdict of
// the time delays (do the frequencies agree?), the orbit or why none is
// claimed.
void say_tracking(std::ostream& out, const TrackedStar& star);

// The orbit's part of a summary row (and of a batch's line).
void add_orbit(SummaryRow& row, const TrackedStar& star);

// The aligned text of <stem>.orbit.txt: the orbit with its errors rounded
// to two digits, and the modulation of each frequency.
std::string orbit_text(const TrackedStar& star);

}  // namespace prewhiten
