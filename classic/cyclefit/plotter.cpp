// plotter: the two panels of the phase diagram, drawn from the shared
// records alone.  Above: the observations with their error bars against
// phase, the fitted curve over one cycle, the frequency labels, the
// variance reduction; below: the residuals against phase and a zero line.
#include <array>
#include <string>

#include "common/io.hpp"
#include "common/graphics.hpp"
#include "cyclefit/plotten.hpp"
#include "cyclefit/records.hpp"

namespace cyclefit {
namespace {

// The label of the value axis for each kind of data (PGPLOT escapes: \u
// raises and \d lowers the text that follows).
const std::array<const char*, 13> ylabel = {
    "EW",
    "<v> (km/s)",
    "<v\\u2\\d> (km/s)\\u2\\d",
    "<v\\u3\\d> (km/s)\\u3\\d",
    "v\\drad\\u (km/s)",
    "Hipparcos H\\dp\\u(mag)",
    "Geneva U (mag)",
    "Geneva B\\d1\\u (mag)",
    "Geneva B (mag)",
    "Geneva B\\d2\\u (mag)",
    "Geneva V\\d1\\u (mag)",
    "Geneva V (mag)",
    "Geneva G (mag)",
};

void upper_panel(plotting::Plotter& pg, const common::Text& title)
{
    pg.svp(0.1f, 0.9f, 0.3f, 0.9f);
    pg.sci(1);
    pg.swin(0.0f, 1.0f, lijn1.ymin, lijn1.ymax);
    pg.box("bcts", 0.1f, 2, "bcntsv", 0.0f, 2);
    pg.pt(lijn1.npts, lijn2.phase.data(), lijn2.obs.data(), 751);
    for (int p = 0; p < lijn1.npts; ++p) pg.erry(1, &lijn2.phase[p], &lijn2.obslow[p], &lijn2.obshigh[p], 1.0f);

    // Three frequency labels to a row, four rows from the top down.
    pg.sch(0.8f);
    for (int i = 0; i < maxfreq; ++i) {
        float d = i < 3 ? -1.5f : i < 6 ? -3.0f : i < 9 ? -4.5f : -6.0f;
        float c = 0.02f;
        for (int k = 0; k < i % 3; ++k) c = c + 0.32f;
        pg.mtxt("t", d, c, 0.0f, lijn2.label[i].str());
    }
    pg.sch(1.0f);
    pg.lab(" ", " ", title.str());
    pg.sch(1.0f);
    int kind = lijn1.datakind >= 0 && lijn1.datakind <= 12 ? lijn1.datakind : 0;
    pg.mtxt("l", 4.0f, 0.5f, 0.5f, ylabel[kind]);
    if (ncurve == curvepoints) pg.line(curvepoints, lijn2.xcurve.data(), lijn2.ycurve.data());
    common::write_into(lijn3.vrtext, "(f5.2)", {lijn3.fracvar});
    pg.mtxt("b", -1.25f, 0.5f, 0.5f, "variance reduction = " + lijn3.vrtext.str() + " %");
}

void lower_panel(plotting::Plotter& pg)
{
    pg.svp(0.1f, 0.9f, 0.1f, 0.3f);
    pg.sci(1);
    pg.swin(0.0f, 1.0f, lijn3.rmin, lijn3.rmax);
    pg.box("bcnts", 0.1f, 2, "bcntsv", 0.0f, 0);
    pg.pt(lijn1.npts, lijn2.phase.data(), lijn3.resid.data(), 751);
    pg.mtxt("l", 4.0f, 0.5f, 0.5f, "residuals");
    pg.mtxt("b", 2.5f, 0.5f, 0.5f, "phase");
    pg.line(curvepoints, lijn2.xcurve.data(), lijn3.zeroline.data());
}

}  // namespace

void plotter()
{
    plotting::Plotter& pg = common::graphics();
    const common::Text& title = lijn1.longname == 1 ? lijn1.psname21 : lijn1.psname20;
    bool open = lijn1.psflag == 0 ? pg.begin(0, "?", 1, 1) : pg.begin(0, title.str() + "/ps", 1, 1);
    if (!open) return;
    upper_panel(pg, title);
    lower_panel(pg);
    pg.end();
}

}  // namespace cyclefit
