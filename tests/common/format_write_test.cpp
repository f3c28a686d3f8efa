// The format engine on output: exact strings for every rule of the field
// editing, and a table of edits produced by the GNU Fortran runtime.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "common/format.hpp"
#include "common/io.hpp"

using namespace common;

namespace {

std::string fmt(std::string_view format, std::initializer_list<Value> values)
{
    std::string out;
    format_write(parse_format(format), std::span<const Value>(values.begin(), values.size()), out);
    return out;
}

const double inf = std::numeric_limits<double>::infinity();
const double qnan = std::numeric_limits<double>::quiet_NaN();

}  // namespace

TEST(FixedEdit, RoundsToNearestEvenOnTheBinaryValue)
{
    EXPECT_EQ(fmt("(F4.2)", {0.125}), "0.12\n");
    EXPECT_EQ(fmt("(F4.2)", {0.375}), "0.38\n");
    EXPECT_EQ(fmt("(F5.2)", {-0.125}), "-0.12\n");
    EXPECT_EQ(fmt("(F10.5)", {2.5}), "   2.50000\n");
    EXPECT_EQ(fmt("(F4.0)", {2.5}), "  2.\n");
}

TEST(FixedEdit, LeadingZeroOnlyWhereTheFieldHasRoom)
{
    EXPECT_EQ(fmt("(F7.5)", {0.5}), "0.50000\n");
    EXPECT_EQ(fmt("(F7.5)", {-0.5}), "-.50000\n");
    EXPECT_EQ(fmt("(F6.5)", {0.5}), ".50000\n");
    EXPECT_EQ(fmt("(F6.5)", {-0.5}), "******\n");
    EXPECT_EQ(fmt("(F10.5)", {-0.5}), "  -0.50000\n");
}

TEST(FixedEdit, NegativeValuesThatRoundToZeroKeepTheirSign)
{
    EXPECT_EQ(fmt("(F10.5)", {-1e-7}), "  -0.00000\n");
    EXPECT_EQ(fmt("(F7.5)", {-1e-7}), "-.00000\n");
    EXPECT_EQ(fmt("(F10.5)", {-0.0}), "  -0.00000\n");
    EXPECT_EQ(fmt("(F10.5)", {0.0}), "   0.00000\n");
}

TEST(FixedEdit, TooWideGivesAsterisks)
{
    EXPECT_EQ(fmt("(F10.5)", {12345.678}), "**********\n");
    EXPECT_EQ(fmt("(F13.5)", {2453796.5577}), "2453796.55770\n");
    EXPECT_EQ(fmt("(F10.5)", {2453796.5577}), "**********\n");
    EXPECT_EQ(fmt("(F5.2)", {100.0}), "*****\n");
    EXPECT_EQ(fmt("(F5.2)", {99.994}), "99.99\n");
    EXPECT_EQ(fmt("(F5.2)", {99.996}), "*****\n");
}

// Fields of up to 1000 characters and up to 1000 digits: every digit the
// exact decimal expansion of the double (as printf writes it), the field
// exactly w characters, asterisks where the digits cannot fit.
TEST(WideFields, ExactDigitsUpToTheWidestFieldAndAsterisksBeyond)
{
    char digits[2000];
    std::snprintf(digits, sizeof digits, "%.600f", 1e300);
    std::string f = fmt("(F1000.600)", {1e300});
    ASSERT_EQ(f.size(), 1001u);
    EXPECT_EQ(f, std::string(1000 - std::strlen(digits), ' ') + digits + "\n");
    std::snprintf(digits, sizeof digits, "%.998f", -0.1);
    EXPECT_EQ(fmt("(F1000.998)", {-0.1}), std::string(digits).erase(1, 1) + "\n");  // -.1000...
    EXPECT_EQ(fmt("(F1000.999)", {-0.1}), std::string(1000, '*') + "\n");

    std::snprintf(digits, sizeof digits, "%.69e", 1e300);  // d.ddd...e+300
    std::string mantissa = std::string(digits, 1) + std::string(digits + 2, 69);
    EXPECT_EQ(fmt("(E80.70)", {1e300}), std::string(4, ' ') + "0." + mantissa + "+301\n");
    EXPECT_EQ(fmt("(G80.70)", {1e300}), fmt("(E80.70)", {1e300}));

    EXPECT_EQ(fmt("(F5.10)", {0.0}), "*****\n");
    EXPECT_EQ(fmt("(F400.390)", {1e300}), std::string(400, '*') + "\n");
    EXPECT_EQ(fmt("(E1000.999)", {1.0}), std::string(1000, '*') + "\n");
    EXPECT_EQ(fmt("(E1000.995)", {1.0}).substr(0, 12), ".10000000000");
    EXPECT_EQ(fmt("(G20.1000)", {1.0}), std::string(20, '*') + "\n");
    EXPECT_EQ(fmt("(I1000.1000)", {7}).size(), 1001u);
    for (const char* refused : {"(F1000.1001)", "(E20.5000)", "(G10.100000)", "(I5.1001)", "(F1001.2)"})
        EXPECT_THROW(parse_format(refused), FormatError) << refused;
}

