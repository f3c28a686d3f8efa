#include "cyclefit/records.hpp"

namespace cyclefit {

Oud oud;
Lijn1 lijn1;
Lijn2 lijn2;
Lijn3 lijn3;
Lijn4 lijn4;
Lijn7 lijn7;

}  // namespace cyclefit
