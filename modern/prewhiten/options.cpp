// The command line, through CLI11: every option bound to its field of
// Options, each checked where it is read so that a bad value is a usage
// error that names the option.
#include "options.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <utility>

#include "star_files.hpp"

namespace prewhiten {

namespace {

static_assert(static_cast<int>(lightcurve::Unit::none) == 0 && static_cast<int>(lightcurve::Unit::flux) == 1 &&
              static_cast<int>(lightcurve::Unit::mag) == 2);
static_assert(static_cast<int>(spectrum::Method::exact) == 0 && static_cast<int>(spectrum::Method::nufft) == 1);
static_assert(static_cast<int>(PictureType::none) == 0 && static_cast<int>(PictureType::png) == 1 &&
              static_cast<int>(PictureType::pdf) == 2);
static_assert(static_cast<int>(extraction::Refine::all) == 0 && static_cast<int>(extraction::Refine::fresh) == 1 &&
              static_cast<int>(extraction::Refine::none) == 2);
static_assert(static_cast<int>(extraction::Select::snr) == 0 && static_cast<int>(extraction::Select::height) == 1);
static_assert(static_cast<int>(extraction::Baseline::none) == 0 &&
              static_cast<int>(extraction::Baseline::offset) == 1 &&
              static_cast<int>(extraction::Baseline::linear) == 2 &&
              static_cast<int>(extraction::Baseline::quadratic) == 3);
static_assert(static_cast<int>(extraction::FitMethod::exact) == 0 && static_cast<int>(extraction::FitMethod::fast) == 1);

// A decimal number as written (a leading + allowed), whole.
bool parse_number(const std::string& text, double& x)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    if (first == last || *first == '+') return false;
    const auto [end, ec] = std::from_chars(first, last, x);
    return ec == std::errc() && end == last;
}

// A finite number above `low` (or at least `low` when `low_allowed`).
CLI::Validator number_from(double low, bool low_allowed)
{
    auto check = [low, low_allowed](std::string& text) -> std::string {
        double x = 0;
        if (!parse_number(text, x) || !std::isfinite(x)) return "'" + text + "' is not a number";
        if (low_allowed ? x < low : x <= low) {
            std::ostringstream bound;
            bound << low;
            return std::string("must be ") + (low_allowed ? "at least " : "above ") + bound.str();
        }
        return "";
    };
    return CLI::Validator(check, "", "");
}

// A finite number from `low` to `high`.
CLI::Validator number_within(double low, double high)
{
    auto check = [low, high](std::string& text) -> std::string {
        double x = 0;
        if (!parse_number(text, x) || !std::isfinite(x)) return "'" + text + "' is not a number";
        if (x < low || x > high) {
            std::ostringstream range;
            range << "must be from " << low << " to " << high;
            return range.str();
        }
        return "";
    };
    return CLI::Validator(check, "", "");
}

// A whole number from 0 to `high`.
CLI::Validator count_to(int high)
{
    auto check = [high](std::string& text) -> std::string {
        int n = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (ec != std::errc() || end != text.data() + text.size() || n < 0) return "'" + text + "' is not a count";
        if (n > high) return "must be at most " + std::to_string(high);
        return "";
    };
    return CLI::Validator(check, "", "");
}

// One of the names, replaced by its position in the list (the value of
// the enumerator it stands for).
CLI::Validator one_of(std::vector<std::string> names)
{
    auto check = [names](std::string& text) -> std::string {
        const auto it = std::find(names.begin(), names.end(), text);
        if (it == names.end()) {
            std::string list;
            for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
            return "'" + text + "' is not one of " + list;
        }
        text = std::to_string(it - names.begin());
        return "";
    };
    return CLI::Validator(check, "", "");
}

// The longest window or step of --track, days: a thousand years, beyond any
// light curve; more is a slip of the keyboard.
constexpr double max_track_days = 365250.0;

// A finite number above 0 and at most `high`.
CLI::Validator positive_to(double high)
{
    auto check = [high](std::string& text) -> std::string {
        double x = 0;
        if (!parse_number(text, x) || !std::isfinite(x)) return "'" + text + "' is not a number";
        if (!(x > 0 && x <= high)) {
            std::ostringstream range;
            range << "must be above 0 and at most " << high;
            return range.str();
        }
        return "";
    };
    return CLI::Validator(check, "", "");
}

// The S/N limit: a peak below the mean noise around it is never a
// detection, and a fitted peak's S/N is above 1 even in pure noise, so a
// lower limit would only let the loop run to --max-frequencies on noise.
CLI::Validator snr_limit()
{
    auto check = [](std::string& text) -> std::string {
        double x = 0;
        if (!parse_number(text, x) || !std::isfinite(x)) return "'" + text + "' is not a number";
        if (!(x >= 1)) return "must be at least 1: no peak below the mean noise is a detection";
        return "";
    };
    return CLI::Validator(check, "", "");
}

// A probability above 0 and at most 1.
CLI::Validator probability()
{
    auto check = [](std::string& text) -> std::string {
        double x = 0;
        if (!parse_number(text, x) || !std::isfinite(x)) return "'" + text + "' is not a number";
        if (!(x > 0 && x <= 1)) return "must be above 0 and at most 1";
        return "";
    };
    return CLI::Validator(check, "", "");
}

CLI::Validator size_in_bytes()
{
    auto check = [](std::string& text) -> std::string {
        std::uint64_t bytes = 0;
        if (!parse_size(text, bytes)) return "'" + text + "' is not a size (such as 800M or 16G)";
        text = std::to_string(bytes);
        return "";
    };
    return CLI::Validator(check, "", "");
}

// A set of flag bits: decimal, or hexadecimal after 0x.
CLI::Validator flag_bits()
{
    auto check = [](std::string& text) -> std::string {
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        const char* first = text.data() + (hex ? 2 : 0);
        const char* last = text.data() + text.size();
        std::uint64_t bits = 0;
        const auto [end, ec] = std::from_chars(first, last, bits, hex ? 16 : 10);
        if (first == last || ec != std::errc() || end != last) return "'" + text + "' is not a set of flag bits";
        text = std::to_string(bits);
        return "";
    };
    return CLI::Validator(check, "", "");
}

CLI::Validator shard_text()
{
    auto check = [](std::string& text) -> std::string {
        Shard shard;
        if (!parse_shard(text, shard)) return "'" + text + "' is not i/n with 1 <= i <= n";
        return "";
    };
    return CLI::Validator(check, "", "");
}

CLI::Validator column_choice()
{
    auto check = [](std::string& text) -> std::string {
        if (text.empty()) return "a column number or name is needed";
        return lightcurve::column_choice_problem(text);
    };
    return CLI::Validator(check, "", "");
}

const char* const description =
    "Frequency extraction for light curves of pulsating stars: reads each light curve\n"
    "(text table or FITS light-curve file), takes the highest peak of its amplitude\n"
    "spectrum that reaches the S/N limit again and again, fits all the sinusoids\n"
    "found together with a baseline per segment of the light curve, and writes the\n"
    "table of frequencies, amplitudes and phases with their errors, S/N and\n"
    "false-alarm probabilities.";

// The text after the options: the files of a star, listed from the table
// that the writers walk, then the rest.
const char* const files_intro =
    "Files written for each star, named after its file without the extension (the\n"
    "first file with --join), in the output folder:\n";

const char* const footer_rest =
    "With --spectrum-only, only the spectrum (and the window); the <stem>.track.* and\n"
    "<stem>.orbit.* files with --track only (and only those with --track and\n"
    "--frequencies: the star is tracked at a table's frequencies, not extracted;\n"
    "a light curve shorter than three windows is not tracked). Each CSV file begins\n"
    "with a comment line (#) giving N, T, the unit and more; the numbers are written\n"
    "in full. Amplitudes are in ppt (--unit flux), mmag (--unit mag) or the unit of\n"
    "the values (--unit none); phases in cycles at t_ref, the mean time, for the model\n"
    "b_s(t) + sum A sin(2 pi (f (t - t_ref) + phase)), b_s the baseline of the\n"
    "point's segment (a constant with --baseline none).\n"
    "\n"
    "Several stars: one line each on the screen; --summary appends a row per star\n"
    "(file,N,T,frequencies,f1,A1,unit,stop,status,message, and with --track\n"
    "orbit_claimed,orbit_period,orbit_asini_c,orbit_e) to a CSV file several\n"
    "calls may share; --shard i/n and --resume split and restart long lists (a\n"
    "cluster's array job, GNU parallel). Files are written under temporary names and\n"
    "renamed when whole, the table last: a stopped run leaves no half-written table.\n"
    "\n"
    "Exit status: 0 every star done, 1 a usage error, 2 one or more stars could not\n"
    "be read or written (each named on standard error; the others are still done).";

std::string footer() { return files_intro + result_files_help() + footer_rest; }

// The parser, bound to the fields of `options`.
std::unique_ptr<CLI::App> make_parser(Options& options)
{
    auto app = std::make_unique<CLI::App>(description, program_name);
    app->get_formatter()->column_width(30);
    // An option given twice takes its last value, so that a script's
    // defaults can be overridden further on the line.
    app->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app->footer(footer());
    app->set_version_flag("--version", std::string(program_name) + " " + program_version,
                          "Print the version and exit");
    app->set_help_flag("-h,--help", "Print this help and exit");

    app->add_option("FILE", options.files, "Text or FITS light curves; - for standard input")
        ->type_name("")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);