TEST(FixedEdit, NonFiniteValues)
{
    EXPECT_EQ(fmt("(F10.5)", {qnan}), "       NaN\n");
    EXPECT_EQ(fmt("(F10.5)", {inf}), "  Infinity\n");
    EXPECT_EQ(fmt("(F10.5)", {-inf}), " -Infinity\n");
    EXPECT_EQ(fmt("(F7.4)", {inf}), "    Inf\n");
    EXPECT_EQ(fmt("(F8.1)", {-inf}), "    -Inf\n");
    EXPECT_EQ(fmt("(F3.1)", {-inf}), "***\n");
    EXPECT_EQ(fmt("(F2.1)", {qnan}), "**\n");
}

TEST(GeneralEdit, SwitchesOnTheValueRoundedToItsDigits)
{
    EXPECT_EQ(fmt("(G15.9)", {0.09999999999}), "0.100000000    \n");
    EXPECT_EQ(fmt("(G15.9)", {0.0999999999}), "0.999999999E-01\n");
    EXPECT_EQ(fmt("(G15.9)", {0.1}), "0.100000000    \n");
    EXPECT_EQ(fmt("(G15.9)", {999999999.4}), " 999999999.    \n");
    EXPECT_EQ(fmt("(G15.9)", {999999999.7}), "0.100000000E+10\n");
    EXPECT_EQ(fmt("(G15.9)", {123.456}), " 123.456000    \n");
    EXPECT_EQ(fmt("(G15.9)", {-123456789.4}), "-123456789.    \n");
}

TEST(GeneralEdit, ZeroNegativeAndExponentForms)
{
    EXPECT_EQ(fmt("(G15.9)", {0.0}), " 0.00000000    \n");
    EXPECT_EQ(fmt("(G15.9)", {-0.5}), "-.500000000    \n");
    EXPECT_EQ(fmt("(G15.9)", {-0.05}), "-.500000000E-01\n");
    EXPECT_EQ(fmt("(G15.9)", {0.05}), "0.500000000E-01\n");
    EXPECT_EQ(fmt("(G15.9)", {1e101}), "0.100000000+102\n");
    EXPECT_EQ(fmt("(G15.9)", {-1e-100}), "-.100000000E-99\n");
    EXPECT_EQ(fmt("(G15.9)", {5e-324}), "0.494065646-323\n");
    EXPECT_EQ(fmt("(G15.9)", {qnan}), "            NaN\n");
    EXPECT_EQ(fmt("(G15.9)", {-inf}), "      -Infinity\n");
}

// A fixed-point part that does not fit its w - 4 places: the whole field is
// asterisks, never wider than w (fields written by the GNU Fortran runtime).
TEST(GeneralEdit, FixedPartTooWideFillsTheWholeField)
{
    EXPECT_EQ(fmt("('[',G2.39,']')", {1.5}), "[**]\n");
    EXPECT_EQ(fmt("('[',G3.2,']')", {0.0}), "[***]\n");
    EXPECT_EQ(fmt("('[',G4.2,']')", {1.5}), "[****]\n");
    EXPECT_EQ(fmt("('[',G5.1,']')", {1.0}), "[*****]\n");
    EXPECT_EQ(fmt("('[',G8.6,']')", {1.5}), "[********]\n");
    EXPECT_EQ(fmt("('[',G1.1,']')", {150.0}), "[*]\n");
    EXPECT_EQ(fmt("('[',G20.30,']')", {1.0}), "[********************]\n");
}

