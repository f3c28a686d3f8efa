// Choosing columns by number or by name, shared by the text and the FITS
// readers.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace lightcurve::detail {

// A column asked for, as the user wrote it.
struct Request {
    enum class Kind { unset, none, number, name };
    Kind kind = Kind::unset;
    std::size_t number = 0;  // 1-based, for Kind::number
    std::string name;        // for Kind::name
};

// Reads a choice: empty is unset, "none" is none, digits a number, anything
// else a name.  Column 0 or a number beyond any table: Error naming `file`.
Request parse_request(const std::string& text, const std::string& file);

// The 0-based index of the named column: the exact name first, otherwise
// the only name equal to it when case is ignored; -1 when there is none.
// Several names equal to it but for case: Error naming `file`.
long find_name(const std::vector<std::string>& names, const std::string& name, const std::string& file);

// "time, flux, flux_err" for messages.
std::string list_names(const std::vector<std::string>& names);

}  // namespace lightcurve::detail
