// read_text: a light curve from a text table.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "columns.hpp"
#include "input.hpp"
#include "lightcurve/lightcurve.hpp"
#include "numerics/text.hpp"

namespace lightcurve {

namespace {

using detail::quoted;
using detail::Request;

constexpr double missing = std::numeric_limits<double>::quiet_NaN();

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Splits a line into fields: a run of blanks separates two fields, and so
// does a comma with any blanks around it; two commas enclose an empty field.
void split_fields(std::string_view line, std::vector<std::string_view>& fields)
{
    fields.clear();
    const std::size_t n = line.size();
    std::size_t i = 0;
    auto skip_blanks = [&] {
        while (i < n && is_blank(line[i])) ++i;
    };
    skip_blanks();
    if (i == n) return;
    for (;;) {
        const std::size_t start = i;
        while (i < n && !is_blank(line[i]) && line[i] != ',') ++i;
        fields.push_back(line.substr(start, i - start));
        skip_blanks();
        if (i == n) return;
        if (line[i] == ',') {
            ++i;
            skip_blanks();
            if (i == n) {
                fields.push_back({});
                return;
            }
        }
    }
}

bool whole(std::from_chars_result r, const char* end) { return r.ptr == end; }

// A decimal number as from_chars reads it, or with a Fortran exponent
// letter D; a leading + is allowed.  An empty field is a missing value
// (NaN).  A number beyond the range of a double reads as strtod reads it
// (infinite, or zero).
bool parse_number(std::string_view field, double& x)
{
    if (field.empty()) {
        x = missing;
        return true;
    }
    std::string_view s = field;
    if (s.front() == '+') {
        s.remove_prefix(1);
        if (s.empty() || s.front() == '+' || s.front() == '-') return false;
    }
    std::string copy;
    auto r = std::from_chars(s.data(), s.data() + s.size(), x);
    if (!whole(r, s.data() + s.size()) || r.ec == std::errc::invalid_argument) {
        const std::size_t d = s.find_first_of("dD");
        if (d == std::string_view::npos || d == 0) return false;
        copy.assign(s);
        copy[d] = 'e';
        s = copy;
        r = std::from_chars(s.data(), s.data() + s.size(), x);
        if (!whole(r, s.data() + s.size()) || r.ec == std::errc::invalid_argument) return false;
    }
    if (r.ec == std::errc::result_out_of_range) {
        copy.assign(s);
        x = std::strtod(copy.c_str(), nullptr);
    }
    return true;
}

std::vector<std::string> to_strings(const std::vector<std::string_view>& fields)
{
    return {fields.begin(), fields.end()};
}

std::vector<std::string> names_in(std::string_view line)
{
    std::vector<std::string_view> fields;
    split_fields(line, fields);
    return to_strings(fields);
}

// The text after the comment marks of a comment line.
std::string_view comment_text(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && (is_blank(line[i]) || line[i] == '#' || line[i] == '%')) ++i;
    return line.substr(i);
}

// The UTF-8 encoding of the byte-order mark U+FEFF, which some programs
// put at the start of a text file.
constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

// The lines of an input, split at line feeds as std::getline splits them
// (a last line without a line feed is a line; a line feed at the end adds
// no empty line), none longer than longest_line.
class LineReader {
public:
    explicit LineReader(detail::Input& input) : input_(input), buffer_(std::size_t{1} << 16) {}

