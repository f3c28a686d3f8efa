// The FITS reader on the real TESS light-curve file (examples/) and on
// small hand-made tables for the layouts and faults the real one lacks.
#include <fitsio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "support/lightcurve_files.hpp"
#include "lightcurve/lightcurve.hpp"
#include "numerics/median.hpp"

namespace {

using lightcurve::Error;
using lightcurve::LightCurve;
using lightcurve::Selection;
using lightcurve_test::Folder;

const double nan = std::numeric_limits<double>::quiet_NaN();

// The counts the file's provenance gives: 11,977 rows, of which 273 have
// no time, 860 no PDCSAP flux and 860 a quality flag (the same rows as the
// missing flux), leaving 11,117.
TEST(TessFile, RowsReadDroppedAndKept)
{
    const LightCurve c = lightcurve::read_file(lightcurve_test::tess_file(), {});
    ASSERT_EQ(c.sources.size(), 1u);
    const lightcurve::Source& s = c.sources[0];
    EXPECT_EQ(s.format, lightcurve::Format::fits);
    EXPECT_EQ(s.rows, 11977u);
    EXPECT_EQ(s.dropped.time_not_finite, 273u);
    EXPECT_EQ(s.dropped.quality_flagged, 860u - 273u);
    EXPECT_EQ(s.dropped.value_not_finite, 0u);
    EXPECT_EQ(s.dropped.error_not_finite, 0u);
    EXPECT_EQ(c.size(), 11117u);
    EXPECT_EQ(s.time_column, "TIME");
    EXPECT_EQ(s.value_column, "PDCSAP_FLUX");
    EXPECT_EQ(s.error_column, "PDCSAP_FLUX_ERR");
    EXPECT_EQ(s.quality_column, "QUALITY");
    EXPECT_TRUE(c.has_errors);
    ASSERT_EQ(c.errors.size(), c.size());
    for (std::size_t i = 0; i < c.size(); ++i) {
        ASSERT_TRUE(std::isfinite(c.times[i]) && std::isfinite(c.values[i]) && std::isfinite(c.errors[i]));
    }
    // Sector 58 in BTJD (BJD - 2457000): 27.7 d at a 200 s cadence.
    EXPECT_NEAR(c.times.front(), 2882.3376, 1e-4);
    EXPECT_NEAR(c.times.back(), 2910.0526, 1e-4);
    lightcurve::LightCurve sorted = c;
    lightcurve::sort_by_time(sorted);
    EXPECT_NEAR(numerics::median_step(sorted.times) * 86400, 200, 0.01);
}

TEST(TessFile, WithoutTheQualityMaskTheMissingFluxIsCounted)
{
    Selection s;
    s.quality_mask = 0;
    const LightCurve c = lightcurve::read_file(lightcurve_test::tess_file(), s);
    EXPECT_EQ(c.sources[0].dropped.time_not_finite, 273u);
    EXPECT_EQ(c.sources[0].dropped.quality_flagged, 0u);
    EXPECT_EQ(c.sources[0].dropped.value_not_finite, 860u - 273u);
    EXPECT_EQ(c.size(), 11117u);
}

TEST(TessFile, SimpleApertureFluxByNameOrNumber)
{
    Selection s;
    s.value = "sap_flux";
    const LightCurve by_name = lightcurve::read_file(lightcurve_test::tess_file(), s);
    EXPECT_EQ(by_name.sources[0].value_column, "SAP_FLUX");
    EXPECT_EQ(by_name.sources[0].error_column, "SAP_FLUX_ERR");
    EXPECT_EQ(by_name.size(), 11117u);
    // TIME, TIMECORR, CADENCENO, SAP_FLUX: the fourth column.
    s.value = "4";
    s.error = "none";
    const LightCurve by_number = lightcurve::read_file(lightcurve_test::tess_file(), s);
    EXPECT_EQ(by_number.values, by_name.values);
    EXPECT_FALSE(by_number.has_errors);
}

TEST(TessFile, MissingColumnListsTheTable)
{
    Selection s;
    s.value = "FLUX";
    try {
        lightcurve::read_file(lightcurve_test::tess_file(), s);
        FAIL();
    } catch (const Error& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find(": no column named FLUX for the value (the columns are TIME, TIMECORR, CADENCENO, SAP_FLUX,"),
                  std::string::npos)
            << m;
    }
}

