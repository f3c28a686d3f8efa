// read_file: the reader chosen by the file's first bytes.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "lightcurve/lightcurve.hpp"

namespace lightcurve {

namespace {

// A FITS file begins with the card "SIMPLE  =" (FITS standard 4.0, sect.
// 4.4.1.1); a gzip stream with the bytes 1f 8b (RFC 1952).
bool looks_like_fits(const std::string& first_bytes)
{
    return first_bytes.rfind("SIMPLE  =", 0) == 0 || first_bytes.rfind("\x1f\x8b", 0) == 0;
}

}  // namespace

LightCurve read_file(const std::string& file, const Selection& selection)
{
    if (std::filesystem::is_directory(file))
        throw Error(file + ": cannot be opened for reading (" + std::strerror(EISDIR) + ")");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Error(file + ": cannot be opened for reading (" + std::strerror(errno) + ")");
    std::string first(9, '\0');
    in.read(first.data(), static_cast<std::streamsize>(first.size()));
    first.resize(static_cast<std::size_t>(in.gcount()));
    in.close();
    return looks_like_fits(first) ? read_fits(file, selection) : read_text(file, selection);
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
    return (times.capacity() + values.capacity() + errors.capacity()) * sizeof(double);
}

}  // namespace lightcurve
