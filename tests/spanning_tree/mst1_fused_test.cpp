#include "mst1.h"
#include "random_points.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <sys/resource.h>
#include <vector>

using namespace steiner::internal;

namespace {

struct Tree {
    int64_t total;
    std::vector<int32_t> parent;
};

Tree plain_prim(const std::vector<Point> &points) {
    Tree tree{0, std::vector<int32_t>(points.size(), 0)};
    tree.total = mst1_build_tree_reference(static_cast<int32_t>(points.size()), points.data(),
                                           tree.parent.data());
    return tree;
}

void expect_same_as_plain_loop(const std::vector<Point> &points, uint32_t seed) {
    Tree expected = plain_prim(points);
    std::vector<int32_t> parent(points.size(), -7);
    int64_t total =
        mst1_build_tree(static_cast<int32_t>(points.size()), points.data(), parent.data());
    ASSERT_EQ(total, expected.total) << "seed " << seed;
    ASSERT_EQ(parent, expected.parent) << "seed " << seed;
}

TEST(BuildTreeTest, MatchesPlainLoopOnTinyGrids) {
    // Few cells for many points: equal keys and coincident points everywhere,
    // so every tie rule decides parents.
    for (uint32_t seed = 0; seed < 2000; seed++) {
        std::mt19937 random(seed);
        int32_t side = std::uniform_int_distribution<int32_t>(0, 5)(random);
        int32_t count = std::uniform_int_distribution<int32_t>(1, 60)(random);
        expect_same_as_plain_loop(random_points(random, count, -side, side), seed);
    }
}

TEST(BuildTreeTest, MatchesPlainLoopOnWideRanges) {
    for (uint32_t seed = 0; seed < 300; seed++) {
        std::mt19937 random(seed);
        int32_t count = std::uniform_int_distribution<int32_t>(1, 200)(random);
        expect_same_as_plain_loop(random_points(random, count, MST1_COORD_MIN, MST1_COORD_MAX),
                                  seed);
    }
}

TEST(BuildTreeTest, MatchesPlainLoopAtTheCoordinateLimits) {
    const int32_t values[] = {MST1_COORD_MIN, MST1_COORD_MIN + 1, 0, MST1_COORD_MAX - 1,
                              MST1_COORD_MAX};
    for (uint32_t seed = 0; seed < 300; seed++) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<size_t> pick(0, std::size(values) - 1);
        int32_t count = std::uniform_int_distribution<int32_t>(1, 40)(random);
        std::vector<Point> points(static_cast<size_t>(count));
        for (Point &p : points)
            p = Point{values[pick(random)], values[pick(random)]};
        expect_same_as_plain_loop(points, seed);
    }
}

TEST(BuildTreeTest, MatchesPlainLoopOnLargeSets) {
    // Thousands of points span several scan blocks and many repackings of the
    // waiting points; the small grid makes the smallest key recur across blocks.
    for (uint32_t seed = 0; seed < 6; seed++) {
        std::mt19937 random(seed);
        int32_t side = seed % 2 == 0 ? 30 : 1000000;
        int32_t count = 2500 + static_cast<int32_t>(seed) * 301;
        expect_same_as_plain_loop(random_points(random, count, 0, side), seed);
    }
}

#ifndef STEINER_SANITIZED
TEST(BuildTreeDeathTest, FailedScratchMemoryEndsTheProcess) {
    // Under this cap the key buffer for 40 million points fits but the
    // build's further scratch memory does not. No point is read before that.
    auto build_beyond_limit = [] {
        rlimit limit{512 << 20, 512 << 20};
        setrlimit(RLIMIT_AS, &limit);
        Point point{0, 0};
        int32_t parent = 0;
        mst1_build_tree(40000000, &point, &parent);
    };
    EXPECT_EXIT(build_beyond_limit(), testing::ExitedWithCode(1),
                "Cannot allocate memory in mst1_package_init!");
}
#endif

} // namespace