    // The next line, without its line feed; false at the end.  A line too
    // long: Error naming the input and the line.
    bool next(std::string& line);
    // The number of the line last read, from 1.
    long number() const { return number_; }

private:
    detail::Input& input_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0, end_ = 0;  // the bytes of buffer_ not yet taken
    long number_ = 0;
};

bool LineReader::next(std::string& line)
{
    line.clear();
    bool any = false;
    for (;;) {
        if (begin_ == end_) {
            begin_ = 0;
            end_ = input_.read(buffer_.data(), buffer_.size());
            if (end_ == 0) {
                if (any) ++number_;
                return any;
            }
        }
        const char* start = buffer_.data() + begin_;
        const char* stop = buffer_.data() + end_;
        const char* feed = static_cast<const char*>(std::memchr(start, '\n', static_cast<std::size_t>(stop - start)));
        const char* end = feed ? feed : stop;
        if (line.size() + static_cast<std::size_t>(end - start) > longest_line)
            throw Error(input_.name() + ", line " + std::to_string(number_ + 1) + ": longer than " +
                        numerics::bytes_text(longest_line) + ", too long for a line of a light curve");
        line.append(start, end);
        any = true;
        begin_ = static_cast<std::size_t>(end - buffer_.data()) + (feed ? 1 : 0);
        if (feed) {
            ++number_;
            return true;
        }
    }
}

class TextReader {
public:
    TextReader(detail::Input& input, const Selection& selection, const Limits& limits)
        : input_(input),
          file_(input.name()),
          limits_(limits),
          time_(detail::parse_request(selection.time, file_)),
          value_(detail::parse_request(selection.value, file_)),
          error_(detail::parse_request(selection.error, file_))
    {
        if (time_.kind == Request::Kind::none || value_.kind == Request::Kind::none)
            throw Error(file_ + ": the time and the value columns cannot be none");
    }

    LightCurve read();

private:
    bool is_header(const std::vector<std::string_view>& fields) const;
    void choose_columns(const std::vector<std::string_view>& first_row);
    long resolve(const Request& request, const char* role, long default_index);
    void data_row(const std::vector<std::string_view>& fields);
    double field_value(const std::vector<std::string_view>& fields, long index, const char* role) const;
    void keep(double t, double x, double e);
    std::string where() const { return file_ + ", line " + std::to_string(line_number_); }

