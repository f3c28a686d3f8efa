// Output files of prewhiten: written whole or not at all, numbers in full.
#pragma once

#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "spectrum/spectrum.hpp"

namespace prewhiten {

// A file that could not be written; the message names it and says why.
class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The temporary files being written, removed if a signal stops the run.
// A name is registered while its file may exist; the handler of SIGINT,
// SIGTERM, SIGHUP and SIGQUIT unlinks every registered name (unlink is
// safe in a signal handler), then lets the signal end the process as it
// would have, so the exit status still tells the signal.  At most a few
// names are registered at once; a name beyond that, or longer than the
// slots hold, is simply not removed (it can never be mistaken for a
// result: its name ends in .tmp or .tmp.<type>).
class TemporaryName {
public:
    explicit TemporaryName(const std::filesystem::path& name);
    ~TemporaryName();
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;

private:
    int slot_ = -1;
};

// Installs the handlers that remove the registered temporary files; once
// per process, before the first star.
void remove_temporaries_on_signals();

// A file written whole or not at all: the text goes to a temporary file
// in the same folder (<name>.<process id>.tmp), which is renamed to the
// final name only when every byte is written and the file is closed.  An
// interrupted run leaves no file under the final name that looks whole;
// a failure removes the temporary file and throws WriteError.
class OutputFile {
public:
    explicit OutputFile(std::filesystem::path name);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view text);
    // Writes what is left, closes and renames.
    void commit();
    const std::filesystem::path& name() const { return name_; }

private:
    void flush();
    [[noreturn]] void fail(const char* doing, int error);

    std::filesystem::path name_;
    std::filesystem::path temporary_;
    TemporaryName registered_;
    int fd_ = -1;
    std::string buffer_;
};

// Appends the shortest text that reads back to the same double
// (std::to_chars): "0.1", "1e-10", "15.383003", "nan".
void append_number(std::string& text, double x);
std::string full_number(double x);

// The comment line that opens each CSV file: "# N=11117, T=27.71, ..."
using Facts = std::vector<std::pair<std::string, std::string>>;
std::string comment_line(const Facts& facts);

// A column of a spectrum file.
struct Column {
    std::string name;
    std::span<const double> values;  // one per grid frequency
};

// Writes a spectrum file: the comment line, the header "frequency,<names>",
// then one row per grid frequency.
void write_spectrum_csv(const std::filesystem::path& name, const Facts& facts, const spectrum::Grid& grid,
                        const std::vector<Column>& columns);

}  // namespace prewhiten
