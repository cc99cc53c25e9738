// Seeded random point sets for the tree package's tests.
#ifndef STEINER_TESTS_RANDOM_POINTS_H
#define STEINER_TESTS_RANDOM_POINTS_H

#include "mst1.h"

#include <random>
#include <vector>

// count points with both coordinates uniform in lo..hi.
inline std::vector<Point> random_points(std::mt19937 &random, int32_t count, int32_t lo,
                                        int32_t hi) {
    std::uniform_int_distribution<int32_t> coordinate(lo, hi);
    std::vector<Point> points(static_cast<size_t>(count));
    for (Point &p : points)
        p = Point{coordinate(random), coordinate(random)};
    return points;
}

#endif
