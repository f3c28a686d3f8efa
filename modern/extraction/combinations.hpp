// Harmonics and combination frequencies among the extracted frequencies.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace extraction {

// combination_labels: for each frequency (ids 1, 2, ... in the order
// given), a label when it lies within `resolution` of a harmonic n f_i
// (n = 2..5) or a combination n f_i +- m f_j (n, m = 1, 2) of stronger
// parent frequencies; empty otherwise.
//   Given:    frequencies, amplitudes  one each per extracted frequency
//             resolution               c/d (Loumos & Deeming 1978: 1.5/T)
//   Returned: labels such as "2f1", "f1+f2", "2f3-f1"
//   Notes: 1. Frequencies are labelled in order of decreasing amplitude;
//             a parent must be stronger and itself unlabelled, so
//             combinations are written in independent frequencies.
//          2. The closest match wins; at equal distance the simpler one
//             (a harmonic, then the lower order n + m, then the lower ids).
//          3. Labels only: nothing is removed or refitted.
std::vector<std::string> combination_labels(std::span<const double> frequencies, std::span<const double> amplitudes,
                                            double resolution);

}  // namespace extraction
