// The shard of a list and the summary file.
#include "prewhiten/batch.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <vector>

#include "prewhiten/output.hpp"

namespace prewhiten {

namespace {

bool whole_number(std::string_view text, std::size_t& value)
{
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// A text field of a CSV line, quoted when it must be.
std::string field(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// Writes all of the text; false with errno set when it cannot.
bool write_all(int fd, const std::string& text)
{
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool parse_shard(const std::string& text, Shard& shard)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    Shard s;
    if (!whole_number(std::string_view(text).substr(0, slash), s.index) ||
        !whole_number(std::string_view(text).substr(slash + 1), s.count))
        return false;
    if (s.index < 1 || s.index > s.count) return false;
    shard = s;
    return true;
}

std::string summary_line(const SummaryRow& row)
{
    std::vector<std::string> fields = {field(row.file), "", "", "", "", "", "", ""};
    if (row.analysed) {
        fields[1] = std::to_string(row.n);
        fields[2] = full_number(row.span);
        fields[3] = std::to_string(row.frequencies);
        if (row.frequencies > 0) fields[4] = full_number(row.f1), fields[5] = full_number(row.a1);
        fields[6] = field(row.unit);
        fields[7] = field(row.stop);
    }
    fields.push_back(row.done ? "done" : "failed");
    fields.push_back(field(row.message));
    std::string line;
    for (const std::string& f : fields) {
        line += f;
        line += ',';
    }
    line.back() = '\n';
    return line;
}

void append_summary(const std::filesystem::path& file, const SummaryRow& row)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        throw WriteError(file.string() + ": cannot be written (" + std::strerror(error) + ")");
    }
    struct stat status {};
    bool written = ::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &status) == 0;
    if (written) {
        const std::string text = (status.st_size == 0 ? std::string(summary_header) : std::string()) +
                                 summary_line(row);
        written = write_all(fd, text);
    }
    const int error = errno;
    const bool closed = ::close(fd) == 0;  // the lock goes with it
    if (!written || !closed)
        throw WriteError(file.string() + ": cannot be written (" + std::strerror(written ? errno : error) + ")");
}

}  // namespace prewhiten
