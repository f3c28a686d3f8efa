// Channels: small numbers bound to the keyboard, the screen or a file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "common/freeformat.hpp"
#include "common/io.hpp"

namespace common {
namespace {

struct Channel {
    std::FILE* file = nullptr;
    std::string name;  // for messages: the file name, or "standard input"
    long line = 0;     // lines read so far
    bool owned = false;
    bool output = false;  // opened for writing: its close is checked
};

// A write to standard output has failed and been reported: the program is
// ending, and the flushes on the way out do not report it again.
bool screen_failed = false;

// A write that failed ends the program: the file and the system's reason.
[[noreturn]] void cannot_write(const std::string& name, int error)
{
    throw ProgramEnd{2, name + ": cannot be written (" + std::strerror(error != 0 ? error : EIO) + ")"};
}

void screen_failure(int error)
{
    if (screen_failed) return;
    screen_failed = true;
    cannot_write("standard output", error);
}

std::map<int, Channel>& table()
{
    static std::map<int, Channel> channels;
    return channels;
}

Channel& keyboard_channel()
{
    Channel& c = table()[keyboard];
    if (!c.file) {
        c.file = stdin;
        c.name = "standard input";
    }
    return c;
}

// Reads lines of a channel: a line ends at LF; a CR just before it, and a
// last line without LF, are part of the line end.
class ChannelLines : public LineSource {
public:
    explicit ChannelLines(Channel& c) : c_(c) {}

    bool next_line(std::string& line) override
    {
        if (c_.file == stdin) flush_screen();
        line.clear();
        int ch;
        bool any = false;
        while ((ch = std::getc(c_.file)) != EOF) {
            any = true;
            if (ch == '\n') break;
            line += static_cast<char>(ch);
        }
        if (!any) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ++c_.line;
        return true;
    }

private:
    Channel& c_;
};

Channel& reading(int channel)
{
    if (channel == keyboard) return keyboard_channel();
    Channel& c = table()[channel];
    if (!c.file) {
        std::string name = "fort." + std::to_string(channel);
        open_old(channel, name);
    }
    return table()[channel];
}

std::FILE* writing(int channel)
{
    if (channel == screen) return stdout;
    Channel& c = table()[channel];
    if (!c.file) open_new(channel, "fort." + std::to_string(channel));
    return table()[channel].file;
}

std::string file_name(std::string_view name)
{
    std::size_t end = name.find_last_not_of(' ');
    return std::string(end == std::string_view::npos ? std::string_view() : name.substr(0, end + 1));
}

const char* expected(const Target* t)
{
    if (!t) return "a line";
    switch (t->kind()) {
    case Target::Kind::integer: return "an integer";
    case Target::Kind::real:
    case Target::Kind::single: return "a real number";
    case Target::Kind::text: return "a text";
    }
    return "a value";
}

// Reports an outcome the caller does not handle, or hands it back.
ReadOutcome settle(const Channel& c, ReadResult r, std::span<const Target> targets, Handled handled)
{
    if (r.outcome == ReadOutcome::ok) return r.outcome;
    const Target* t = r.target < targets.size() ? &targets[r.target] : nullptr;
    if (r.outcome == ReadOutcome::end_of_file && !handled.end_of_file)
        input_error(c.name + ", line " + std::to_string(c.line + 1),
                    std::string("end of file where ") + expected(t) + " was expected");
    if (r.outcome == ReadOutcome::bad_value && !handled.bad_value)
        input_error(c.name + ", line " + std::to_string(c.line),
                    (r.line_ended ? "the line ends where " : "") + std::string(expected(t)) + " was expected");
    return r.outcome;
}

// Writes the text; a write that fails ends the program, and a file that
// failed is released without a second report.
void put(int channel, const std::string& text)
{
    std::FILE* f = writing(channel);
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), f) == text.size() && !std::ferror(f)) return;
    const int error = errno;
    if (f == stdout) screen_failure(error);
    auto it = table().find(channel);
    if (it == table().end()) return;
    const Channel c = it->second;
    table().erase(it);
    if (c.owned) std::fclose(c.file);
    cannot_write(c.name, error);
}

}  // namespace

bool try_open_old(int channel, std::string_view name)
{
    close_channel(channel);
    std::string path = file_name(name);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    table()[channel] = Channel{f, path, 0, true};
    return true;
}

