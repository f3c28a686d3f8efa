// A reader run on bytes fed through a pipe, as a program reads
// <(zcat star.dat.gz) or standard input, and its outcome in a form that
// compares with the outcome of the same bytes read from a file.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <string>
#include <thread>

#include "lightcurve/lightcurve.hpp"

namespace fuzzing {

// A light curve, or the message of the Error that ended the read with the
// file's name taken out.
struct Outcome {
    bool read = false;
    lightcurve::LightCurve curve;
    std::string message;
};

// A reader's message begins with the file's name.
inline std::string without_name(std::string message, const std::string& name)
{
    if (message.starts_with(name)) message.replace(0, name.size(), "FILE");
    return message;
}

template <class Read>
Outcome outcome_of(const std::string& file, Read read)
{
    Outcome o;
    try {
        o.curve = read(file);
        o.read = true;
    } catch (const lightcurve::Error& e) {
        o.message = without_name(e.what(), file);
    }
    return o;
}

// The bytes written into a pipe, which the reader reads by its name
// /dev/fd/N.  Bytes that fit in the pipe are written before the reader
// starts (no thread: the target stays fast); more, by a thread of their
// own while it reads.
template <class Read>
Outcome through_pipe(const std::uint8_t* data, std::size_t size, Read read)
{
    // A reader that stops early closes the pipe: the writer gets EPIPE,
    // not a signal.
    static const bool ignoring = (signal(SIGPIPE, SIG_IGN), true);
    (void)ignoring;
    int ends[2];
    if (pipe(ends) != 0) std::abort();
    auto write_all = [&] {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = write(ends[1], data + done, size - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        close(ends[1]);
    };
    const int capacity = fcntl(ends[0], F_GETPIPE_SZ);
    std::thread writer;
    if (capacity > 0 && size <= static_cast<std::size_t>(capacity))
        write_all();
    else
        writer = std::thread(write_all);
    const Outcome o = outcome_of("/dev/fd/" + std::to_string(ends[0]), read);
    close(ends[0]);
    if (writer.joinable()) writer.join();
    return o;
}

inline bool same(const Outcome& a, const Outcome& b)
{
    if (a.read != b.read) return false;
    if (!a.read) return a.message == b.message;
    const lightcurve::LightCurve& x = a.curve;
    const lightcurve::LightCurve& y = b.curve;
    if (x.times != y.times || x.values != y.values || x.errors != y.errors || x.has_errors != y.has_errors) return false;
    if (x.sources.size() != 1 || y.sources.size() != 1) return false;
    const lightcurve::Source& s = x.sources[0];
    const lightcurve::Source& t = y.sources[0];
    return s.rows == t.rows && s.dropped.total() == t.dropped.total() && s.time_column == t.time_column &&
           s.value_column == t.value_column && s.error_column == t.error_column;
}

}  // namespace fuzzing
