// The text reader on hand-made tables: separators, comments and headers,
// columns by number and by name, rows dropped by reason, and every error
// with the line it names.
#include <gtest/gtest.h>

#include <cmath>

#include "support/lightcurve_files.hpp"
#include "lightcurve/lightcurve.hpp"

namespace {

using lightcurve::Error;
using lightcurve::LightCurve;
using lightcurve::Selection;
using lightcurve_test::Folder;

LightCurve read(const std::string& content, const Selection& selection = {})
{
    Folder folder;
    return lightcurve::read_file(folder.write("star.dat", content), selection);
}

Selection columns(const std::string& time, const std::string& value, const std::string& error = "")
{
    Selection s;
    s.time = time;
    s.value = value;
    s.error = error;
    return s;
}

// The message of the error a read ends with, the folder left out.
std::string error_of(const std::string& content, const Selection& selection = {})
{
    Folder folder;
    const std::string file = folder.write("star.dat", content);
    try {
        lightcurve::read_file(file, selection);
    } catch (const Error& e) {
        std::string message = e.what();
        const std::size_t at = message.find(file);
        if (at != std::string::npos) message.replace(at, file.size(), "star.dat");
        return message;
    }
    return "no error";
}

TEST(TextSeparators, BlanksTabsCommasAndLineEnds)
{
    const LightCurve c = read("1.0 10\n2.0\t\t20\r\n  3.0 ,30\n4.0,40\n5.0 , 50  \n");
    EXPECT_EQ(c.times, (std::vector<double>{1, 2, 3, 4, 5}));
    EXPECT_EQ(c.values, (std::vector<double>{10, 20, 30, 40, 50}));
    EXPECT_FALSE(c.has_errors);
    ASSERT_EQ(c.sources.size(), 1u);
    EXPECT_EQ(c.sources[0].rows, 5u);
    EXPECT_EQ(c.sources[0].format, lightcurve::Format::text);
}

TEST(TextSeparators, TwoCommasEncloseAMissingValue)
{
    // The empty value is missing (dropped), never the next column's number.
    const LightCurve c = read("1,10,0.1\n2,,0.2\n3,30,\n", columns("", "", "3"));
    EXPECT_EQ(c.times, (std::vector<double>{1}));
    EXPECT_EQ(c.sources[0].dropped.value_not_finite, 1u);
    EXPECT_EQ(c.sources[0].dropped.error_not_finite, 1u);
}

TEST(TextComments, CommentsBlankLinesAndAFreeTextHeader)
{
    const LightCurve c = read("# star\n% more\n\nV band, test star\n   \n1 7.5\n# inside\n2 7.6\n");
    EXPECT_EQ(c.times, (std::vector<double>{1, 2}));
    EXPECT_EQ(c.sources[0].rows, 2u);
}

TEST(TextComments, FirstLineOfNumbersIsData)
{
    EXPECT_EQ(read("1 7.5\n2 7.6\n").size(), 2u);
}

TEST(TextNumbers, SignsExponentsAndFortranD)
{
    const LightCurve c = read("+1.5 -2e1\n2.5D0 1.25d-1\n.5 7.\n");
    EXPECT_EQ(c.times, (std::vector<double>{1.5, 2.5, 0.5}));
    EXPECT_EQ(c.values, (std::vector<double>{-20, 0.125, 7}));
}

TEST(TextNumbers, NonFiniteRowsDroppedByFirstReason)
{
    const LightCurve c = read("t x e\nnan 1 0.1\n1 NaN 0.1\n2 inf 0.1\n3 1 -Infinity\nINF nan nan\n4 5 0.2\n",
                              columns("", "", "3"));
    const lightcurve::Dropped& d = c.sources[0].dropped;
    EXPECT_EQ(d.time_not_finite, 2u);
    EXPECT_EQ(d.value_not_finite, 2u);
    EXPECT_EQ(d.error_not_finite, 1u);
    EXPECT_EQ(d.quality_flagged, 0u);
    EXPECT_EQ(d.total(), 5u);
    EXPECT_EQ(c.sources[0].rows, 6u);
    EXPECT_EQ(c.sources[0].kept(), 1u);
    EXPECT_EQ(c.values, (std::vector<double>{5}));
    EXPECT_EQ(c.errors, (std::vector<double>{0.2}));
}

TEST(TextNumbers, BeyondTheRangeOfDoublesIsInfiniteAndDropped)
{
    const LightCurve c = read("1 1e999\n2 3\n");
    EXPECT_EQ(c.sources[0].dropped.value_not_finite, 1u);
    EXPECT_EQ(c.size(), 1u);
}

TEST(TextColumns, DefaultErrorIsAThirdNumber)
{
    const LightCurve with = read("1 7.5 0.01\n2 7.6 0.02\n");
    EXPECT_TRUE(with.has_errors);
    EXPECT_EQ(with.errors, (std::vector<double>{0.01, 0.02}));
    EXPECT_EQ(with.sources[0].error_column, "column 3");
    // A third column of words (a band, an observer) is not an error column.
    const LightCurve words = read("1 7.5 V\n2 7.6 V\n");
    EXPECT_FALSE(words.has_errors);
    EXPECT_EQ(words.size(), 2u);
    // Nor is any column when time or value are chosen.
    EXPECT_FALSE(read("1 7.5 0.01\n", columns("1", "2")).has_errors);
    EXPECT_FALSE(read("1 7.5 0.01\n", columns("", "", "none")).has_errors);
}

TEST(TextColumns, ByNumber)
{
    const LightCurve c = read("a 1 b 7.5 0.1\nb 2 c 7.6 0.2\n", columns("2", "4", "5"));
    EXPECT_EQ(c.times, (std::vector<double>{1, 2}));
    EXPECT_EQ(c.values, (std::vector<double>{7.5, 7.6}));
    EXPECT_EQ(c.errors, (std::vector<double>{0.1, 0.2}));
    EXPECT_EQ(c.sources[0].value_column, "column 4");
}

TEST(TextColumns, ByNameFromTheHeaderIgnoringCase)
{
    const std::string table = "time,mag,flux,flux_err\n1,9,100,1\n2,9,200,2\n";
    const LightCurve c = read(table, columns("TIME", "flux", "flux_err"));
    EXPECT_EQ(c.values, (std::vector<double>{100, 200}));
    EXPECT_EQ(c.errors, (std::vector<double>{1, 2}));
    EXPECT_EQ(c.sources[0].time_column, "time");
    EXPECT_EQ(c.sources[0].value_column, "flux");
    // Without a choice the header is skipped and columns 1, 2 and 3 read.
    EXPECT_EQ(read(table).values, (std::vector<double>{9, 9}));
}

TEST(TextColumns, HeaderOfNumberLikeNamesFoundByName)
{
    // "2" is a column number; a header whose names look like numbers is
    // still a header when it names a column asked for by name.
    const LightCurve c = read("1 bjd flux\n1 10 100\n2 20 200\n", columns("bjd", "flux"));
    EXPECT_EQ(c.times, (std::vector<double>{10, 20}));
}

TEST(TextColumns, NamesFromTheLastCommentLine)
{
    const LightCurve c = read("# KIC 1\n# bjd   flux   err\n1 100 1\n2 200 2\n", columns("bjd", "flux", "err"));
    EXPECT_EQ(c.times, (std::vector<double>{1, 2}));
    EXPECT_EQ(c.values, (std::vector<double>{100, 200}));
}

TEST(TextColumns, ExactCaseWinsOverOtherCase)
{
    const LightCurve c = read("t Flux flux\n1 1 2\n", columns("t", "flux"));
    EXPECT_EQ(c.values, (std::vector<double>{2}));
}

TEST(TextFiles, EmptyAndHeaderOnly)
{
    EXPECT_EQ(read("").size(), 0u);
    EXPECT_EQ(read("time flux\n").sources[0].rows, 0u);
    EXPECT_EQ(read("# nothing\n\n").size(), 0u);
    // Names asked for are checked against the names a file gives, if any.
    EXPECT_EQ(read("", columns("bjd", "flux")).size(), 0u);
    EXPECT_EQ(read("# bjd flux\n", columns("bjd", "flux")).size(), 0u);
    EXPECT_EQ(error_of("# bjd flux\n", columns("bjd", "mag")),
              "star.dat: no column named mag for the value (the columns are bjd, flux)");
}

// A UTF-8 byte-order mark, which some editors put first, is not part of
// the first line: a data row stays a row, a header's first name a name.
TEST(TextFiles, ByteOrderMarkSkipped)
{
    const std::string mark = "\xEF\xBB\xBF";
    EXPECT_EQ(read(mark + "1 7.5\n2 7.6\n").times, (std::vector<double>{1, 2}));
    EXPECT_EQ(read(mark + "time,flux\n1,7.5\n", columns("time", "flux")).values, (std::vector<double>{7.5}));
}

// A line may be as long as 1 MiB; a longer one (a binary file, a file
// without line ends) is refused at once, naming its line, instead of being
// taken into memory whole.
TEST(TextErrors, LineLongerThanTheLongestNamesTheLine)
{
    const std::string blanks(lightcurve::longest_line, ' ');
    EXPECT_EQ(read("1 7.5\n" + blanks + "\n2 7.6\n").size(), 2u);
    EXPECT_EQ(error_of("1 7.5\n" + blanks + " \n2 7.6\n"),
              "star.dat, line 2: longer than 1.0 MiB, too long for a line of a light curve");
    try {
        lightcurve::read_file("/dev/zero", {});
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "/dev/zero, line 1: longer than 1.0 MiB, too long for a line of a light curve");
    }
}

