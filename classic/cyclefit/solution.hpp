// The solution file of a fit: written by the report, read back by the phase
// plot by record position.  Its layout, record counts included, is the
// contract between the two and with the users' own scripts, so its records
// are named here once: the formats of the records that carry values, the
// fields the phase plot reads from them, and the fixed records between.
//
// In file order:
//   the two names (inname, outname: 70 characters each, so two records by
//   the 80-column rule), after_names, the characteristics of the shifted
//   observations (dobsta's report), fit_heading, the number of frequencies,
//   after_nfreq, the constant, for each frequency its FREQ record and
//   harmonic_records per harmonic (sine, cosine, amplitude, phase), res. sum,
//   before_imax, the frequency with the biggest amplitude, table_heading,
//   one row per observation, before_fracvar, FRACVAR, after_fracvar,
//   curve_heading, curve_rows rows of the calculated fit.
#pragma once

#include <span>

#include "common/io.hpp"

namespace cyclefit::solution {

// The records with values, as the report writes them.
constexpr const char* nfreq_label = "number of frequencies : ";  // free format, then nfreq
constexpr const char* constant_record = "(1X,'constant : ',F15.5,9X,'(',F9.5,' ->',F9.5,')')";
constexpr const char* freq_record = "(1X,'FREQ',I2,' = ',F11.8,'(',I2,') with ',I2,' harmonics')";
constexpr const char* sine_record = "(4X,' sine    * ',3X,F15.5,4X,'(',F9.5,' ->',F9.5,')')";
constexpr const char* cosine_record = "(4X,' cosine  * ',3X,F15.5,4X,'(',F9.5,' ->',F9.5,')')";
constexpr const char* amplitude_record = "(4X,'frequency ->  ',F12.8,2X,'amplitude:  ',F15.5,3X,'s.e.:',F10.4)";
constexpr const char* phase_record =
    "(4X,'frequency ->  ',F12.8,2X,'phase(in 2pi rad): ',F8.5,3X,'s.e.:',F10.4)";
constexpr const char* ressum_record = "(1X,'res. sum : ',F20.8)";
constexpr const char* imax_record = "(' frequency with biggest amplitude : ',I2)";
constexpr const char* fracvar_record = "(a11,f7.4)";  // with fracvar_label
constexpr const char* fracvar_label = " FRACVAR = ";
// A row of the residual table (time, residual, value, error, fit, then the
// phase of every frequency) and of the calculated fit (fit, phases).
constexpr const char* row_record = "(1X,F13.7,15F13.5)";

// The same records as the phase plot reads them back: the value fields.
constexpr const char* name_field = "(1x,a20)";  // the second name record
constexpr const char* count_field = "(27X,I6)";  // the count line of the characteristics
constexpr const char* nfreq_field = "(25X,I3)";
constexpr const char* constant_field = "(11X,F15.5)";
constexpr const char* freq_fields = "(1X,A24,6X,I2)";    // the frequency's label and its harmonic count
constexpr const char* coefficient_field = "(18X,F15.5)";  // the sine and the cosine records
constexpr const char* amplitude_fields = "(17X,F13.8,14X,F15.5)";  // the harmonic's frequency and amplitude
constexpr const char* ressum_field = "(12X,F20.8)";
constexpr const char* imax_field = "(36X,I2)";
constexpr const char* fracvar_field = "(11X,F7.4)";

// Record counts.
constexpr int name_records = 2;
constexpr int characteristics_records = 14;  // dobsta's report: title, empty, count, nine values, two empty
constexpr int count_record = 3;              // the count of observations within that report
constexpr int harmonic_records = 4;          // sine, cosine, amplitude, phase
constexpr int curve_rows = 100;

// The fixed records, in file order.  Each text is one free-format record;
// an empty text is an empty record.
using Block = std::span<const char* const>;
inline constexpr const char* after_names[] = {"", ""};
inline constexpr const char* fit_heading[] = {"", "CHARACTERISTICS OF THE FIT", ""};
inline constexpr const char* after_nfreq[] = {""};
inline constexpr const char* before_imax[] = {""};
inline constexpr const char* table_heading[] = {
    "", "", "OUTPUT FOR THE MOMENTS OF OBSERVATION", "",
    "     time         residual     variable      error         fit         phase"};
inline constexpr const char* before_fracvar[] = {"", ""};
inline constexpr const char* after_fracvar[] = {"", ""};
inline constexpr const char* curve_heading[] = {"CALCULATED FIT", "", "        fit         phases"};

inline void write_block(int channel, Block block)
{
    for (const char* text : block) {
        if (*text == '\0')
            common::write_free(channel, {});
        else
            common::write_free(channel, {text});
    }
}

}  // namespace cyclefit::solution
