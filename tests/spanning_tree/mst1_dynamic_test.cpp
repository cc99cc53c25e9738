#include "mst1.h"
#include "random_points.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <random>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace steiner::internal;

namespace {

int64_t rebuilt_length(const std::vector<Point> &points, const std::vector<int32_t> &members) {
    std::vector<Point> subset;
    for (int32_t index : members)
        subset.push_back(points[static_cast<size_t>(index)]);
    std::vector<int32_t> parent(subset.size());
    return mst1_build_tree(static_cast<int32_t>(subset.size()), subset.data(), parent.data());
}

struct TreeDeleter {
    void operator()(Mst1Dynamic *tree) const {
        mst1_dynamic_destroy(tree);
    }
};
using TreeHandle = std::unique_ptr<Mst1Dynamic, TreeDeleter>;

// Drives a tree through random trials (blocks of additions, then a commit or a
// rollback) and checks lengths against trees rebuilt from scratch: after every
// addition, or only at the end of each block when check_each_add is false.
// The first start points go in at once through mst1_dynamic_start.
// Returns false after the first mismatch so a failing seed reports once.
bool run_trials(const std::vector<Point> &points, std::mt19937 &random, int32_t max_block,
                bool check_each_add = true, int32_t start = 0) {
    const auto count = static_cast<int32_t>(points.size());
    TreeHandle tree(mst1_dynamic_create(count, points.data()));
    EXPECT_NE(tree, nullptr);
    if (tree == nullptr)
        return false;
    std::vector<int32_t> committed;
    for (int32_t k = 0; k < start; k++)
        committed.push_back(k);
    EXPECT_EQ(mst1_dynamic_start(tree.get(), start), rebuilt_length(points, committed));
    std::vector<int32_t> order;
    for (int32_t k = start; k < count; k++)
        order.push_back(k);
    std::shuffle(order.begin(), order.end(), random);
    size_t next = 0;
    while (next < order.size()) {
        std::vector<int32_t> members = committed;
        int32_t block = std::uniform_int_distribution<int32_t>(1, max_block)(random);
        size_t trial_start = next;
        for (int32_t b = 0; b < block && next < order.size(); b++) {
            members.push_back(order[next++]);
            int64_t length = mst1_dynamic_add(tree.get(), members.back());
            if (!check_each_add && b + 1 < block && next < order.size())
                continue;
            int64_t expected = rebuilt_length(points, members);
            EXPECT_EQ(length, expected) << "after adding point " << members.back();
            EXPECT_EQ(mst1_dynamic_length(tree.get()), expected);
            if (length != expected)
                return false;
        }
        if (std::uniform_int_distribution<int>(0, 2)(random) == 0) {
            mst1_dynamic_rollback(tree.get());
            // Rolled-back points come back later, so each is tried again.
            std::shuffle(order.begin() + static_cast<std::ptrdiff_t>(trial_start), order.end(),
                         random);
            next = trial_start;
            int64_t expected = rebuilt_length(points, committed);
            EXPECT_EQ(mst1_dynamic_length(tree.get()), expected) << "after a rollback";
            if (mst1_dynamic_length(tree.get()) != expected)
                return false;
        } else {
            mst1_dynamic_commit(tree.get());
            committed = members;
        }
    }
    return true;
}

TEST(DynamicTreeTest, MatchesRebuiltTreesOnTinyGrids) {
    // Grids of a few cells put ties and coincident points everywhere.
    for (uint32_t seed = 0; seed < 3000; seed++) {
        std::mt19937 random(seed);
        int32_t side = std::uniform_int_distribution<int32_t>(1, 6)(random);
        int32_t count = std::uniform_int_distribution<int32_t>(1, 30)(random);
        std::vector<Point> points = random_points(random, count, -side / 2, side - side / 2);
        ASSERT_TRUE(run_trials(points, random, 1 + static_cast<int32_t>(seed % 7)))
            << "seed " << seed;
    }
}

TEST(DynamicTreeTest, MatchesRebuiltTreesAtTheCoordinateLimits) {
    for (uint32_t seed = 0; seed < 500; seed++) {
        std::mt19937 random(seed);
        int32_t count = std::uniform_int_distribution<int32_t>(1, 25)(random);
        std::vector<Point> points = points_at_the_limits(random, count);
        ASSERT_TRUE(run_trials(points, random, 4)) << "seed " << seed;
    }
}

TEST(DynamicTreeTest, MatchesRebuiltTreesAfterAStartAndManyCommits) {
    // Hundreds of small commits after a start move points through the
    // committed points' list and indexes again and again.
    for (uint32_t seed = 0; seed < 2; seed++) {
        std::mt19937 random(seed);
        int32_t range = seed % 2 == 0 ? 30 : 1000000;
        std::vector<Point> points = random_points(random, 900, -range, range);
        ASSERT_TRUE(run_trials(points, random, 4, false, 500)) << "seed " << seed;
    }
}

TEST(DynamicTreeTest, StartNeedsAnEmptyTreeAndItsPoints) {
    std::mt19937 random(9);
    std::vector<Point> points = random_points(random, 20, 0, 9);
    TreeHandle tree(mst1_dynamic_create(20, points.data()));
    mst1_dynamic_add(tree.get(), 19);
    EXPECT_EQ(mst1_dynamic_start(tree.get(), 5), -1);
    mst1_dynamic_rollback(tree.get());
    EXPECT_EQ(mst1_dynamic_start(tree.get(), 21), -1);
    EXPECT_EQ(mst1_dynamic_start(tree.get(), -1), -1);
    std::vector<int32_t> parent(20);
    EXPECT_EQ(mst1_dynamic_start(tree.get(), 20),
              mst1_build_tree(20, points.data(), parent.data()));
}

TEST(DynamicTreeTest, MatchesRebuiltTreesOnLargerSets) {
    // Enough points for a deep kd tree and long tree paths; narrow ranges keep
    // ties, wide ones test the pruning.
    for (uint32_t seed = 0; seed < 40; seed++) {
        std::mt19937 random(seed);
        int32_t range = seed % 2 == 0 ? 20 : MST1_COORD_MAX;
        std::vector<Point> points = random_points(random, 300, -range, range);
        ASSERT_TRUE(run_trials(points, random, seed % 3 == 0 ? 300 : 10, false)) << "seed " << seed;
    }
}

// Offers the points in random order to add_if_shorter, with plain additions
// pending at random, and checks each answer against a rebuilt tree: the exact
// new length when it is shorter, else the old length with nothing changed.
bool check_decisions(const std::vector<Point> &points, std::mt19937 &random) {
    const auto count = static_cast<int32_t>(points.size());
    TreeHandle tree(mst1_dynamic_create(count, points.data()));
    EXPECT_NE(tree, nullptr);
    if (tree == nullptr)
        return false;
    std::vector<int32_t> order(points.size());
    for (int32_t k = 0; k < count; k++)
        order[static_cast<size_t>(k)] = k;
    std::shuffle(order.begin(), order.end(), random);
    std::vector<int32_t> committed;
    std::vector<int32_t> members; // committed, then pending
    for (int32_t index : order) {
        const int64_t before = mst1_dynamic_length(tree.get());
        members.push_back(index);
        const int64_t expected = std::min(before, rebuilt_length(points, members));
        members.pop_back();
        const int64_t decided = mst1_dynamic_add_if_shorter(tree.get(), index);
        EXPECT_EQ(decided, expected) << "point " << index;
        EXPECT_EQ(mst1_dynamic_length(tree.get()), expected);
        if (decided != expected)
            return false;
        if (decided < before)
            members.push_back(index);
        else if (std::uniform_int_distribution<int>(0, 1)(random) == 0 &&
                 mst1_dynamic_add(tree.get(), index) >= 0)
            members.push_back(index);
        const int settle = std::uniform_int_distribution<int>(0, 2)(random);
        if (settle == 0) {
            mst1_dynamic_rollback(tree.get());
            members = committed;
        } else if (settle == 1) {
            mst1_dynamic_commit(tree.get());
            committed = members;
        }
        if (mst1_dynamic_length(tree.get()) != rebuilt_length(points, members)) {
            ADD_FAILURE() << "after settling point " << index;
            return false;
        }
    }
    return true;
}

TEST(DynamicTreeTest, AddIfShorterDecidesAsAddingDoes) {
    // Tiny grids (ties, coincident points), the ends of the coordinate range,
    // and wider sets where most points are turned away by the bounds.
    for (uint32_t seed = 0; seed < 1500; seed++) {
        std::mt19937 random(seed);
        const int32_t side = std::uniform_int_distribution<int32_t>(1, 8)(random);
        const int32_t count = std::uniform_int_distribution<int32_t>(1, 40)(random);
        std::vector<Point> points = random_points(random, count, -side / 2, side - side / 2);
        if (seed % 5 == 4)
            for (Point &p : points)
                p = Point{p.row < 0 ? MST1_COORD_MIN - p.row : MST1_COORD_MAX - p.row,
                          p.column < 0 ? MST1_COORD_MIN - p.column : MST1_COORD_MAX - p.column};
        ASSERT_TRUE(check_decisions(points, random)) << "seed " << seed;
    }
    for (uint32_t seed = 0; seed < 5; seed++) {
        std::mt19937 random(seed);
        std::vector<Point> points = random_points(random, 300, 0, 1000);
        ASSERT_TRUE(check_decisions(points, random)) << "seed " << seed;
    }
}

TEST(DynamicTreeTest, RejectsBadAdditionsWithoutChange) {
    std::vector<Point> points{{0, 0}, {0, 4}, {3, 0}};
    TreeHandle tree(mst1_dynamic_create(3, points.data()));
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(mst1_dynamic_length(tree.get()), 0);
    EXPECT_EQ(mst1_dynamic_add(tree.get(), 0), 0);
    EXPECT_EQ(mst1_dynamic_add(tree.get(), 1), 4);
    EXPECT_EQ(mst1_dynamic_add(tree.get(), 1), -1);
    EXPECT_EQ(mst1_dynamic_add(tree.get(), 3), -1);
    EXPECT_EQ(mst1_dynamic_add(tree.get(), -1), -1);
    EXPECT_EQ(mst1_dynamic_length(tree.get()), 4);
    // A rejected addition must not be undone by a rollback either.
    mst1_dynamic_rollback(tree.get());
    EXPECT_EQ(mst1_dynamic_length(tree.get()), 0);
    EXPECT_EQ(mst1_dynamic_add(tree.get(), 2), 0);
    EXPECT_EQ(mst1_dynamic_add(tree.get(), 0), 3);
}

TEST(DynamicTreeTest, RefusesUnusableInput) {
    std::vector<Point> points{{0, 0}, {MST1_COORD_MAX + 1, 0}};
    EXPECT_EQ(mst1_dynamic_create(2, points.data()), nullptr);
    points[1] = Point{0, MST1_COORD_MIN - 1};
    EXPECT_EQ(mst1_dynamic_create(2, points.data()), nullptr);
    EXPECT_EQ(mst1_dynamic_create(-1, points.data()), nullptr);
    // Too many points to number the tree's edges, refused before any is read.
    EXPECT_EQ(mst1_dynamic_create(INT32_MAX, points.data()), nullptr);
    EXPECT_EQ(mst1_dynamic_create(1, nullptr), nullptr);

    TreeHandle empty(mst1_dynamic_create(0, nullptr));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(mst1_dynamic_add(empty.get(), 0), -1);
    EXPECT_EQ(mst1_dynamic_length(empty.get()), 0);
}

#ifndef STEINER_SANITIZED
TEST(DynamicTreeDeathTest, CreateReturnsNullWhenMemoryRunsOut) {
    // The cap keeps a generous kernel from granting the request; the child
    // reports through its exit status. Points are read only once memory is
    // had, so one point stands in for the many.
    auto create_huge = [] {
        rlimit limit{256 << 20, 256 << 20};
        setrlimit(RLIMIT_AS, &limit);
        Point point{0, 0};
        exit(mst1_dynamic_create(1 << 28, &point) == nullptr ? 0 : 2);
    };
    EXPECT_EXIT(create_huge(), testing::ExitedWithCode(0), "");
}

TEST(DynamicTreeDeathTest, RollbackStaysExactWhenTheUndoRecordCannotGrow) {
    // Memory is capped just above what the child holds once a fifth of the
    // points are in, so the record of the rest cannot grow; the tree must stay
    // exact, and a rollback must still restore the committed tree.
    auto run = [] {
        std::mt19937 random(5);
        std::vector<Point> points = random_points(random, 40000, 0, 100000);
        const int32_t first = 8000;
        TreeHandle reference(mst1_dynamic_create(40000, points.data()));
        TreeHandle tree(mst1_dynamic_create(40000, points.data()));
        if (reference == nullptr || tree == nullptr)
            exit(2);
        for (int32_t k = 0; k < 40000; k++)
            mst1_dynamic_add(reference.get(), k);
        for (int32_t k = 0; k < first; k++)
            mst1_dynamic_add(tree.get(), k);
        mst1_dynamic_commit(tree.get());
        const int64_t committed = mst1_dynamic_length(tree.get());
        long pages = 0;
        FILE *statm = fopen("/proc/self/statm", "r");
        if (statm == nullptr || fscanf(statm, "%ld", &pages) != 1)
            exit(3);
        fclose(statm);
        const auto cap = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + (64 << 10));
        rlimit limit{cap, cap};
        setrlimit(RLIMIT_AS, &limit);
        for (int32_t k = first; k < 40000; k++)
            mst1_dynamic_add(tree.get(), k);
        if (mst1_dynamic_length(tree.get()) != mst1_dynamic_length(reference.get()))
            exit(4);
        mst1_dynamic_rollback(tree.get());
        if (mst1_dynamic_length(tree.get()) != committed)
            exit(5);
        // The tree goes on working after the rebuild.
        for (int32_t k = first; k < 40000; k++)
            mst1_dynamic_add_if_shorter(tree.get(), k);
        if (mst1_dynamic_length(tree.get()) >= committed)
            exit(6);
        mst1_dynamic_rollback(tree.get());
        exit(mst1_dynamic_length(tree.get()) == committed ? 0 : 7);
    };
    EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
}
#endif

} // namespace
