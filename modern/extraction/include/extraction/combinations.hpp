// Harmonics and combination frequencies among the extracted frequencies.
#pragma once

#include <limits>
#include <span>
#include <string>
#include <vector>

namespace extraction {

// A label and how far it can be trusted.
struct Label {
    std::string text;  // "7f1", "f1+f2", "2f3-f1"; empty for an independent frequency
    // The probability that an independent frequency lies as close to a
    // value of this label's kind by chance (chance_match_probability); NaN
    // when there is no label.
    double probability = std::numeric_limits<double>::quiet_NaN();
    bool possible() const { return probability > possible_label_probability; }

    // Above this chance a label is only possible.
    static constexpr double possible_label_probability = 0.01;
};

// shown_label: the label as tables and pictures show it: its text, with a
// question mark after it when it is only possible ("f1+f2?"); empty for
// none.
std::string shown_label(const Label& label);

struct LabelSettings {
    double resolution = 0.0;        // c/d: no match is farther (Loumos & Deeming 1978: 1.5/T)
    double fmin = 0.0, fmax = 0.0;  // the range searched, c/d
};

// frequency_labels: for each frequency (ids 1, 2, ... in the order given),
// a label when it is a harmonic n f_i (any n >= 2) or a combination
// n f_i +- m f_j (n, m = 1, 2) of stronger frequencies that are themselves
// unlabelled, with the chance of so close a match.
//   Given:    frequencies  c/d, one per extracted frequency
//             errors       their standard errors, c/d, one each (or empty
//                          when none is known)
//             amplitudes   one each: the order in which they are labelled
//             settings     the resolution and the range searched (fmin < fmax)
//   Returned: one label each; throws std::invalid_argument when the
//             numbers of errors or amplitudes differ from that of the
//             frequencies, or the range or the resolution is not one
//   Notes: 1. Frequencies are labelled in order of decreasing amplitude; a
//             parent must be stronger and itself unlabelled, so labels are
//             written in independent frequencies.
//          2. A value v (n f_i, or |n f_i + m f_j|) matches f_k when
//             |f_k - v| is within the resolution and within 3 combined
//             standard errors (sigma_k^2 + n^2 sigma_i^2 + m^2 sigma_j^2)^(1/2)
//             (the variance of f_k - v for independent errors).  Where an
//             error is not known (not finite or negative), the resolution
//             alone bounds the match.
//          3. Harmonics are tried up to fmax, each parent's nearest to f_k
//             (n = f_k / f_i rounded; a farther n is farther by f_i).
//          4. The simplest match wins, not the closest: a harmonic before a
//             combination (one parent before two), then the lower order (n,
//             or |n| + |m|), then the match using the smaller share of what
//             it was allowed (distance over the smaller of the resolution
//             and the 3 errors), then the lower ids.
//          5. The probability is chance_match_probability of the match's
//             distance, with K the values of its kind (harmonics n f_i, or
//             combinations) that the parents at hand put within
//             [fmin, fmax].  Labels only: nothing is removed or refitted.
std::vector<Label> frequency_labels(std::span<const double> frequencies, std::span<const double> errors,
                                    std::span<const double> amplitudes, const LabelSettings& settings);

// chance_match_probability: the probability that a frequency unrelated to
// the others lies within `distance` (c/d) of at least one of K = `values`
// values spread over a range of width W = `width` (c/d),
//   p = 1 - (1 - 2 distance / W)^K   (1 when 2 distance >= W).
//   Notes: 1. Derivation: for a frequency unrelated to the values, each
//             value lies anywhere in the range; it falls within distance
//             of the frequency with probability 2 distance / W (a window of
//             width 2 distance in a range W), and the K values miss it
//             independently, so all K miss with probability
//             (1 - 2 distance / W)^K.  For small 2 K distance / W, p is
//             about 2 K distance / W, the expected number of values within
//             distance.  Sums and differences of the same parents are not
//             independent of one another, but their windows rarely
//             overlap, which is all the product needs.
//          2. The ends of the range are neglected: a value within distance
//             of an end has part of its window outside; p is then a little
//             too high, on the side of caution.
double chance_match_probability(double distance, double values, double width);

}  // namespace extraction