void open_old(int channel, std::string_view name)
{
    if (!try_open_old(channel, name)) {
        std::string why = std::strerror(errno);
        input_error(file_name(name), "cannot be opened for reading (" + why + ")");
    }
}

void open_new(int channel, std::string_view name)
{
    close_channel(channel);
    std::string path = file_name(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::string why = std::strerror(errno);
        input_error(path, "cannot be created (" + why + ")");
    }
    table()[channel] = Channel{f, path, 0, true, true};
}

void close_channel(int channel)
{
    auto it = table().find(channel);
    if (it == table().end()) return;
    const Channel c = it->second;
    table().erase(it);
    if (!c.owned || !c.file) return;
    // What is still buffered reaches the file only now: a full device
    // shows itself here.
    bool failed = std::ferror(c.file) != 0;
    errno = 0;
    if (std::fclose(c.file) != 0) failed = true;
    if (failed && c.output) cannot_write(c.name, errno);
}

void flush_screen()
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) screen_failure(errno);
}

std::vector<std::string> finish_output()
{
    std::vector<std::string> failures;
    auto checked = [&failures](auto step) {
        try {
            step();
        } catch (const ProgramEnd& failure) {
            failures.push_back(failure.message);
        }
    };
    while (!table().empty()) checked([channel = table().begin()->first] { close_channel(channel); });
    checked(flush_screen);
    return failures;
}

void rewind_channel(int channel)
{
    auto it = table().find(channel);
    if (it == table().end() || !it->second.owned) return;
    std::rewind(it->second.file);
    it->second.line = 0;
}

long lines_read(int channel)
{
    auto it = table().find(channel);
    return it == table().end() ? 0 : it->second.line;
}

void reset_channels()
{
    finish_output();
    std::clearerr(stdout);
    screen_failed = false;
}

ReadOutcome read_free(int channel, std::initializer_list<Target> targets, Handled handled)
{
    Channel& c = reading(channel);
    ChannelLines lines(c);
    std::span<const Target> list(targets.begin(), targets.size());
    return settle(c, free_read(list, lines), list, handled);
}

ReadOutcome read_record(int channel, std::initializer_list<Target> targets, Handled handled)
{
    Channel& c = reading(channel);
    ChannelLines lines(c);
    std::span<const Target> list(targets.begin(), targets.size());
    return settle(c, free_read(list, lines, Lines::whole), list, handled);
}

ReadOutcome skip_line(int channel, Handled handled) { return read_free(channel, {}, handled); }

ReadOutcome read_fmt(int channel, std::string_view format, std::initializer_list<Target> targets, Handled handled)
{
    const Format& f = cached_format(format);
    Channel& c = reading(channel);
    ChannelLines lines(c);
    std::span<const Target> list(targets.begin(), targets.size());
    return settle(c, format_read(f, list, lines), list, handled);
}

ReadOutcome read_line(int channel, std::string& line, Handled handled)
{
    Channel& c = reading(channel);
    ChannelLines lines(c);
    if (lines.next_line(line)) return ReadOutcome::ok;
    return settle(c, {ReadOutcome::end_of_file, 0}, {}, handled);
}

void write_free(int channel, std::initializer_list<Value> values)
{
    static std::string out;
    out.clear();
    free_write(std::span<const Value>(values.begin(), values.size()), out);
    put(channel, out);
}

std::string free_format(std::initializer_list<Value> values)
{
    std::string out;
    free_write(std::span<const Value>(values.begin(), values.size()), out);
    return out;
}

void write_fmt(int channel, std::string_view format, std::initializer_list<Value> values)
{
    static std::string out;
    out.clear();
    format_write(cached_format(format), std::span<const Value>(values.begin(), values.size()), out);
    put(channel, out);
}

void write_raw(int channel, std::string_view text) { put(channel, std::string(text)); }

std::string write_text(std::string_view format, std::initializer_list<Value> values)
{
    std::string out;
    format_write(cached_format(format), std::span<const Value>(values.begin(), values.size()), out);
    return out.substr(0, out.find('\n'));
}

void write_into(Text& field, std::string_view format, std::initializer_list<Value> values)
{
    std::string out;
    format_write(cached_format(format), std::span<const Value>(values.begin(), values.size()), out);
    field.assign(std::string_view(out).substr(0, out.find('\n')));
}

}  // namespace common
