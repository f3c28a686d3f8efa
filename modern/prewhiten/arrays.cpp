// One star's analysis on a light curve held in memory: the program's
// options, pipeline and writers behind a small interface.
#include "prewhiten/arrays.hpp"

#include <cmath>
#include <new>

#include "grid.hpp"
#include "options.hpp"
#include "plotting/plot.hpp"
#include "star.hpp"
#include "star_files.hpp"
#include "tables.hpp"

namespace prewhiten {

namespace {

// The options that act on lists of files and batches; a light curve in
// memory has none, and taking them in silence would tell the caller that
// something was done.
const char* batch_option(const Options& options)
{
    if (options.resume) return "--resume";
    if (!options.summary.empty()) return "--summary";
    if (options.shard.count != 1) return "--shard";
    return nullptr;
}

Options parsed(const std::vector<std::string>& words, bool files_needed)
{
    Options options;
    const std::string problem = parse_words(words, files_needed, options);
    if (!problem.empty()) throw UsageError(problem);
    if (const char* option = batch_option(options))
        throw UsageError(std::string(option) + " is for runs over files and has no meaning here");
    // The tracking of an analysed star is its own call, which returns its
    // tables; taken here it would be done and dropped.
    if (options.track) throw UsageError("--track: track the result's frequencies with track() instead");
    return options;
}

}  // namespace

std::string options_help() { return help_text(); }
std::string program_version_text() { return program_version; }
std::string stem_of_file(const std::string& file) { return stem_of(file); }

lightcurve::LightCurve read_light_curve(const std::vector<std::string>& words)
{
    const Options options = parsed(words, true);
    const std::vector<Star> stars = stars_of(options);
    if (stars.size() != 1) throw UsageError("several files are one star only with --join");
    return read_star(stars.front(), options);
}

lightcurve::LightCurve light_curve_of_arrays(const std::string& name, std::span<const double> times,
                                             std::span<const double> values, std::span<const double> errors)
{
    if (values.size() != times.size()) throw std::invalid_argument("values: not one per time");
    if (!errors.empty() && errors.size() != times.size()) throw std::invalid_argument("errors: not one per time");
    const bool has_errors = !errors.empty();
    lightcurve::LightCurve curve;
    curve.has_errors = has_errors;
    lightcurve::Source source;
    source.file = name;
    source.time_column = "time";
    source.value_column = "value";
    if (has_errors) source.error_column = "error";
    source.rows = times.size();
    for (std::size_t i = 0; i < times.size(); ++i) {
        const double e = has_errors ? errors[i] : 0.0;
        if (!std::isfinite(times[i])) {
            ++source.dropped.time_not_finite;
        } else if (!std::isfinite(values[i])) {
            ++source.dropped.value_not_finite;
        } else if (!std::isfinite(e)) {
            ++source.dropped.error_not_finite;
        } else {
            curve.times.push_back(times[i]);
            curve.values.push_back(values[i]);
            if (has_errors) curve.errors.push_back(e);
        }
    }
    curve.sources.push_back(source);
    return curve;
}

struct StarAnalysis::State {
    Options options;
    Star star;
    StarResults results;
    std::string warning;
};

StarAnalysis::StarAnalysis(const std::string& name, lightcurve::LightCurve curve,
                           const std::vector<std::string>& words, const extraction::ProgressCallback& progress)
    : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.options = parsed(words, false);
    s.star = Star{escape_controls(name), "star", {}};
    StarResults& r = s.results;
    r.curve = std::move(curve);
    // As read_star leaves a file's light curve: in its unit, in time order.
    if (r.curve.unit == lightcurve::Unit::none) {
        lightcurve::convert(r.curve, s.options.unit);
    } else if (s.options.unit != lightcurve::Unit::none && s.options.unit != r.curve.unit) {
        throw UsageError(std::string("--unit: the values are already in ") + lightcurve::unit_name(r.curve.unit));
    }
    lightcurve::sort_by_time(r.curve);
    try {
        const UserLists lists = read_user_lists(s.options);
        prepare_star(s.options, lists, r);
        if (!s.options.spectrum_only) s.warning = box_warning(r.curve, s.options);
        analyse_star(s.star, s.options, lists, r, progress);
    } catch (const StarError& e) {
        throw AnalysisError(e.what());
    }
}

StarAnalysis::~StarAnalysis() = default;
StarAnalysis::StarAnalysis(StarAnalysis&&) noexcept = default;
StarAnalysis& StarAnalysis::operator=(StarAnalysis&&) noexcept = default;

const lightcurve::LightCurve& StarAnalysis::curve() const { return state_->results.curve; }
const spectrum::Grid& StarAnalysis::grid() const { return state_->results.grid; }
const std::vector<double>& StarAnalysis::amplitude() const { return state_->results.amplitude; }
const std::vector<double>& StarAnalysis::window() const { return state_->results.window; }
const std::string& StarAnalysis::stop_sentence() const { return state_->results.context.stop; }
const std::string& StarAnalysis::warning() const { return state_->warning; }

const extraction::Result* StarAnalysis::extraction() const
{
    return state_->results.extraction ? &*state_->results.extraction : nullptr;
}

std::string StarAnalysis::frequencies_csv() const
{
    const StarResults& r = state_->results;
    return r.extraction ? prewhiten::frequencies_csv(*r.extraction, r.context) : std::string();
}

Facts StarAnalysis::facts() const
{
    const StarResults& r = state_->results;
    return r.extraction ? r.context.extra : r.method;
}

std::vector<std::filesystem::path> StarAnalysis::write_files(const std::filesystem::path& folder,
                                                             const std::string& stem) const
{
    Options options = state_->options;
    options.output_folder = folder.string();
    options.plot = PictureType::none;
    Star star = state_->star;
    star.stem = stem;
    plotting::GizaPlotter unused;
    try {
        std::filesystem::create_directories(folder);
        return write_star_files(star, options, state_->results, unused);
    } catch (const WriteError& e) {
        throw AnalysisError(e.what());
    } catch (const std::filesystem::filesystem_error& e) {
        throw AnalysisError(escape_controls(folder.string()) + ": cannot make the folder (" + e.code().message() +
                            ")");
    }
}

void StarAnalysis::write_picture(const std::filesystem::path& name, const std::string& type) const
{
    const State& s = *state_;
    if (!s.results.extraction) throw UsageError("a picture needs an extraction, not --spectrum-only");
    PictureType picture_type = PictureType::none;
    if (type == picture_type_name(PictureType::png)) picture_type = PictureType::png;
    if (type == picture_type_name(PictureType::pdf)) picture_type = PictureType::pdf;
    if (picture_type == PictureType::none) throw UsageError("'" + type + "' is not one of png, pdf");
    const PictureInput picture = s.results.picture ? *s.results.picture : star_picture(s.star, s.options, s.results);
    plotting::GizaPlotter giza;
    try {
        prewhiten::write_picture(name, picture_type, picture, giza);
    } catch (const WriteError& e) {
        throw AnalysisError(e.what());
    }
}

}  // namespace prewhiten
