// The straightforward moment discriminant: every rotation coefficient and
// every surface integral recomputed at every call.  The program's cached
// form must agree with it bit for bit.
#pragma once

namespace discriminant {

double discriminant_reference(int l, int m, double incl, double vp, double vomega, double sigma,
                              double AA, double CC, double DD, double EE, double FF, double GG, double RST,
                              double eAA, double eCC, double eDD, double eEE, double eFF, double eGG,
                              double eRST);

}  // namespace discriminant
