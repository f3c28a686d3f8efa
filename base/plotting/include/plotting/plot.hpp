// The plotting seam: the PGPLOT-style calls the programs draw with, behind
// one small interface.  The programs draw through graphics(), which is the
// giza library unless a test has put a recorder in its place.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace common {

class Plotter {
public:
    virtual ~Plotter() = default;

    // Opens a device ("?" asks the user which).  Returns false when the
    // device cannot be opened; the caller then draws nothing on it.
    virtual bool begin(int unit, std::string_view device, int nxsub, int nysub) = 0;
    virtual void page() = 0;
    virtual void svp(float xleft, float xright, float ybot, float ytop) = 0;
    virtual void swin(float x1, float x2, float y1, float y2) = 0;
    virtual void box(std::string_view xopt, float xtick, int nxsub, std::string_view yopt, float ytick,
                     int nysub) = 0;
    virtual void pt(int n, const float* xpts, const float* ypts, int symbol) = 0;
    virtual void erry(int n, const float* x, const float* y1, const float* y2, float t) = 0;
    virtual void sci(int ci) = 0;
    virtual void sch(float size) = 0;
    virtual void mtxt(std::string_view side, float disp, float coord, float fjust, std::string_view text) = 0;
    virtual void lab(std::string_view xlbl, std::string_view ylbl, std::string_view toplbl) = 0;
    virtual void line(int n, const float* xpts, const float* ypts) = 0;
    virtual void end() = 0;

    // Calls of the modern program's picture; the classic programs do not
    // make them.
    // Opens a file device ("name.png/png") without asking and without a
    // word on the screen; false when it cannot be opened.
    virtual bool open_file(std::string_view device) = 0;
    // The page size: width in inches, aspect height / width.
    virtual void pap(float width, float aspect) = 0;
    // Colour index ci set to red, green and blue in [0, 1].
    virtual void scr(int ci, float red, float green, float blue) = 0;
    virtual void slw(int width) = 0;  // line width, 1 the thinnest
    virtual void sls(int style) = 0;  // line style: 1 full, 2 dashed, 4 dotted
    // Text at a point of the window, at `angle` degrees, fjust 0 left, 0.5
    // centred, 1 right of the point.
    virtual void ptxt(float x, float y, float angle, float fjust, std::string_view text) = 0;
};

// The plotter the programs draw with: the giza library by default.
Plotter& graphics();
// Puts another plotter in its place (a test's recorder); nullptr gives the
// giza library back.
void use_graphics(Plotter* plotter);

// A plotter that draws nothing and records every call with its arguments,
// one text line per call, for tests: for example
//   svp(0.1, 0.9, 0.3, 0.9)
//   box("bcts", 0.1, 2, "bcntsv", 0, 2)
//   pt(2, [0.25 0.75], [1.5 2], 751)
// Reals are written in their shortest form as single-precision numbers.
class RecordingPlotter : public Plotter {
public:
    std::vector<std::string> calls;
    bool opens = true;  // what begin answers

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
    void end() override;
    bool open_file(std::string_view device) override;
    void pap(float width, float aspect) override;
    void scr(int ci, float red, float green, float blue) override;
    void slw(int width) override;
    void sls(int style) override;
    void ptxt(float x, float y, float angle, float fjust, std::string_view text) override;
};

}  // namespace common
