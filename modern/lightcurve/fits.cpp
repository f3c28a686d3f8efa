// read_fits: a light curve from the first binary table of a FITS file, as
// the space missions lay their light-curve files out.
#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "columns.hpp"
#include "input.hpp"
#include "lightcurve/lightcurve.hpp"
#include "numerics/text.hpp"

namespace lightcurve {

namespace {

using detail::Request;

// Whether a header card's value (after the "=" in byte 9, as cfitsio
// takes it) is not a quoted string and runs longer than 68 characters
// before its comment.  Commentary keywords have no value, whatever follows
// them.
bool unquoted_value_too_long(std::string_view card)
{
    if (card[8] != '=' || card.starts_with("COMMENT ") || card.starts_with("HISTORY ") ||
        card.starts_with("        "))
        return false;
    std::string_view value = card.substr(9);
    value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
    if (value.starts_with('\'')) return false;
    value = value.substr(0, value.find('/'));
    value.remove_suffix(value.size() - std::min(value.find_last_not_of(' ') + 1, value.size()));
    return value.size() > 68;
}

// FITS files are written in blocks of 2880 bytes (FITS standard 4.0,
// sect. 3.1): each HDU's data is padded to a whole number of them.
constexpr std::uint64_t fits_block = 2880;
// and begin with the card SIMPLE (sect. 4.4.1.1).
constexpr std::string_view fits_start = "SIMPLE  =";

const char* const default_time = "TIME";
const char* const default_value = "PDCSAP_FLUX";
// The quality flags: QUALITY in the newer layout, SAP_QUALITY in the older.
const char* const quality_names[] = {"QUALITY", "SAP_QUALITY"};

struct Closer {
    void operator()(fitsfile* f) const
    {
        int status = 0;
        fits_close_file(f, &status);
    }
};
using FitsFile = std::unique_ptr<fitsfile, Closer>;

class FitsReader {
public:
    FitsReader(detail::Input& input, const Selection& selection, const Limits& limits)
        : input_(input), file_(input.name()), selection_(selection), limits_(limits)
    {
    }
    LightCurve read();

private:
    void open();
    void find_table();
    void check_headers();
    void check_table_size();
    void check_memory(int columns, int arrays);
    void read_names();
    long column(const std::string& choice, const char* role, const std::string& default_name, bool required);
    void check_numeric(long index, const char* role);
    std::vector<double> doubles(long index);
    std::vector<long long> flags(long index);
    long long key(const char* name);
    std::string bytes_at(std::uint64_t offset, std::size_t count) const;
    void check(int status, const char* doing);
    std::string label(long index) const
    {
        return names_[index].empty() ? "column " + std::to_string(index + 1) : names_[index];
    }

