// Fuzz target: the parser of format strings, and a write of a few values by
// every format it accepts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/format.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string source(reinterpret_cast<const char*>(data), size);
    try {
        common::Format format = common::parse_format(source);
        common::Value values[] = {1.5, -2, "text", 1e300, 0.0f};
        for (std::size_t n = 0; n <= 5; ++n) {
            std::string out;
            try {
                common::format_write(format, std::span<const common::Value>(values, n), out);
            } catch (const common::FormatError&) {
            }
        }
    } catch (const common::FormatError&) {
    }
    return 0;
}
