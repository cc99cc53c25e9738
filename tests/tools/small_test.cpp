#include "screening.h"
#include "small.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace {

std::vector<Point> run(const std::vector<Point> &terminals, int64_t *length) {
    return small_steiner_points(terminals.data(), static_cast<int32_t>(terminals.size()), length);
}

// Each point must pass the router's screening and shorten the tree when
// tried in order; the final tree is rebuilt from scratch for the length.
void expect_router_keeps_all(const std::vector<Point> &terminals,
                             const std::vector<Point> &steiner, int64_t length) {
    std::vector<Point> all = terminals;
    all.insert(all.end(), steiner.begin(), steiner.end());
    std::unique_ptr<Mst1Dynamic, void (*)(Mst1Dynamic *)> tree(
        mst1_dynamic_create(static_cast<int32_t>(all.size()), all.data()), mst1_dynamic_destroy);
    ASSERT_NE(tree, nullptr);
    int64_t current = 0;
    for (size_t k = 0; k < terminals.size(); k++)
        current = mst1_dynamic_add(tree.get(), static_cast<int32_t>(k));
    for (size_t k = 0; k < steiner.size(); k++) {
        ASSERT_TRUE(screen_candidate(steiner[k].row, steiner[k].column, terminals.data(),
                                     static_cast<int32_t>(terminals.size())))
            << "point " << k << " is screened out";
        const int64_t next =
            mst1_dynamic_add(tree.get(), static_cast<int32_t>(terminals.size() + k));
        ASSERT_LT(next, current) << "point " << k << " does not shorten the tree";
        current = next;
    }
    std::vector<int32_t> parent(all.size());
    EXPECT_EQ(mst1_build_tree(static_cast<int32_t>(all.size()), all.data(), parent.data()), length);
}

TEST(SmallTest, RouterKeepsEveryPointAndReachesTheClaimedLength) {
    // Small grids make shared rows, columns and coincident terminals common;
    // the largest net is handed on to the generator for large nets.
    std::mt19937 random(3);
    for (const auto &[count, grid] : {std::pair<int, int32_t>{4, 3}, {9, 5}, {20, 8}, {30, 1000},
                                      {64, 1000000}, {SMALL_MAX_TERMINALS + 1, 100}}) {
        for (int net = 0; net < 5; net++) {
            std::uniform_int_distribution<int32_t> coordinate(0, grid - 1);
            std::vector<Point> terminals(static_cast<size_t>(count));
            for (Point &p : terminals)
                p = Point{coordinate(random), coordinate(random)};
            int64_t length = 0;
            const std::vector<Point> steiner = run(terminals, &length);
            SCOPED_TRACE(testing::Message() << count << " terminals on " << grid << ", net " << net);
            expect_router_keeps_all(terminals, steiner, length);
            int64_t again = 0;
            const std::vector<Point> repeat = run(terminals, &again);
            EXPECT_EQ(again, length);
            ASSERT_EQ(repeat.size(), steiner.size());
        }
    }
}

TEST(SmallTest, DegenerateAndSymmetricNets) {
    int64_t length = -1;
    EXPECT_TRUE(run({{4, 7}}, &length).empty());
    EXPECT_EQ(length, 0);
    // Collinear terminals have no Hanan point off the line.
    EXPECT_TRUE(run({{3, 0}, {3, 9}, {3, 4}, {3, 6}}, &length).empty());
    EXPECT_EQ(length, 9);
    // Repeated terminals join at length 0 and change nothing else.
    const std::vector<Point> steiner =
        run({{0, 0}, {10, 5}, {0, 0}, {5, 10}, {10, 5}, {5, 10}}, &length);
    ASSERT_EQ(steiner.size(), 1u);
    EXPECT_EQ(steiner[0].row, 5);
    EXPECT_EQ(steiner[0].column, 5);
    EXPECT_EQ(length, 20);
    // A plus meets in the middle, its only optimal point.
    const std::vector<Point> plus = run({{0, 5}, {10, 5}, {5, 0}, {5, 10}}, &length);
    ASSERT_EQ(plus.size(), 1u);
    EXPECT_EQ(plus[0].row, 5);
    EXPECT_EQ(plus[0].column, 5);
    EXPECT_EQ(length, 20);
}

} // namespace