    const char* input = "Input";
    app->add_option("--time", options.columns.time,
                    "Time column (days), by 1-based number or by name")
        ->check(column_choice())->type_name("COLUMN")->default_str("1 / TIME")->group(input);
    app->add_option("--value", options.columns.value, "Value column (flux or magnitude)")
        ->check(column_choice())->type_name("COLUMN")->default_str("2 / PDCSAP_FLUX")->group(input);
    app->add_option("--error", options.columns.error, "Error column, or none")
        ->check(column_choice())->type_name("COLUMN")->default_str("3 if numbers / value_ERR")->group(input);
    app->add_option("--quality-mask", options.columns.quality_mask,
                    "FITS: drop rows whose QUALITY has a bit of the mask (0 keeps all)")
        ->transform(flag_bits())->type_name("BITS")->default_str("all")->group(input);
    app->add_option("--unit", options.unit, "flux: to ppt of the median; mag: to mmag; none: as given")
        ->transform(one_of({"none", "flux", "mag"}))->type_name("UNIT")->default_str("none")->group(input);
    app->add_flag("--join", options.join,
                  "The files are one star: each to its own median, merged in time order")
        ->group(input);

    const char* output = "Output";
    app->add_option("-o,--output", options.output_folder, "Folder for the files written (made when missing)")
        ->type_name("DIR")->capture_default_str()->group(output);
    app->add_flag("--spectrum-only", options.spectrum_only, "Write the amplitude spectrum only")->group(output);
    app->add_option("--window", options.window, "Also write the spectral window of a sinusoid at F c/d")
        ->check(positive_to(highest_window_frequency))->type_name("F")->group(output);
    app->add_option("--plot", options.plot, "The picture of each star: png, pdf or none")
        ->transform(one_of({"none", "png", "pdf"}))->type_name("TYPE")->default_str("png")->group(output);
    app->add_option("--summary", options.summary, "Append a row per star to this CSV file (made when missing)")
        ->type_name("FILE")->group(output);

