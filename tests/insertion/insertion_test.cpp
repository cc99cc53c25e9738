#include "insertion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace steiner::internal;

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
    run.nodes = insertion_run(3, 5, block, points.data(), tree.data(), parent.data(),
                              &run.wirelength, &run.removed, nullptr, nullptr);
    run.tree.assign(tree.begin(), tree.begin() + run.nodes);
    return run;
}

TEST(InsertionRunTest, AnyBlockSizeEnds) {
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

namespace {

uint64_t next_random(uint64_t *state) {
    uint64_t z = (*state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

struct Insertion {
    int32_t nodes;
    int64_t wirelength;
    int32_t removed;
    std::vector<Point> tree;
    std::vector<int64_t> trial_lengths;
    std::string events; // every kept block and candidate, in order
};

void record(void *context, const InsertionEvent &e) {
    *static_cast<std::string *>(context) +=
        std::to_string(e.whole_block) + " " + std::to_string(e.block) + " " +
        std::to_string(e.first) + ".." + std::to_string(e.last) + " " + std::to_string(e.before) +
        "->" + std::to_string(e.after) + " at " + std::to_string(e.point.row) + "," +
        std::to_string(e.point.column) + "\n";
}

Insertion run_insertion(const std::vector<Point> &points, int32_t num_pts, int32_t block,
                        TrialMethod method) {
    std::vector<Point> tree(points.size());
    std::vector<int32_t> parent(points.size());
    for (size_t k = 0; k < size_t(num_pts); k++)
        tree[k] = points[k];
    Insertion result{0, mst1_build_tree(num_pts, tree.data(), parent.data()), 0, {}, {}, ""};
    result.nodes = insertion_run(num_pts, static_cast<int32_t>(points.size()), block, points.data(),
                                 tree.data(), parent.data(), &result.wirelength, &result.removed,
                                 record, &result.events, method, &result.trial_lengths);
    result.tree.assign(tree.begin(), tree.begin() + result.nodes);
    return result;
}

bool same_points(const std::vector<Point> &a, const std::vector<Point> &b) {
    if (a.size() != b.size())
        return false;
    for (size_t k = 0; k < a.size(); k++) {
        if (a[k].row != b[k].row || a[k].column != b[k].column)
            return false;
    }
    return true;
}

TEST(InsertionRunTest, IncrementalTrialsMatchRebuildingEveryTrial) {
    uint64_t state = 7;
    int64_t trials = 0;
    int64_t kept = 0;
    for (int round = 0; round < 2500; round++) {
        // Tiny grids put ties and coincident points everywhere; every fourth
        // round spreads the points to the ends of the coordinate range.
        const bool wide = round % 4 == 3;
        const auto grid = static_cast<uint64_t>(2 + next_random(&state) % 7);
        const auto num_pts = static_cast<int32_t>(1 + next_random(&state) % 7);
        const auto candidates = static_cast<int32_t>(next_random(&state) % 9);
        std::vector<Point> points;
        for (int32_t k = 0; k < num_pts + candidates; k++) {
            auto row = static_cast<int32_t>(next_random(&state) % grid);
            auto column = static_cast<int32_t>(next_random(&state) % grid);
            if (wide) {
                const int32_t step = MST1_COORD_MAX / static_cast<int32_t>(grid);
                row = MST1_COORD_MIN + 2 * row * step;
                column = MST1_COORD_MAX - 2 * column * step;
            }
            points.push_back(Point{row, column});
        }
        const auto block = static_cast<int32_t>(1 + next_random(&state) % uint64_t(candidates + 2));
        Insertion rebuilt = run_insertion(points, num_pts, block, TrialMethod::Rebuild);
        Insertion incremental = run_insertion(points, num_pts, block, TrialMethod::Incremental);
        ASSERT_EQ(incremental.trial_lengths, rebuilt.trial_lengths) << "round " << round;
        ASSERT_EQ(incremental.events, rebuilt.events) << "round " << round;
        ASSERT_EQ(incremental.wirelength, rebuilt.wirelength);
        ASSERT_EQ(incremental.removed, rebuilt.removed);
        ASSERT_EQ(incremental.nodes, rebuilt.nodes);
        ASSERT_TRUE(same_points(incremental.tree, rebuilt.tree)) << "round " << round;
        trials += static_cast<int64_t>(rebuilt.trial_lengths.size());
        kept += rebuilt.nodes - num_pts;
    }
    EXPECT_GT(trials, 5000);
    EXPECT_GT(kept, 100);
}

TEST(InsertionRunTest, IncrementalTrialsMatchRebuildingOnHundredsOfPoints) {
    // Enough terminals and kept candidates for the incremental tree to start
    // from a built tree and to file committed points into its own indexes.
    uint64_t state = 11;
    std::vector<Point> points;
    const int32_t num_pts = 300;
    for (int32_t k = 0; k < num_pts; k++)
        points.push_back(Point{static_cast<int32_t>(next_random(&state) % 5000),
                               static_cast<int32_t>(next_random(&state) % 5000)});
    // Rows and columns of terminals, as the candidate generator pairs them.
    for (int32_t k = 0; k < 1000; k++)
        points.push_back(Point{points[next_random(&state) % num_pts].row,
                               points[next_random(&state) % num_pts].column});
    for (int32_t block : {1, 6}) {
        Insertion rebuilt = run_insertion(points, num_pts, block, TrialMethod::Rebuild);
        Insertion incremental = run_insertion(points, num_pts, block, TrialMethod::Incremental);
        ASSERT_EQ(incremental.events, rebuilt.events) << "block " << block;
        ASSERT_TRUE(same_points(incremental.tree, rebuilt.tree)) << "block " << block;
        EXPECT_GT(rebuilt.nodes - num_pts, 64) << "too few kept to exercise the indexes";
    }
}

} // namespace
