// The recording plotter: every call as one line of text.
#include <charconv>

#include "support/recording_plotter.hpp"

namespace plotting {
namespace {

std::string num(float v)
{
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string quoted(std::string_view s)
{
    std::string out(1, '"');
    out.append(s);
    out.push_back('"');
    return out;
}

std::string list(int n, const float* v)
{
    std::string out = "[";
    for (int i = 0; i < n; ++i) {
        if (i) out.push_back(' ');
        out.append(num(v[i]));
    }
    out.push_back(']');
    return out;
}

}  // namespace

bool RecordingPlotter::begin(int unit, std::string_view device, int nxsub, int nysub)
{
    calls.push_back("begin(" + std::to_string(unit) + ", " + quoted(device) + ", " + std::to_string(nxsub) + ", " +
                    std::to_string(nysub) + ")");
    return opens;
}

void RecordingPlotter::page() { calls.push_back("page()"); }

void RecordingPlotter::svp(float xleft, float xright, float ybot, float ytop)
{
    calls.push_back("svp(" + num(xleft) + ", " + num(xright) + ", " + num(ybot) + ", " + num(ytop) + ")");
}

void RecordingPlotter::swin(float x1, float x2, float y1, float y2)
{
    calls.push_back("swin(" + num(x1) + ", " + num(x2) + ", " + num(y1) + ", " + num(y2) + ")");
}

void RecordingPlotter::box(std::string_view xopt, float xtick, int nxsub, std::string_view yopt, float ytick,
                           int nysub)
{
    calls.push_back("box(" + quoted(xopt) + ", " + num(xtick) + ", " + std::to_string(nxsub) + ", " + quoted(yopt) +
                    ", " + num(ytick) + ", " + std::to_string(nysub) + ")");
}

void RecordingPlotter::pt(int n, const float* xpts, const float* ypts, int symbol)
{
    calls.push_back("pt(" + std::to_string(n) + ", " + list(n, xpts) + ", " + list(n, ypts) + ", " +
                    std::to_string(symbol) + ")");
}

void RecordingPlotter::erry(int n, const float* x, const float* y1, const float* y2, float t)
{
    calls.push_back("erry(" + std::to_string(n) + ", " + list(n, x) + ", " + list(n, y1) + ", " + list(n, y2) + ", " +
                    num(t) + ")");
}

void RecordingPlotter::sci(int ci) { calls.push_back("sci(" + std::to_string(ci) + ")"); }

void RecordingPlotter::sch(float size) { calls.push_back("sch(" + num(size) + ")"); }

void RecordingPlotter::mtxt(std::string_view side, float disp, float coord, float fjust, std::string_view text)
{
    calls.push_back("mtxt(" + quoted(side) + ", " + num(disp) + ", " + num(coord) + ", " + num(fjust) + ", " +
                    quoted(text) + ")");
}

void RecordingPlotter::lab(std::string_view xlbl, std::string_view ylbl, std::string_view toplbl)
{
    calls.push_back("lab(" + quoted(xlbl) + ", " + quoted(ylbl) + ", " + quoted(toplbl) + ")");
}

void RecordingPlotter::line(int n, const float* xpts, const float* ypts)
{
    calls.push_back("line(" + std::to_string(n) + ", " + list(n, xpts) + ", " + list(n, ypts) + ")");
}

std::string RecordingPlotter::end()
{
    calls.push_back("end()");
    return end_failure;
}

void RecordingPlotter::pap(float width, float aspect)
{
    calls.push_back("pap(" + num(width) + ", " + num(aspect) + ")");
}

void RecordingPlotter::scr(int ci, float red, float green, float blue)
{
    calls.push_back("scr(" + std::to_string(ci) + ", " + num(red) + ", " + num(green) + ", " + num(blue) + ")");
}

void RecordingPlotter::slw(int width) { calls.push_back("slw(" + std::to_string(width) + ")"); }

void RecordingPlotter::sls(int style) { calls.push_back("sls(" + std::to_string(style) + ")"); }

void RecordingPlotter::ptxt(float x, float y, float angle, float fjust, std::string_view text)
{
    calls.push_back("ptxt(" + num(x) + ", " + num(y) + ", " + num(angle) + ", " + num(fjust) + ", " + quoted(text) +
                    ")");
}

}  // namespace plotting