    detail::Input& input_;
    std::string file_;
    Selection selection_;
    const Limits& limits_;
    // The content of a stream or of a compressed file, which cfitsio reads
    // in place; declared before fits_ so that the file is closed before it
    // is freed.
    bool in_memory_ = false;
    std::string content_;
    void* content_address_ = nullptr;
    std::size_t content_size_ = 0;
    FitsFile fits_;
    std::uint64_t file_size_ = 0;
    long long rows_ = 0;
    std::vector<std::string> names_;
};

// cfitsio's own words for a failure; its message stack is cleared so that
// nothing is left for a later call.
void FitsReader::check(int status, const char* doing)
{
    if (status == 0) return;
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    fits_clear_errmsg();
    throw Error(file_ + ": " + doing + " (" + text + ")");
}

// A regular file is opened by its name; a gzip-compressed file, and any
// other input (a pipe, standard input), is read into memory once (and
// decompressed) and opened there.
void FitsReader::open()
{
    const bool compressed = input_.peek(2) == "\x1f\x8b";
    in_memory_ = compressed || !input_.regular();
    if (in_memory_) {
        content_ = input_.read_all(limits_);
        if (compressed) content_ = detail::gunzip(content_, file_, limits_, fits_start);
        file_size_ = content_.size();
    } else {
        file_size_ = input_.size();
    }
    check_headers();
    fitsfile* f = nullptr;
    int status = 0;
    if (in_memory_) {
        content_address_ = content_.data();
        content_size_ = content_.size();
        fits_open_memfile(&f, file_.c_str(), READONLY, &content_address_, &content_size_, 0, nullptr, &status);
    } else {
        // The disk-file call takes the name as it stands: no bracket or
        // plus suffix of cfitsio's extended file names is read into it.
        fits_open_diskfile(&f, input_.file().c_str(), READONLY, &status);
    }
    if (status != 0 && f) {
        int ignored = 0;
        fits_close_file(f, &ignored);
    }
    check(status, "cannot be read as FITS");
    fits_.reset(f);
}

// Every header cfitsio may parse (a run of cards from a block that begins
// with SIMPLE or XTENSION to its END card) is looked at first, for the
// cards its parser cannot take safely: a value that is not a quoted string
// is a number or a logical value, never longer than the 68 characters of
// the longest string, and an unquoted value filling the card overflows
// cfitsio's copy of it.
void FitsReader::check_headers()
{
    for (std::uint64_t block = 0; block < file_size_; block += fits_block) {
        const std::string first = bytes_at(block, 9);
        if (first != fits_start && first != "XTENSION=") continue;
        bool end = false;
        for (std::uint64_t at = block; !end && at < file_size_; at += fits_block) {
            const std::string cards = bytes_at(at, fits_block);
            for (std::size_t c = 0; !end && c + 80 <= cards.size(); c += 80) {
                const std::string_view card = std::string_view(cards).substr(c, 80);
                end = card.starts_with("END     ");
                if (!unquoted_value_too_long(card)) continue;
                const std::string_view keyword = card.substr(0, card.substr(0, 8).find_last_not_of(' ') + 1);
                throw Error(file_ + ": the header card at byte " + std::to_string(at + c) + " (" +
                            std::string(keyword) + ") has a value that is neither a string nor a number");
            }
        }
    }
}

void FitsReader::find_table()
{
    int status = 0;
    int hdus = 0;
    fits_get_num_hdus(fits_.get(), &hdus, &status);
    check(status, "cannot be read as FITS");
    for (int hdu = 2; hdu <= hdus; ++hdu) {
        int type = 0;
        fits_movabs_hdu(fits_.get(), hdu, &type, &status);
        check(status, "cannot be read as FITS");
        if (type == BINARY_TBL) {
            fits_get_num_rowsll(fits_.get(), &rows_, &status);
            check(status, "cannot read the table");
            return;
        }
    }
    throw Error(file_ + ": no binary table (a FITS light curve has its table in an extension)");
}

long long FitsReader::key(const char* name)
{
    int status = 0;
    long long value = 0;
    fits_read_key(fits_.get(), TLONGLONG, name, &value, nullptr, &status);
    check(status, "cannot read the table");
    return value;
}

// The table as its header describes it (NAXIS1 bytes in each of NAXIS2
// rows, then a heap: PCOUNT bytes in all after the rows) must lie within
// the file, its last block whole; no block of it may begin with the card
// that begins an extension; and where its last block ends the file must
// end (or hold only fill) or the next extension begin.  A row count that disagrees with
// the file is caught here, before a byte of the rows is read; only a count
// that stays within the table's last block cannot be told from the
// padding.
void FitsReader::check_table_size()
{
    const long long row_bytes = key("NAXIS1");
    const long long heap = key("PCOUNT");
    int status = 0;
    LONGLONG header_start = 0, data_start = 0, data_end = 0;
    fits_get_hduaddrll(fits_.get(), &header_start, &data_start, &data_end, &status);
    check(status, "cannot read the table");
    const auto data_at = static_cast<std::uint64_t>(data_start);
    const std::uint64_t room = file_size_ > data_at ? file_size_ - data_at : 0;
    const std::string claim = "the table claims " + std::to_string(rows_) + " rows of " + std::to_string(row_bytes) +
                              " bytes" + (heap > 0 ? " and a heap of " + std::to_string(heap) + " bytes" : "");
    if (rows_ < 0 || row_bytes < 0 || heap < 0) throw Error(file_ + ": " + claim + ", which no table can hold");
    const auto rows = static_cast<std::uint64_t>(rows_);
    const auto width = static_cast<std::uint64_t>(row_bytes);
    const auto extra = static_cast<std::uint64_t>(heap);
    if (extra > room || (width > 0 && rows > (room - extra) / width))
        throw Error(file_ + ": " + claim + ", more than the " + std::to_string(room) +
                    " bytes the file holds after the table's header");
    const std::uint64_t table_bytes = rows * width + extra;
    const std::uint64_t end = data_at + (table_bytes + fits_block - 1) / fits_block * fits_block;
    // Blocks are read whole: a file cut within the table's last block
    // cannot be read, though every row be there.
    if (end > file_size_)
        throw Error(file_ + ": the file ends within the last block of its table (a FITS file is a whole number of "
                            "blocks of 2880 bytes)");
    for (std::uint64_t block = data_at + fits_block; block < end; block += fits_block)
        if (bytes_at(block, 9) == "XTENSION=")
            throw Error(file_ + ": " + claim + ", but the next extension begins among them (at byte " +
                        std::to_string(block) + "): the row count disagrees with the file");
    if (end >= file_size_) return;
    const std::string next = bytes_at(end, 80);
    const bool extension = next.starts_with("XTENSION=");
    const bool fill = std::all_of(next.begin(), next.end(), [](char c) { return c == '\0'; }) ||
                      std::all_of(next.begin(), next.end(), [](char c) { return c == ' '; });
    if (!extension && !fill)
        throw Error(file_ + ": " + claim + ", but the file goes on after them with neither an extension nor " +
                    "its end: the row count disagrees with the file");
}

std::string FitsReader::bytes_at(std::uint64_t offset, std::size_t count) const
{
    if (!in_memory_) return input_.bytes_at(offset, count);
    return offset < content_.size() ? content_.substr(offset, count) : "";
}

// The memory the read takes: `columns` columns of the table and `arrays`
// arrays of the light curve, a double each per row, with the content of a
// stream held in memory.
void FitsReader::check_memory(int columns, int arrays)
{
    const std::uint64_t per_row = sizeof(double) * static_cast<std::uint64_t>(columns + arrays);
    const auto rows = static_cast<std::uint64_t>(rows_);
    const std::uint64_t held = content_.size();
    if (held <= limits_.memory && rows <= (limits_.memory - held) / per_row) return;
    const long double needed = static_cast<long double>(rows) * per_row + held;
    throw Error(file_ + ": its table of " + std::to_string(rows_) + " rows needs " +
                numerics::bytes_text(needed >= 0x1p64L ? ~std::uint64_t{0} : static_cast<std::uint64_t>(needed)) +
                " to read, more than " + limits_.memory_name);
}

void FitsReader::read_names()
{
    int status = 0;
    int columns = 0;
    fits_get_num_cols(fits_.get(), &columns, &status);
    check(status, "cannot read the table");
    for (int i = 1; i <= columns; ++i) {
        char key[FLEN_KEYWORD];
        char name[FLEN_VALUE] = {};
        std::snprintf(key, sizeof key, "TTYPE%d", i);
        fits_read_key(fits_.get(), TSTRING, key, name, nullptr, &status);
        if (status == KEY_NO_EXIST) {
            status = 0;
            fits_clear_errmsg();
            name[0] = '\0';
        }
        check(status, "cannot read the table");
        names_.emplace_back(name);
    }
}

// The 0-based index of the column chosen (or of the default name); -1 for
// none, or when a default column that is not required is missing.
long FitsReader::column(const std::string& choice, const char* role, const std::string& default_name, bool required)
{
    Request request = detail::parse_request(choice, file_);
    if (request.kind == Request::Kind::none) return -1;
    if (request.kind == Request::Kind::number) {
        if (request.number > names_.size())
            throw Error(file_ + ": no column " + std::to_string(request.number) + " for the " + role +
                        " (the table has " + std::to_string(names_.size()) + ")");
        return static_cast<long>(request.number) - 1;
    }
    const std::string name = request.kind == Request::Kind::name ? request.name : default_name;
    if (name.empty()) return -1;
    const long index = detail::find_name(names_, name, file_);
    if (index < 0 && (required || request.kind == Request::Kind::name))
        throw Error(file_ + ": no column named " + name + " for the " + role + " (the columns are " +
                    detail::list_names(names_) + ")");
    return index;
}

void FitsReader::check_numeric(long index, const char* role)
{
    int status = 0;
    int type = 0;
    long repeat = 0, width = 0;
    fits_get_eqcoltype(fits_.get(), static_cast<int>(index + 1), &type, &repeat, &width, &status);
    check(status, "cannot read the table");
    const std::string name = label(index);
    const bool numeric = type == TBYTE || type == TSBYTE || type == TSHORT || type == TUSHORT || type == TINT ||
                         type == TUINT || type == TLONG || type == TULONG || type == TLONGLONG ||
                         type == TULONGLONG || type == TFLOAT || type == TDOUBLE;
    if (!numeric) throw Error(file_ + ": the " + role + " column " + name + " does not hold numbers");
    if (repeat != 1)
        throw Error(file_ + ": the " + role + " column " + name + " holds " + std::to_string(repeat) +
                    " values in each row, not one");
}

// A whole column as doubles; undefined entries (NaN, or an integer
// column's null value) read as NaN.
std::vector<double> FitsReader::doubles(long index)
{
    std::vector<double> x(static_cast<std::size_t>(rows_));
    if (rows_ == 0) return x;
    int status = 0;
    int any_null = 0;
    double null_value = std::numeric_limits<double>::quiet_NaN();
    fits_read_col(fits_.get(), TDOUBLE, static_cast<int>(index + 1), 1, 1, rows_, &null_value, x.data(), &any_null,
                  &status);
    check(status, "cannot read the table");
    return x;
}

// Quality flags; an undefined entry reads as no flag.
std::vector<long long> FitsReader::flags(long index)
{
    std::vector<long long> q(static_cast<std::size_t>(rows_));
    if (rows_ == 0) return q;
    int status = 0;
    int any_null = 0;
    long long null_value = 0;
    fits_read_col(fits_.get(), TLONGLONG, static_cast<int>(index + 1), 1, 1, rows_, &null_value, q.data(),
                  &any_null, &status);
    check(status, "cannot read the table");
    return q;
}

LightCurve FitsReader::read()
{
    open();
    find_table();
    check_table_size();
    read_names();
    const long t_index = column(selection_.time, "time", default_time, true);
    const long x_index = column(selection_.value, "value", default_value, true);
    if (t_index < 0 || x_index < 0) throw Error(file_ + ": the time and the value columns cannot be none");
    const std::string error_default = names_[x_index].empty() ? "" : names_[x_index] + "_ERR";
    const long e_index = column(selection_.error, "error", error_default, false);
    long q_index = -1;
    for (const char* name : quality_names)
        if (q_index < 0) q_index = detail::find_name(names_, name, file_);
    for (auto [index, role] :
         {std::pair{t_index, "time"}, {x_index, "value"}, {e_index, "error"}, {q_index, "quality"}})
        if (index >= 0) check_numeric(index, role);
    const int arrays = e_index >= 0 ? 3 : 2;
    check_memory(arrays + (q_index >= 0 ? 1 : 0), arrays);

    const std::vector<double> t = doubles(t_index);
    const std::vector<double> x = doubles(x_index);
    const std::vector<double> e = e_index >= 0 ? doubles(e_index) : std::vector<double>();
    const std::vector<long long> q = q_index >= 0 ? flags(q_index) : std::vector<long long>();

    LightCurve curve;
    Source source;
    source.file = file_;
    source.format = Format::fits;
    source.time_column = label(t_index);
    source.value_column = label(x_index);
    if (e_index >= 0) source.error_column = label(e_index);
    if (q_index >= 0) source.quality_column = label(q_index);
    source.rows = static_cast<std::size_t>(rows_);
    curve.has_errors = e_index >= 0;
    curve.times.reserve(source.rows);
    curve.values.reserve(source.rows);
    if (e_index >= 0) curve.errors.reserve(source.rows);
    for (std::size_t i = 0; i < source.rows; ++i) {
        if (!std::isfinite(t[i])) {
            ++source.dropped.time_not_finite;
        } else if (q_index >= 0 && (static_cast<std::uint64_t>(q[i]) & selection_.quality_mask) != 0) {
            ++source.dropped.quality_flagged;
        } else if (!std::isfinite(x[i])) {
            ++source.dropped.value_not_finite;
        } else if (e_index >= 0 && !std::isfinite(e[i])) {
            ++source.dropped.error_not_finite;
        } else {
            curve.times.push_back(t[i]);
            curve.values.push_back(x[i]);
            if (e_index >= 0) curve.errors.push_back(e[i]);
        }
    }
    curve.sources.push_back(source);
    return curve;
}

}  // namespace

namespace detail {

LightCurve read_fits(Input& input, const Selection& selection, const Limits& limits)
{
    return FitsReader(input, selection, limits).read();
}

}  // namespace detail

}  // namespace lightcurve
