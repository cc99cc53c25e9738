#include "mst1.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <vector>

using namespace steiner::internal;

// The address-space cap of the allocation death test would starve the

namespace {

struct Tree {
    int64_t total;
    std::vector<int32_t> parent;
};

Tree build(const std::vector<Point> &points) {
    Tree tree{0, std::vector<int32_t>(points.size(), -7)};
    tree.total =
        mst1_build_tree(static_cast<int32_t>(points.size()), points.data(), tree.parent.data());
    return tree;
}

// A parent array describes a spanning tree rooted at 0 whose edge lengths add
// up to the reported total.
void expect_spanning_tree(const std::vector<Point> &points, const Tree &tree) {
    const auto n = static_cast<int32_t>(points.size());
    ASSERT_EQ(tree.parent[0], 0);
    int64_t sum = 0;
    for (int32_t k = 1; k < n; k++) {
        int32_t p = tree.parent[static_cast<size_t>(k)];
        ASSERT_GE(p, 0);
        ASSERT_LT(p, n);
        sum += rect_dist_points(points[static_cast<size_t>(k)], points[static_cast<size_t>(p)]);
        int32_t at = k;
        for (int32_t steps = 0; at != 0; steps++) {
            ASSERT_LT(steps, n) << "parent chain of " << k << " never reaches the root";
            at = tree.parent[static_cast<size_t>(at)];
        }
    }
    EXPECT_EQ(sum, tree.total);
}

TEST(RectDistTest, SumsAbsoluteDifferencesUpToTheCoordinateLimits) {
    EXPECT_EQ(rect_dist(0, 0, 3, -4), 7);
    EXPECT_EQ(rect_dist(3, -4, 0, 0), 7);
    EXPECT_EQ(rect_dist(MST1_COORD_MIN, MST1_COORD_MIN, MST1_COORD_MAX, MST1_COORD_MAX),
              2 * (MST1_COORD_MAX - MST1_COORD_MIN));
    EXPECT_EQ(rect_dist_points(Point{1, 2}, Point{-1, 5}), 5);
}

TEST(BuildTreeTest, SmallSets) {
    Tree one = build({{4, 4}});
    EXPECT_EQ(one.total, 0);
    EXPECT_EQ(one.parent[0], 0);

    Tree two = build({{1, 1}, {4, 5}});
    EXPECT_EQ(two.total, 7);
    EXPECT_EQ(two.parent, (std::vector<int32_t>{0, 0}));

    Tree corner = build({{0, 0}, {0, 5}, {3, 5}});
    EXPECT_EQ(corner.total, 8);
    EXPECT_EQ(corner.parent, (std::vector<int32_t>{0, 0, 1}));
}

TEST(BuildTreeTest, TiesFollowIndexOrder) {
    // Points 1 and 2 are both 4 from the root: 1 joins first, and point 3,
    // which is 4 from the root and from point 1, keeps the root as parent.
    std::vector<Point> points{{0, 0}, {0, 4}, {4, 0}, {2, 2}};
    Tree tree = build(points);
    EXPECT_EQ(tree.parent, (std::vector<int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(tree.total, 12);
    expect_spanning_tree(points, tree);

    // Collinear points chain along the line.
    std::vector<Point> line{{0, 0}, {0, 9}, {0, 3}, {0, 6}};
    Tree chain = build(line);
    EXPECT_EQ(chain.total, 9);
    EXPECT_EQ(chain.parent, (std::vector<int32_t>{0, 3, 0, 2}));
}

TEST(BuildTreeTest, CoincidentPointsJoinAtZeroLength) {
    // Point 1 sits on the root and point 3 on point 2: both join without being
    // selected, so fewer selections are needed than there are points.
    std::vector<Point> points{{5, 5}, {5, 5}, {0, 0}, {0, 0}, {5, 5}};
    Tree tree = build(points);
    EXPECT_EQ(tree.total, 10);
    EXPECT_EQ(tree.parent, (std::vector<int32_t>{0, 0, 0, 2, 0}));
    expect_spanning_tree(points, tree);

    std::vector<Point> all_same(6, Point{-3, 8});
    Tree same = build(all_same);
    EXPECT_EQ(same.total, 0);
    expect_spanning_tree(all_same, same);
}

TEST(BuildTreeTest, ExtremeCoordinatesNeedSixtyFourBitTotals) {
    std::vector<Point> points{{MST1_COORD_MIN, MST1_COORD_MIN},
                              {MST1_COORD_MAX, MST1_COORD_MAX},
                              {MST1_COORD_MIN, MST1_COORD_MAX},
                              {MST1_COORD_MAX, MST1_COORD_MIN}};
    Tree tree = build(points);
    const int64_t side = int64_t{MST1_COORD_MAX} - MST1_COORD_MIN;
    EXPECT_EQ(tree.total, 3 * side);
    expect_spanning_tree(points, tree);
}

TEST(BuildTreeTest, NoPointsGiveAnEmptyTree) {
    int32_t parent = -7;
    EXPECT_EQ(mst1_build_tree(0, nullptr, &parent), 0);
    EXPECT_EQ(parent, -7);
}

TEST(BuildTreeTest, RepeatedBuildsAreIndependent) {
    std::vector<Point> big;
    for (int32_t k = 0; k < 200; k++)
        big.push_back(Point{(k * 37) % 101, (k * 53) % 97});
    Tree first = build(big);
    expect_spanning_tree(big, first);
    Tree small = build({{0, 0}, {2, 2}});
    EXPECT_EQ(small.total, 4);
    Tree again = build(big);
    EXPECT_EQ(again.total, first.total);
    EXPECT_EQ(again.parent, first.parent);
}

#ifndef STEINER_SANITIZED
TEST(PackageDeathTest, FailedKeyBufferEndsTheProcess) {
    // Cap the address space so that the key buffer cannot be had.
    auto grow_beyond_limit = [] {
        rlimit limit{64 << 20, 64 << 20};
        setrlimit(RLIMIT_AS, &limit);
        mst1_package_init(INT32_MAX);
    };
    EXPECT_EXIT(grow_beyond_limit(), testing::ExitedWithCode(1),
                "Cannot allocate memory in mst1_package_init!");
}
#endif

TEST(PackageDeathTest, FatalErrorReportsAndExitsWithOne) {
    EXPECT_EXIT(fatal_error("boom"), testing::ExitedWithCode(1), "^boom\n$");
}

} // namespace
