// The stars of a command line, one after another, each with all threads.
#include "prewhiten/run.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <new>

#include "prewhiten/batch.hpp"
#include "prewhiten/output.hpp"
#include "prewhiten/picture.hpp"
#include "prewhiten/screen.hpp"
#include "prewhiten/tables.hpp"

namespace prewhiten {

namespace fs = std::filesystem;

namespace {

// Suffixes of compressed files, taken off before the extension.
const char* const compression_suffixes[] = {".gz", ".bz2", ".xz", ".Z"};

bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string bytes_text(std::uint64_t bytes)
{
    const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double x = static_cast<double>(bytes);
    int u = 0;
    while (x >= 1024 && u < 6) x /= 1024, ++u;
    char t[48];
    std::snprintf(t, sizeof t, u == 0 ? "%.0f %s" : "%.1f %s", x, units[u]);
    return t;
}

// The path of an output file of a star in the output folder.
fs::path output_file(const Star& star, const Options& options, const char* kind)
{
    return (fs::path(options.output_folder) / (star.stem + kind)).lexically_normal();
}

// The picture's name after the stem.
const char* picture_kind(PictureType type) { return type == PictureType::pdf ? ".pdf" : ".png"; }

// The input files by device and inode, each looked up once: a list of
// thousands of stars costs one stat per file, not one per pair.
using FileIdentity = std::pair<dev_t, ino_t>;
std::map<FileIdentity, std::string> input_files(const Options& options)
{
    std::map<FileIdentity, std::string> inputs;
    for (const std::string& input : options.files) {
        struct stat status {};
        if (::stat(input.c_str(), &status) == 0) inputs.emplace(FileIdentity{status.st_dev, status.st_ino}, input);
    }
    return inputs;
}

// The input file that `file` is, or nullptr.
const std::string* input_named(const fs::path& file, const std::map<FileIdentity, std::string>& inputs)
{
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) return nullptr;
    const auto found = inputs.find({status.st_dev, status.st_ino});
    return found == inputs.end() ? nullptr : &found->second;
}

Facts curve_facts(const lightcurve::LightCurve& curve)
{
    return {{"N", std::to_string(curve.size())}, {"T", full_number(lightcurve::time_span(curve.times))}};
}

Facts method_facts(const Options& options)
{
    Facts facts = {{"method", method_name(options.spectrum.method)}};
    if (options.spectrum.method == spectrum::Method::nufft)
        facts.emplace_back("tolerance", full_number(options.spectrum.tolerance));
    return facts;
}

Facts joined(Facts a, const Facts& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void check_memory(const lightcurve::LightCurve& curve, const spectrum::Grid& grid, const Options& options)
{
    const std::uint64_t needed = memory_needed(curve, grid, options);
    const std::uint64_t limit = memory_limit(options);
    if (needed <= limit) return;
    throw StarError(std::string(options.spectrum_only ? "the spectrum" : "the extraction") + " of " +
                    std::to_string(curve.size()) + " points at " + std::to_string(grid.count) + " frequencies needs " +
                    bytes_text(needed) + ", more than " +
                    (options.max_memory ? "--max-memory " : "this machine's memory, ") + bytes_text(limit));
}

// The amplitude spectrum, its highest peak, its file, and the spectral
// window when asked for.
void spectrum_files(const Star& star, const lightcurve::LightCurve& curve, const spectrum::Grid& grid,
                    const Options& options, std::ostream& out)
{
    const spectrum::Plan plan(curve.times, grid, options.spectrum);
    const std::vector<double> amplitude = plan.amplitude(curve.values);
    say_peak(out, star, highest_peak(grid, amplitude), curve.unit);

    const Facts facts = curve_facts(curve);
    const fs::path spectrum_file = output_file(star, options, ".spectrum.csv");
    write_spectrum_csv(spectrum_file, joined(joined(facts, {{"unit", lightcurve::unit_name(curve.unit)}}),
                                             method_facts(options)),
                       grid, {{"amplitude", amplitude}});
    say_written(out, star, spectrum_file);

    if (options.window) {
        const std::vector<double> window = plan.window(*options.window);
        const fs::path window_file = output_file(star, options, ".window.csv");
        write_spectrum_csv(window_file,
                           joined(joined(facts, {{"window_frequency", full_number(*options.window)}}),
                                  method_facts(options)),
                           grid, {{"amplitude", window}});
        say_written(out, star, window_file);
    }
}

extraction::Settings extraction_settings(const spectrum::Grid& grid, const Options& options)
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
    return settings;
}

// "star.dat: frequency 12 of at most 200, 3.4 s" on one line of the
// terminal, rewritten in place, after "star 3 of 200: " in a batch; wiped
// when the star is done.
class ProgressLine {
public:
    ProgressLine(std::ostream* terminal, const Star& star) : terminal_(terminal), label_(star.position + star.label)
    {
    }
    ~ProgressLine()
    {
        if (terminal_ && width_ > 0) *terminal_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
    }
    void show(const extraction::Progress& p)
    {
        if (!terminal_) return;
        char text[96];
        std::snprintf(text, sizeof text, ": frequency %d of at most %d, %.1f s", p.extracted, p.most, p.elapsed);
        const std::string line = label_ + text;
        *terminal_ << '\r' << line << std::string(line.size() < width_ ? width_ - line.size() : 0, ' ') << std::flush;
        width_ = std::max(width_, line.size());
    }

private:
    std::ostream* terminal_;
    std::string label_;
    std::size_t width_ = 0;
};

// The extraction and its files: the tables, the residuals, the spectra of
// the data and of the residuals, and the spectral window when asked for.
void extraction_files(const Star& star, const lightcurve::LightCurve& curve, const spectrum::Grid& grid,
                      const Options& options, std::ostream& out, std::ostream* progress, SummaryRow& summary)
{
    if (options.weights && !curve.has_errors)
        throw StarError("--weights needs an error column, and this light curve has none");
    const extraction::Settings settings = extraction_settings(grid, options);
    extraction::Result result;
    {
        ProgressLine line(progress, star);
        result = extraction::extract(curve.times, curve.values, curve.errors, settings,
                                     [&](const extraction::Progress& p) { line.show(p); });
    }
    TableContext context;
    context.label = star.label;
    context.unit = lightcurve::unit_name(curve.unit);
    context.stop = extraction::stop_sentence(result, settings);
    // The fit's assembly last: the facts before it read as they always did.
    context.extra = joined(joined({{"refine", refine_name(options.refine)},
                                   {"weights", options.weights ? "yes" : "no"},
                                   {"snr_limit", full_number(options.snr)},
                                   {"box", full_number(options.box)}},
                                  method_facts(options)),
                           {{"fit", fit_name(options.fit)}});
    say_extraction(out, result, context);
    summary.frequencies = result.frequencies.size();
    if (!result.frequencies.empty()) {
        summary.f1 = result.frequencies.front().value.frequency;
        summary.a1 = result.frequencies.front().value.amplitude;
    }
    summary.stop = extraction::stop_name(result.stop);
    summary.stop_sentence = context.stop;

    const fs::path csv = output_file(star, options, ".frequencies.csv");
    const fs::path txt = output_file(star, options, ".frequencies.txt");
    const fs::path residuals = output_file(star, options, ".residuals.dat");
    const fs::path spectrum_file = output_file(star, options, ".spectrum.csv");
    write_frequencies_txt(txt, result, context);
    write_residuals(residuals, curve, result, context);
    write_spectrum_csv(spectrum_file,
                       joined(joined(curve_facts(curve), {{"unit", context.unit},
                                                          {"frequencies", std::to_string(result.frequencies.size())}}),
                              method_facts(options)),
                       grid, {{"amplitude", result.data_amplitude}, {"residual_amplitude", result.residual_amplitude}});
    std::vector<fs::path> written = {csv, txt, residuals, spectrum_file};
    if (options.window) {
        const spectrum::Plan plan(curve.times, grid, options.spectrum);
        const fs::path window_file = output_file(star, options, ".window.csv");
        write_spectrum_csv(window_file,
                           joined(joined(curve_facts(curve), {{"window_frequency", full_number(*options.window)}}),
                                  method_facts(options)),
                           grid, {{"amplitude", plan.window(*options.window)}});
        written.push_back(window_file);
    }
    if (options.plot != PictureType::none) {
        const fs::path picture_file = output_file(star, options, picture_kind(options.plot));
        PictureArrays arrays;
        write_picture(picture_file, options.plot,
                      picture_of(star.label, "stop: " + context.stop, curve, result, settings, arrays));
        written.push_back(picture_file);
    }
    // The table last: with --resume its presence means the star is done.
    write_frequencies_csv(csv, result, context);
    for (const fs::path& file : written) say_written(out, star, file);
}

}  // namespace

