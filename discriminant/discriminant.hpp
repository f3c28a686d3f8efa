// The moment discriminant of one candidate mode (l, m) at one grid point.
#pragma once

namespace discriminant {

// The largest degree l the discriminant's tables hold: a run of at most 45
// couples starting at l = 0 reaches l = 44.
constexpr int lmax_tables = 44;

double discriminant(int l, int m, double incl, double vp, double vomega, double sigma,
                    double AA, double CC, double DD, double EE, double FF, double GG, double RST,
                    double eAA, double eCC, double eDD, double eEE, double eFF, double eGG, double eRST);

}  // namespace discriminant
