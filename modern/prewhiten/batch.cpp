// The shard of a list and the summary file.
#include "batch.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <vector>

#include "output.hpp"

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

const char* summary_header_for(bool orbit_columns)
{
    return orbit_columns ? summary_header_with_orbit : summary_header;
}

std::string summary_layout_clash(const std::string& first_line, bool orbit_columns)
{
    const std::string other = summary_header_for(!orbit_columns);
    if (first_line + "\n" != other) return "";
    return orbit_columns ? "holds rows without the orbit's columns (a run without --track); rows with them "
                           "would not match its header"
                         : "holds rows with the orbit's columns (a run with --track); rows without them "
                           "would not match its header";
}

std::string summary_line(const SummaryRow& row)
{
    // A control character in a name would break the row: escaped.
    std::vector<std::string> fields = {field(escape_controls(row.file)), "", "", "", "", "", "", ""};
    if (row.analysed) {
        fields[1] = std::to_string(row.n);
        fields[2] = numerics::full_number(row.span);
        fields[3] = std::to_string(row.frequencies);
        if (row.frequencies > 0) fields[4] = numerics::full_number(row.f1), fields[5] = numerics::full_number(row.a1);
        fields[6] = field(row.unit);
        fields[7] = field(row.stop);
    }
    fields.push_back(row.done ? "done" : "failed");
    fields.push_back(field(escape_controls(row.message)));
    if (row.orbit_columns) {
        fields.insert(fields.end(), {"", "", "", ""});
        const std::size_t at = fields.size() - 4;
        if (row.tracked) fields[at] = row.orbit ? "yes" : "no";
        if (row.tracked && row.orbit) {
            fields[at + 1] = numerics::full_number(row.orbit_period);
            fields[at + 2] = numerics::full_number(row.orbit_asini);
            fields[at + 3] = numerics::full_number(row.orbit_e);
        }
    }
    std::string line;
    for (const std::string& f : fields) {
        line += f;
        line += ',';
    }
    line.back() = '\n';
    return line;
}

namespace {

// The summary file, opened for appending (and reading its last byte):
// never through a symbolic link, and only a regular file (a row can be
// taken back only from a file that can be cut; a FIFO would hang the run).
int open_summary(const std::filesystem::path& file)
{
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP) throw WriteError(file.string() + ": is a symbolic link, not followed");
        if (error == ENXIO) throw WriteError(file.string() + ": is not a regular file");
        throw WriteError(file.string() + ": cannot be written (" + std::strerror(error) + ")");
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw WriteError(file.string() + ": is not a regular file");
    }
    return fd;
}

// Whether the file's last byte ends a line (an empty file does).
bool ends_with_line_end(int fd, off_t length)
{
    char last = '\n';
    return length == 0 || ::pread(fd, &last, 1, length - 1) != 1 || last == '\n';
}

// The first line of the file (without its line end), as far as the longest
// header reaches.
std::string first_line(int fd)
{
    char text[256];
    const ssize_t got = ::pread(fd, text, sizeof text, 0);
    if (got <= 0) return "";
    const std::string head(text, static_cast<std::size_t>(got));
    return head.substr(0, head.find('\n'));
}

// Appends the row under the lock: the file's length noted, the text
// written, and on any failure (a full disc, the file-size
// limit) the file cut back to that length: a row is there whole or not at
// all.  Empty when done, else why not.
std::string append_row(int fd, const SummaryRow& row)
{
    struct stat status {};
    if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &status) != 0) return std::strerror(errno);
    const off_t length = status.st_size;
    // A file another call began with the other layout since this run
    // checked it: its rows are not mixed with this run's.
    if (const std::string clash = summary_layout_clash(first_line(fd), row.orbit_columns); !clash.empty())
        return clash;
    std::string text = length == 0 ? std::string(summary_header_for(row.orbit_columns)) : std::string();
    // A row left cut by an older program or a killed one is closed first,
    // so that this row is not glued onto it.
    if (!ends_with_line_end(fd, length)) text += '\n';
    text += summary_line(row);
    const WriteOutcome written = write_all(fd, text);
    if (written.bytes == text.size()) return "";
    const std::string why = written.bytes == 0 ? std::strerror(written.error)
                                               : "only " + std::to_string(written.bytes) + " of the row's " +
                                                     std::to_string(text.size()) + " bytes could be written";
    if (::ftruncate(fd, length) != 0) return why + "; the part written could not be taken back";
    return why;
}

}  // namespace

void append_summary(const std::filesystem::path& file, const SummaryRow& row)
{
    const int fd = open_summary(file);
    const std::string failure = append_row(fd, row);
    const int close_error = ::close(fd) == 0 ? 0 : errno;  // the lock goes with it
    if (!failure.empty()) throw WriteError(file.string() + ": cannot be written (" + failure + ")");
    if (close_error != 0) throw WriteError(file.string() + ": cannot be written (" + std::strerror(close_error) + ")");
}

}  // namespace prewhiten
