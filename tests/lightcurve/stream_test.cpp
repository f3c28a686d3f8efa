// Light curves read from streams (a pipe, as the shell makes of
// <(zcat star.dat.gz), a FIFO, standard input) and compressed files: each
// stream is read once, and gives the light curve its file gives.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "support/lightcurve_files.hpp"
#include "lightcurve/lightcurve.hpp"

namespace {

using lightcurve::Error;
using lightcurve::LightCurve;
using lightcurve_test::Folder;

// A pipe whose bytes a thread of its own writes; read by its name
// /dev/fd/N.
class Pipe {
public:
    explicit Pipe(std::string bytes) : bytes_(std::move(bytes))
    {
        signal(SIGPIPE, SIG_IGN);  // a reader that stops early closes the pipe
        if (pipe(ends_) != 0) throw std::runtime_error("no pipe");
        writer_ = std::thread([this] {
            for (std::size_t done = 0; done < bytes_.size();) {
                const ssize_t n = write(ends_[1], bytes_.data() + done, bytes_.size() - done);
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
            close(ends_[1]);
        });
    }
    ~Pipe()
    {
        close(ends_[0]);
        writer_.join();
    }
    std::string name() const { return "/dev/fd/" + std::to_string(ends_[0]); }

private:
    std::string bytes_;
    int ends_[2] = {-1, -1};
    std::thread writer_;
};

void expect_same(const LightCurve& a, const LightCurve& b)
{
    EXPECT_EQ(a.times, b.times);
    EXPECT_EQ(a.values, b.values);
    EXPECT_EQ(a.errors, b.errors);
    ASSERT_EQ(a.sources.size(), 1u);
    ASSERT_EQ(b.sources.size(), 1u);
    EXPECT_EQ(a.sources[0].rows, b.sources[0].rows);
    EXPECT_EQ(a.sources[0].dropped.total(), b.sources[0].dropped.total());
    EXPECT_EQ(a.sources[0].value_column, b.sources[0].value_column);
}

std::string message_of(const std::string& file, const lightcurve::Limits& limits = {})
{
    try {
        lightcurve::read_file(file, {}, limits);
    } catch (const Error& e) {
        return e.what();
    }
    return "no error";
}

// The first bytes, looked at to tell FITS from text, are the first bytes of
// the table: a short table and a long one (beyond any buffer) through a
// pipe are the file.
TEST(Streams, TextThroughAPipeIsTheFile)
{
    std::string long_table = "# time flux error\n";
    for (int i = 0; i < 3000; ++i)
        long_table += std::to_string(2313.0 + 0.01 * i) + " " + std::to_string(1000.0 + i % 17) + " 0.5\n";
    Folder folder;
    for (const std::string& table : {std::string("1 7.5\n2 7.6\n3 7.4\n"), long_table}) {
        const LightCurve file = lightcurve::read_file(folder.write("star.dat", table), {});
        Pipe pipe(table);
        expect_same(lightcurve::read_file(pipe.name(), {}), file);
    }
}

// A FITS stream is taken into memory within the limit and read there; a
// gzip-compressed file or stream is decompressed within it; other
// compressed files are named for what they are.
TEST(Streams, FitsThroughAPipeAndCompressedIsTheFile)
{
    const std::string tess = lightcurve_test::tess_file();
    const LightCurve file = lightcurve::read_file(tess, {});
    {
        Pipe pipe(lightcurve_test::content(tess));
        expect_same(lightcurve::read_file(pipe.name(), {}), file);
    }
    Folder folder;
    const std::string gz = folder.name("tess.fits.gz");
    ASSERT_EQ(std::system(("gzip -c '" + tess + "' > '" + gz + "'").c_str()), 0);
    expect_same(lightcurve::read_file(gz, {}), file);
    const std::string compressed = lightcurve_test::content(gz);
    {
        Pipe pipe(compressed);
        expect_same(lightcurve::read_file(pipe.name(), {}), file);
    }
    {
        Pipe pipe(lightcurve_test::content(tess));
        EXPECT_EQ(message_of(pipe.name(), {1 << 20, "--max-memory 1.0 MiB"}),
                  pipe.name() + ": reading it needs more than --max-memory 1.0 MiB");
    }
    const std::string cut = folder.write("cut.fits.gz", compressed.substr(0, compressed.size() / 2));
    EXPECT_EQ(message_of(cut), cut + ": the gzip stream is cut short");
    const std::string xz = folder.write("star.dat.xz", std::string("\xFD" "7zXZ\0\0\x04", 8));
    EXPECT_EQ(message_of(xz), xz + ": compressed with xz, which is not read (decompress it first)");
    // 0.7 MB compressed, 1.2 MB decompressed.
    EXPECT_EQ(message_of(gz, {3 << 19, "--max-memory 1.5 MiB"}),
              gz + ": decompressing it needs more than --max-memory 1.5 MiB");
}

}  // namespace
