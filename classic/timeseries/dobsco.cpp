// dobsco: subtracts a constant from the first n values of an array (moves
// the time origin to an epoch, or centres the values on their mean).  The
// shift is taken by value, so passing an element of the array itself is
// harmless.
#include "timeseries/timeseries.hpp"

namespace timeseries {

void dobsco(int n, std::span<double> values, double shift)
{
    for (int i = 0; i < n && static_cast<std::size_t>(i) < values.size(); ++i) values[i] = values[i] - shift;
}

}  // namespace timeseries