    const char* many = "Many stars";
    app->add_option_function<std::string>(
           "--shard", [&options](const std::string& text) { parse_shard(text, options.shard); },
           "Do every n-th star of the list, from the i-th (1-based)")
        ->check(shard_text())->type_name("i/n")->default_str("1/1")->group(many);
    app->add_flag("--resume", options.resume, "Skip the stars whose table (or spectrum) is already written")
        ->group(many);

    const char* extracting = "Extraction";
    app->add_option("--snr", options.snr, "The S/N a frequency must reach against its local noise")
        ->check(snr_limit())->type_name("S")->capture_default_str()->group(extracting);
    app->add_option("--box", options.box, "Width of the box around a peak for its noise, c/d")
        ->check(number_from(0, false))->type_name("W")->capture_default_str()->group(extracting);
    app->add_option("--max-frequencies", options.max_frequencies, "Stop when this many are extracted")
        ->check(count_to(1000000))->type_name("K")->capture_default_str()->group(extracting);
    app->add_option("--fap", options.fap, "Stop when the next peak's false-alarm probability is above this")
        ->check(probability())->type_name("P")->default_str("off")->group(extracting);
    app->add_flag("--weights", options.weights, "Weight the fit by 1/error^2 (needs an error column)")
        ->group(extracting);
    app->add_option("--refine", options.refine, "Frequencies the fit moves: all, new (the one just added) or none")
        ->transform(one_of({"all", "new", "none"}))->type_name("WHICH")->default_str("all")->group(extracting);
    app->add_option("--resolution", options.resolution, "Combination frequencies are matched within this, c/d")
        ->check(number_from(0, false))->type_name("F")->default_str("1.5/T")->group(extracting);
    app->add_option("--separation", options.separation,
                    "Peaks closer than this to a frequency found are passed over, c/d")
        ->check(number_from(0, false))->type_name("F")->default_str("1/T")->group(extracting);

