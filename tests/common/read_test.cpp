// The free-format and the formatted readers, and the free-format writer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/freeformat.hpp"
#include "common/io.hpp"
#include "support/lines.hpp"

using namespace common;

namespace {

ReadResult free(const std::string& text, std::initializer_list<Target> targets, int* lines_used = nullptr)
{
    StringLines src(text);
    ReadResult r = free_read(std::span<const Target>(targets.begin(), targets.size()), src);
    if (lines_used) *lines_used = src.lines;
    return r;
}

ReadResult formatted(const std::string& text, std::string_view format, std::initializer_list<Target> targets)
{
    StringLines src(text);
    return format_read(parse_format(format), std::span<const Target>(targets.begin(), targets.size()), src);
}

}  // namespace

TEST(FreeRead, SeparatorsAndLineEnds)
{
    int i = 0;
    double a = 0, b = 0;
    EXPECT_EQ(free("3\t2.5, -1e2 rest of the line\n", {i, a, b}).outcome, ReadOutcome::ok);
    EXPECT_EQ(i, 3);
    EXPECT_EQ(a, 2.5);
    EXPECT_EQ(b, -100.0);

    // A read that needs more values takes them from the next lines, passing
    // blank lines; CR LF line ends are line ends.
    int used = 0;
    EXPECT_EQ(free("1\r\n\r\n  \r\n2.0 9 9\r\n3\r\n", {i, a}, &used).outcome, ReadOutcome::ok);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(a, 2.0);
    EXPECT_EQ(used, 4);  // the rest of the last line read is dropped; line 5 is untouched
}

TEST(FreeRead, FortranRealForms)
{
    double v = 0;
    float f = 0;
    for (auto [text, value] : {std::pair{"1", 1.0}, {"1.", 1.0}, {".5", 0.5}, {"-2.5e3", -2500.0}, {"2.5D-3", 2.5e-3},
                               {"+4", 4.0}, {"1E+2", 100.0}, {"7d0", 7.0}}) {
        EXPECT_EQ(free(text, {v}).outcome, ReadOutcome::ok) << text;
        EXPECT_EQ(v, value) << text;
    }
    EXPECT_EQ(free("0.1", {f}).outcome, ReadOutcome::ok);
    EXPECT_EQ(f, 0.1f);
    // Not numbers for a data file: a NaN must never reach a fit.
    for (const char* bad : {"nan", "NaN", "Infinity", "-inf", "1e400", "1.2.3", "e5", ".", "-", "1e", "12a", "1,5x"}) {
        v = 42;
        ReadResult r = free(bad, {v});
        if (std::string(bad) == "1,5x") {
            EXPECT_EQ(v, 1.0);  // the comma separates: the first value is read
            continue;
        }
        EXPECT_EQ(r.outcome, ReadOutcome::bad_value) << bad;
        EXPECT_EQ(v, 42) << bad;
    }
    EXPECT_EQ(free("1e-400", {v}).outcome, ReadOutcome::ok);  // underflow reads as 0
    EXPECT_EQ(v, 0.0);
}

TEST(FreeRead, IntegersAcceptDigitsWithASignOnly)
{
    int i = 7;
    EXPECT_EQ(free("-12", {i}).outcome, ReadOutcome::ok);
    EXPECT_EQ(i, -12);
    for (const char* bad : {"1.5", "1e3", "2147483648", "--1", "0x10", "'3'"}) {
        i = 7;
        EXPECT_EQ(free(bad, {i}).outcome, ReadOutcome::bad_value) << bad;
        EXPECT_EQ(i, 7);
    }
    EXPECT_EQ(free("-2147483648", {i}).outcome, ReadOutcome::ok);
    EXPECT_EQ(i, -2147483647 - 1);
}

TEST(FreeRead, TextsAreWordsOrQuotedAndFitTheirField)
{
    Text name(10), kind(13);
    EXPECT_EQ(free("data.txt more\n", {name}).outcome, ReadOutcome::ok);
    EXPECT_EQ(name.str(), "data.txt  ");
    EXPECT_EQ(free("'my file.dat', all\n", {name, kind}).outcome, ReadOutcome::ok);
    EXPECT_EQ(name.str(), "my file.da");
    EXPECT_EQ(kind.str(), "all          ");
    EXPECT_EQ(free("\"it''s\" 'don''t'\n", {name, kind}).outcome, ReadOutcome::ok);
    EXPECT_EQ(name.str(), "it''s     ");
    EXPECT_EQ(kind.str(), "don't        ");
    EXPECT_TRUE(kind == "don't");
    EXPECT_FALSE(kind == "don't x");
}

