// The octant neighbours, the saving of joining a point, and the small dense
// and stack trees, each against the plain computation it stands in for.
#include "mst1.h"
#include "mst1_dense.h"
#include "mst1_handle.h"
#include "mst1_small.h"
#include "random_points.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

using namespace steiner::internal;

namespace {

int64_t tree_length(const std::vector<Point> &points) {
    std::vector<int32_t> parent;
    return mst1_build_tree_into(points, &parent);
}

// Tie-heavy sets on small grids, wide ones, and ones at the coordinate limits.
std::vector<std::vector<Point>> point_sets(uint32_t seed, int32_t count) {
    std::mt19937 random(seed);
    std::vector<std::vector<Point>> sets;
    for (int32_t side : {3, 6, 12, 1000})
        sets.push_back(random_points(random, count, 0, side - 1));
    sets.push_back(random_points(random, count, MST1_COORD_MIN, MST1_COORD_MAX));
    sets.push_back(points_at_the_limits(random, count));
    return sets;
}

// The octant of an offset as defined: turned a quarter at a time until it
// lies in the first quadrant (row above 0, column at or above 0), then the
// lower half of that quadrant (column below row) or the upper.
int defined_octant(int32_t drow, int32_t dcolumn) {
    for (int quadrant = 0; quadrant < 4; quadrant++) {
        if (drow > 0 && dcolumn >= 0)
            return 2 * quadrant + (dcolumn < drow ? 0 : 1);
        const int32_t row = drow;
        drow = dcolumn;
        dcolumn = -row;
    }
    return 7; // the offset 0, which no caller asks about
}

TEST(OctantNeighboursTest, OctantsAsDefined) {
    for (int32_t drow = -40; drow <= 40; drow++)
        for (int32_t dcolumn = -40; dcolumn <= 40; dcolumn++)
            ASSERT_EQ(mst1_octant_of(drow, dcolumn), defined_octant(drow, dcolumn))
                << drow << ", " << dcolumn;
    std::mt19937 random(3);
    const int32_t widest = MST1_COORD_MAX - MST1_COORD_MIN;
    std::uniform_int_distribution<int32_t> offset(-widest, widest);
    for (int k = 0; k < 100000; k++) {
        const int32_t drow = offset(random);
        const int32_t dcolumn = k % 3 == 0 ? drow : k % 3 == 1 ? -drow : offset(random);
        ASSERT_EQ(mst1_octant_of(drow, dcolumn), defined_octant(drow, dcolumn))
            << drow << ", " << dcolumn;
    }
}

TEST(OctantNeighboursTest, EachIsANearestPointOfItsOctant) {
    for (int32_t count : {1, 2, 9, 31, 32, 60, 300}) {
        for (const std::vector<Point> &points : point_sets(static_cast<uint32_t>(count), count)) {
            const size_t n = points.size();
            std::vector<int32_t> nearest(8 * n);
            ASSERT_EQ(mst1_octant_neighbours(count, points.data(), nearest.data()), 0);
            for (size_t k = 0; k < n; k++) {
                int32_t best[8];
                std::fill(best, best + 8, -1);
                for (size_t j = 0; j < n; j++) {
                    const int32_t drow = points[j].row - points[k].row;
                    const int32_t dcolumn = points[j].column - points[k].column;
                    if (drow == 0 && dcolumn == 0)
                        continue;
                    const int o = mst1_octant_of(drow, dcolumn);
                    const int32_t d = std::abs(drow) + std::abs(dcolumn);
                    if (best[o] < 0 || d < best[o])
                        best[o] = d;
                }
                for (size_t o = 0; o < 8; o++) {
                    const int32_t q = nearest[8 * k + o];
                    SCOPED_TRACE(testing::Message()
                                 << count << " points, point " << k << ", octant " << o);
                    ASSERT_EQ(q < 0, best[o] < 0);
                    if (q < 0)
                        continue;
                    const Point &p = points[static_cast<size_t>(q)];
                    const int32_t drow = p.row - points[k].row;
                    const int32_t dcolumn = p.column - points[k].column;
                    ASSERT_FALSE(drow == 0 && dcolumn == 0);
                    EXPECT_EQ(mst1_octant_of(drow, dcolumn), static_cast<int>(o));
                    EXPECT_EQ(std::abs(drow) + std::abs(dcolumn), best[o]);
                    // The lowest index at that place.
                    for (int32_t j = 0; j < q; j++)
                        EXPECT_FALSE(points[static_cast<size_t>(j)].row == p.row &&
                                     points[static_cast<size_t>(j)].column == p.column);
                }
            }
        }
    }
}

// The saving of a point, from the incremental, the dense (one point at a
// time and many together) and (up to its capacity) the stack tree, is what
// rebuilding the tree with it shows, when positive, and 0 otherwise.
TEST(OctantScanTest, TheFirstOfTheNearestInEachOctant) {
    // Sizes on both sides of where the scan takes eight points at a time,
    // with places shared and distances tied.
    for (int32_t count : {1, 7, 31, 32, 33, 40, 100, 257}) {
        for (const std::vector<Point> &points :
             point_sets(static_cast<uint32_t>(count) + 7, count)) {
            for (size_t c = 0; c < points.size(); c += 1 + points.size() / 16) {
                const Point &centre = points[c];
                int32_t first_same = -1;
                int32_t expected[8];
                int32_t expected_distance[8];
                std::fill(expected, expected + 8, -1);
                std::fill(expected_distance, expected_distance + 8, -1);
                for (int32_t k = 0; k < count; k++) {
                    const Point &p = points[static_cast<size_t>(k)];
                    if (point_equal(p, centre)) {
                        first_same = first_same < 0 ? k : first_same;
                        continue;
                    }
                    const int o = mst1_octant_of(p.row - centre.row, p.column - centre.column);
                    const int32_t d = rect_dist_points(p, centre);
                    if (expected[o] < 0 || d < expected_distance[o]) {
                        expected[o] = k;
                        expected_distance[o] = d;
                    }
                }
                int32_t nearest[8];
                int32_t distance[8];
                SCOPED_TRACE(testing::Message() << count << " points, centre " << c);
                EXPECT_EQ(mst1_octant_scan(count, points.data(), centre, nearest, distance),
                          first_same);
                EXPECT_TRUE(std::equal(nearest, nearest + 8, expected));
                EXPECT_TRUE(std::equal(distance, distance + 8, expected_distance));
            }
        }
    }
}

TEST(JoinSavingTest, EveryTreeGivesTheSavingARebuildShows) {
    for (int32_t count : {1, 2, 5, 20, 70}) {
        uint32_t seed = 100 + static_cast<uint32_t>(count);
        for (const std::vector<Point> &points : point_sets(seed, 2 * count)) {
            const std::vector<Point> base(points.begin(), points.begin() + count);
            const Mst1DynamicPtr dynamic = mst1_dynamic_make(base);
            const int64_t before = mst1_dynamic_start(dynamic.get(), count);
            Mst1Dense dense(base.size() + 1);
            dense.assign(base.data(), base.size());
            ASSERT_EQ(dense.length(), before);
            const bool small_fits = base.size() < Mst1Small::capacity;
            Mst1Small small;
            for (size_t k = 0; small_fits && k < base.size(); k++)
                small.push(base[k]);
            // The other points, the base's own points, which save nothing, and
            // medians of three base points, which often save something.
            std::vector<Point> probes = points;
            for (size_t k = 2; k < base.size(); k++) {
                const Point &a = base[k - 2], &b = base[k - 1], &c = base[k];
                probes.push_back(
                    Point{std::max(std::min(a.row, b.row), std::min(std::max(a.row, b.row), c.row)),
                          std::max(std::min(a.column, b.column),
                                   std::min(std::max(a.column, b.column), c.column))});
            }
            std::vector<int64_t> side_by_side(probes.size());
            dense.gains(probes.data(), probes.size(), side_by_side.data());
            for (size_t k = 0; k < probes.size(); k++) {
                const Point &probe = probes[k];
                std::vector<Point> with = base;
                with.push_back(probe);
                const int64_t saving = std::max<int64_t>(0, before - tree_length(with));
                SCOPED_TRACE(testing::Message() << count << " points, probe (" << probe.row << ", "
                                                << probe.column << ")");
                EXPECT_EQ(mst1_dynamic_gain(dynamic.get(), probe), saving);
                EXPECT_EQ(dense.gain(probe), saving);
                EXPECT_EQ(side_by_side[k], saving);
                if (small_fits) {
                    EXPECT_EQ(small.gain(probe), saving);
                }
            }
            EXPECT_EQ(mst1_dynamic_length(dynamic.get()), before);
        }
    }
}

// The stack tree's parents are the tree package's, ties included, as points
// join and as the last ones are dropped again.
// Against the plain quadratic loop: the package's build hands sets this small
// to the stack tree itself.
TEST(SmallTreeTest, ParentsAsTheBuild) {
    for (const std::vector<Point> &points :
         point_sets(11, static_cast<int32_t>(Mst1Small::capacity))) {
        Mst1Small small;
        std::vector<int32_t> parent(points.size());
        for (size_t k = 0; k < points.size(); k++) {
            small.push(points[k]);
            const auto n = static_cast<int32_t>(k + 1);
            ASSERT_EQ(small.length(), mst1_build_tree_reference(n, points.data(), parent.data()))
                << "point " << k;
            ASSERT_TRUE(std::equal(parent.begin(), parent.begin() + n, small.parents()))
                << "point " << k;
        }
        small.truncate(5);
        EXPECT_EQ(small.length(), mst1_build_tree_reference(5, points.data(), parent.data()));
        EXPECT_TRUE(std::equal(parent.begin(), parent.begin() + 5, small.parents()));
    }
}

// A tree mended as points join keeps the length and the gains of a rebuilt
// one, and Prim's parents are there when asked for.
TEST(SmallTreeTest, JoinedPointsMendTheTree) {
    for (const std::vector<Point> &points :
         point_sets(12, static_cast<int32_t>(Mst1Small::capacity))) {
        Mst1Small small;
        for (size_t k = 0; k < points.size(); k++) {
            small.join(points[k]);
            const std::vector<Point> prefix(points.begin(),
                                            points.begin() + static_cast<std::ptrdiff_t>(k + 1));
            ASSERT_EQ(small.length(), tree_length(prefix)) << "point " << k;
            const Point &a = points[k], &b = points[k / 2],
                        &c = points[(k * 7 + 3) % points.size()];
            const Point median{
                std::max(std::min(a.row, b.row), std::min(std::max(a.row, b.row), c.row)),
                std::max(std::min(a.column, b.column),
                         std::min(std::max(a.column, b.column), c.column))};
            for (const Point &probe : {points[(k + 1) % points.size()], median}) {
                std::vector<Point> with = prefix;
                with.push_back(probe);
                ASSERT_EQ(small.gain(probe),
                          std::max<int64_t>(0, small.length() - tree_length(with)))
                    << "point " << k;
            }
            if (k % 5 == 4) {
                std::vector<int32_t> parent;
                mst1_build_tree_into(prefix, &parent);
                ASSERT_TRUE(std::equal(parent.begin(), parent.end(), small.parents()))
                    << "point " << k;
            }
        }
    }
}

// Points joining one by one, and the tree built afresh: the same length, a
// tree over every point, and degrees that count its edges.
TEST(DenseTreeTest, GrowsAsARebuildWould) {
    for (const std::vector<Point> &points : point_sets(7, 90)) {
        Mst1Dense dense(points.size());
        dense.assign(points.data(), 10);
        for (size_t k = 10; k < points.size(); k++) {
            dense.add(points[k]);
            const std::vector<Point> prefix(points.begin(),
                                            points.begin() + static_cast<std::ptrdiff_t>(k + 1));
            ASSERT_EQ(dense.length(), tree_length(prefix)) << "after point " << k;
        }
        int64_t sum = 0;
        std::vector<int32_t> degree(points.size(), 0);
        for (size_t k = 1; k < dense.size(); k++) {
            const auto up = static_cast<size_t>(dense.parent(k));
            size_t at = k;
            for (size_t steps = 0; at != 0; steps++) {
                ASSERT_LT(steps, dense.size()) << "point " << k << " never reaches the root";
                at = static_cast<size_t>(dense.parent(at));
            }
            sum += rect_dist_points(dense.point(k), dense.point(up));
            degree[k]++;
            degree[up]++;
        }
        EXPECT_EQ(sum, dense.length());
        for (size_t k = 0; k < dense.size(); k++)
            EXPECT_EQ(dense.degree(k), degree[k]);
    }
}

} // namespace
