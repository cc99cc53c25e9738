#include "screening.h"
#include "scale.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace {

std::vector<Point> run(const std::vector<Point> &terminals, int threads, int64_t *length) {
    return scale_steiner_points(terminals.data(), static_cast<int32_t>(terminals.size()), threads,
                                length, nullptr, nullptr);
}

std::vector<Point> uniform(size_t count, int32_t grid, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> coordinate(0, grid - 1);
    std::vector<Point> points;
    for (size_t k = 0; k < count; k++)
        points.push_back(Point{coordinate(random), coordinate(random)});
    return points;
}

// What the router makes of the points: each must pass its screening and
// shorten the tree when tried in order, and the final tree is rebuilt from
// scratch to compare with the claimed length.
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
        const int64_t next = mst1_dynamic_add(tree.get(), static_cast<int32_t>(terminals.size() + k));
        ASSERT_LT(next, current) << "point " << k << " does not shorten the tree";
        current = next;
    }
    std::vector<int32_t> parent(all.size());
    EXPECT_EQ(mst1_build_tree(static_cast<int32_t>(all.size()), all.data(), parent.data()), length);
}

TEST(ScaleTest, RouterKeepsEveryPointAndReachesTheClaimedLength) {
    // Small grids make repeated rows, columns and coincident terminals common.
    for (const auto &[count, grid] : {std::pair<size_t, int32_t>{12, 6}, {60, 20}, {150, 1000},
                                      {400, 10000000}}) {
        for (uint32_t seed = 1; seed <= 2; seed++) {
            const std::vector<Point> terminals = uniform(count, grid, seed);
            int64_t length = 0;
            const std::vector<Point> steiner = run(terminals, 2, &length);
            SCOPED_TRACE(testing::Message() << count << " terminals, seed " << seed);
            expect_router_keeps_all(terminals, steiner, length);
            std::vector<int32_t> parent(terminals.size());
            const int64_t spanning = mst1_build_tree(static_cast<int32_t>(terminals.size()),
                                                     terminals.data(), parent.data());
            // Random nets gain about a tenth from Steiner points.
            if (count >= 150) {
                EXPECT_LT(static_cast<double>(length), 0.92 * static_cast<double>(spanning));
            }
        }
    }
}

TEST(ScaleTest, ResultDoesNotDependOnThreads) {
    const std::vector<Point> terminals = uniform(400, 100000, 7);
    int64_t one = 0;
    int64_t three = 0;
    const std::vector<Point> first = run(terminals, 1, &one);
    const std::vector<Point> second = run(terminals, 3, &three);
    EXPECT_EQ(one, three);
    ASSERT_EQ(first.size(), second.size());
    for (size_t k = 0; k < first.size(); k++) {
        EXPECT_EQ(first[k].row, second[k].row);
        EXPECT_EQ(first[k].column, second[k].column);
    }
}

TEST(ScaleTest, SmallAndDegenerateNets) {
    int64_t length = -1;
    EXPECT_TRUE(run({{4, 7}}, 1, &length).empty());
    EXPECT_EQ(length, 0);
    EXPECT_TRUE(run({{0, 0}, {5, 5}}, 1, &length).empty());
    EXPECT_EQ(length, 10);
    EXPECT_TRUE(run({{3, 0}, {3, 9}, {3, 4}, {3, 4}}, 1, &length).empty());
    EXPECT_EQ(length, 9);

    // Three points meet at their median; a repeated terminal changes nothing.
    for (const std::vector<Point> &terminals :
         {std::vector<Point>{{0, 0}, {10, 5}, {5, 10}},
          std::vector<Point>{{0, 0}, {10, 5}, {0, 0}, {5, 10}, {10, 5}}}) {
        const std::vector<Point> steiner = run(terminals, 2, &length);
        ASSERT_EQ(steiner.size(), 1u);
        EXPECT_EQ(steiner[0].row, 5);
        EXPECT_EQ(steiner[0].column, 5);
        EXPECT_EQ(length, 20);
    }
    // A cross of four arms meets in the middle.
    const std::vector<Point> steiner = run({{0, 5}, {10, 5}, {5, 0}, {5, 10}}, 1, &length);
    ASSERT_EQ(steiner.size(), 1u);
    EXPECT_EQ(length, 20);
}

} // namespace