TEST(FreeRead, EndOfFileAndUnfilledTargets)
{
    int i = 5;
    double a = 1, b = 2;
    ReadResult r = free("8 3.5\n\n", {i, a, b});
    EXPECT_EQ(r.outcome, ReadOutcome::end_of_file);
    EXPECT_EQ(r.target, 2u);
    EXPECT_EQ(i, 8);
    EXPECT_EQ(a, 3.5);
    EXPECT_EQ(b, 2);  // left as it was
    EXPECT_EQ(free("", {}).outcome, ReadOutcome::end_of_file);
    EXPECT_EQ(free("\n", {}).outcome, ReadOutcome::ok);  // skipping a line needs a line
    r = free("4 x", {i, a});
    EXPECT_EQ(r.outcome, ReadOutcome::bad_value);
    EXPECT_EQ(r.target, 1u);
}

// A record of a data file stands on one line: blank lines before it are
// passed, a line that ends early is a bad value at that line and the next
// line is left alone; answers read the same text across lines.
TEST(FreeRead, WholeRecordsStayOnTheirLine)
{
    double a = 0, b = 0, c = 0;
    auto record = [&](const std::string& text, std::initializer_list<Target> targets, int& used) {
        StringLines src(text);
        ReadResult r = free_read(std::span<const Target>(targets.begin(), targets.size()), src, Lines::whole);
        used = src.lines;
        return r;
    };
    int used = 0;
    ReadResult r = record("\n \t\r\n,\r\n1.5, 2.5 9\r\n3\n", {a, b}, used);
    EXPECT_EQ(r.outcome, ReadOutcome::ok);
    EXPECT_EQ(used, 4);
    EXPECT_EQ(b, 2.5);

    for (const char* shortline : {"4.485\n3 7\n", "4.485\r\n3 7\r\n", "4.485,\n3 7\n", "4.485"}) {
        r = record(shortline, {a, b}, used);
        EXPECT_EQ(r.outcome, ReadOutcome::bad_value) << shortline;
        EXPECT_TRUE(r.line_ended);
        EXPECT_EQ(r.target, 1u);
        EXPECT_EQ(used, 1);  // the next line is not touched
        EXPECT_EQ(a, 4.485);
    }
    r = record("1 2\n", {a, b, c}, used);  // a two-column line read with an error column
    EXPECT_EQ(r.outcome, ReadOutcome::bad_value);
    EXPECT_EQ(r.target, 2u);
    r = record("\n\r\n  \n", {a, b}, used);
    EXPECT_EQ(r.outcome, ReadOutcome::end_of_file);
    EXPECT_FALSE(r.line_ended);
    r = record("1 x\n", {a, b}, used);
    EXPECT_EQ(r.outcome, ReadOutcome::bad_value);
    EXPECT_FALSE(r.line_ended);

    // The answer typed as 4.485, then 3 on the next line, is still read.
    int i = 0;
    EXPECT_EQ(free("4.485\n3\n", {a, i}).outcome, ReadOutcome::ok);
    EXPECT_EQ(i, 3);
}

TEST(FormattedRead, FieldsColumnsAndBlanks)
{
    int n = -1;
    EXPECT_EQ(formatted("                         1 \n", "(25X,I3)", {n}).outcome, ReadOutcome::ok);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(formatted("xx\n", "(25X,I3)", {n}).outcome, ReadOutcome::ok);  // beyond a short record: 0
    EXPECT_EQ(n, 0);
    EXPECT_EQ(formatted(" 1 2\n", "(I4)", {n}).outcome, ReadOutcome::ok);  // blanks are absent
    EXPECT_EQ(n, 12);
    EXPECT_EQ(formatted("1.5\n", "(I3)", {n}).outcome, ReadOutcome::bad_value);

    double x = 0;
    EXPECT_EQ(formatted("      12345\n", "(F11.5)", {x}).outcome, ReadOutcome::ok);
    EXPECT_EQ(x, 0.12345);
    EXPECT_EQ(formatted("   1.25D+01\n", "(F11.5)", {x}).outcome, ReadOutcome::ok);
    EXPECT_EQ(x, 12.5);
    EXPECT_EQ(formatted("0.100000000+102\n", "(F15.5)", {x}).outcome, ReadOutcome::ok);
    EXPECT_EQ(x, 1e101);
    // A program reads back the non-finite values it wrote.
    EXPECT_EQ(formatted("       NaN -Infinity\n", "(F10.5,F10.5)", {x, x}).outcome, ReadOutcome::ok);
    EXPECT_TRUE(std::isinf(x) && x < 0);
    EXPECT_EQ(formatted("     abc\n", "(F10.5)", {x}).outcome, ReadOutcome::bad_value);
}

