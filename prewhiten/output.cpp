// Output files written to a temporary name and renamed when whole.
#include "prewhiten/output.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace prewhiten {

namespace {

// Text is handed to the system in pieces of about this size.
constexpr std::size_t buffer_size = 1 << 20;

}  // namespace

OutputFile::OutputFile(std::filesystem::path name) : name_(std::move(name))
{
    temporary_ = name_;
    temporary_ += '.';
    temporary_ += std::to_string(getpid());
    temporary_ += ".tmp";
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