// A small binary table written with cfitsio.
class Table {
public:
    Table(const Folder& folder, const std::string& name, long rows) : file_(folder.name(name)), rows_(rows)
    {
        fits_create_diskfile(&f_, file_.c_str(), &status_);
        fits_create_tbl(f_, BINARY_TBL, rows, 0, nullptr, nullptr, nullptr, "LIGHTCURVE", &status_);
    }
    ~Table()
    {
        if (f_) fits_close_file(f_, &status_);
    }
    void column(const char* name, const char* form)
    {
        ++columns_;
        fits_insert_col(f_, columns_, const_cast<char*>(name), const_cast<char*>(form), &status_);
    }
    void doubles(std::vector<double> x)
    {
        fits_write_col(f_, TDOUBLE, columns_, 1, 1, static_cast<long>(x.size()), x.data(), &status_);
    }
    void integers(std::vector<long long> x)
    {
        fits_write_col(f_, TLONGLONG, columns_, 1, 1, static_cast<long>(x.size()), x.data(), &status_);
    }
    void key(const char* name, long value) { fits_update_key(f_, TLONG, name, &value, nullptr, &status_); }
    std::string close()
    {
        fits_close_file(f_, &status_);
        f_ = nullptr;
        EXPECT_EQ(status_, 0);
        return file_;
    }

private:
    std::string file_;
    long rows_;
    fitsfile* f_ = nullptr;
    int status_ = 0;
    int columns_ = 0;
};

std::string error_of(const std::string& file, const Selection& selection = {}, const lightcurve::Limits& limits = {})
{
    try {
        lightcurve::read_file(file, selection, limits);
    } catch (const Error& e) {
        std::string m = e.what();
        return m.substr(m.rfind('/') + 1);
    }
    return "no error";
}

TEST(FitsTables, OlderLayoutQualityColumnAndMask)
{
    Folder folder;
    Table t(folder, "kplr.fits", 5);
    t.column("TIME", "1D");
    t.doubles({1, 2, 3, 4, 5});
    t.column("PDCSAP_FLUX", "1E");
    t.doubles({10, 20, 30, 40, 50});
    t.column("SAP_QUALITY", "1J");
    t.integers({0, 4, 8, 12, 0});
    const std::string file = t.close();

    const LightCurve all = lightcurve::read_file(file, {});
    EXPECT_EQ(all.values, (std::vector<double>{10, 50}));
    EXPECT_EQ(all.sources[0].quality_column, "SAP_QUALITY");
    EXPECT_EQ(all.sources[0].dropped.quality_flagged, 3u);
    EXPECT_FALSE(all.has_errors);

    Selection only_bit_2;
    only_bit_2.quality_mask = 4;
    EXPECT_EQ(lightcurve::read_file(file, only_bit_2).values, (std::vector<double>{10, 30, 50}));
}

TEST(FitsTables, IntegerNullsAreMissing)
{
    Folder folder;
    Table t(folder, "ints.fits", 3);
    t.column("TIME", "1D");
    t.doubles({1, 2, 3});
    t.column("PDCSAP_FLUX", "1J");
    t.key("TNULL2", -999);
    t.integers({5, -999, 7});
    t.column("PDCSAP_FLUX_ERR", "1D");
    t.doubles({0.5, 0.5, nan});
    const LightCurve c = lightcurve::read_file(t.close(), {});
    EXPECT_EQ(c.values, (std::vector<double>{5}));
    EXPECT_EQ(c.sources[0].dropped.value_not_finite, 1u);
    EXPECT_EQ(c.sources[0].dropped.error_not_finite, 1u);
}

TEST(FitsTables, ColumnsThatCannotBeALightCurve)
{
    Folder folder;
    Table t(folder, "odd.fits", 2);
    t.column("TIME", "1D");
    t.doubles({1, 2});
    t.column("PDCSAP_FLUX", "3D");
    t.column("NAME", "8A");
    const std::string file = t.close();
    EXPECT_EQ(error_of(file), "odd.fits: the value column PDCSAP_FLUX holds 3 values in each row, not one");
    Selection s;
    s.value = "NAME";
    EXPECT_EQ(error_of(file, s), "odd.fits: the value column NAME does not hold numbers");
    s.value = "9";
    EXPECT_EQ(error_of(file, s), "odd.fits: no column 9 for the value (the table has 3)");
}

