// The partial selection: order, ties and the row that fills a freed place.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "selection.hpp"

using discriminant::select_minima;

namespace {

// Rows 1..n of (value, grid point); the grid points in listing order.
std::vector<int> listed(const std::vector<double>& values, long nminima)
{
    double rows[16][2] = {};
    for (std::size_t i = 0; i < values.size(); ++i) {
        rows[i + 1][0] = values[i];
        rows[i + 1][1] = static_cast<double>(i + 1);
    }
    std::vector<int> order;
    select_minima(rows, 0, static_cast<long>(values.size()), nminima,
                     [&](long, const double* p, double, double) { order.push_back(static_cast<int>(p[1])); });
    return order;
}

}  // namespace

TEST(Selection, LaterOfEqualValuesWinsAndTheFirstEntryMovesUp)
{
    EXPECT_EQ(listed({3, 1, 2, 1, 5}, 5), (std::vector<int>{4, 2, 3, 1, 5}));
    EXPECT_EQ(listed({7, 7, 7, 7, 7}, 5), (std::vector<int>{5, 1, 2, 3, 4}));
    EXPECT_EQ(listed({3, 1, 2, 1, 5}, 2), (std::vector<int>{4, 2}));
    EXPECT_TRUE(listed({3, 1}, 0).empty());
    // A NaN never wins a comparison: in row 1 it stays the first candidate.
    EXPECT_EQ(listed({NAN, 1, 2}, 3), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(listed({2, NAN, 1}, 3), (std::vector<int>{3, 2, 1}));
}

TEST(Selection, DifferencesToTheBestAndToTheRowAbove)
{
    double rows[4][1] = {{0}, {5}, {2}, {3}};
    std::vector<double> first, previous;
    select_minima(rows, 0, 3, 3, [&](long, const double*, double d1, double dn) {
        first.push_back(d1);
        previous.push_back(dn);
    });
    EXPECT_EQ(first, (std::vector<double>{0, 1, 3}));
    EXPECT_EQ(previous, (std::vector<double>{0, 1, 2}));
}