    const char* segmenting = "Candidates, segments and baselines";
    app->add_option("--select", options.select,
                    "snr: the highest peak above --snr times its local noise; height: the highest")
        ->transform(one_of({"snr", "height"}))->type_name("WHICH")->default_str("snr")->group(segmenting);
    app->add_option("--baseline", options.baseline, "Each segment's own baseline: none, offset, linear, quadratic")
        ->transform(one_of({"none", "offset", "linear", "quadratic"}))->type_name("B")->default_str("linear")
        ->group(segmenting);
    app->add_option("--segment-gap", options.segment_gap,
                    "Split the light curve at longer gaps (and between --join files), d")
        ->check(number_from(0, false))->type_name("D")->default_str("0.5")->group(segmenting);
    app->add_option("--min-segment", options.min_segment, "Join shorter segments to their neighbours, d")
        ->check(number_from(0, true))->type_name("D")->default_str("5")->group(segmenting);
    app->add_option("--segments", options.segments, "Split at the times of this file instead (one a line, d)")
        ->type_name("FILE")->group(segmenting);
    app->add_option("--harmonics", options.harmonics, "Lock a harmonic series n F0 to one frequency in the fit")
        ->check(number_from(0, false))->type_name("F0")->group(segmenting);
    app->add_option("--frequencies", options.frequencies_file,
                    "Fit this table's frequencies first (our CSV, or one column); with --track, track them")
        ->type_name("FILE")->group(segmenting);

    const char* grid = "Frequency grid (c/d)";
    app->add_option("--fmin", options.fmin, "Lowest frequency (with baselines max(1/T, 2/L), L: median segment)")
        ->check(number_from(0, true))->type_name("F")->default_str("1/T")->group(grid);
    app->add_option("--fmax", options.fmax, "Highest frequency")
        ->check(number_from(0, false))->type_name("F")->default_str("0.5/median step")->group(grid);
    CLI::Option* oversample = app->add_option("--oversample", options.oversample, "Grid points per 1/T")
                                  ->check(number_from(0, false))->type_name("K")->capture_default_str()
                                  ->group(grid);
    app->add_option("--step", options.step, "Frequency step, instead of --oversample")
        ->check(number_from(0, false))->type_name("F")->default_str("1/(oversample T)")->excludes(oversample)
        ->group(grid);

