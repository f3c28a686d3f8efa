// curveview: one light curve in a fixed window.  The window is not derived
// from the data (points outside it are not shown) and the magnitude axis is
// not inverted.
#include "curveview.hpp"

#include <array>

#include "common/io.hpp"
#include "common/graphics.hpp"

namespace curveview {
namespace {

constexpr int ster2 = 1;  // channel of ster2.dat

// The point arrays hold as many points as the reading loop may take, so no
// file overflows them.
std::array<float, maxpts> xpts;
std::array<float, maxpts> ypts;

// Reads the header record and up to maxpts observations (time, Hp), one
// per line; further values on a line are ignored, blank lines passed.  A
// missing file, a missing header or a line that does not begin with two
// numbers (a line holding only the time included) is an input error.
int read_points()
{
    common::open_old(ster2, "ster2.dat");
    common::skip_line(ster2);
    int n = 0;
    for (int i = 0; i < maxpts; ++i) {
        if (common::read_record(ster2, {xpts[i], ypts[i]}, common::handle_end) != common::ReadOutcome::ok) break;
        n = n + 1;
    }
    common::close_channel(ster2);
    return n;
}

// The n points in the fixed window, with the frame, axes and labels, on the
// device the user names.
void draw(int n)
{
    plotting::Plotter& pg = common::graphics();
    if (!pg.begin(0, "?", 1, 1)) return;
    pg.page();
    pg.sci(1);
    pg.svp(0.15f, 0.85f, 0.15f, 0.85f);
    pg.swin(50691.0f, 50693.0f, -150.0f, 0.0f);
    pg.box("bcnts", 0.0f, 0, "bcntvs", 0.0f, 0);
    pg.pt(n, xpts.data(), ypts.data(), 256);
    pg.lab("HJD - 2450000", "Hp", "");
    pg.end();
}

}  // namespace

void run()
{
    int n = read_points();
    draw(n);
}

}  // namespace curveview
