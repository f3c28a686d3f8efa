// Output files written in a private folder beside them and renamed when whole.
#include "output.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>

#include "numerics/parallel.hpp"

namespace prewhiten {

namespace {

// Text is handed to the system in pieces of about this size.
constexpr std::size_t buffer_size = 1 << 20;

// The registered temporary names: fixed slots, so that the signal
// handler reads nothing that is being allocated or freed.
constexpr int temporary_slots = 8;
constexpr std::size_t slot_size = 4096;

struct Slot {
    volatile std::sig_atomic_t used = 0;
    volatile std::sig_atomic_t folder = 0;
    char name[slot_size] = {};
};

Slot slots[temporary_slots];

// The signals whose handler removes the temporaries.
constexpr int removing_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The files first, then the folders they may be in.
extern "C" void remove_temporaries(int signal_number)
{
    for (Slot& slot : slots)
        if (slot.used && !slot.folder) ::unlink(slot.name);
    for (Slot& slot : slots)
        if (slot.used && slot.folder) ::rmdir(slot.name);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// Letters for the random part of a temporary name: 62^8, about 2^47 names.
std::string random_letters(std::size_t count)
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device source;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += letters[pick(source)];
    return text;
}

// Makes the private folder of `name` exclusively: <name>.<random>.tmp,
// mode 0700, never one that exists (mkdir follows no link: a name taken,
// by anything, is tried again with other letters), and registers it.
// Returns false with errno set when it cannot.
bool make_private_folder(const std::filesystem::path& name, std::filesystem::path& folder, TemporaryName& registered)
{
    constexpr int tries = 100;
    for (int i = 0; i < tries; ++i) {
        folder = name;
        folder += '.' + random_letters(8) + ".tmp";
        const SignalsHeld held;
        if (::mkdir(folder.c_str(), 0700) == 0) {
            registered.hold(folder, TemporaryName::Kind::folder);
            return true;
        }
        if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
}

[[noreturn]] void throw_write_error(const std::filesystem::path& name, const char* doing, int error)
{
    throw WriteError(name.string() + ": " + doing + " (" + std::strerror(error) + ")");
}

}  // namespace

TemporaryName::~TemporaryName() { release(); }

void TemporaryName::release()
{
    if (slot_ >= 0) slots[slot_].used = 0;
    slot_ = -1;
}

void TemporaryName::hold(const std::filesystem::path& name, Kind kind)
{
    if (slot_ >= 0) {
        slots[slot_].used = 0;
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
    const std::string& text = name.native();
    if (text.size() >= slot_size) return;
    for (int i = 0; i < temporary_slots; ++i) {
        if (slots[i].used && i != slot_) continue;
        std::memcpy(slots[i].name, text.c_str(), text.size() + 1);
        slots[i].folder = kind == Kind::folder;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        slots[i].used = 1;
        slot_ = i;
        return;
    }
    slot_ = -1;
}

void remove_temporaries_on_signals()
{
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int signal_number : removing_signals) {
        struct sigaction action {};
        action.sa_handler = remove_temporaries;
        sigemptyset(&action.sa_mask);
        // A signal the process was started ignoring (nohup) stays ignored.
        struct sigaction previous {};
        if (::sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        ::sigaction(signal_number, &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
}

SignalsHeld::SignalsHeld()
{
    sigset_t held;
    sigemptyset(&held);
    for (int signal_number : removing_signals) sigaddset(&held, signal_number);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

SignalsHeld::~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

WholeFile::WholeFile(std::filesystem::path name) : name_(std::move(name))
{
    if (!make_private_folder(name_, folder_, folder_registered_)) throw_write_error(name_, "cannot be created", errno);
    file_ = folder_ / name_.filename();
    file_registered_.hold(file_);
}

WholeFile::~WholeFile() { discard(); }

void WholeFile::discard()
{
    if (folder_.empty()) return;
    // Whatever is left in the folder goes with it.
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    file_registered_.release();
    folder_registered_.release();
    folder_.clear();
}

void WholeFile::commit()
{
    const int renamed = std::rename(file_.c_str(), name_.c_str());
    const int error = errno;
    discard();
    if (renamed != 0) throw_write_error(name_, "cannot be written", error);
}

WriteOutcome write_all(int fd, std::string_view text)
{
    WriteOutcome outcome;
    while (outcome.bytes < text.size()) {
        const ssize_t n = ::write(fd, text.data() + outcome.bytes, text.size() - outcome.bytes);
        if (n < 0) {
            if (errno == EINTR) continue;
            outcome.error = errno;
            break;
        }
        outcome.bytes += static_cast<std::size_t>(n);
    }
    return outcome;
}

OutputFile::OutputFile(std::filesystem::path name) : whole_(std::move(name))
{
    fd_ = ::open(whole_.path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0) throw_write_error(whole_.name(), "cannot be created", errno);
    buffer_.reserve(buffer_size + 4096);
}

OutputFile::~OutputFile()
{
    if (fd_ >= 0) ::close(fd_);
}

void OutputFile::fail(const char* doing, int error)
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    whole_.discard();
    throw_write_error(whole_.name(), doing, error);
}

void OutputFile::write(std::string_view text)
{
    buffer_.append(text);
    if (buffer_.size() >= buffer_size) flush();
}

void OutputFile::flush()
{
    const WriteOutcome written = write_all(fd_, buffer_);
    if (written.error != 0) fail("cannot be written", written.error);
    buffer_.clear();
}

void OutputFile::commit()
{
    flush();
    const int closed = ::close(fd_);
    const int close_error = errno;
    fd_ = -1;
    if (closed != 0) fail("cannot be written", close_error);
    whole_.commit();
}

std::string escape_controls(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 32 && byte != 127) {
            out += c;
            continue;
        }
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        }
        }
    }
    return out;
}

std::string comment_line(const Facts& facts)
{
    std::string line = "#";
    for (std::size_t i = 0; i < facts.size(); ++i)
        line += (i == 0 ? " " : ", ") + escape_controls(facts[i].first) + "=" + escape_controls(facts[i].second);
    return line + "\n";
}

void write_spectrum_csv(const std::filesystem::path& name, const Facts& facts, const spectrum::Grid& grid,
                        const std::vector<Column>& columns, int threads)
{
    OutputFile file(name);
    std::string text = comment_line(facts) + "frequency";
    for (const Column& c : columns) text += "," + c.name;
    text += "\n";
    file.write(text);
    // Millions of rows: their text is made a batch of blocks at a time on
    // the threads and written in order.
    constexpr std::size_t rows_per_block = 16384, blocks_per_batch = 16;
    std::vector<std::string> blocks(blocks_per_batch);
    for (std::size_t first = 0; first < grid.count; first += rows_per_block * blocks_per_batch) {
        const std::size_t count = std::min(blocks_per_batch, (grid.count - first + rows_per_block - 1) / rows_per_block);
        numerics::for_each_block(count, threads, [&](std::size_t b) {
            std::string& out = blocks[b];
            out.clear();
            const std::size_t j0 = first + b * rows_per_block, j1 = std::min(grid.count, j0 + rows_per_block);
            for (std::size_t j = j0; j < j1; ++j) {
                numerics::append_number(out, grid.frequency(j));
                for (const Column& c : columns) {
                    out += ',';
                    numerics::append_number(out, c.values[j]);
                }
                out += '\n';
            }
        });
        for (std::size_t b = 0; b < count; ++b) file.write(blocks[b]);
    }
    file.commit();
}

}  // namespace prewhiten