TEST(FitsTables, NoTableAndBrokenFiles)
{
    Folder folder;
    fitsfile* f = nullptr;
    int status = 0;
    const std::string image = folder.name("image.fits");
    fits_create_file(&f, ("!" + image).c_str(), &status);
    long axes[1] = {4};
    fits_create_img(f, DOUBLE_IMG, 1, axes, &status);
    fits_close_file(f, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(error_of(image), "image.fits: no binary table (a FITS light curve has its table in an extension)");

    // The real file cut short: its header is there, its table is not.
    std::ifstream in(lightcurve_test::tess_file(), std::ios::binary);
    std::string head(100000, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    EXPECT_EQ(error_of(folder.write("cut.fits", head)),
              "cut.fits: the table claims 11977 rows of 100 bytes, more than the 79840 bytes the file holds after "
              "the table's header");
    // Every row there, but not the whole last block of the table.
    const std::string real = lightcurve_test::content(lightcurve_test::tess_file());
    EXPECT_EQ(error_of(folder.write("unpadded.fits", real.substr(0, 20160 + 11977 * 100))),
              "unpadded.fits: the file ends within the last block of its table (a FITS file is a whole number of "
              "blocks of 2880 bytes)");
    EXPECT_EQ(error_of(folder.write("header.fits", head.substr(0, 5000))),
              "header.fits: cannot be read as FITS (error reading from FITS file)");
}

// The header's row count against the real file, whose table of 11,977
// rows of 100 bytes is followed by an image extension: a count that runs
// past the file's end, into the next extension, or short of the rows there
// is refused before a row is read; so is a table whose rows need more
// memory than the limit.
TEST(FitsTables, RowCountThatDisagreesWithTheFile)
{
    const std::string real = lightcurve_test::content(lightcurve_test::tess_file());
    Folder folder;
    auto claiming = [&](long long rows) {
        std::string bytes = real;
        char card[32];
        std::snprintf(card, sizeof card, "NAXIS2  = %20lld", rows);
        bytes.replace(bytes.find("NAXIS2  =", 2880), 30, card);
        return folder.write("claim.fits", bytes);
    };
    EXPECT_EQ(error_of(claiming(2147483647)), "claim.fits: the table claims 2147483647 rows of 100 bytes, more than "
                                              "the 1206720 bytes the file holds after the table's header");
    EXPECT_EQ(error_of(claiming(12000)), "claim.fits: the table claims 12000 rows of 100 bytes, but the next extension "
                                         "begins among them (at byte 1218240): the row count disagrees with the file");
    EXPECT_EQ(error_of(claiming(11000)),
              "claim.fits: the table claims 11000 rows of 100 bytes, but the file goes on after them with neither an "
              "extension nor its end: the row count disagrees with the file");
    const std::string file = claiming(11977);
    EXPECT_EQ(lightcurve::read_file(file, {}).size(), 11117u);
    // Four columns and three arrays of the light curve, 8 bytes a row each.
    EXPECT_EQ(error_of(file, {}, {512 << 10, "--max-memory 512.0 KiB"}),
              "claim.fits: its table of 11977 rows needs 655.0 KiB to read, more than --max-memory 512.0 KiB");
}

// A header card whose value is neither a quoted string nor a number, and
// fills the card, would overflow cfitsio's copy of it: refused before
// cfitsio reads the header.
TEST(FitsTables, HeaderValueThatIsNeitherStringNorNumber)
{
    std::string bytes = lightcurve_test::content(lightcurve_test::tess_file());
    const std::size_t at = bytes.find("TTYPE1  =");
    bytes.replace(at, 80, "TTYPE1  = " + std::string(70, 'A'));
    Folder folder;
    EXPECT_EQ(error_of(folder.write("card.fits", bytes)),
              "card.fits: the header card at byte " + std::to_string(at) +
                  " (TTYPE1) has a value that is neither a string nor a number");
}

TEST(FitsTables, NamesAreTakenAsTheyStand)
{
    // cfitsio would read "[1]" as an extension and "*" as a wildcard.
    Folder folder;
    Table t(folder, "star[1].fits", 2);
    t.column("TIME", "1D");
    t.doubles({1, 2});
    t.column("PDCSAP_FLUX", "1D");
    t.doubles({3, 4});
    const std::string file = t.close();
    EXPECT_EQ(lightcurve::read_file(file, {}).values, (std::vector<double>{3, 4}));
    Selection s;
    s.value = "PDCSAP*";
    EXPECT_EQ(error_of(file, s),
              "star[1].fits: no column named PDCSAP* for the value (the columns are TIME, PDCSAP_FLUX)");
}

}  // namespace
