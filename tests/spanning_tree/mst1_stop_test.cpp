// The stop flag in the tree package: a set flag ends the long calls, and the
// sort that looks at it sorts as std::sort does (and keeps the distinct keys
// as std::unique does).
#include "mst1.h"
#include "mst1_handle.h"
#include "mst1_sort.h"
#include "random_points.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <vector>

using namespace steiner::internal;

namespace {

TEST(SortTest, AsStdSortOnAnyShapeUntilStopped) {
    std::mt19937 random(5);
    std::atomic<bool> stop{false};
    // Short arrays of keys take insertion, a network, merges or passes over
    // their digits, up to 1024; longer ones the partitions.
    for (size_t n : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 95u, 96u, 150u, 1024u, 1025u, 16384u,
                     16385u, 100000u})
        for (int shape = 0; shape < 8; shape++) {
            // Random in all 64 bits, few distinct, rising, falling, the two
            // interleaved, both halves on either side of a carry (as places
            // near zero are), the low halves alike, and all alike.
            const auto value = [&](size_t k) -> uint64_t {
                switch (shape) {
                case 0:
                    return uint64_t{random()} << 32 | random();
                case 1:
                    return random() % 7;
                case 2:
                    return k;
                case 3:
                    return n - k;
                case 4:
                    return k % 2 == 0 ? k : n - k;
                case 5:
                    return (0x1fffff00u + uint64_t{random() % 512}) << 32 |
                           (0xffffff00u + random() % 512) % (uint64_t{1} << 32);
                case 6:
                    return uint64_t{random()} << 32;
                default:
                    return 42;
                }
            };
            std::vector<uint64_t> values(n);
            for (size_t k = 0; k < n; k++)
                values[k] = value(k);
            std::vector<uint64_t> expected = values;
            std::sort(expected.begin(), expected.end());
            std::vector<uint64_t> distinct = values;
            EXPECT_TRUE(mst1_sort(values.begin(), values.end(), &stop));
            EXPECT_EQ(values, expected) << n << " values of shape " << shape;
            values.resize(mst1_unique_keys(values.data(), values.size()));
            expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
            EXPECT_EQ(values, expected) << "distinct of " << n << " values of shape " << shape;
            if (n <= MST1_SORT_KEYS_MOST) {
                distinct.resize(mst1_distinct_keys(distinct.data(), n));
                EXPECT_EQ(distinct, expected) << "hashed, " << n << " values of shape " << shape;
            }
        }
    stop = true;
    std::vector<uint64_t> values(100000, 1);
    EXPECT_FALSE(mst1_sort(values.begin(), values.end(), &stop));
}

TEST(StopTest, LongCallsGiveUpForGoodOnceTheFlagIsSet) {
    std::mt19937 random(9);
    const std::vector<Point> points = random_points(random, 20000, -1000000, 1000000);
    std::atomic<bool> stop{false};
    std::vector<int32_t> parent(points.size());
    std::vector<int32_t> expected(points.size());
    EXPECT_EQ(mst1_build_tree_reentrant(20000, points.data(), parent.data(), &stop),
              mst1_build_tree_reentrant(20000, points.data(), expected.data()));
    EXPECT_EQ(parent, expected);
    const Mst1DynamicPtr tree = mst1_dynamic_make(points, &stop);

    stop = true;
    // The quadratic loop and the octant graph.
    EXPECT_EQ(mst1_build_tree_reentrant(1000, points.data(), parent.data(), &stop), MST1_STOPPED);
    EXPECT_EQ(mst1_build_tree_reentrant(20000, points.data(), parent.data(), &stop), MST1_STOPPED);
    EXPECT_EQ(mst1_octant_neighbours(20000, points.data(), expected.data(), &stop), MST1_STOPPED);
    EXPECT_THROW(mst1_dynamic_make(points, &stop), Stopped);
    EXPECT_THROW(mst1_dynamic_begin(tree.get(), 20000), Stopped);
    EXPECT_EQ(mst1_dynamic_start(tree.get(), 10), MST1_STOPPED);
    EXPECT_EQ(mst1_dynamic_add(tree.get(), 0), -1);
    EXPECT_EQ(mst1_dynamic_gain(tree.get(), Point{0, 0}), 0);
}

} // namespace
