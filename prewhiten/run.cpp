// The stars of a command line, one after another, each with all threads.
#include "prewhiten/run.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <new>

#include "prewhiten/output.hpp"
#include "prewhiten/screen.hpp"

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

bool same_file(const fs::path& a, const std::string& b)
{
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
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
    throw StarError("the spectrum of " + std::to_string(curve.size()) + " points at " + std::to_string(grid.count) +
                    " frequencies needs " + bytes_text(needed) + ", more than " +
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
    std::vector<fs::path> files = {output_file(star, options, ".spectrum.csv")};
    if (options.window) files.push_back(output_file(star, options, ".window.csv"));
    return files;
}

std::vector<Star> stars_of(const Options& options)
{
    std::vector<Star> stars;
    if (options.join && !options.files.empty()) {
        Star star{options.files, stem_of(options.files.front()), options.files.front()};
        if (options.files.size() > 1) star.label += " + " + std::to_string(options.files.size() - 1) + " more";
        stars.push_back(star);
        return stars;
    }
    for (const std::string& file : options.files) stars.push_back({{file}, stem_of(file), file});
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

StarOutcome run_star(const Star& star, const Options& options, std::ostream& out)
{
    try {
        const lightcurve::LightCurve curve = read_star(star, options);
        say_reading(out, curve);
        const spectrum::Grid grid = grid_for(curve, options);
        check_memory(curve, grid, options);
        say_grid(out, star, curve, grid, options);
        spectrum_files(star, curve, grid, options, out);
        return {true, ""};
    } catch (const lightcurve::Error& e) {
        return {false, e.what()};
    } catch (const WriteError& e) {
        return {false, e.what()};
    } catch (const std::bad_alloc&) {
        return {false, star.label + ": out of memory"};
    } catch (const std::exception& e) {
        return {false, star.label + ": " + e.what()};
    }
}

int run(const Options& options, std::ostream& out, std::ostream& err)
{
    if (!options.spectrum_only)
        err << program_name
            << ": the frequency extraction is not built yet: writing the amplitude spectrum only, as with "
               "--spectrum-only\n";
    std::error_code ec;
    fs::create_directories(options.output_folder, ec);
    if (!fs::is_directory(options.output_folder)) {
        err << program_name << ": " << options.output_folder << ": cannot be used as the output folder ("
            << (ec ? ec.message() : "Not a directory") << ")\n";
        return 2;
    }

    int status = 0;
    std::map<std::string, std::string> stems;  // stem -> the star that has it
    for (const Star& star : stars_of(options)) {
        StarOutcome outcome;
        const auto [other, fresh] = stems.emplace(star.stem, star.label);
        if (!fresh) {
            outcome.message = star.label + ": its results would replace those of " + other->second +
                              " (both are named " + star.stem + "); not done";
        }
        for (const fs::path& file : output_files(star, options))
            for (const std::string& input : options.files)
                if (outcome.message.empty() && same_file(file, input))
                    outcome.message = star.label + ": its results would replace the input file " + input + "; not done";
        if (outcome.message.empty()) outcome = run_star(star, options, out);
        out.flush();
        if (!outcome.done) {
            err << program_name << ": " << outcome.message << "\n";
            status = 2;
        }
    }
    return status;
}

int main_program(int argc, const char* const argv[], std::ostream& out, std::ostream& err)
{
    const CommandLine line = parse_command_line(argc, argv, out, err);
    int status = line.run ? run(line.options, out, err) : line.status;
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
