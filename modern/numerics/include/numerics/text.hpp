// Numbers as the modern program's files and messages write them.
#pragma once

#include <cstdint>
#include <string>

namespace numerics {

// Appends the shortest text that reads back to the same double
// (std::to_chars): "0.1", "1e-10", "15.383003", "nan".
void append_number(std::string& text, double x);
std::string full_number(double x);

// A byte count for the eye: "512 bytes", "1.5 KiB", "2.0 GiB" (powers of
// 1024, one decimal).
std::string bytes_text(std::uint64_t bytes);

}  // namespace numerics