std::string stem_of(const std::string& file)
{
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

std::vector<fs::path> output_files(const Star& star, const Options& options)
{
    std::vector<fs::path> files;
    if (!options.spectrum_only)
        for (const char* kind : {".frequencies.csv", ".frequencies.txt", ".residuals.dat"})
            files.push_back(output_file(star, options, kind));
    files.push_back(output_file(star, options, ".spectrum.csv"));
    if (options.window) files.push_back(output_file(star, options, ".window.csv"));
    if (!options.spectrum_only && options.plot != PictureType::none)
        files.push_back(output_file(star, options, picture_kind(options.plot)));
    return files;
}

std::vector<Star> stars_of(const Options& options)
{
    std::vector<Star> stars;
    if (options.join && !options.files.empty()) {
        Star star{options.files, stem_of(options.files.front()), options.files.front(), ""};
        if (options.files.size() > 1) star.label += " + " + std::to_string(options.files.size() - 1) + " more";
        stars.push_back(star);
        return stars;
    }
    for (const std::string& file : options.files) stars.push_back({{file}, stem_of(file), file, ""});
    return stars;
}

lightcurve::LightCurve read_star(const Star& star, const Options& options)
{
    if (!options.join) {
        lightcurve::LightCurve curve = lightcurve::read_file(star.files.front(), options.columns);
        lightcurve::convert(curve, options.unit);
        lightcurve::sort_by_time(curve);
        return curve;
    }
    std::vector<lightcurve::LightCurve> parts;
    for (const std::string& file : star.files) parts.push_back(lightcurve::read_file(file, options.columns));
    return lightcurve::join(std::move(parts), options.unit);
}

StarOutcome run_star(const Star& star, const Options& options, std::ostream& out, std::ostream* progress)
{
    StarOutcome outcome;
    outcome.summary.file = star.label;
    try {
        const lightcurve::LightCurve curve = read_star(star, options);
        say_reading(out, curve);
        outcome.summary.analysed = true;
        outcome.summary.n = curve.size();
        outcome.summary.span = lightcurve::time_span(curve.times);
        outcome.summary.unit = lightcurve::unit_name(curve.unit);
        for (const lightcurve::Source& source : curve.sources) outcome.dropped += source.dropped.total();
        const spectrum::Grid grid = grid_for(curve, options);
        check_memory(curve, grid, options);
        say_grid(out, star, curve, grid, options);
        if (options.spectrum_only)
            spectrum_files(star, curve, grid, options, out);
        else
            extraction_files(star, curve, grid, options, out, progress, outcome.summary);
        outcome.done = true;
    } catch (const lightcurve::Error& e) {
        outcome.message = e.what();
    } catch (const WriteError& e) {
        outcome.message = e.what();
    } catch (const std::bad_alloc&) {
        outcome.message = star.label + ": out of memory";
    } catch (const std::exception& e) {
        outcome.message = star.label + ": " + e.what();
    }
    outcome.summary.done = outcome.done;
    outcome.summary.message = outcome.message;
    return outcome;
}

namespace {

// A star's line in a batch: "star.dat: 20000 points, 9 frequencies; stop:
// the next peak, ..., below 4; 0.8 s".
void say_star(std::ostream& out, const StarOutcome& outcome, double seconds)
{
    const SummaryRow& s = outcome.summary;
    out << s.file << ": " << s.n << (s.n == 1 ? " point" : " points");
    if (outcome.dropped > 0) out << " (" << outcome.dropped << " dropped)";
    out << ", " << s.frequencies << (s.frequencies == 1 ? " frequency" : " frequencies") << "; stop: "
        << s.stop_sentence;
    char time[32];
    std::snprintf(time, sizeof time, "; %.1f s\n", seconds);
    out << time;
}

// Whether the star's results would replace those of an earlier star of
// the list: the reason, or empty.
std::string stem_clash(const Star& star, std::map<std::string, std::string>& stems)
{
    const auto [other, fresh] = stems.emplace(star.stem, star.label);
    if (fresh) return "";
    return star.label + ": its results would replace those of " + other->second + " (both are named " + star.stem +
           "); not done";
}

// Whether the star's results would replace one of the run's input files:
// the reason, or empty.
std::string input_clash(const Star& star, const Options& options,
                        const std::map<FileIdentity, std::string>& inputs)
{
    for (const fs::path& file : output_files(star, options))
        if (const std::string* input = input_named(file, inputs))
            return star.label + ": its results would replace the input file " + *input + "; not done";
    return "";
}

}  // namespace

int run(const Options& options, std::ostream& out, std::ostream& err, bool progress)
{
    std::error_code ec;
    fs::create_directories(options.output_folder, ec);
    if (!fs::is_directory(options.output_folder)) {
        err << program_name << ": " << options.output_folder << ": cannot be used as the output folder ("
            << (ec ? ec.message() : "Not a directory") << ")\n";
        return 2;
    }
    remove_temporaries_on_signals();

    // The stars of this shard; the names are checked against the whole
    // list, so that two shards never write one star's files.
    std::vector<Star> stars;
    std::vector<std::string> clashes;
    std::map<std::string, std::string> stems;  // stem -> the star that has it
    const std::map<FileIdentity, std::string> inputs = input_files(options);
    const std::vector<Star> all = stars_of(options);
    for (std::size_t i = 0; i < all.size(); ++i) {
        std::string problem = stem_clash(all[i], stems);
        if (!in_shard(i, options.shard)) continue;
        if (problem.empty()) problem = input_clash(all[i], options, inputs);
        stars.push_back(all[i]);
        clashes.push_back(problem);
    }
    // In a batch of extractions each star has one line; a single star (and
    // each spectrum, whose account is short) its full account.
    const bool batch = stars.size() > 1 && !options.spectrum_only;
    std::ostream quiet(nullptr);

    int status = 0;
    for (std::size_t i = 0; i < stars.size(); ++i) {
        Star star = stars[i];
        if (batch) star.position = "star " + std::to_string(i + 1) + " of " + std::to_string(stars.size()) + ": ";
        StarOutcome outcome;
        outcome.summary.file = star.label;
        outcome.message = clashes[i];
        if (outcome.message.empty() && options.resume) {
            const fs::path table = output_files(star, options).front();
            if (fs::exists(table)) {
                out << star.label << ": skipped, " << table.string() << " is there (--resume)\n";
                continue;
            }
        }
        const auto start = std::chrono::steady_clock::now();
        if (outcome.message.empty()) outcome = run_star(star, options, batch ? quiet : out, progress ? &err : nullptr);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (outcome.done && batch) say_star(out, outcome, seconds);
        out.flush();
        if (!outcome.done) {
            err << program_name << ": " << outcome.message << "\n";
            status = 2;
        }
        if (!options.summary.empty()) {
            try {
                append_summary(options.summary, outcome.summary);
            } catch (const WriteError& e) {
                err << program_name << ": " << e.what() << "\n";
                status = 2;
            }
        }
    }
    return status;
}

int main_program(int argc, const char* const argv[], std::ostream& out, std::ostream& err, bool progress)
{
    const CommandLine line = parse_command_line(argc, argv, out, err);
    int status = line.run ? run(line.options, out, err, progress) : line.status;
    // A summary that could not be written (a full disc, a closed pipe) is a
    // failed run, not a success.
    out.flush();
    if (!out) {
        err << program_name << ": standard output: cannot be written\n";
        status = std::max(status, 2);
    }
    return status;
}

}  // namespace prewhiten