    const char* computing = "Computation";
    app->add_option("--method", options.spectrum.method,
                    "exact: direct sums; nufft: non-uniform FFT")
        ->transform(one_of({method_name(spectrum::Method::exact), method_name(spectrum::Method::nufft)}))
        ->type_name("M")->default_str("nufft")->group(computing);
    app->add_option("--fit", options.fit,
                    "fast: fit from sums over the sampling; exact: from every point (slow)")
        ->transform(one_of({fit_name(extraction::FitMethod::exact), fit_name(extraction::FitMethod::fast)}))
        ->type_name("HOW")->default_str("fast")->group(computing);
    app->add_option("--tolerance", options.spectrum.tolerance,
                    "nufft: largest amplitude error, relative to the highest peak")
        ->check(number_within(spectrum::finest_tolerance, spectrum::coarsest_tolerance))
        ->type_name("E")->capture_default_str()->group(computing);
    app->add_option("--threads", options.spectrum.threads, "Threads, 0 for every core")
        ->check(count_to(spectrum::max_threads))->type_name("N")->capture_default_str()->group(computing);
    app->add_option("--max-memory", options.max_memory,
                    "Refuse a star that needs more memory (suffix K, M, G or T)")
        ->transform(size_in_bytes())->type_name("SIZE")->default_str("half the machine's memory")->group(computing);

    const char* tracking = "Tracking through time";
    app->add_option("--track", options.track,
                    "Track amplitudes and phases in windows of W days: time delays, orbit")
        ->check(positive_to(max_track_days))->type_name("W")->default_str("off")->group(tracking);
    app->add_option("--track-step", options.track_step, "Days between the starts of the windows")
        ->check(positive_to(max_track_days))->type_name("S")->default_str("W")->group(tracking);
    app->add_option("--orbit-fap", options.orbit_fap,
                    "Claim an orbit below this false-alarm probability")
        ->check(probability())->type_name("P")->default_str("0.001")->group(tracking);
    return app;
}

// Checks that need several options together, besides the files.
std::string usage_problem_without_files(const Options& options)
{
    if (options.fmin && options.fmax && *options.fmax <= *options.fmin) return "--fmax must be above --fmin";
    if (options.step && options.box <= *options.step) return "--box must be wider than --step";
    if (options.harmonics && options.fmax && *options.harmonics > *options.fmax)
        return "--harmonics F0 must lie within the frequencies searched, at most --fmax";
    if (options.harmonics && options.spectrum_only)
        return "--harmonics locks a series in the extraction's fit: not with --spectrum-only";
    if (options.harmonics && options.track)
        return "--harmonics locks a series in the extraction's fit: not with --track, whose windows fit "
               "frequencies one by one";
    if (options.segments && (options.segment_gap || options.min_segment))
        return "--segments takes the breakpoints of its file: not with --segment-gap or --min-segment";
    if (!options.track) {
        if (options.track_step) return "--track-step needs --track";
        if (options.orbit_fap) return "--orbit-fap needs --track";
    } else if (options.spectrum_only) {
        return "--track needs frequencies to track: an extraction, or --frequencies, not --spectrum-only";
    } else if (!options.frequencies_file.empty() && options.window) {
        return "--window needs the spectrum, which --track with --frequencies does not compute";
    }
    return "";
}

std::string usage_problem(const Options& options)
{
    if (options.files.empty()) return "no light-curve file given";
    const auto from_input = [](const std::optional<std::string>& file) {
        return file && *file == lightcurve::standard_input ? 1 : 0;
    };
    if (std::count(options.files.begin(), options.files.end(), lightcurve::standard_input) +
            from_input(options.segments) + (options.frequencies_file == lightcurve::standard_input ? 1 : 0) >
        1)
        return "standard input (-) can be read once only";
    return usage_problem_without_files(options);
}

// The table of --frequencies, read with the command line so that a file
// that cannot be used is a usage error before any star is read.
std::string read_frequencies(Options& options)
{
    if (options.frequencies_file.empty()) return "";
    try {
        options.frequency_table = lightcurve::read_frequency_table(options.frequencies_file);
    } catch (const lightcurve::Error& e) {
        return "--frequencies: " + escape_controls(e.what());
    }
    return "";
}

}  // namespace

