#include "common/freeformat.hpp"

#include "edit.hpp"
#include "numbers.hpp"

namespace common {
namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ','; }

// A quoted text: a doubled quote stands for one; a text left open runs to
// the end of the line.
std::string quoted_text(const std::string& line, std::size_t& pos)
{
    char q = line[pos++];
    std::string text;
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == q) {
            if (pos < line.size() && line[pos] == q) {
                text += q;
                ++pos;
                continue;
            }
            break;
        }
        text += c;
    }
    return text;
}

bool store(const Target& t, std::string_view token)
{
    switch (t.kind()) {
    case Target::Kind::integer: return parse_integer(token, t.integer());
    case Target::Kind::real: return parse_real(token, t.real(), false);
    case Target::Kind::single: return parse_single(token, t.single(), false);
    case Target::Kind::text: t.text().assign(token); return true;
    }
    return false;
}

}  // namespace

ReadResult free_read(std::span<const Target> targets, LineSource& source, Lines lines)
{
    std::string line;
    if (!source.next_line(line)) return {ReadOutcome::end_of_file, 0};
    std::size_t pos = 0;
    for (std::size_t next = 0; next < targets.size();) {
        while (pos < line.size() && is_separator(line[pos])) ++pos;
        if (pos >= line.size()) {
            // A record is never completed from the next line: its values
            // would shift by one, and every later time read as a value.
            if (lines == Lines::whole && next > 0) return {ReadOutcome::bad_value, next, true};
            if (!source.next_line(line)) return {ReadOutcome::end_of_file, next};
            pos = 0;
            continue;
        }
        const Target& t = targets[next];
        if (t.kind() == Target::Kind::text && (line[pos] == '\'' || line[pos] == '"')) {
            t.text().assign(quoted_text(line, pos));
        } else {
            std::size_t start = pos;
            while (pos < line.size() && !is_separator(line[pos])) ++pos;
            if (!store(t, std::string_view(line).substr(start, pos - start))) return {ReadOutcome::bad_value, next};
        }
        ++next;
    }
    return {};
}

void free_write(std::span<const Value> values, std::string& out)
{
    if (values.size() == 0) {
        out += '\n';
        return;
    }
    std::string line = " ";
    std::string piece;
    for (const Value& v : values) {
        if (v.kind() == Value::Kind::text) {
            piece.assign(v.text());
        } else {
            piece.assign(1, ' ');
            if (v.kind() == Value::Kind::integer) piece += std::to_string(v.integer());
            else if (v.kind() == Value::Kind::real) piece += shortest_real(v.real());
            else piece += shortest_single(static_cast<float>(v.real()));
        }
        // A value that would reach column 80 begins a new line, unless the
        // line holds nothing yet but its leading blank.
        if (line.size() > 1 && line.size() + piece.size() >= 80) {
            out += line;
            out += '\n';
            line.assign(1, ' ');
        }
        line += piece;
    }
    out += line;
    out += '\n';
}

}  // namespace common
