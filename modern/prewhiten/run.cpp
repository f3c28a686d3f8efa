// The stars of a command line, one after another, each with all threads.
#include "run.hpp"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "batch.hpp"
#include "clashes.hpp"
#include "output.hpp"
#include "screen.hpp"
#include "star.hpp"
#include "star_files.hpp"

namespace prewhiten {

namespace fs = std::filesystem;

int run(const Options& options, plotting::Plotter& plot, std::ostream& out, std::ostream& err, bool progress)
{
    // The files of the command line are checked before anything is made.
    const InputFiles inputs = input_files(options);
    const std::vector<Star> all = stars_of(options);
    std::string problem = joined_twice(options);
    if (problem.empty()) problem = summary_clash(options, all, inputs);
    if (!problem.empty()) {
        err << program_name << ": " << escape_controls(problem) << " (" << program_name
            << " --help lists the options)\n";
        return 1;
    }

    // The breakpoints and the starting frequencies, once for every star.
    UserLists lists;
    try {
        lists = read_user_lists(options);
    } catch (const lightcurve::Error& e) {
        err << program_name << ": " << escape_controls(e.what()) << "\n";
        return 2;
    }

    std::error_code ec;
    fs::create_directories(options.output_folder, ec);
    if (!fs::is_directory(options.output_folder)) {
        err << program_name << ": " << escape_controls(options.output_folder)
            << ": cannot be used as the output folder (" << (ec ? ec.message() : "Not a directory") << ")\n";
        return 2;
    }
    remove_temporaries_on_signals();

    // The stars of this shard; the names are checked against the whole
    // list, so that two shards never write one star's files.
    std::vector<Star> stars;
    std::vector<std::string> clashes;
    std::map<std::string, std::string> stems;  // stem -> the star that has it
    for (std::size_t i = 0; i < all.size(); ++i) {
        std::string clash = stem_clash(all[i], stems);
        if (!in_shard(i, options.shard)) continue;
        if (clash.empty()) clash = input_clash(all[i], options, inputs);
        stars.push_back(all[i]);
        clashes.push_back(clash);
    }
    // In a batch of extractions each star has one line; a single star (and
    // each spectrum, whose account is short) its full account.
    const bool batch = stars.size() > 1 && !options.spectrum_only;
    std::ostream quiet(nullptr);

    int status = 0;
    for (std::size_t i = 0; i < stars.size(); ++i) {
        const Star& star = stars[i];
        const std::string position =
            batch ? "star " + std::to_string(i + 1) + " of " + std::to_string(stars.size()) + ": " : "";
        StarOutcome outcome;
        outcome.summary.file = star.name;
        outcome.message = clashes[i];
        if (outcome.message.empty() && options.resume) {
            const fs::path table = output_files(star, options).front();
            if (fs::exists(table)) {
                out << star.name << ": skipped, " << escape_controls(table.string()) << " is there (--resume)\n";
                continue;
            }
        }
        const auto start = std::chrono::steady_clock::now();
        if (outcome.message.empty())
            outcome =
                run_star(star, options, plot, batch ? quiet : out, progress ? &err : nullptr, position, lists);
        // Every row of a run with --track has the orbit's columns.
        outcome.summary.orbit_columns = tracks(options);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (outcome.done && batch) say_star(out, outcome, seconds);
        out.flush();
        if (!outcome.warning.empty()) err << program_name << ": " << escape_controls(outcome.warning) << "\n";
        if (!outcome.done) {
            err << program_name << ": " << escape_controls(outcome.message) << "\n";
            status = 2;
        }
        if (!options.summary.empty()) {
            try {
                append_summary(options.summary, outcome.summary);
            } catch (const WriteError& e) {
                err << program_name << ": " << escape_controls(e.what()) << "\n";
                status = 2;
            }
        }
    }
    return status;
}

int main_program(int argc, const char* const argv[], plotting::Plotter& plot, std::ostream& out, std::ostream& err,
                 bool progress)
{
    const CommandLine line = parse_command_line(argc, argv, out, err);
    int status = line.run ? run(line.options, plot, out, err, progress) : line.status;
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
