// read_file: the reader chosen by the file's first bytes.
#include <string_view>

#include "input.hpp"
#include "lightcurve/lightcurve.hpp"

namespace lightcurve {

namespace {

// A FITS file begins with the card "SIMPLE  =" (FITS standard 4.0, sect.
// 4.4.1.1); a gzip stream with the bytes 1f 8b (RFC 1952).
bool looks_like_fits(std::string_view first_bytes)
{
    return first_bytes.substr(0, 9) == "SIMPLE  =" || first_bytes.substr(0, 2) == "\x1f\x8b";
}

// The compressed formats read by neither reader, by their first bytes: the
// name of the format, or nullptr.
const char* other_compression(std::string_view first_bytes)
{
    struct Magic {
        std::string_view bytes;
        const char* name;
    };
    if (first_bytes.size() >= 10 && first_bytes.substr(0, 3) == "BZh" && first_bytes[3] >= '1' &&
        first_bytes[3] <= '9' && first_bytes.substr(4, 6) == "1AY&SY")
        return "bzip2";  // a block size, then the first block's magic number (digits of pi)
    static constexpr Magic magics[] = {
        {std::string_view("\xFD" "7zXZ\0", 6), "xz"}, {"\x28\xB5\x2F\xFD", "zstd"}, {"\x1f\x9d", "compress"}};
    for (const Magic& m : magics)
        if (first_bytes.substr(0, m.bytes.size()) == m.bytes) return m.name;
    return nullptr;
}

}  // namespace

LightCurve read_file(const std::string& file, const Selection& selection, const Limits& limits)
{
    detail::Input input(file);
    const std::string_view first = input.peek(10);
    if (looks_like_fits(first)) return detail::read_fits(input, selection, limits);
    if (const char* format = other_compression(first))
        throw Error(input.name() + ": compressed with " + format + ", which is not read (decompress it first)");
    return detail::read_text(input, selection, limits);
}

LightCurve read_text(const std::string& file, const Selection& selection, const Limits& limits)
{
    detail::Input input(file);
    return detail::read_text(input, selection, limits);
}

LightCurve read_fits(const std::string& file, const Selection& selection, const Limits& limits)
{
    detail::Input input(file);
    return detail::read_fits(input, selection, limits);
}

const char* unit_name(Unit unit)
{
    switch (unit) {
    case Unit::flux:
        return "ppt";
    case Unit::mag:
        return "mmag";
    case Unit::none:
        break;
    }
    return "none";
}

std::size_t LightCurve::bytes() const
{
    return (times.capacity() + values.capacity() + errors.capacity()) * sizeof(double) +
           source_index.capacity() * sizeof(std::uint32_t);
}

}  // namespace lightcurve
