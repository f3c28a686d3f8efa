// The breakpoint file and the table of frequencies to start from.
#include "lightcurve/lists.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string_view>

#include "input.hpp"
#include "numerics/text.hpp"
#include "lightcurve/lightcurve.hpp"

namespace lightcurve {

namespace {

using detail::quoted;

// Far more than any list of times or frequencies: a larger file is another
// file given by mistake (a light curve), refused before it fills memory.
constexpr std::uint64_t largest_list = std::uint64_t{16} << 20;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The fields of a line: separated by a run of blanks, or by a comma with
// any blanks around it (two commas enclose an empty field).
std::vector<std::string_view> fields_of(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    const std::size_t n = line.size();
    auto skip_blanks = [&] {
        while (i < n && is_blank(line[i])) ++i;
    };
    skip_blanks();
    while (i < n) {
        const std::size_t start = i;
        while (i < n && !is_blank(line[i]) && line[i] != ',') ++i;
        fields.push_back(line.substr(start, i - start));
        skip_blanks();
        if (i < n && line[i] == ',') {
            ++i;
            skip_blanks();
            if (i == n) fields.emplace_back();
        }
    }
    return fields;
}

// A decimal number, whole (a leading + allowed); false for anything else.
bool parse_number(std::string_view text, double& x)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '+' || text.front() == '-') return false;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), x);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string lowercase(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The lines of a small file, numbered from 1, each without its line end.
class Lines {
public:
    explicit Lines(const std::string& file)
    {
        detail::Input input(file);
        name_ = input.name();
        text_ = input.read_all({largest_list, numerics::bytes_text(largest_list) + ", more than a list holds"});
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) at_ = 3;
    }

    const std::string& name() const { return name_; }
    long number() const { return number_; }
    std::string where() const { return name_ + ", line " + std::to_string(number_); }

    // The next line, false at the end.
    bool next(std::string_view& line)
    {
        if (at_ >= text_.size()) return false;
        const std::size_t feed = text_.find('\n', at_);
        const std::size_t end = feed == std::string::npos ? text_.size() : feed;
        line = std::string_view(text_).substr(at_, end - at_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at_ = end + 1;
        ++number_;
        return true;
    }

private:
    std::string name_, text_;
    std::size_t at_ = 0;
    long number_ = 0;
};

// A line's text after the blanks that begin it.
std::string_view trimmed(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && is_blank(line[i])) ++i;
    return line.substr(i);
}

bool is_comment(std::string_view line) { return !trimmed(line).empty() && trimmed(line).front() == '#'; }
bool is_blank_line(std::string_view line) { return trimmed(line).empty(); }

// The one number of a line of a list.
double single_number(const Lines& lines, std::string_view line, const char* what)
{
    const std::vector<std::string_view> fields = fields_of(line);
    if (fields.size() != 1)
        throw Error(lines.where() + ": " + std::to_string(fields.size()) + " fields, where one " + what +
                    " per line is read");
    double x = 0.0;
    if (!parse_number(fields.front(), x) || !std::isfinite(x))
        throw Error(lines.where() + ": " + quoted(fields.front()) + " is not a " + what);
    return x;
}

// The facts of a comment line "# key=value, key=value, ...": the value of
// `key`, if the line gives it.
std::optional<std::string_view> fact(std::string_view comment, std::string_view key)
{
    std::string_view text = trimmed(comment.substr(comment.find('#') + 1));
    for (;;) {
        const std::size_t comma = text.find(", ");
        const std::string_view item = text.substr(0, comma);
        const std::size_t equals = item.find('=');
        if (equals != std::string_view::npos && item.substr(0, equals) == key) return item.substr(equals + 1);
        if (comma == std::string_view::npos) return std::nullopt;
        text = text.substr(comma + 2);
    }
}

// The columns of a table with a header, by name.
struct Columns {
    long frequency = -1, amplitude = -1, phase = -1;
    long needed() const { return std::max({frequency, amplitude, phase}) + 1; }
};