TEST(TextErrors, TooFewColumnsNamesTheLine)
{
    EXPECT_EQ(error_of("# c\n1 7.5\n\n2\n"), "star.dat, line 4: too few columns (1; the value is column 2)");
    EXPECT_EQ(error_of("1 7.5 0.1\n2 7.6\n"), "star.dat, line 2: too few columns (2; the error is column 3)");
    EXPECT_EQ(error_of("t x\n1 7.5\n", columns("1", "5")),
              "star.dat, line 2: too few columns (2; the value is column 5)");
}

TEST(TextErrors, NotANumberNamesLineColumnAndRole)
{
    EXPECT_EQ(error_of("header\n10.0 7.5\n10.1 seven\n"),
              "star.dat, line 3: the value 'seven' (column 2) is not a number");
    EXPECT_EQ(error_of("1 7.5\n1:2 7.5\n"), "star.dat, line 2: the time '1:2' (column 1) is not a number");
    EXPECT_EQ(error_of("1 7.5 0.1\n2 7.5 n/a\n"), "star.dat, line 2: the error 'n/a' (column 3) is not a number");
    EXPECT_EQ(error_of("1 7.5\n2 0x10\n"), "star.dat, line 2: the value '0x10' (column 2) is not a number");
    // Control characters and long fields are shown tamely.
    EXPECT_EQ(error_of("1 7.5\n2 a\x01" + std::string(50, 'b') + "\n"),
              "star.dat, line 2: the value 'a?" + std::string(38, 'b') + "...' (column 2) is not a number");
}