    detail::Input& input_;
    std::string file_;
    const Limits& limits_;
    Request time_, value_, error_;
    std::vector<std::string> names_;     // from the header line, or the last comment line
    bool header_ = false;
    long time_index_ = -1, value_index_ = -1, error_index_ = -1;
    std::size_t fields_needed_ = 0;
    long line_number_ = 0;
    LightCurve curve_;
    Source source_;
};

// The first line that is not a comment is a header when it names a column
// asked for by name, or when it has no number where the time or the value
// is read.
bool TextReader::is_header(const std::vector<std::string_view>& fields) const
{
    const std::vector<std::string> names = to_strings(fields);
    for (const Request* r : {&time_, &value_, &error_})
        if (r->kind == Request::Kind::name && detail::find_name(names, r->name, file_) >= 0) return true;
    std::vector<std::size_t> numbered;
    if (time_.kind != Request::Kind::name) numbered.push_back(time_.kind == Request::Kind::number ? time_.number : 1);
    if (value_.kind != Request::Kind::name)
        numbered.push_back(value_.kind == Request::Kind::number ? value_.number : 2);
    if (numbered.empty()) numbered.push_back(1);
    double x;
    for (std::size_t column : numbered)
        if (column > fields.size() || !parse_number(fields[column - 1], x)) return true;
    return false;
}

long TextReader::resolve(const Request& request, const char* role, long default_index)
{
    switch (request.kind) {
    case Request::Kind::unset:
        return default_index;
    case Request::Kind::none:
        return -1;
    case Request::Kind::number:
        return static_cast<long>(request.number) - 1;
    case Request::Kind::name:
        break;
    }
    const long index = detail::find_name(names_, request.name, file_);
    if (index >= 0) return index;
    if (names_.empty())
        throw Error(file_ + ": no column named " + request.name + " for the " + role +
                    " (no header line names the columns)");
    throw Error(file_ + ": no column named " + request.name + " for the " + role + " (the columns are " +
                detail::list_names(names_) + ")");
}

// Settles the columns at the first data row: the error column by default
// only when time and value are the defaults and that row has a number in
// its third field.
void TextReader::choose_columns(const std::vector<std::string_view>& first_row)
{
    time_index_ = resolve(time_, "time", 0);
    value_index_ = resolve(value_, "value", 1);
    long error_default = -1;
    double x;
    if (time_.kind == Request::Kind::unset && value_.kind == Request::Kind::unset && first_row.size() >= 3 &&
        !first_row[2].empty() && parse_number(first_row[2], x))
        error_default = 2;
    error_index_ = resolve(error_, "error", error_default);
    fields_needed_ = static_cast<std::size_t>(std::max({time_index_, value_index_, error_index_})) + 1;

    auto describe = [&](const Request& r, long index) {
        if (r.kind == Request::Kind::name) return names_[index];
        return "column " + std::to_string(index + 1);
    };
    source_.time_column = describe(time_, time_index_);
    source_.value_column = describe(value_, value_index_);
    if (error_index_ >= 0) source_.error_column = describe(error_, error_index_);
    curve_.has_errors = error_index_ >= 0;
}

double TextReader::field_value(const std::vector<std::string_view>& fields, long index, const char* role) const
{
    double x;
    if (!parse_number(fields[index], x))
        throw Error(where() + ": the " + role + " " + quoted(fields[index]) + " (column " + std::to_string(index + 1) +
                    ") is not a number");
    return x;
}

void TextReader::data_row(const std::vector<std::string_view>& fields)
{
    if (fields.size() < fields_needed_) {
        const char* role = "time";
        long column = time_index_;
        if (value_index_ > column) role = "value", column = value_index_;
        if (error_index_ > column) role = "error", column = error_index_;
        throw Error(where() + ": too few columns (" + std::to_string(fields.size()) + "; the " + role +
                    " is column " + std::to_string(column + 1) + ")");
    }
    const double t = field_value(fields, time_index_, "time");
    const double x = field_value(fields, value_index_, "value");
    const double e = error_index_ >= 0 ? field_value(fields, error_index_, "error") : 0.0;
    ++source_.rows;
    if (!std::isfinite(t)) {
        ++source_.dropped.time_not_finite;
    } else if (!std::isfinite(x)) {
        ++source_.dropped.value_not_finite;
    } else if (!std::isfinite(e)) {
        ++source_.dropped.error_not_finite;
    } else {
        keep(t, x, e);
    }
}

// Adds a usable row.  The arrays grow as push_back grows them, by doubling,
// and each growth is checked against the memory limit first.
void TextReader::keep(double t, double x, double e)
{
    if (curve_.times.size() == curve_.times.capacity()) {
        const std::uint64_t capacity = std::max<std::uint64_t>(1, 2 * std::uint64_t{curve_.times.capacity()});
        const std::uint64_t bytes = capacity * sizeof(double) * (error_index_ >= 0 ? 3 : 2);
        if (bytes > limits_.memory)
            throw Error(where() + ": the light curve read so far needs more than " + limits_.memory_name);
        curve_.times.reserve(capacity);
        curve_.values.reserve(capacity);
        if (error_index_ >= 0) curve_.errors.reserve(capacity);
    }
    curve_.times.push_back(t);
    curve_.values.push_back(x);
    if (error_index_ >= 0) curve_.errors.push_back(e);
}

LightCurve TextReader::read()
{
    LineReader lines(input_);
    source_.file = file_;
    source_.format = Format::text;
    std::string line;
    std::string last_comment;
    std::vector<std::string_view> fields;
    bool first_line = true;
    bool columns_chosen = false;
    while (lines.next(line)) {
        line_number_ = lines.number();
        if (line_number_ == 1 && line.starts_with(byte_order_mark)) line.erase(0, byte_order_mark.size());
        std::size_t start = 0;
        while (start < line.size() && is_blank(line[start])) ++start;
        if (start == line.size()) continue;
        if (line[start] == '#' || line[start] == '%') {
            if (first_line) last_comment = comment_text(line);
            continue;
        }
        split_fields(line, fields);
        if (first_line) {
            first_line = false;
            header_ = is_header(fields);
            if (header_) {
                names_ = to_strings(fields);
                continue;
            }
        }
        if (!columns_chosen) {
            if (!header_) names_ = names_in(last_comment);
            choose_columns(fields);
            columns_chosen = true;
        }
        data_row(fields);
    }
    if (!columns_chosen) {
        // No data row: names asked for must still be among the names the
        // file gives, if it gives any.
        if (!header_) names_ = names_in(last_comment);
        if (!names_.empty()) choose_columns({});
    }
    curve_.sources.push_back(source_);
    return std::move(curve_);
}

}  // namespace

namespace detail {

LightCurve read_text(Input& input, const Selection& selection, const Limits& limits)
{
    return TextReader(input, selection, limits).read();
}

}  // namespace detail

}  // namespace lightcurve
