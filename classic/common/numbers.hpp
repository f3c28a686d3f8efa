// Conversion of input fields to numbers, shared by the free-format and the
// formatted readers.
#pragma once

#include <string_view>

namespace common {

// A Fortran real: optional sign, digits with an optional decimal point
// (1, 1., .5), an optional exponent with E or D (either case) or a bare
// signed exponent (1.0+101, as the G edit writes three-digit exponents).
// implied_decimals >= 0 scales a number written without a decimal point
// (F11.5 reads 12345 as 0.12345).  allow_special accepts NaN, Inf and
// Infinity with an optional sign.  A number beyond the range of the target
// type is refused.
bool parse_real(std::string_view s, double& out, bool allow_special, int implied_decimals = -1);
bool parse_single(std::string_view s, float& out, bool allow_special, int implied_decimals = -1);
// Digits with an optional sign, within the range of a 4-byte integer.
bool parse_integer(std::string_view s, int& out);

}  // namespace common