TEST(FormattedRead, SinglePrecisionTextsAndRecords)
{
    float f = 0;
    double d = 0;
    EXPECT_EQ(formatted("  12345.67891\n", "(F13.5)", {f}).outcome, ReadOutcome::ok);
    EXPECT_EQ(f, 12345.67891f);
    Text label(24), name(20);
    int h = 0;
    EXPECT_EQ(formatted(" FREQ 1 =  1.23456700( 2) with  2 harmonics\r\n", "(1X,A24,6X,I2)", {label, h}).outcome,
              ReadOutcome::ok);
    EXPECT_EQ(label.str(), "FREQ 1 =  1.23456700( 2)");
    EXPECT_EQ(h, 2);
    EXPECT_EQ(formatted(" abc\n", "(1x,a20)", {name}).outcome, ReadOutcome::ok);
    EXPECT_EQ(name.str(), "abc                 ");
    // A wider field keeps its rightmost characters.
    Text two(2);
    EXPECT_EQ(formatted("abcd\n", "(A4)", {two}).outcome, ReadOutcome::ok);
    EXPECT_EQ(two.str(), "cd");
    // / goes to the next record; the end of the input in the middle is
    // reported with the target that met it.
    ReadResult r = formatted("1\n", "(I3,/,F5.1)", {h, d});
    EXPECT_EQ(r.outcome, ReadOutcome::end_of_file);
    EXPECT_EQ(r.target, 1u);
    EXPECT_EQ(formatted("", "(I3)", {h}).outcome, ReadOutcome::end_of_file);
    // An edit that does not fit its target is a fault of the program, never
    // a read through the wrong type.
    EXPECT_THROW(formatted("12\n", "(A)", {h}), FormatError);
    EXPECT_THROW(formatted("12\n", "(A2)", {d}), FormatError);
    EXPECT_THROW(formatted("12\n", "(I2)", {label}), FormatError);
}

TEST(FreeWrite, SpacingAndTheEightyColumnRule)
{
    EXPECT_EQ(free_format({}), "\n");
    EXPECT_EQ(free_format({"(l,m) = (", 1, ",", -2, ")"}), " (l,m) = ( 1, -2)\n");
    EXPECT_EQ(free_format({"x", 0.1, 2.0, 1e-10, 1e20, -0.0}), " x 0.1 2.0 1E-10 1E+20 -0.0\n");
    double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(free_format({std::nan(""), inf, -inf, 123456.0f}), "  NaN Infinity -Infinity 123456.0\n");
    EXPECT_EQ(free_format({0.1f}), "  0.1\n");
    EXPECT_EQ(free_format({"number of frequencies : ", 3}), " number of frequencies :  3\n");

    Text a(70, "input.dat"), b(70, "solution.1.23457.fv");
    EXPECT_EQ(free_format({a, b}), " " + a.str() + "\n " + b.str() + "\n");
    EXPECT_EQ(free_format({"Header in file: ", a}), " Header in file: \n " + a.str() + "\n");
    // A line holds at most 79 columns; a value longer than that stays whole.
    std::string s78(78, 'x');
    EXPECT_EQ(free_format({s78}), " " + s78 + "\n");
    EXPECT_EQ(free_format({s78, 1}), " " + s78 + "\n  1\n");
    std::string s77(77, 'y');
    EXPECT_EQ(free_format({s77, "z"}), " " + s77 + "z\n");
    std::string s100(100, 'w');
    EXPECT_EQ(free_format({s100}), " " + s100 + "\n");
}
