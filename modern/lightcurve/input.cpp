// Input: a file or stream opened once.
#include "input.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace lightcurve {

std::string name_in_messages(const std::string& file)
{
    return file == standard_input ? "standard input" : file;
}

namespace detail {

namespace {

std::string reason(int error) { return std::string(" (") + std::strerror(error) + ")"; }

}  // namespace

Input::Input(const std::string& file) : file_(file), name_(name_in_messages(file))
{
    if (file == standard_input) {
        fd_ = STDIN_FILENO;
    } else {
        do fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) throw Error(name_ + ": cannot be opened for reading" + reason(errno));
        owned_ = true;
    }
    struct stat status {};
    if (::fstat(fd_, &status) != 0) {
        const int error = errno;
        if (owned_) ::close(fd_);
        throw Error(name_ + ": cannot be opened for reading" + reason(error));
    }
    if (S_ISDIR(status.st_mode)) {
        if (owned_) ::close(fd_);
        throw Error(name_ + ": cannot be opened for reading" + reason(EISDIR));
    }
    regular_ = owned_ && S_ISREG(status.st_mode);
    if (regular_) size_ = static_cast<std::uint64_t>(status.st_size);
}

Input::~Input()
{
    if (owned_) ::close(fd_);
}

std::string_view Input::peek(std::size_t count)
{
    while (kept_.size() - kept_at_ < count) {
        const std::size_t have = kept_.size();
        kept_.resize(kept_at_ + count);
        const std::size_t got = read_more(kept_.data() + have, kept_.size() - have);
        kept_.resize(have + got);
        if (got == 0) break;
    }
    return std::string_view(kept_).substr(kept_at_, count);
}

std::size_t Input::read(char* buffer, std::size_t count)
{
    if (kept_at_ < kept_.size()) {
        const std::size_t n = std::min(count, kept_.size() - kept_at_);
        std::memcpy(buffer, kept_.data() + kept_at_, n);
        kept_at_ += n;
        if (kept_at_ == kept_.size()) {
            kept_.clear();
            kept_at_ = 0;
        }
        return n;
    }
    return read_more(buffer, count);
}

std::size_t Input::read_more(char* buffer, std::size_t count)
{
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, count);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) throw Error(name_ + ": reading stopped" + reason(errno));
    }
}

std::string Input::read_all(const Limits& limits)
{
    std::string bytes;
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used >= limits.memory) {
                char probe;
                if (read(&probe, 1) == 0) break;
                throw Error(name_ + ": reading it needs more than " + limits.memory_name);
            }
            const std::uint64_t grown = std::max<std::uint64_t>(std::uint64_t{1} << 16, 2 * std::uint64_t{used});
            bytes.resize(static_cast<std::size_t>(std::min(grown, limits.memory)));
        }
        const std::size_t got = read(bytes.data() + used, bytes.size() - used);
        if (got == 0) break;
        used += got;
    }
    bytes.resize(used);
    return bytes;
}

std::string Input::bytes_at(std::uint64_t offset, std::size_t count) const
{
    std::string bytes(count, '\0');
    std::size_t used = 0;
    while (used < count) {
        const ssize_t got = ::pread(fd_, bytes.data() + used, count - used, static_cast<off_t>(offset + used));
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            throw Error(name_ + ": reading stopped" + reason(errno));
        }
        used += static_cast<std::size_t>(got);
    }
    bytes.resize(used);
    return bytes;
}

namespace {

struct InflateEnd {
    void operator()(z_stream* z) const { inflateEnd(z); }
};

}  // namespace

std::string gunzip(const std::string& compressed, const std::string& name, const Limits& limits,
                   std::string_view start)
{
    const std::uint64_t room = limits.memory - std::min<std::uint64_t>(limits.memory, compressed.size());
    z_stream z{};
    // 16 + 15: a gzip wrapper around a deflate stream with the largest window.
    if (inflateInit2(&z, 16 + 15) != Z_OK) throw Error(name + ": cannot be decompressed (zlib cannot start)");
    const std::unique_ptr<z_stream, InflateEnd> end(&z);
    std::string content;
    std::size_t fed = 0, used = 0;
    for (;;) {
        if (z.avail_in == 0 && fed < compressed.size()) {
            const std::size_t n = std::min<std::size_t>(compressed.size() - fed, std::size_t{1} << 30);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data() + fed));
            z.avail_in = static_cast<uInt>(n);
            fed += n;
        }
        if (used == content.size()) {
            if (used >= room) throw Error(name + ": decompressing it needs more than " + limits.memory_name);
            const std::uint64_t grown = std::max<std::uint64_t>(std::uint64_t{1} << 16, 2 * std::uint64_t{used});
            content.resize(static_cast<std::size_t>(std::min(grown, room)));
        }
        const std::size_t space = std::min<std::size_t>(content.size() - used, std::size_t{1} << 30);
        z.next_out = reinterpret_cast<Bytef*>(content.data() + used);
        z.avail_out = static_cast<uInt>(space);
        const int status = inflate(&z, Z_NO_FLUSH);
        const std::size_t before = used;
        used += space - z.avail_out;
        if (before < start.size() && used >= start.size() && content.compare(0, start.size(), start) != 0)
            throw Error(name + ": its decompressed content does not begin with '" + std::string(start) + "'");
        if (status == Z_STREAM_END) {
            // Another member may follow; anything else after the last one
            // is ignored, as gzip ignores it.
            const bool more = z.avail_in >= 2 || fed < compressed.size();
            const std::size_t at = fed - z.avail_in;
            if (!more || compressed.compare(at, 2, "\x1f\x8b") != 0) break;
            inflateReset(&z);
            continue;
        }
        if (status == Z_BUF_ERROR && z.avail_in == 0 && fed == compressed.size())
            throw Error(name + ": the gzip stream is cut short");
        if (status != Z_OK && status != Z_BUF_ERROR)
            throw Error(name + ": not a readable gzip stream (" + (z.msg ? z.msg : "zlib error " + std::to_string(status)) +
                        ")");
    }
    content.resize(used);
    return content;
}

// A field as a message quotes it: at most 40 characters, control
// characters shown as '?'.
std::string quoted(std::string_view field)
{
    std::string text(field.substr(0, 40));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    if (field.size() > 40) text += "...";
    return "'" + text + "'";
}

}  // namespace detail
}  // namespace lightcurve
