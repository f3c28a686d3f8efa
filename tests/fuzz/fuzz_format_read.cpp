// Fuzz target: the formatted reader.  The first line is the format, the
// rest the records read by it into an integer, a double, a float and a text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/format.hpp"
#include "support/lines.hpp"
#include "common/text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t eol = input.find('\n');
    if (eol == std::string::npos) return 0;
    common::Format format;
    try {
        format = common::parse_format(input.substr(0, eol));
    } catch (const common::FormatError&) {
        return 0;
    }
    StringLines source(input.substr(eol + 1));
    int i = 0;
    double d = 0;
    float f = 0;
    common::Text t(24);
    // Each target kind alone, so that a mismatch of edit and target is the
    // only error path that throws.
    common::Target targets[] = {i, d, f, t};
    for (const common::Target& target : targets) {
        try {
            common::format_read(format, std::span<const common::Target>(&target, 1), source);
        } catch (const common::FormatError&) {
        }
    }
    return 0;
}
