// Output files of prewhiten: written whole or not at all, numbers in full.
#pragma once

#include <signal.h>

#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "numerics/text.hpp"
#include "spectrum/spectrum.hpp"

namespace prewhiten {

// A file that could not be written; the message names it and says why.
class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The temporary files and folders being written, removed if a signal
// stops the run.  A name is registered while what it names may exist; the
// handler of SIGINT, SIGTERM, SIGHUP and SIGQUIT unlinks every registered
// file, then removes every registered folder (unlink and rmdir are safe in
// a signal handler), then lets the signal end the process as it would
// have, so the exit status still tells the signal.  At most a few names are
// registered at once; a name beyond that, or longer than the slots hold, is
// simply not removed (it can never be mistaken for a result: it is in a
// folder whose name ends in .tmp).
class TemporaryName {
public:
    enum class Kind { file, folder };
    TemporaryName() = default;
    ~TemporaryName();
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;

    // Registers the name (replacing the one held before).
    void hold(const std::filesystem::path& name, Kind kind = Kind::file);
    // Forgets the name: it is gone.
    void release();

private:
    int slot_ = -1;
};

// Installs the handlers that remove the registered temporary files; once
// per process, before the first star.  It also makes a write beyond the
// file-size limit (ulimit -f) fail with EFBIG, reported for its file,
// instead of ending the process by SIGXFSZ with a file half written.
void remove_temporaries_on_signals();

// The signals that remove temporaries, held back while a temporary is
// made and registered, so that none arrives between the two and leaves
// it behind.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous_;
};

// A file written whole or not at all, the one way every file of a star is
// written: it is written inside a folder of this run's own beside its final
// name (<name>.<random>.tmp/, made by mkdir with mode 0700 under a name
// nobody can guess, so nothing planted in a shared folder is ever
// followed, and nobody else can put anything in it), and renamed to the
// final name only when whole; the rename replaces whatever entry has the
// final name (a link there included) without following it.  The folder and
// the file in it are registered for removal on a signal, and removed with
// whatever is left in them when the WholeFile goes: an interrupted run
// leaves no file under the final name that looks whole.
class WholeFile {
public:
    // Throws WriteError (naming `name`) when the folder cannot be made.
    explicit WholeFile(std::filesystem::path name);
    ~WholeFile();
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    // Where the file is written: inside the folder, with the final name's
    // file name (a library that opens files by name writes it there).
    const std::filesystem::path& path() const { return file_; }
    const std::filesystem::path& name() const { return name_; }
    // Renames the file to the final name, and removes the folder; throws
    // WriteError when it cannot, with the folder and the file removed.
    void commit();
    // Removes the folder and whatever is in it, now.
    void discard();

private:
    std::filesystem::path name_;
    std::filesystem::path folder_;
    std::filesystem::path file_;
    TemporaryName folder_registered_;
    TemporaryName file_registered_;
};

// The result of writing all of a text: the bytes written and, when not all
// were, the system's error number (0 for none).
struct WriteOutcome {
    std::size_t bytes = 0;
    int error = 0;
};

// write_all: the text written to the descriptor, write after write (a
// write interrupted by a signal is tried again), until all of it is
// written or a write fails.
WriteOutcome write_all(int fd, std::string_view text);

// A text file written whole (through a WholeFile): the text is gathered in
// pieces, written to the file inside the private folder, and the file
// renamed into place by commit() when every byte is written and the file
// is closed.  A failure removes what was written and throws WriteError.
class OutputFile {
public:
    explicit OutputFile(std::filesystem::path name);
    ~OutputFile();

    void write(std::string_view text);
    // Writes what is left, closes and renames.
    void commit();
    const std::filesystem::path& name() const { return whole_.name(); }

private:
    void flush();
    [[noreturn]] void fail(const char* doing, int error);

    WholeFile whole_;
    int fd_ = -1;
    std::string buffer_;
};

// A name (or a message holding one) as it is written into a file: every
// control character (bytes below 32 and 127) replaced by its C escape
// (\n, \t, \r, or \xHH).  Escaped rather than dropped, so that the
// reader still sees which name it was; backslashes are left alone, so a
// name without control characters is written as it is, and escaping twice
// changes nothing.  A name in a file is for the reader, not for reading
// back, so the escape need not be reversible.
std::string escape_controls(std::string_view text);

// The comment line that opens each CSV file: "# N=11117, T=27.71, ...";
// control characters in a value escaped, so that it stays one line.
using Facts = std::vector<std::pair<std::string, std::string>>;
std::string comment_line(const Facts& facts);

// A column of a spectrum file.
struct Column {
    std::string name;
    std::span<const double> values;  // one per grid frequency
};

// Writes a spectrum file: the comment line, the header "frequency,<names>",
// then one row per grid frequency, its text made on at most `threads`
// threads (the same file on any number).
void write_spectrum_csv(const std::filesystem::path& name, const Facts& facts, const spectrum::Grid& grid,
                        const std::vector<Column>& columns, int threads = 1);

}  // namespace prewhiten
