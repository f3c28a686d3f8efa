// Output files written to a temporary name and renamed when whole.
#include "prewhiten/output.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>

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
    char name[slot_size] = {};
};

Slot slots[temporary_slots];

extern "C" void remove_temporaries(int signal_number)
{
    for (Slot& slot : slots)
        if (slot.used) ::unlink(slot.name);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

std::filesystem::path temporary_name(const std::filesystem::path& name)
{
    std::filesystem::path temporary = name;
    temporary += '.';
    temporary += std::to_string(getpid());
    temporary += ".tmp";
    return temporary;
}

}  // namespace

TemporaryName::TemporaryName(const std::filesystem::path& name)
{
    const std::string& text = name.native();
    if (text.size() >= slot_size) return;
    for (int i = 0; i < temporary_slots; ++i) {
        if (slots[i].used) continue;
        std::memcpy(slots[i].name, text.c_str(), text.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        slots[i].used = 1;
        slot_ = i;
        return;
    }
}

TemporaryName::~TemporaryName()
{
    if (slot_ >= 0) slots[slot_].used = 0;
}

void remove_temporaries_on_signals()
{
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction action {};
        action.sa_handler = remove_temporaries;
        sigemptyset(&action.sa_mask);
        // A signal the process was started ignoring (nohup) stays ignored.
        struct sigaction previous {};
        if (::sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        ::sigaction(signal_number, &action, nullptr);
    }
}

OutputFile::OutputFile(std::filesystem::path name)
    : name_(std::move(name)), temporary_(temporary_name(name_)), registered_(temporary_)
{
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        const int error = errno;
        throw WriteError(name_.string() + ": cannot be created (" + std::strerror(error) + ")");
    }
    buffer_.reserve(buffer_size + 4096);
}

OutputFile::~OutputFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.c_str());
    }
}

void OutputFile::fail(const char* doing, int error)
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ::unlink(temporary_.c_str());
    throw WriteError(name_.string() + ": " + doing + " (" + std::strerror(error) + ")");
}

void OutputFile::write(std::string_view text)
{
    buffer_.append(text);
    if (buffer_.size() >= buffer_size) flush();
}

void OutputFile::flush()
{
    const char* p = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("cannot be written", errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

void OutputFile::commit()
{
    flush();
    const int closed = ::close(fd_);
    const int close_error = errno;
    fd_ = -1;
    if (closed != 0) {
        ::unlink(temporary_.c_str());
        throw WriteError(name_.string() + ": cannot be written (" + std::strerror(close_error) + ")");
    }
    if (std::rename(temporary_.c_str(), name_.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary_.c_str());
        throw WriteError(name_.string() + ": cannot be written (" + std::strerror(error) + ")");
    }
}

void append_number(std::string& text, double x)
{
    char digits[32];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, x);
    text.append(digits, end);
}

std::string full_number(double x)
{
    std::string text;
    append_number(text, x);
    return text;
}

std::string comment_line(const Facts& facts)
{
    std::string line = "#";
    for (std::size_t i = 0; i < facts.size(); ++i)
        line += (i == 0 ? " " : ", ") + facts[i].first + "=" + facts[i].second;
    return line + "\n";
}

void write_spectrum_csv(const std::filesystem::path& name, const Facts& facts, const spectrum::Grid& grid,
                        const std::vector<Column>& columns)
{
    OutputFile file(name);
    std::string text = comment_line(facts) + "frequency";
    for (const Column& c : columns) text += "," + c.name;
    text += "\n";
    file.write(text);
    std::string row;
    for (std::size_t j = 0; j < grid.count; ++j) {
        row.clear();
        append_number(row, grid.frequency(j));
        for (const Column& c : columns) {
            row += ',';
            append_number(row, c.values[j]);
        }
        row += '\n';
        file.write(row);
    }
    file.commit();
}

}  // namespace prewhiten
