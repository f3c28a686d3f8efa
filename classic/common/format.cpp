#include "common/format.hpp"

#include <unordered_map>

#include "edit.hpp"
#include "numbers.hpp"

namespace common {
namespace {

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Recursive-descent parser over the format text; blanks outside quoted
// texts carry no meaning, commas between items are optional.
class Parser {
public:
    explicit Parser(std::string_view s) : s_(s) {}

    Format parse()
    {
        skip_blanks();
        expect('(');
        Format f;
        f.items = list();
        expect(')');
        skip_blanks();
        if (pos_ != s_.size()) fail("text after the closing parenthesis");
        for (const FormatItem& item : f.items)
            if (item.is_data()) f.has_data = true;
        return f;
    }

private:
    std::vector<FormatItem> list()
    {
        std::vector<FormatItem> items;
        for (;;) {
            skip_blanks();
            if (pos_ >= s_.size()) fail("missing closing parenthesis");
            char c = s_[pos_];
            if (c == ')') return items;
            if (c == ',') {
                ++pos_;
                continue;
            }
            item(items);
        }
    }

    void item(std::vector<FormatItem>& items)
    {
        int repeat = -1;
        if (is_digit(s_[pos_])) repeat = number();
        skip_blanks();
        if (pos_ >= s_.size()) fail("format ends inside an item");
        char c = upper(s_[pos_]);
        if (c == '\'' || c == '"') {
            if (repeat >= 0) fail("repeat count before a quoted text");
            items.push_back({FormatItem::Kind::literal, 0, 0, false, quoted()});
            return;
        }
        ++pos_;
        int count = repeat < 0 ? 1 : repeat;
        if (count > 10000) fail("repeat count too large");
        switch (c) {
        case 'H': {
            if (repeat <= 0) fail("H without a length");
            if (pos_ + repeat > s_.size()) fail("H text runs past the end");
            items.push_back({FormatItem::Kind::literal, 0, 0, false, std::string(s_.substr(pos_, repeat))});
            pos_ += repeat;
            return;
        }
        case 'X':
            if (repeat == 0) fail("0X");
            if (count > 1000) fail("X wider than 1000 characters");
            items.push_back({FormatItem::Kind::skip, count, 0, false, {}});
            return;
        case '/':
            add(items, count, {FormatItem::Kind::slash, 0, 0, false, {}});
            return;
        case '(': {
            if (++depth_ > 20) fail("groups nested too deep");
            std::vector<FormatItem> group = list();
            --depth_;
            expect(')');
            if (items.size() + group.size() * static_cast<std::size_t>(count) > max_items) fail("format too long");
            for (int k = 0; k < count; ++k) items.insert(items.end(), group.begin(), group.end());
            return;
        }
        case 'A': {
            int width = 0;
            skip_blanks();
            if (pos_ < s_.size() && is_digit(s_[pos_])) width = positive();
            add(items, count, {FormatItem::Kind::a, width, 0, false, {}});
            return;
        }
        case 'I': {
            FormatItem it{FormatItem::Kind::i, positive(), 0, false, {}};
            if (optional('.')) {
                it.digits = digits();
                it.has_min = true;
            }
            add(items, count, it);
            return;
        }
        case 'F':
        case 'E':
        case 'D':
        case 'G': {
            FormatItem::Kind kind = c == 'F'   ? FormatItem::Kind::f
                                    : c == 'G' ? FormatItem::Kind::g
                                               : FormatItem::Kind::e;
            FormatItem it{kind, positive(), 0, false, {}};
            expect('.');
            it.digits = digits();
            if (kind != FormatItem::Kind::f && it.digits < 1) fail("E and G need at least one digit");
            add(items, count, it);
            return;
        }
        default:
            fail(std::string("unknown edit descriptor '") + s_[pos_ - 1] + "'");
        }
    }

    void add(std::vector<FormatItem>& items, int count, const FormatItem& it)
    {
        if (items.size() + static_cast<std::size_t>(count) > max_items) fail("format too long");
        for (int k = 0; k < count; ++k) items.push_back(it);
    }

    // Repeat counts and groups are expanded; no format of the programs comes
    // near this many items.
    static constexpr std::size_t max_items = 10000;

    std::string quoted()
    {
        char q = s_[pos_++];
        std::string text;
        for (;;) {
            if (pos_ >= s_.size()) fail("unclosed quoted text");
            char c = s_[pos_++];
            if (c == q) {
                if (pos_ < s_.size() && s_[pos_] == q) {
                    text += q;
                    ++pos_;
                    continue;
                }
                return text;
            }
            text += c;
        }
    }

    int number()
    {
        skip_blanks();
        if (pos_ >= s_.size() || !is_digit(s_[pos_])) fail("number expected");
        long v = 0;
        while (pos_ < s_.size() && (is_digit(s_[pos_]) || s_[pos_] == ' ')) {
            if (s_[pos_] != ' ') v = v * 10 + (s_[pos_] - '0');
            if (v > 100000) fail("number too large");
            ++pos_;
        }
        return static_cast<int>(v);
    }

    int positive()
    {
        int v = number();
        if (v == 0) fail("field width 0");
        if (v > max_field) fail("field wider than 1000 characters");
        return v;
    }

    // The d of Fw.d, Ew.d, Gw.d or the m of Iw.m: no more digits than the
    // widest field could show.
    int digits()
    {
        int v = number();
        if (v > max_field) fail("more than 1000 digits");
        return v;
    }

