// Seeded random point sets for the tree package's tests.
#ifndef STEINER_TESTS_RANDOM_POINTS_H
#define STEINER_TESTS_RANDOM_POINTS_H

#include "mst1.h"

#include <iterator>
#include <random>
#include <vector>

using steiner::internal::MST1_COORD_MAX;
using steiner::internal::MST1_COORD_MIN;
using steiner::internal::Point;

// count points with both coordinates uniform in lo..hi.
inline std::vector<Point> random_points(std::mt19937 &random, int32_t count, int32_t lo,
                                        int32_t hi) {
    std::uniform_int_distribution<int32_t> coordinate(lo, hi);
    std::vector<Point> points(static_cast<size_t>(count));
    for (Point &p : points)
        p = Point{coordinate(random), coordinate(random)};
    return points;
}

// count points whose coordinates are drawn from the extreme accepted values
// and their neighbours: distances near the top of the 32-bit range, totals
// beyond it, and many coincident points.
inline std::vector<Point> points_at_the_limits(std::mt19937 &random, int32_t count) {
    const int32_t values[] = {MST1_COORD_MIN,     MST1_COORD_MIN + 1, -1, 0, 1,
                              MST1_COORD_MAX - 1, MST1_COORD_MAX};
    std::uniform_int_distribution<size_t> pick(0, std::size(values) - 1);
    std::vector<Point> points(static_cast<size_t>(count));
    for (Point &p : points)
        p = Point{values[pick(random)], values[pick(random)]};
    return points;
}

#endif
