// The plotting seam: the PGPLOT-style calls the programs draw with, behind
// one small interface, under both stacks.  GizaPlotter draws with the giza
// library (the tests have a plotter that records the calls instead,
// tests/support/recording_plotter.hpp).
// A plotter reports its failures as values: a device that cannot be opened,
// a file that cannot be written.  The terminal programs' own way of asking
// for a device and of ending on a failure is theirs (common/graphics.hpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plotting {

class Plotter {
public:
    virtual ~Plotter() = default;

    // Opens the device named ("plot.png/png", "/xw", "/null").  Returns
    // false when it cannot be opened; the caller then draws nothing on it.
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
    // Closes the device.  Returns empty when what was drawn is written, else
    // why it is not, in the library's words ("No space left on device").
    virtual std::string end() = 0;

    // Calls of the modern program's picture; the classic programs do not
    // make them.
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

// A device's name without the blanks around it, as the library reads it.
std::string trimmed(std::string_view device);

// The giza library.  It keeps one device open at a time, whichever
// GizaPlotter opened it.
//   Notes: 1. A value axis that runs downwards (magnitudes: the window's
//             bottom value above its top value) gets its numbers and ticks
//             from the library as if it ran upwards, so they would
//             contradict the points; that axis is ticked and numbered here.
//          2. Marker codes above 127 are Hershey symbols, which the library
//             lacks (it would draw the letter A); the two the programs use,
//             751 and 256, are drawn as its small filled circle, marker 17.
//          3. A file the library cannot write (a full disc) it reports only
//             on standard error while it closes the device: what it says
//             there is read, and its error is what end() returns.
//          4. A file device it cannot write it would accept, failing only
//             when it closes: the file is tried first, and begin refuses it.
class GizaPlotter : public Plotter {
public:
    bool begin(int unit, std::string_view device, int nxsub, int nysub) override;
    void page() override;
    void svp(float xleft, float xright, float ybot, float ytop) override;
    void swin(float x1, float x2, float y1, float y2) override;
    void box(std::string_view xopt, float xtick, int nxsub, std::string_view yopt, float ytick, int nysub) override;
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

    // The devices the library knows, listed on standard output.
    void list_devices();
    // The file the open device writes, or the device itself when it names
    // no file.
    std::string device_file() const;

private:
    std::string device_;  // the device open now
};

}  // namespace plotting
