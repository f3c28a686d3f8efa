// The partial selection that lists the best grid points of a couple and
// ranks the couples in the final table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace discriminant {

// select_minima: takes the smallest remaining value of column `key` of rows
// 1 ... n nminima times, without sorting the rest.  Of equal values the one
// met last wins (a comparison with NaN is false); the chosen row's place is
// taken by the row at the current position.  emit(position, row, dgamma_1,
// dgamma_n) writes each chosen row.
//   Notes: 1. Row 0 is not used, so the rows array holds capacity - 1 rows;
//             an n or nminima beyond that, or nminima above n, selects
//             nothing (the callers keep within it).
template <std::size_t capacity, int width, typename Emit>
void select_minima(double (&rows)[capacity][width], int key, std::int64_t n, std::int64_t nminima, Emit emit)
{
    const std::int64_t last_row = static_cast<std::int64_t>(capacity) - 1;
    if (nminima < 1 || nminima > n || n > last_row || key < 0 || key >= width) return;
    double candidate[width];
    std::int64_t candidate_row = 1;
    for (int q = 0; q < width; ++q) candidate[q] = rows[1][q];
    double best = 0, previous = 0;
    for (std::int64_t pos = 1; pos <= nminima;) {
        for (std::int64_t row = pos + 1; row <= n; ++row)
            if (candidate[key] >= rows[row][key]) {
                for (int q = 0; q < width; ++q) candidate[q] = rows[row][q];
                candidate_row = row;
            }
        if (pos == 1) best = previous = candidate[key];
        emit(pos, candidate, candidate[key] - best, candidate[key] - previous);
        previous = candidate[key];
        for (int q = 0; q < width; ++q) rows[candidate_row][q] = rows[pos][q];
        ++pos;
        if (pos <= nminima) {
            for (int q = 0; q < width; ++q) candidate[q] = rows[pos][q];
            candidate_row = pos;
        }
    }
}

}  // namespace discriminant