bool parse_size(const std::string& text, std::uint64_t& bytes)
{
    std::string number = text;
    std::string suffix;
    while (!number.empty() && std::isalpha(static_cast<unsigned char>(number.back()))) {
        suffix.insert(suffix.begin(), static_cast<char>(std::tolower(static_cast<unsigned char>(number.back()))));
        number.pop_back();
    }
    if (suffix == "b") suffix = "";
    if (suffix.size() >= 2 && suffix.back() == 'b') suffix.pop_back();
    if (suffix.size() == 2 && suffix.back() == 'i') suffix.pop_back();
    double scale = 1;
    if (suffix == "k") scale = 0x1p10;
    else if (suffix == "m") scale = 0x1p20;
    else if (suffix == "g") scale = 0x1p30;
    else if (suffix == "t") scale = 0x1p40;
    else if (!suffix.empty()) return false;
    double x = 0;
    if (!parse_number(number, x) || !(x >= 0)) return false;
    const double b = std::floor(x * scale);
    if (!(b < 0x1p64)) return false;
    bytes = static_cast<std::uint64_t>(b);
    return true;
}

bool extracts(const Options& options) { return !options.spectrum_only && !(options.track && options.frequency_table); }

bool tracks(const Options& options) { return options.track.has_value(); }

bool computes_spectrum(const Options& options) { return options.spectrum_only || extracts(options); }

const char* method_name(spectrum::Method method)
{
    return method == spectrum::Method::exact ? "exact" : "nufft";
}

const char* refine_name(extraction::Refine refine)
{
    switch (refine) {
    case extraction::Refine::all: return "all";
    case extraction::Refine::fresh: return "new";
    case extraction::Refine::none: return "none";
    }
    return "";
}

const char* select_name(extraction::Select select)
{
    return select == extraction::Select::height ? "height" : "snr";
}

const char* baseline_name(extraction::Baseline baseline)
{
    switch (baseline) {
    case extraction::Baseline::none: return "none";
    case extraction::Baseline::offset: return "offset";
    case extraction::Baseline::linear: return "linear";
    case extraction::Baseline::quadratic: return "quadratic";
    }
    return "";
}

const char* fit_name(extraction::FitMethod fit) { return fit == extraction::FitMethod::exact ? "exact" : "fast"; }

std::string help_text()
{
    Options options;
    return make_parser(options)->help();
}

std::string parse_words(const std::vector<std::string>& words, bool files_needed, Options& options)
{
    options = Options();
    const auto app = make_parser(options);
    std::vector<const char*> argv{program_name};
    for (const std::string& word : words) argv.push_back(word.c_str());
    try {
        app->parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {
        return "--help is for the command line";
    } catch (const CLI::CallForVersion&) {
        return "--version is for the command line";
    } catch (const CLI::ParseError& e) {
        return e.what();
    }
    std::string problem;
    if (files_needed) problem = usage_problem(options);
    else if (!options.files.empty()) problem = "no file is read here: the light curve is given";
    else problem = usage_problem_without_files(options);
    return problem.empty() ? read_frequencies(options) : problem;
}

CommandLine parse_command_line(int argc, const char* const argv[], std::ostream& out, std::ostream& err)
{
    CommandLine line;
    const auto app = make_parser(line.options);
    auto usage_error = [&](const std::string& message) {
        err << program_name << ": " << message << " (" << program_name << " --help lists the options)\n";
        line.status = 1;
        return line;
    };
    try {
        app->parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app->help();
        return line;
    } catch (const CLI::CallForVersion&) {
        out << app->version() << "\n";
        return line;
    } catch (const CLI::ParseError& e) {
        return usage_error(e.what());
    }
    std::string problem = usage_problem(line.options);
    if (problem.empty()) problem = read_frequencies(line.options);
    if (!problem.empty()) return usage_error(problem);
    line.run = true;
    return line;
}

}  // namespace prewhiten
