// A light-curve file or stream opened once: regular files, pipes, FIFOs,
// character devices and standard input are all read through one
// descriptor, so that the bytes looked at to choose the reader are the
// bytes the reader goes on from.  A stream cannot be reopened or read
// twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "lightcurve/lightcurve.hpp"

namespace lightcurve::detail {

class Input {
public:
    // Opens the file ("-" for standard input, which is not closed).  A
    // folder, or a file that cannot be opened: Error naming it.
    explicit Input(const std::string& file);
    ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    // The name as given, and as messages give it ("standard input" for -).
    const std::string& file() const { return file_; }
    const std::string& name() const { return name_; }

    // A regular file named by its path: its size is known, any byte of it
    // can be read again, and it may be opened again by its name.  Standard
    // input is never taken for one (its offset is not the file's start).
    bool regular() const { return regular_; }
    std::uint64_t size() const { return size_; }

    // The first `count` bytes (fewer at the end of the input), kept: the
    // reads that follow begin with them.
    std::string_view peek(std::size_t count);

    // The next bytes into `buffer`, at most `count`; 0 at the end.  A
    // failed read: Error naming the input.
    std::size_t read(char* buffer, std::size_t count);

    // The whole rest of the input, refused beyond `limits.memory` bytes.
    std::string read_all(const Limits& limits);

    // Bytes of a regular file from `offset` (fewer at its end).
    std::string bytes_at(std::uint64_t offset, std::size_t count) const;

private:
    std::size_t read_more(char* buffer, std::size_t count);

    std::string file_;
    std::string name_;
    int fd_ = -1;
    bool owned_ = false;
    bool regular_ = false;
    std::uint64_t size_ = 0;
    std::string kept_;        // bytes peeked and not yet read
    std::size_t kept_at_ = 0; // the next of them to read
};

// The content of a gzip stream (RFC 1952; members one after another are
// one content), refused when it would take more than what limits.memory
// leaves beside the compressed bytes, or when it does not begin with
// `start` (so that a stream of something else is not decompressed whole
// to be refused).  A stream that is not gzip, or is cut short: Error
// naming the input.
std::string gunzip(const std::string& compressed, const std::string& name, const Limits& limits,
                   std::string_view start);

// A field as a message quotes it: at most 40 characters, control
// characters shown as '?'.
std::string quoted(std::string_view field);

// The readers on an opened input.
LightCurve read_text(Input& input, const Selection& selection, const Limits& limits);
LightCurve read_fits(Input& input, const Selection& selection, const Limits& limits);

}  // namespace lightcurve::detail
