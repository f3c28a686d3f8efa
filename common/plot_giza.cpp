// The giza side of the plotting seam.  Two things are done here rather than
// left to the library:
//  1. The device "?": the library's own question loops for ever once
//     standard input has ended, so the question is asked here, in the
//     library's words, through the text layer; "?" lists the devices and
//     asks again, an empty answer means /xw, and the end of standard input
//     is an input error.
//  2. Marker codes above 127 are Hershey symbols, which the library lacks
//     (it would draw the letter A); the two the programs use, 751 and 256,
//     are drawn as its small filled circle, marker 17.
#include <cpgplot.h>

#include <cstdio>
#include <string>

#include "common/io.hpp"
#include "common/plot.hpp"

namespace common {
namespace {

std::string trim(std::string_view s)
{
    std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    std::size_t last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

std::string ask_device()
{
    for (;;) {
        write_raw(screen, "Graphics device/type (? to see list, default /xw):");
        std::string answer;
        read_line(keyboard, answer);  // the end of standard input is an input error
        answer = trim(answer);
        if (answer == "?") {
            std::fflush(stdout);
            cpgldev();
            std::fflush(stdout);
            continue;
        }
        return answer.empty() ? "/xw" : answer;
    }
}

// The library accepts a file device it cannot write (the failure shows only
// when the picture is closed), so the file of "name/type" or "name.type" is
// tried first.  A file that did not exist is removed again: the library
// creates it.
bool file_writable(const std::string& device)
{
    std::size_t slash = device.rfind('/');
    std::string name = trim(slash == std::string::npos ? device : device.substr(0, slash));
    if (name.empty()) return true;
    std::FILE* probe = std::fopen(name.c_str(), "rb");
    bool existed = probe != nullptr;
    if (probe) std::fclose(probe);
    probe = std::fopen(name.c_str(), "ab");
    if (!probe) return false;
    std::fclose(probe);
    if (!existed) std::remove(name.c_str());
    return true;
}

int marker(int symbol) { return symbol == 751 || symbol == 256 ? 17 : symbol; }

class GizaPlotter : public Plotter {
public:
    bool begin(int unit, std::string_view device, int nxsub, int nysub) override
    {
        std::string spec = trim(device) == "?" ? ask_device() : std::string(device);
        std::fflush(stdout);
        if (!file_writable(spec) || cpgbeg(unit, spec.c_str(), nxsub, nysub) != 1) {
            write_free(screen, {"Graphics device " + trim(spec) + " cannot be opened: nothing is drawn on it."});
            return false;
        }
        return true;
    }
    void page() override { cpgpage(); }
    void svp(float xleft, float xright, float ybot, float ytop) override { cpgsvp(xleft, xright, ybot, ytop); }
    void swin(float x1, float x2, float y1, float y2) override { cpgswin(x1, x2, y1, y2); }
    void box(std::string_view xopt, float xtick, int nxsub, std::string_view yopt, float ytick, int nysub) override
    {
        cpgbox(std::string(xopt).c_str(), xtick, nxsub, std::string(yopt).c_str(), ytick, nysub);
    }
    void pt(int n, const float* xpts, const float* ypts, int symbol) override
    {
        if (n > 0) cpgpt(n, xpts, ypts, marker(symbol));
    }
    void erry(int n, const float* x, const float* y1, const float* y2, float t) override
    {
        if (n > 0) cpgerry(n, x, y1, y2, t);
    }
    void sci(int ci) override { cpgsci(ci); }
    void sch(float size) override { cpgsch(size); }
    void mtxt(std::string_view side, float disp, float coord, float fjust, std::string_view text) override
    {
        cpgmtxt(std::string(side).c_str(), disp, coord, fjust, std::string(text).c_str());
    }
    void lab(std::string_view xlbl, std::string_view ylbl, std::string_view toplbl) override
    {
        cpglab(std::string(xlbl).c_str(), std::string(ylbl).c_str(), std::string(toplbl).c_str());
    }
    void line(int n, const float* xpts, const float* ypts) override
    {
        if (n > 0) cpgline(n, xpts, ypts);
    }
    void end() override
    {
        cpgend();
        std::fflush(stdout);
    }
};

GizaPlotter giza;
Plotter* current = &giza;

}  // namespace

Plotter& graphics() { return *current; }

void use_graphics(Plotter* plotter) { current = plotter ? plotter : &giza; }

}  // namespace common