Columns columns_named(const Lines& lines, const std::vector<std::string_view>& header)
{
    Columns c;
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string name = lowercase(header[i]);
        long* column = name == "frequency" ? &c.frequency : name == "amplitude" ? &c.amplitude
                                                          : name == "phase"     ? &c.phase
                                                                                : nullptr;
        if (column && *column < 0) *column = static_cast<long>(i);
    }
    if (c.frequency < 0)
        throw Error(lines.where() + ": the header names no column 'frequency' (a plain list has one number a line)");
    return c;
}

// The frequency, amplitude and phase of a row of a table with a header.
void table_row(const Lines& lines, std::string_view line, const Columns& columns, FrequencyTable& table)
{
    const std::vector<std::string_view> fields = fields_of(line);
    if (static_cast<long>(fields.size()) < columns.needed())
        throw Error(lines.where() + ": " + std::to_string(fields.size()) + " fields, fewer than the header's " +
                    std::to_string(columns.needed()));
    auto field = [&](long column) { return fields[static_cast<std::size_t>(column)]; };
    auto number = [&](long column, const char* what) {
        double x = 0.0;
        if (!parse_number(field(column), x) || !std::isfinite(x))
            throw Error(lines.where() + ": the " + what + " " + quoted(field(column)) + " is not a number");
        return x;
    };
    const double f = number(columns.frequency, "frequency");
    if (!(f > 0.0)) throw Error(lines.where() + ": the frequency " + quoted(field(columns.frequency)) + " is not above 0");
    table.frequencies.push_back(f);
    if (columns.amplitude >= 0) {
        const double a = number(columns.amplitude, "amplitude");
        if (!(a >= 0.0)) throw Error(lines.where() + ": the amplitude " + quoted(field(columns.amplitude)) + " is negative");
        table.amplitudes.push_back(a);
    }
    if (columns.phase >= 0) table.phases.push_back(number(columns.phase, "phase"));
}

// t_ref and the unit from a comment line of facts, the first that gives each.
void comment_facts(const Lines& lines, std::string_view line, FrequencyTable& table)
{
    if (!table.t_ref)
        if (const std::optional<std::string_view> t = fact(line, "t_ref")) {
            double x = 0.0;
            if (!parse_number(*t, x) || !std::isfinite(x))
                throw Error(lines.where() + ": t_ref " + quoted(*t) + " is not a number");
            table.t_ref = x;
        }
    if (table.unit.empty())
        if (const std::optional<std::string_view> u = fact(line, "unit")) table.unit = std::string(*u);
}

bool is_header(const std::vector<std::string_view>& fields)
{
    double x = 0.0;
    return std::any_of(fields.begin(), fields.end(), [&](std::string_view f) { return !parse_number(f, x); });
}

}  // namespace

std::vector<double> read_breakpoints(const std::string& file)
{
    Lines lines(file);
    std::vector<double> times;
    std::string_view line;
    while (lines.next(line))
        if (!is_comment(line) && !is_blank_line(line)) times.push_back(single_number(lines, line, "time"));
    return times;
}

FrequencyTable read_frequency_table(const std::string& file)
{
    Lines lines(file);
    FrequencyTable table;
    std::optional<Columns> columns;  // a table with a header, once its header is read
    bool first = true;
    std::string_view line;
    while (lines.next(line)) {
        if (is_comment(line)) {
            comment_facts(lines, line, table);
            continue;
        }
        if (is_blank_line(line)) continue;
        if (first && is_header(fields_of(line)))
            columns = columns_named(lines, fields_of(line));
        else if (columns)
            table_row(lines, line, *columns, table);
        else {
            const double f = single_number(lines, line, "frequency");
            if (!(f > 0.0)) throw Error(lines.where() + ": the frequency " + quoted(trimmed(line)) + " is not above 0");
            table.frequencies.push_back(f);
        }
        first = false;
    }
    if (table.frequencies.empty()) throw Error(lines.name() + ": no frequency in it");
    return table;
}

}  // namespace lightcurve