TEST(TextErrors, ColumnsThatDoNotExist)
{
    EXPECT_EQ(error_of("time mag\n1 2\n", columns("time", "flux")),
              "star.dat: no column named flux for the value (the columns are time, mag)");
    EXPECT_EQ(error_of("1 2\n", columns("time", "")),
              "star.dat: no column named time for the time (no header line names the columns)");
    EXPECT_EQ(error_of("time mag\n", columns("", "flux")),
              "star.dat: no column named flux for the value (the columns are time, mag)");
    EXPECT_EQ(error_of("1 2\n", columns("0", "")), "star.dat: columns are numbered from 1");
    EXPECT_EQ(error_of("1 2\n", columns("", "none")), "star.dat: the time and the value columns cannot be none");
    EXPECT_EQ(error_of("t FLUX Flux\n1 2 3\n", columns("t", "flux")),
              "star.dat: the column name flux fits both FLUX and Flux");
}

TEST(TextErrors, MissingFileAndFolder)
{
    Folder folder;
    try {
        lightcurve::read_file(folder.name("absent.dat"), {});
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("absent.dat: cannot be opened for reading (No such file or directory)"),
                  std::string::npos);
    }
    EXPECT_THROW(lightcurve::read_file(folder.name(""), {}), Error);
}

TEST(ColumnChoice, Problems)
{
    EXPECT_EQ(lightcurve::column_choice_problem("flux"), "");
    EXPECT_EQ(lightcurve::column_choice_problem("3"), "");
    EXPECT_EQ(lightcurve::column_choice_problem("0"), "columns are numbered from 1");
    EXPECT_EQ(lightcurve::column_choice_problem("99999999999999999999999"),
              "column 99999999999999999999999 is beyond any table");
}

}  // namespace
