#include "router.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Terminals (0,5), (10,5), (5,0), then candidates (5,5) and (5,5) again.
struct Outcome {
    int32_t nodes;
    int64_t wirelength;
    int32_t removed;
    std::vector<Point> tree;
};

Outcome insert(int32_t block) {
    const std::vector<Point> points{{0, 5}, {10, 5}, {5, 0}, {5, 5}, {5, 5}};
    std::vector<Point> tree(points.size());
    std::vector<int32_t> parent(points.size());
    for (size_t k = 0; k < 3; k++)
        tree[k] = points[k];
    Outcome run{0, mst1_build_tree(3, tree.data(), parent.data()), 0, {}};
    testing::internal::CaptureStdout();
    run.nodes = insert_steiner_points(3, 5, block, points.data(), tree.data(), parent.data(),
                                      &run.wirelength, &run.removed);
    testing::internal::GetCapturedStdout();
    run.tree.assign(tree.begin(), tree.begin() + run.nodes);
    return run;
}

TEST(InsertSteinerPointsTest, AnyBlockSizeEnds) {
    // One at a time the repeat adds nothing and is dropped; as one block both stay.
    for (int32_t block : {INT32_MIN, -1, 0, 1}) {
        Outcome run = insert(block);
        EXPECT_EQ(run.nodes, 4) << "block " << block;
        EXPECT_EQ(run.removed, 1);
        EXPECT_EQ(run.wirelength, 15);
    }
    for (int32_t block : {2, 3, INT32_MAX}) {
        Outcome run = insert(block);
        EXPECT_EQ(run.nodes, 5) << "block " << block;
        EXPECT_EQ(run.removed, 0);
        EXPECT_EQ(run.wirelength, 15);
        EXPECT_EQ(run.tree[4].row, 5);
    }
}

} // namespace