TEST(IntegerEdit, WidthMinimumDigitsAndOverflow)
{
    EXPECT_EQ(fmt("(I6)", {-5}), "    -5\n");
    EXPECT_EQ(fmt("(I6.3)", {7}), "   007\n");
    EXPECT_EQ(fmt("(I6.3)", {-7}), "  -007\n");
    EXPECT_EQ(fmt("(I2)", {100}), "**\n");
    EXPECT_EQ(fmt("(i4,1x,f12.8,2x,a60)", {10000, 1.5, "x"}).substr(0, 4), "****");
    EXPECT_EQ(fmt("(I10)", {static_cast<long long>(INT64_MIN)}), "**********\n");
}

TEST(TextEdit, ShorterRightAlignedLongerCut)
{
    EXPECT_EQ(fmt("(A8,'|',A2,'|',A)", {"ab", "abcdef", "whole text "}), "      ab|ab|whole text \n");
    EXPECT_EQ(fmt("(A3,3X,A3,1X,A3,A11,2X,4A8,2X,2A10)",
                  {"pos", "l", "m", "discr", "vp", "incl", "vomega", "sigma", "dgamma_1", "dgamma_n"}),
              "pos     l   m      discr        vp    incl  vomega   sigma    dgamma_1  dgamma_n\n");
}

TEST(Records, SlashesLiteralsAndTheEndOfOutput)
{
    EXPECT_EQ(fmt("('a',/,/)", {}), "a\n\n\n");
    EXPECT_EQ(fmt("('Table with the final results (Sf = ',F10.5,')')", {0.0}),
              "Table with the final results (Sf =    0.00000)\n");
    // Output stops at the first data item left without a value.
    EXPECT_EQ(fmt("('x',I3,'y',I3,'z')", {1}), "x  1y\n");
    EXPECT_EQ(fmt("(1X,F13.7,15F13.5)", {1.0, 2.0}), "     1.0000000      2.00000\n");
    // nX moves the position: blanks appear only when text follows.
    EXPECT_EQ(fmt("(1H1,'x',2X)", {}), "1x\n");
    EXPECT_EQ(fmt("(a8,i2,a2)", {" * MODE ", 1, " *"}), " * MODE  1 *\n");
    // Values left at the end of the format start it again on a new record.
    EXPECT_EQ(fmt("(I3)", {1, 2, 3}), "  1\n  2\n  3\n");
    EXPECT_EQ(fmt("('It''s')", {}), "It's\n");
}

TEST(Records, CharacteristicsReportsEndWithTwoEmptyRecords)
{
    std::string cyclefit = fmt(
        "('CHARACTERISTICS OF THE OBSERVATIONS',/,/,7X,'number            : ',I6,/,7X,'observing time    from  ',F15.7,' until  ',F15.7,/,7X,'total time        : ',F15.7,'( =1/',F15.7,')',/,7X,'time intervals    from  ',F15.7,' until  ',F15.7,/,7X,'average           : ',F15.7,'(STD=',F15.7,')',/,7X,'observations      from  ',F15.7,' until  ',F15.7,/,7X,'range             : ',F15.7,/,7X,'average           : ',F15.7,/,7X,'variance          : ',F15.7,/,7X,'standard deviation: ',F15.7,/,/)",
        {3, 0.0, 2.0, 2.0, 0.5, 1.0, 1.0, 1.0, 0.0, 1.0, 3.0, 2.0, 2.0, 1.0, 1.0});
    int records = 0;
    for (char c : cyclefit) records += c == '\n';
    EXPECT_EQ(records, 14);
    EXPECT_EQ(cyclefit.substr(cyclefit.size() - 4), "0\n\n\n");
    EXPECT_EQ(cyclefit.substr(0, 38), "CHARACTERISTICS OF THE OBSERVATIONS\n\n ");

    std::string periodscan = fmt(
        "(1H1,'Kenmerken van de gegevens',/,/,7X,'AANTAL : ',I6,/,/,7X,'WAARNEMINGSTIJDEN   VAN  ',F13.5,'   TOT  ',F13.5,/,7X,'TOTALE TIJD        : ',F10.5,'( =1/',F10.5,')',/,/,7X,'TIJDSINTERVALLEN    VAN  ',F10.5,'   TOT  ',F10.5,/,7X,'GEMIDDELD          : ',F10.5,'(STD=',F10.5,')',/,/,7X,'WAARNEMINGEN        VAN  ',F10.5,'   TOT  ',F10.5,/,7X,'RANGE              : ',F10.5,/,7X,'GEMIDDELDE         : ',F10.5,/,7X,'VARIANTIE          : ',F10.5,/,7X,'STANDAARDAFWIJKING : ',F10.5,/,/)",
        {3, 0.0, 2.0, 2.0, 0.5, 1.0, 1.0, 1.0, qnan, 1.0, 3.0, 2.0, 2.0, 1.0, 1.0});
    EXPECT_EQ(periodscan.substr(0, 28), "1Kenmerken van de gegevens\n\n");
    EXPECT_NE(periodscan.find("(STD=       NaN)"), std::string::npos);
    EXPECT_EQ(periodscan.substr(periodscan.size() - 4), "0\n\n\n");
}

