// Edit descriptors of formatted output: one value into one field, the way
// the GNU Fortran runtime writes it.  Digits come correctly rounded from
// std::to_chars (ties to even on the exact binary value); the field rules
// (width, asterisks, the optional leading zero, the G switch) are applied
// here and nowhere else.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace common {

// The widest field, and the most digits, a format may ask for: the format
// parser refuses more, and the buffers of the edits below are sized from it.
constexpr int max_field = 1000;

void edit_integer(std::string& out, std::int64_t value, int width, int min_digits);
void edit_fixed(std::string& out, double value, int width, int decimals);
void edit_exponent(std::string& out, double value, int width, int digits);
void edit_general(std::string& out, double value, int width, int digits);
// Aw: a shorter text right-aligned, a longer one cut to its first w
// characters; width 0 writes the whole text.
void edit_text(std::string& out, std::string_view text, int width);

// Free-format forms of a line value: the shortest decimal that reads back
// to the same number.
std::string shortest_real(double value);
std::string shortest_single(float value);

}  // namespace common
