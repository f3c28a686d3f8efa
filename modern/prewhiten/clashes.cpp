// The clash checks of a run's files.
#include "clashes.hpp"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "star_files.hpp"

namespace prewhiten {

namespace fs = std::filesystem;

namespace {

// The input file that `file` is, or nullptr.
const std::string* input_named(const fs::path& file, const InputFiles& inputs)
{
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) return nullptr;
    const auto found = inputs.find({status.st_dev, status.st_ino});
    return found == inputs.end() ? nullptr : &found->second;
}

// A file's folder made absolute with its links resolved, and its name: two
// names of one place give the same path, also for files not made yet.
fs::path place_of(const fs::path& file)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec);
    const fs::path folder = fs::weakly_canonical(absolute.parent_path(), ec);
    return (ec ? absolute.parent_path() : folder) / absolute.filename();
}

}  // namespace

InputFiles input_files(const Options& options)
{
    InputFiles inputs;
    for (const std::string& input : options.files) {
        struct stat status {};
        if (::stat(input.c_str(), &status) == 0) inputs.emplace(FileIdentity{status.st_dev, status.st_ino}, input);
    }
    // The table of --frequencies is an input too: no result replaces it.
    struct stat status {};
    if (!options.frequencies_file.empty() && options.frequencies_file != lightcurve::standard_input &&
        ::stat(options.frequencies_file.c_str(), &status) == 0)
        inputs.emplace(FileIdentity{status.st_dev, status.st_ino}, options.frequencies_file);
    return inputs;
}

std::string stem_clash(const Star& star, std::map<std::string, std::string>& stems)
{
    const auto [other, fresh] = stems.emplace(star.stem, star.name);
    if (fresh) return "";
    return star.name + ": its results would replace those of " + other->second + " (both are named " + star.stem +
           "); not done";
}

std::string input_clash(const Star& star, const Options& options, const InputFiles& inputs)
{
    for (const fs::path& file : output_files(star, options))
        if (const std::string* input = input_named(file, inputs))
            return star.name + ": its results would replace the input file " + *input + "; not done";
    return "";
}

std::string joined_twice(const Options& options)
{
    if (!options.join) return "";
    std::map<FileIdentity, std::string> seen;
    for (const std::string& file : options.files) {
        struct stat status {};
        if (::stat(file.c_str(), &status) != 0) continue;  // the reading names it
        const auto [other, fresh] = seen.emplace(FileIdentity{status.st_dev, status.st_ino}, file);
        if (!fresh) return "--join: " + other->second + " and " + file + " are the same file";
    }
    return "";
}

std::string summary_clash(const Options& options, const std::vector<Star>& stars, const InputFiles& inputs)
{
    if (options.summary.empty()) return "";
    const std::string named = "--summary " + options.summary;
    struct stat status {};
    if (::lstat(options.summary.c_str(), &status) == 0) {
        if (S_ISLNK(status.st_mode)) return named + ": is a symbolic link, not followed";
        if (!S_ISREG(status.st_mode)) return named + ": is not a regular file";
        std::ifstream in(options.summary);
        std::string first;
        std::getline(in, first);
        if (const std::string clash = summary_layout_clash(first, tracks(options)); !clash.empty())
            return named + ": " + clash;
    }
    if (const std::string* input = input_named(options.summary, inputs))
        return named + ": would append to the light curve " + *input;
    const fs::path summary = place_of(options.summary);
    for (const std::string& input : options.files)
        if (fs::path(input).filename() == summary.filename() && place_of(input) == summary)
            return named + ": would append to the light curve " + input;
    // Every kind of result file, whatever this run writes: a table of an
    // earlier run with other options is trusted by --resume just the same.
    if (summary.parent_path() != place_of(fs::path(options.output_folder) / "x").parent_path()) return "";
    const std::string name = summary.filename().string();
    for (const Star& star : stars)
        for (const ResultFile& file : result_files())
            if (name == star.stem + file.suffix) return named + ": would append to a result file of " + star.name;
    return "";
}

}  // namespace prewhiten
