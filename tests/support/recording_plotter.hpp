// A plotter that draws nothing and records every call, for the tests of
// what the programs draw.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plotting/plot.hpp"

namespace plotting {

// A plotter that draws nothing and records every call with its arguments,
// one text line per call, for tests: for example
//   svp(0.1, 0.9, 0.3, 0.9)
//   box("bcts", 0.1, 2, "bcntsv", 0, 2)
//   pt(2, [0.25 0.75], [1.5 2], 751)
// Reals are written in their shortest form as single-precision numbers.
class RecordingPlotter : public Plotter {
public:
    std::vector<std::string> calls;
    bool opens = true;        // what begin answers
    std::string end_failure;  // what end answers: empty, or why the picture is not written

    bool begin(int unit, std::string_view device, int nxsub, int nysub) override;
    void page() override;
    void svp(float xleft, float xright, float ybot, float ytop) override;
    void swin(float x1, float x2, float y1, float y2) override;
    void box(std::string_view xopt, float xtick, int nxsub, std::string_view yopt, float ytick,
             int nysub) override;
    void pt(int n, const float* xpts, const float* ypts, int symbol) override;
    void erry(int n, const float* x, const float* y1, const float* y2, float t) override;
    void sci(int ci) override;
    void sch(float size) override;
    void mtxt(std::string_view side, float disp, float coord, float fjust, std::string_view text) override;
    void lab(std::string_view xlbl, std::string_view ylbl, std::string_view toplbl) override;
    void line(int n, const float* xpts, const float* ypts) override;
    std::string end() override;
    void pap(float width, float aspect) override;
    void scr(int ci, float red, float green, float blue) override;
    void slw(int width) override;
    void sls(int style) override;
    void ptxt(float x, float y, float angle, float fjust, std::string_view text) override;
};

}  // namespace plotting
