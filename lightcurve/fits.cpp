// read_fits: a light curve from the first binary table of a FITS file, as
// the space missions lay their light-curve files out.
#include <fitsio.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "lightcurve/columns.hpp"
#include "lightcurve/lightcurve.hpp"

namespace lightcurve {

namespace {

using detail::Request;

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
    FitsReader(const std::string& file, const Selection& selection) : file_(file), selection_(selection) {}
    LightCurve read();

private:
    void open();
    void find_table();
    void read_names();
    long column(const std::string& choice, const char* role, const std::string& default_name, bool required);
    void check_numeric(long index, const char* role);
    std::vector<double> doubles(long index);
    std::vector<long long> flags(long index);
    void check(int status, const char* doing);
    std::string label(long index) const
    {
        return names_[index].empty() ? "column " + std::to_string(index + 1) : names_[index];
    }

    std::string file_;
    Selection selection_;
    FitsFile fits_;
    long rows_ = 0;
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

void FitsReader::open()
{
    // The disk-file call takes the name as it stands: no bracket or plus
    // suffix of cfitsio's extended file names is read into it.
    fitsfile* f = nullptr;
    int status = 0;
    fits_open_diskfile(&f, file_.c_str(), READONLY, &status);
    if (status != 0 && f) {
        int ignored = 0;
        fits_close_file(f, &ignored);
    }
    check(status, "cannot be read as FITS");
    fits_.reset(f);
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
            fits_get_num_rows(fits_.get(), &rows_, &status);
            check(status, "cannot read the table");
            return;
        }
    }
    throw Error(file_ + ": no binary table (a FITS light curve has its table in an extension)");
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

LightCurve read_fits(const std::string& file, const Selection& selection)
{
    FitsReader reader(file, selection);
    return reader.read();
}

}  // namespace lightcurve
