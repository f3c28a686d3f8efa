// The shared records of cyclefit: one instance each, living for the whole
// run and visible to every routine of the program.  Arrays hold element 1
// at index 0.
#pragma once

#include <array>

#include "common/text.hpp"

namespace cyclefit {

constexpr int maxobs = 75000;   // observations a file may hold
constexpr int maxfreq = 11;     // frequencies of one fit
constexpr int maxbasis = 99;    // parameters of one fit
constexpr int curvepoints = 101;

// The frequency set of the current fit.
struct Oud {
    std::array<double, maxfreq> freq{};
    std::array<int, maxfreq> nharm{};
    int nfreq = 0;
};

// File names of the current fit.
struct Lijn4 {
    common::Text outname{70};  // solution file
    common::Text inname{70};   // input file
};

struct Lijn7 {
    common::Text resname{70};  // residual file
};

// Plot ranges and settings.
struct Lijn1 {
    float ymin = 0, ymax = 0;  // value axis, bottom and top (reversed for magnitudes)
    int npts = 0;
    int psflag = 0;            // 0: the device chosen interactively, 1: the PostScript file
    int longname = 0;          // 1: the plot-file name has 21 characters, 0: 20
    int datakind = 0;          // 0..12 from the data-kind menu
    common::Text psname20{20};
    common::Text psname21{21};
};

// The points and the curve of the phase diagram.
struct Lijn2 {
    std::array<float, maxobs> phase{};
    std::array<float, maxobs> obs{};
    std::array<float, maxobs> obslow{};
    std::array<float, maxobs> obshigh{};
    std::array<common::Text, maxfreq> label{common::Text(24), common::Text(24), common::Text(24), common::Text(24),
                                            common::Text(24), common::Text(24), common::Text(24), common::Text(24),
                                            common::Text(24), common::Text(24), common::Text(24)};
    std::array<float, curvepoints> xcurve{};
    std::array<float, curvepoints> ycurve{};
};

// Fit quality and the residual panel.
struct Lijn3 {
    double fracvar = 0;        // fraction of the variance explained (the plot keeps it as a percentage)
    float rmin = 0, rmax = 0;  // residual axis, bottom and top (reversed for magnitudes)
    std::array<float, curvepoints> zeroline{};
    std::array<float, maxobs> resid{};
    common::Text vrtext{5};
};

extern Oud oud;
extern Lijn1 lijn1;
extern Lijn2 lijn2;
extern Lijn3 lijn3;
extern Lijn4 lijn4;
extern Lijn7 lijn7;

}  // namespace cyclefit
