#include "mst1.h"
#include "random_points.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace steiner::internal;

namespace {

using Build = int64_t (*)(int32_t, const Point *, int32_t *);

// The builds that take a stop flag, without one.
int64_t octant(int32_t n, const Point *points, int32_t *parent) {
    return mst1_build_tree_octant(n, points, parent);
}

int64_t reentrant(int32_t n, const Point *points, int32_t *parent) {
    return mst1_build_tree_reentrant(n, points, parent);
}

void expect_same_as_plain_loop(Build build, const std::vector<Point> &points, uint32_t seed) {
    const auto n = static_cast<int32_t>(points.size());
    std::vector<int32_t> expected(points.size(), -7);
    std::vector<int32_t> parent(points.size(), -9);
    const int64_t total = mst1_build_tree_reference(n, points.data(), expected.data());
    ASSERT_EQ(build(n, points.data(), parent.data()), total) << "seed " << seed;
    ASSERT_EQ(parent, expected) << "seed " << seed;
}

// Point sets full of ties: equal keys, equal distances to several joined
// points, points on octant borders (rows, columns, diagonals) and repeated
// points.
std::vector<Point> tied_points(std::mt19937 &random, int32_t count, int32_t side) {
    std::vector<Point> points = random_points(random, count, -side, side);
    const int shape = std::uniform_int_distribution<int>(0, 3)(random);
    std::uniform_int_distribution<int32_t> small(-2, 2);
    for (Point &p : points) {
        if (shape == 1)
            p.column = p.row + small(random) % 2; // on and beside a diagonal
        else if (shape == 2)
            p.row = (p.row % 3) * 7; // a few long rows
        else if (shape == 3)
            p.column = -p.row + small(random) % 2; // on and beside the other diagonal
    }
    return points;
}

TEST(OctantBuildTest, MatchesPlainLoopOnSmallTiedSets) {
    for (uint32_t seed = 0; seed < 6000; seed++) {
        std::mt19937 random(seed);
        const int32_t side =
            std::uniform_int_distribution<int32_t>(0, seed % 2 == 0 ? 4 : 40)(random);
        const int32_t count = std::uniform_int_distribution<int32_t>(1, 80)(random);
        expect_same_as_plain_loop(octant, tied_points(random, count, side), seed);
    }
}

TEST(OctantBuildTest, MatchesPlainLoopAtTheCoordinateLimits) {
    for (uint32_t seed = 0; seed < 500; seed++) {
        std::mt19937 random(seed);
        const int32_t count = std::uniform_int_distribution<int32_t>(1, 40)(random);
        std::vector<Point> points = points_at_the_limits(random, count);
        expect_same_as_plain_loop(octant, points, seed);
    }
}

TEST(OctantBuildTest, TheBuildsUseItFromTheirThresholdOnLargeTiedSets) {
    // Grids denser than their cells, wide random sets and long runs on one row,
    // just above the point count where the builds switch to the octant graph.
    for (uint32_t seed = 0; seed < 4; seed++) {
        std::mt19937 random(seed);
        const int32_t count = MST1_OCTANT_FROM + static_cast<int32_t>(seed) * 700;
        const int32_t side = seed == 0 ? 40 : seed == 1 ? 1000000 : 3000;
        std::vector<Point> points = seed == 3 ? tied_points(random, count, side)
                                              : random_points(random, count, -side, side);
        expect_same_as_plain_loop(mst1_build_tree, points, seed);
        expect_same_as_plain_loop(reentrant, points, seed);
    }
}

} // namespace