TEST(Records, InternalWriteIntoATextField)
{
    Text freqtext(8);
    write_into(freqtext, "(F8.5)", {12.345678});
    EXPECT_EQ(freqtext.str(), "12.34568");
    EXPECT_EQ(write_text("(F7.5)", {1.234567}), "1.23457");
    EXPECT_EQ(write_text("(F7.5)", {0.5}), "0.50000");
    EXPECT_EQ(write_text("(F7.5)", {9.999999}), "*******");
    Text vrtext(5);
    write_into(vrtext, "(f5.2)", {100.0});
    EXPECT_EQ(vrtext.str(), "*****");
    Text name(17);
    write_into(name, "(a16)", {"solution.1.23457.fv "});
    EXPECT_EQ(name.str(), "solution.1.23457 ");
}

TEST(Parser, AcceptsEveryFormOfTheNotationAndRefusesBrokenOnes)
{
    EXPECT_NO_THROW(parse_format("(1x,a20)"));
    EXPECT_NO_THROW(parse_format(" ( 2 ( I3 , 1X ) , E12.4, D10.3, 3/ ) "));
    EXPECT_EQ(parse_format("(3F10.5)").items.size(), 3u);
    EXPECT_EQ(fmt("(2(I2,'-'))", {1, 2}), " 1- 2-\n");
    for (const char* bad : {"", "(", "I3", "(I3", "(Q3)", "(F10)", "(I0)", "('open)", "(3H12)", "(I3))", "(G10.0)"})
        EXPECT_THROW(parse_format(bad), FormatError) << bad;
    EXPECT_THROW(fmt("(I3)", {1.5}), FormatError);
    EXPECT_THROW(fmt("(F5.1)", {"text"}), FormatError);
    EXPECT_THROW(fmt("('no data')", {1}), FormatError);
}

// Every value of the table was written by the GNU Fortran runtime with the
// edit descriptor named on its line; the engine must give the same field
// (trailing blanks of the table are not kept).
TEST(FortranRuntimeTable, EveryEditMatches)
{
    std::string path = std::string(__FILE__);
    path = path.substr(0, path.rfind('/')) + "/data/fortran_edits.txt";
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    std::string line;
    int checked = 0, failures = 0;
    while (std::getline(in, line)) {
        std::size_t bar = line.find('|');
        std::istringstream head(line.substr(0, bar));
        std::string edit, hex;
        head >> edit >> hex;
        std::string expected = line.substr(bar + 1, line.size() - bar - 2);
        std::uint64_t bits = std::stoull(hex, nullptr, 16);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        std::string got = fmt("(" + edit + ")", {value});
        got.pop_back();
        std::size_t end = got.find_last_not_of(' ');
        got = end == std::string::npos ? "" : got.substr(0, end + 1);
        if (got != expected && ++failures <= 20) ADD_FAILURE() << edit << " of " << hex << ": [" << got << "] vs [" << expected << "]";
        ++checked;
    }
    EXPECT_GT(checked, 10000);
    EXPECT_EQ(failures, 0);
}
