// One star: read, analysed on one spectrum plan, written.
#include "star.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "grid.hpp"
#include "screen.hpp"
#include "star_files.hpp"
#include "numerics/parallel.hpp"

namespace prewhiten {

namespace fs = std::filesystem;

namespace {

// Suffixes of compressed files, taken off before the extension.
const char* const compression_suffixes[] = {".gz", ".bz2", ".xz", ".Z"};

bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

Facts method_facts(const Options& options)
{
    Facts facts = {{"method", method_name(options.spectrum.method)}};
    if (options.spectrum.method == spectrum::Method::nufft)
        facts.emplace_back("tolerance", numerics::full_number(options.spectrum.tolerance));
    return facts;
}

// The frequencies of the starting table as the extraction takes them:
// amplitudes and phases only when the table is in the run's unit (a table
// in magnitudes does not start a fit in flux: other sizes, opposite sign)
// and the phases only with the time they refer to.
std::vector<extraction::StartTerm> start_terms(const lightcurve::FrequencyTable& table, lightcurve::Unit unit)
{
    const bool same_unit = table.unit.empty() || table.unit == lightcurve::unit_name(unit);
    std::vector<extraction::StartTerm> terms;
    for (std::size_t i = 0; i < table.frequencies.size(); ++i) {
        extraction::StartTerm term;
        term.frequency = table.frequencies[i];
        if (same_unit && i < table.amplitudes.size()) term.amplitude = table.amplitudes[i];
        if (same_unit && table.t_ref && i < table.phases.size()) term.phase = table.phases[i];
        terms.push_back(term);
    }
    return terms;
}

extraction::Settings extraction_settings(const spectrum::Grid& grid, const Options& options, const UserLists& lists,
                                         lightcurve::Unit unit)
{
    extraction::Settings settings;
    settings.grid = grid;
    settings.spectrum = options.spectrum;
    settings.box = options.box;
    settings.snr = options.snr;
    settings.max_frequencies = options.max_frequencies;
    settings.fap = options.fap ? *options.fap : 0.0;
    settings.weights = options.weights;
    settings.refine = options.refine;
    settings.resolution = options.resolution ? *options.resolution : 0.0;
    settings.separation = options.separation ? *options.separation : 0.0;
    settings.threads = options.spectrum.threads;
    settings.fit = options.fit;
    settings.select = options.select;
    settings.baseline = options.baseline;
    settings.harmonics = options.harmonics;
    if (lists.frequencies) {
        settings.start = start_terms(*lists.frequencies, unit);
        settings.start_t_ref = lists.frequencies->t_ref;
    }
    return settings;
}

// The amplitude spectrum, and the spectral window when asked for, on the
// star's plan.
void spectrum_only(const Options& options, StarResults& r)
{
    const spectrum::Plan plan(r.curve.times, r.grid, options.spectrum);
    r.amplitude = plan.amplitude(r.curve.values);
    if (options.window) r.window = plan.window(*options.window);
}

// The extraction, the spectral window on the extraction's plan, what its
// tables say about the run, and the picture.
void extraction_run(const Star& star, const Options& options, const UserLists& lists, StarResults& r,
                    const extraction::ProgressCallback& progress)
{
    if (options.weights && !r.curve.has_errors)
        throw StarError("--weights needs an error column, and this light curve has none");
    const extraction::Settings settings = extraction_settings(r.grid, options, lists, r.curve.unit);
    const spectrum::Plan plan = extraction::spectrum_plan(r.curve.times, settings);
    r.extraction = extraction::extract(plan, r.curve.times, r.curve.values, r.curve.errors, r.segmentation,
                                       settings, progress);
    if (options.window) r.window = plan.window(*options.window);
    const extraction::Result& result = *r.extraction;

    r.context.label = star.name;
    r.context.unit = lightcurve::unit_name(r.curve.unit);
    r.context.stop = extraction::stop_sentence(result, settings);
    r.context.extra = {{"refine", refine_name(options.refine)},
                       {"weights", options.weights ? "yes" : "no"},
                       {"snr_limit", numerics::full_number(options.snr)},
                       {"box", numerics::full_number(options.box)}};
    r.context.extra.insert(r.context.extra.end(), r.method.begin(), r.method.end());
    // The fit's assembly last: the facts before it read as they always did.
    r.context.extra.push_back({"fit", fit_name(options.fit)});
    r.context.extra.insert(r.context.extra.end(), {{"select", select_name(options.select)},
                                                   {"baseline", baseline_name(options.baseline)},
                                                   {"segments", std::to_string(result.segments.size())}});
    if (options.plot != PictureType::none)
        r.picture = picture_of(star.name, "stop: " + r.context.stop, r.curve, result, settings, r.segmentation);
}

// The star's account of its extraction: on the screen and in its summary row.
void say_extraction_done(const StarResults& r, std::ostream& out, SummaryRow& summary)
{
    const extraction::Result& result = *r.extraction;
    say_extraction(out, result, r.context);
    summary.frequencies = result.frequencies.size();
    if (!result.frequencies.empty()) {
        summary.f1 = result.frequencies.front().value.frequency;
        summary.a1 = result.frequencies.front().value.amplitude;
    }
    summary.stop = extraction::stop_name(result.stop);
    summary.stop_sentence = r.context.stop;
}

// The tracking of the star's frequencies through time (--track): those of
// the extraction, or of the --frequencies table.  A light curve too short
// for three windows is said to be so and keeps its extraction's files; a
// run that only tracks has nothing else to give, and the star fails.
void tracking_run(const Star& star, const Options& options, StarResults& r, std::ostream& out, SummaryRow& summary)
{
    if (r.curve.times.empty()) throw StarError("no usable observations");
    std::string not_tracked;
    if (!spans_three_windows(r.curve, options)) not_tracked = too_short_to_track(r.curve, options);
    else if (r.extraction && r.extraction->frequencies.empty()) not_tracked = "not tracked: no frequency extracted";
    if (!not_tracked.empty()) {
        if (!r.extraction) throw StarError(not_tracked);
        out << star.name << ": " << not_tracked << "\n";
        return;
    }
    TrackedTable table;
    if (r.extraction) {
        table = table_of_extraction(*r.extraction);
    } else {
        table = table_of_file(*options.frequency_table, options.frequencies_file, r.curve, options.weights,
                              memory_limit(options), memory_limit_text(options));
        summary.frequencies = table.frequencies.size();
        summary.f1 = table.frequencies.front().frequency;
        summary.a1 = table.frequencies.front().amplitude;
        summary.stop = "table";
        summary.stop_sentence = "the frequencies of " + table.source;
    }
    r.tracking = track_star(star.name, r.curve, table, options);
    say_tracking(out, *r.tracking);
    add_orbit(summary, *r.tracking);
}

}  // namespace

std::string stem_of(const std::string& file)
{
    if (file == lightcurve::standard_input) return "stdin";
    std::string name = fs::path(file).filename().string();
    for (const char* suffix : compression_suffixes)
        if (ends_with(name, suffix)) {
            name.resize(name.size() - std::string(suffix).size());
            break;
        }
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

std::vector<Star> stars_of(const Options& options)
{
    // The name is written into files (tables, residuals, summary, the
    // picture's title): its control characters escaped.
    std::vector<Star> stars;
    if (options.join && !options.files.empty()) {
        const std::string& first = options.files.front();
        Star star{escape_controls(lightcurve::name_in_messages(first)), stem_of(first), options.files};
        if (options.files.size() > 1) star.name += " + " + std::to_string(options.files.size() - 1) + " more";
        stars.push_back(star);
        return stars;
    }
    for (const std::string& file : options.files)
        stars.push_back({escape_controls(lightcurve::name_in_messages(file)), stem_of(file), {file}});
    return stars;
}

UserLists read_user_lists(const Options& options)
{
    UserLists lists;
    if (options.segments) lists.breakpoints = lightcurve::read_breakpoints(*options.segments);
    lists.frequencies = options.frequency_table;  // read with the command line
    return lists;
}

extraction::Segmentation segments_of(const lightcurve::LightCurve& curve, const Options& options,
                                     const UserLists& lists)
{
    extraction::SegmentRules rules;
    rules.gap = options.segment_gap.value_or(rules.gap);
    rules.min_length = options.min_segment.value_or(rules.min_length);
    rules.breakpoints = lists.breakpoints;
    try {
        return extraction::segment_light_curve(curve.times, curve.source_index, rules);
    } catch (const std::invalid_argument& e) {
        throw StarError(std::string("cannot be split into segments: ") + e.what());
    }
}

// The files of a star are read within the run's memory limit: each file of
// --join within what the files before it left.
lightcurve::LightCurve read_star(const Star& star, const Options& options)
{
    lightcurve::Limits limits{memory_limit(options), memory_limit_text(options)};
    if (!options.join) {
        lightcurve::LightCurve curve = lightcurve::read_file(star.files.front(), options.columns, limits);
        lightcurve::convert(curve, options.unit);
        lightcurve::sort_by_time(curve);
        return curve;
    }
    std::vector<lightcurve::LightCurve> parts;
    for (const std::string& file : star.files) {
        parts.push_back(lightcurve::read_file(file, options.columns, limits));
        limits.memory -= std::min(limits.memory, std::uint64_t{parts.back().bytes()});
    }
    return lightcurve::join(std::move(parts), options.unit);
}

void prepare_star(const Options& options, const UserLists& lists, StarResults& r)
{
    // The segments first: with baselines they set the lowest frequency.
    if (extracts(options) && r.curve.size() > 0) r.segmentation = segments_of(r.curve, options, lists);
    if (computes_spectrum(options)) {
        r.grid = grid_for(r.curve, options, r.segmentation.segments);
        check_window(r.curve, options);
        check_memory(r.curve, r.grid, options, std::max<std::size_t>(r.segmentation.segments.size(), 1));
    }
    r.method = method_facts(options);
    r.threads = numerics::thread_count(options.spectrum.threads);
    r.window_frequency = options.window;
}

void analyse_star(const Star& star, const Options& options, const UserLists& lists, StarResults& r,
                  const extraction::ProgressCallback& progress)
{
    if (options.spectrum_only)
        spectrum_only(options, r);
    else if (extracts(options))
        extraction_run(star, options, lists, r, progress);
}

PictureInput star_picture(const Star& star, const Options& options, const StarResults& r)
{
    return picture_of(star.name, "stop: " + r.context.stop, r.curve, *r.extraction,
                      extraction_settings(r.grid, options, UserLists{}, r.curve.unit), r.segmentation);
}

StarOutcome run_star(const Star& star, const Options& options, plotting::Plotter& plot, std::ostream& out,
                     std::ostream* progress, const std::string& position, const UserLists& lists)
{
    StarOutcome outcome;
    outcome.summary.file = star.name;
    try {
        StarResults r;
        r.curve = read_star(star, options);
        say_reading(out, r.curve);
        outcome.summary.analysed = true;
        outcome.summary.n = r.curve.size();
        outcome.summary.span = lightcurve::time_span(r.curve.times);
        outcome.summary.unit = lightcurve::unit_name(r.curve.unit);
        for (const lightcurve::Source& source : r.curve.sources) outcome.dropped += source.dropped.total();
        prepare_star(options, lists, r);
        if (computes_spectrum(options)) {
            if (!options.spectrum_only)
                if (const std::string narrow = box_warning(r.curve, options); !narrow.empty())
                    outcome.warning = star.name + ": " + narrow;
            say_grid(out, star, r.curve, r.grid, options);
        }
        if (extracts(options)) say_segments(out, star, r.segmentation, options);
        {
            ProgressLine line(progress, position + star.name);
            analyse_star(star, options, lists, r, [&](const extraction::Progress& p) { line.show(p); });
        }
        if (options.spectrum_only)
            say_peak(out, star, highest_peak(r.grid, r.amplitude), r.curve.unit);
        else if (extracts(options))
            say_extraction_done(r, out, outcome.summary);
        if (tracks(options)) tracking_run(star, options, r, out, outcome.summary);
        for (const fs::path& file : write_star_files(star, options, r, plot)) say_written(out, star, file);
        outcome.done = true;
    } catch (const lightcurve::Error& e) {
        outcome.message = e.what();
    } catch (const WriteError& e) {
        outcome.message = e.what();
    } catch (const std::bad_alloc&) {
        outcome.message = star.name + ": out of memory";
    } catch (const std::exception& e) {
        outcome.message = star.name + ": " + e.what();
    }
    outcome.summary.done = outcome.done;
    outcome.summary.message = outcome.message;
    return outcome;
}

}  // namespace prewhiten
