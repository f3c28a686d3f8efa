// The giza side of the plotting seam (see GizaPlotter in plot.hpp for
// what is done here rather than left to the library).
#include <cpgplot.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

#include "plotting/plot.hpp"

namespace plotting {

std::string trimmed(std::string_view device)
{
    std::size_t first = device.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    std::size_t last = device.find_last_not_of(" \t");
    return std::string(device.substr(first, last - first + 1));
}

namespace {

// The library accepts a file device it cannot write (the failure shows only
// when the picture is closed), so the file of "name/type" or "name.type" is
// tried first.  A file that did not exist is removed again: the library
// creates it.
bool file_writable(const std::string& device)
{
    std::size_t slash = device.rfind('/');
    std::string name = trimmed(slash == std::string::npos ? device : device.substr(0, slash));
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

// Whether an axis option letter is among the options (either case).
bool has(std::string_view options, char c)
{
    for (char o : options)
        if (std::tolower(static_cast<unsigned char>(o)) == std::tolower(static_cast<unsigned char>(c))) return true;
    return false;
}

// The smallest round number (1, 2 or 5 times a power of ten) not below x,
// with the number of minor intervals that suits it.
double round_step(double x, int& nsub)
{
    double decade = std::pow(10.0, std::floor(std::log10(x)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * decade >= x * (1.0 - 1e-6)) {
            nsub = m == 2.0 ? 4 : 5;
            return m * decade;
        }
    }
    nsub = 5;
    return 10.0 * decade;
}

std::string tick_label(double v, double step)
{
    char buf[48];
    if (step >= 1e-4 && step < 1e7) {
        int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
        std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    } else {
        std::snprintf(buf, sizeof buf, "%g", v);
    }
    return buf;
}

// Ticks and numbers of a vertical axis whose window runs from y1 at the
// bottom down to the smaller y2 at the top: major ticks (option t) on the
// left and, with option c, the right edge, minor ticks (s), numbers on the
// left (n), upright with option v.
void downward_axis(std::string_view yopt, float ytick, int nysub, float x1, float x2, float y1, float y2)
{
    int nsub = 0;
    double step = ytick > 0.0f ? ytick : round_step(0.2 * (y1 - y2), nsub);
    // No sensible ticks: too many, or tick numbers beyond counting.
    if (!(step > 0.0) || (y1 - y2) / step > 1000.0 || std::fabs(y1) / step > 1e15 || std::fabs(y2) / step > 1e15)
        return;
    if (nysub > 0) nsub = nysub;
    if (ytick > 0.0f && nysub <= 0) nsub = 1;
    float xch = 0.0f, ych = 0.0f;
    cpgqcs(4, &xch, &ych);
    auto tick = [&](double v, float length) {
        if (has(yopt, 'b')) {
            cpgmove(x1, static_cast<float>(v));
            cpgdraw(x1 + length * (x2 > x1 ? 1 : -1), static_cast<float>(v));
        }
        if (has(yopt, 'c')) {
            cpgmove(x2, static_cast<float>(v));
            cpgdraw(x2 - length * (x2 > x1 ? 1 : -1), static_cast<float>(v));
        }
    };
    const float major = 0.5f * std::fabs(xch), minor = 0.25f * std::fabs(xch);
    long first = static_cast<long>(std::ceil(y2 / step - 1e-6)) - 1;
    long last = static_cast<long>(std::floor(y1 / step + 1e-6)) + 1;
    for (long k = first; k <= last; ++k) {
        double v = k * step;
        if (has(yopt, 's'))
            for (int j = 1; j < nsub; ++j) {
                double w = v + j * step / nsub;
                if (w >= y2 && w <= y1) tick(w, minor);
            }
        if (v < y2 - 1e-6 * step || v > y1 + 1e-6 * step) continue;
        if (has(yopt, 't')) tick(v, major);
        if (has(yopt, 'n')) {
            float coord = static_cast<float>((v - y1) / (static_cast<double>(y2) - y1));
            std::string text = tick_label(k == 0 ? 0.0 : v, step);
            if (has(yopt, 'v')) cpgmtxt("LV", 0.7f, coord, 1.0f, text.c_str());
            else cpgmtxt("L", 0.7f, coord, 0.5f, text.c_str());
        }
    }
}

int marker(int symbol) { return symbol == 751 || symbol == 256 ? 17 : symbol; }

// The file a device "name/type" writes, or the device itself when it names
// no file.
std::string file_of(const std::string& device)
{
    std::size_t slash = device.rfind('/');
    std::string name = trimmed(slash == std::string::npos ? device : device.substr(0, slash));
    return name.empty() ? trimmed(device) : name;
}

// Runs the call with standard error caught in a temporary file and returns
// what it wrote there (when no such file can be made, the call runs as it
// is and nothing is returned).
std::string stderr_of(void (*call)())
{
    std::fflush(stderr);
    std::FILE* caught = std::tmpfile();
    const int saved = caught ? dup(2) : -1;
    if (saved < 0 || dup2(fileno(caught), 2) < 0) {
        if (saved >= 0) close(saved);
        if (caught) std::fclose(caught);
        call();
        return {};
    }
    call();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    std::rewind(caught);
    for (int c; (c = std::getc(caught)) != EOF;) text += static_cast<char>(c);
    std::fclose(caught);
    return text;
}

// The reason given by the library's first error line in what it said
// ("%giza - ERROR - <where>: <why>"), or empty; every other line is passed
// on to standard error as it was.
std::string library_error(const std::string& said)
{
    std::string why, passed;
    for (std::size_t start = 0; start < said.size();) {
        std::size_t end = said.find('\n', start);
        end = end == std::string::npos ? said.size() : end + 1;
        std::string_view line(said.data() + start, end - start);
        start = end;
        if (!why.empty() || line.find("%giza - ERROR") == std::string_view::npos) {
            passed += line;
            continue;
        }
        std::size_t colon = line.rfind(": ");
        why = trimmed(colon == std::string_view::npos ? line : line.substr(colon + 2));
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
    }
    std::fputs(passed.c_str(), stderr);
    return why;
}

// giza numbers an axis beyond 10^4 in powers of ten (5.0691x10^4 for
// 50691); a Julian-date axis reads better in plain decimals, as the classic
// library writes them.  For such a horizontal axis giza draws the frame and
// the ticks at a step chosen here, and the numbers below the ticks are
// written here.
bool needs_plain_numbers(std::string_view options, float a, float b)
{
    double biggest = std::fmax(std::fabs(a), std::fabs(b));
    return has(options, 'n') && biggest >= 1e4 && biggest < 1e7 && std::isfinite(a) && std::isfinite(b) && a != b;
}

void horizontal_axis(std::string_view xopt, float xtick, int nxsub, float x1, float x2)
{
    int nsub = 0;
    double step = xtick > 0.0f ? xtick : round_step(0.2 * std::fabs(x2 - x1), nsub);
    if (nxsub > 0) nsub = nxsub;
    std::string frame;
    for (char o : xopt)
        if (!has("n", o)) frame.push_back(o);
    cpgbox(frame.c_str(), static_cast<float>(step), nsub, "", 0.0f, 0);
    if (!(step > 0.0) || std::fabs(x2 - x1) / step > 1000.0) return;
    double lo = std::fmin(x1, x2), hi = std::fmax(x1, x2);
    for (long k = static_cast<long>(std::ceil(lo / step - 1e-6)); k * step <= hi + 1e-6 * step; ++k) {
        double v = k * step;
        float coord = static_cast<float>((v - x1) / (static_cast<double>(x2) - x1));
        cpgmtxt("B", 1.2f, coord, 0.5f, tick_label(v, step).c_str());
    }
}

}  // namespace

bool GizaPlotter::begin(int unit, std::string_view device, int nxsub, int nysub)
{
    const std::string name(device);
    if (!file_writable(name) || cpgbeg(unit, name.c_str(), nxsub, nysub) != 1) return false;
    device_ = name;
    return true;
}

void GizaPlotter::page() { cpgpage(); }

void GizaPlotter::svp(float xleft, float xright, float ybot, float ytop) { cpgsvp(xleft, xright, ybot, ytop); }

void GizaPlotter::swin(float x1, float x2, float y1, float y2) { cpgswin(x1, x2, y1, y2); }

void GizaPlotter::box(std::string_view xopt, float xtick, int nxsub, std::string_view yopt, float ytick, int nysub)
{
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    cpgqwin(&x1, &x2, &y1, &y2);
    std::string x(xopt);
    if (needs_plain_numbers(xopt, x1, x2)) {
        horizontal_axis(xopt, xtick, nxsub, x1, x2);
        x.clear();
    }
    if (!(y1 > y2) || !std::isfinite(y1) || !std::isfinite(y2)) {
        cpgbox(x.c_str(), xtick, nxsub, std::string(yopt).c_str(), ytick, nysub);
        return;
    }
    std::string frame;
    for (char o : yopt)
        if (!has("ntsv", o)) frame.push_back(o);
    cpgbox(x.c_str(), xtick, nxsub, frame.c_str(), 0.0f, 0);
    downward_axis(yopt, ytick, nysub, x1, x2, y1, y2);
}

void GizaPlotter::pt(int n, const float* xpts, const float* ypts, int symbol)
{
    if (n > 0) cpgpt(n, xpts, ypts, marker(symbol));
}

void GizaPlotter::erry(int n, const float* x, const float* y1, const float* y2, float t)
{
    if (n > 0) cpgerry(n, x, y1, y2, t);
}

void GizaPlotter::sci(int ci) { cpgsci(ci); }

void GizaPlotter::sch(float size) { cpgsch(size); }

void GizaPlotter::mtxt(std::string_view side, float disp, float coord, float fjust, std::string_view text)
{
    cpgmtxt(std::string(side).c_str(), disp, coord, fjust, std::string(text).c_str());
}

void GizaPlotter::lab(std::string_view xlbl, std::string_view ylbl, std::string_view toplbl)
{
    cpglab(std::string(xlbl).c_str(), std::string(ylbl).c_str(), std::string(toplbl).c_str());
}

void GizaPlotter::line(int n, const float* xpts, const float* ypts)
{
    if (n > 0) cpgline(n, xpts, ypts);
}

std::string GizaPlotter::end() { return library_error(stderr_of(cpgend)); }

void GizaPlotter::pap(float width, float aspect) { cpgpap(width, aspect); }

void GizaPlotter::scr(int ci, float red, float green, float blue) { cpgscr(ci, red, green, blue); }

void GizaPlotter::slw(int width) { cpgslw(width); }

void GizaPlotter::sls(int style) { cpgsls(style); }

void GizaPlotter::ptxt(float x, float y, float angle, float fjust, std::string_view text)
{
    cpgptxt(x, y, angle, fjust, std::string(text).c_str());
}

void GizaPlotter::list_devices() { cpgldev(); }

std::string GizaPlotter::device_file() const { return file_of(device_); }

}  // namespace plotting