    bool optional(char c)
    {
        skip_blanks();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    void expect(char c)
    {
        if (!optional(c)) fail(std::string("'") + c + "' expected");
    }

    void skip_blanks()
    {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
    }

    [[noreturn]] void fail(const std::string& what)
    {
        throw FormatError("format " + std::string(s_) + ": " + what);
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

void edit_value(std::string& out, const FormatItem& item, const Value& v)
{
    using K = FormatItem::Kind;
    if (item.kind == K::a) {
        if (v.kind() != Value::Kind::text) throw FormatError("A edit of a number");
        edit_text(out, v.text(), item.width);
        return;
    }
    if (v.kind() == Value::Kind::text) throw FormatError("numeric edit of a text");
    if (item.kind == K::i) {
        if (v.kind() != Value::Kind::integer) throw FormatError("I edit of a real number");
        edit_integer(out, v.integer(), item.width, item.has_min ? item.digits : -1);
        return;
    }
    double x = v.kind() == Value::Kind::integer ? static_cast<double>(v.integer()) : v.real();
    if (item.kind == K::f) edit_fixed(out, x, item.width, item.digits);
    else if (item.kind == K::e) edit_exponent(out, x, item.width, item.digits);
    else edit_general(out, x, item.width, item.digits);
}

}  // namespace

Format parse_format(std::string_view source) { return Parser(source).parse(); }

const Format& cached_format(std::string_view source)
{
    static std::unordered_map<std::string, Format> cache;
    auto it = cache.find(std::string(source));
    if (it == cache.end()) it = cache.emplace(std::string(source), parse_format(source)).first;
    return it->second;
}

void format_write(const Format& format, std::span<const Value> values, std::string& out)
{
    if (!format.has_data && !values.empty()) throw FormatError("values for a format without data items");
    std::size_t next = 0;
    int pending_blanks = 0;  // nX moves the position; blanks appear only when text follows
    for (;;) {
        for (const FormatItem& item : format.items) {
            if (item.is_data() && next == values.size()) {
                out += '\n';
                return;
            }
            switch (item.kind) {
            case FormatItem::Kind::skip:
                pending_blanks += item.width;
                continue;
            case FormatItem::Kind::slash:
                out += '\n';
                pending_blanks = 0;
                continue;
            default:
                break;
            }
            out.append(pending_blanks, ' ');
            pending_blanks = 0;
            if (item.kind == FormatItem::Kind::literal) out += item.text;
            else edit_value(out, item, values[next++]);
        }
        out += '\n';
        if (next == values.size()) return;
        pending_blanks = 0;  // values left: the format starts again on a new record
    }
}

namespace {

// The field of `width` characters at pos, shorter (or empty) past the end
// of the record.
std::string_view field_at(const std::string& line, std::size_t pos, int width)
{
    if (pos >= line.size()) return {};
    return std::string_view(line).substr(pos, width);
}

std::string without_blanks(std::string_view f)
{
    std::string s;
    for (char c : f)
        if (c != ' ') s += c;
    return s;
}

bool read_value(const FormatItem& item, std::string_view field, const Target& t)
{
    using K = FormatItem::Kind;
    if (item.kind == K::a) {
        if (t.kind() != Target::Kind::text) throw FormatError("A edit into a number");
        Text& text = t.text();
        std::string f(field);
        f.resize(item.width == 0 ? text.length() : item.width, ' ');
        // A wider field keeps its rightmost characters, a narrower one is
        // blank-filled on the right.
        if (f.size() > text.length()) f.erase(0, f.size() - text.length());
        text.assign(f);
        return true;
    }
    if (t.kind() == Target::Kind::text) throw FormatError("numeric edit into a text");
    std::string s = without_blanks(field);
    if (item.kind == K::i || t.kind() == Target::Kind::integer) {
        if (item.kind != K::i || t.kind() != Target::Kind::integer) throw FormatError("I edit needs an integer target");
        int v = 0;
        if (!s.empty() && !parse_integer(s, v)) return false;
        t.integer() = v;
        return true;
    }
    int implied = item.kind == K::f ? item.digits : -1;
    if (t.kind() == Target::Kind::single) {
        float v = 0.0f;
        if (!s.empty() && !parse_single(s, v, true, implied)) return false;
        t.single() = v;
    } else {
        double v = 0.0;
        if (!s.empty() && !parse_real(s, v, true, implied)) return false;
        t.real() = v;
    }
    return true;
}

}  // namespace

ReadResult format_read(const Format& format, std::span<const Target> targets, LineSource& source)
{
    std::string line;
    if (!source.next_line(line)) return {ReadOutcome::end_of_file, 0};
    if (targets.empty()) return {};
    if (!format.has_data) throw FormatError("targets for a format without data items");
    std::size_t next = 0, pos = 0;
    for (;;) {
        for (const FormatItem& item : format.items) {
            if (item.is_data() && next == targets.size()) return {};
            switch (item.kind) {
            case FormatItem::Kind::skip:
                pos += item.width;
                break;
            case FormatItem::Kind::slash:
                if (!source.next_line(line)) return {ReadOutcome::end_of_file, next};
                pos = 0;
                break;
            case FormatItem::Kind::literal:
                pos += item.text.size();
                break;
            default: {
                const Target& t = targets[next];
                int width = item.width;
                if (item.kind == FormatItem::Kind::a && width == 0) {
                    if (t.kind() != Target::Kind::text) throw FormatError("A edit into a number");
                    width = static_cast<int>(t.text().length());
                }
                if (!read_value(item, field_at(line, pos, width), t)) return {ReadOutcome::bad_value, next};
                pos += width;
                ++next;
            }
            }
        }
        if (next == targets.size()) return {};
        if (!source.next_line(line)) return {ReadOutcome::end_of_file, next};
        pos = 0;
    }
}

}  // namespace common
