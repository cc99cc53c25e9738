// The path that builds minimal trees of small nets on the stack gives what the
// search gives (stepwise node for node and parent for parent, otherwise the
// same Steiner points joined by Prim's tree), and serves most nets.
#include "engine.h"
#include "mst1_handle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using steiner::internal::FewTree;
using steiner::internal::Point;

// count terminals at up to places distinct places: on a grid of side side
// from corner, so that ties, collinear runs and repeats are common on small
// sides.
std::vector<Point> random_net(std::mt19937 &random, size_t count, int64_t corner, int64_t side) {
    std::uniform_int_distribution<int64_t> coordinate(corner, corner + side - 1);
    std::vector<Point> distinct;
    std::vector<Point> net;
    const size_t places = std::uniform_int_distribution<size_t>(4, std::min<size_t>(count, 9))(random);
    while (distinct.size() < places && distinct.size() < static_cast<size_t>(side * side))
        distinct.push_back(Point{static_cast<int32_t>(coordinate(random)),
                                 static_cast<int32_t>(coordinate(random))});
    for (size_t k = 0; k < count; k++)
        net.push_back(k < distinct.size()
                          ? distinct[k]
                          : distinct[std::uniform_int_distribution<size_t>(0, distinct.size() - 1)(
                                random)]);
    std::shuffle(net.begin(), net.end(), random);
    return net;
}

TEST(FewPlacesTest, SameTreeAsTheSearchOnEveryNetItServes) {
    std::mt19937 random(19);
    const int64_t lo = steiner::internal::MST1_COORD_MIN;
    const int64_t hi = steiner::internal::MST1_COORD_MAX;
    struct Spread {
        int64_t corner, side;
    };
    for (const Spread spread : {Spread{-3, 5}, Spread{0, 1000}, Spread{lo, hi - lo + 1},
                                Spread{hi - 2, 3}, Spread{lo, 3}}) {
        size_t served = 0;
        size_t nets = 0;
        for (int trial = 0; trial < 3000; trial++) {
            const size_t count = std::uniform_int_distribution<size_t>(4, 17)(random);
            const std::vector<Point> net = random_net(random, count, spread.corner, spread.side);
            const bool stepwise = trial % 2 == 1;
            FewTree few;
            nets++;
            if (!steiner::internal::few_places_tree(net.data(), net.size(), stepwise, &few))
                continue;
            served++;
            for (const bool improve : {false, true}) {
                steiner::internal::SearchOptions options;
                options.improve = improve;
                options.stepwise = stepwise;
                const steiner::internal::SearchResult found = steiner::internal::search_steiner_points(
                    net.data(), static_cast<int32_t>(net.size()), options);
                ASSERT_EQ(found.points.size(), few.size) << "trial " << trial;
                ASSERT_EQ(found.length, few.length);
                ASSERT_EQ(found.terminal_length, few.terminal_length);
                if (!stepwise) {
                    // The same points in the table's order, and Prim's tree
                    // of them.
                    std::vector<Point> nodes(few.points, few.points + few.size);
                    std::vector<int32_t> parents;
                    ASSERT_EQ(steiner::internal::mst1_build_tree_into(nodes, &parents), few.length);
                    ASSERT_TRUE(std::equal(parents.begin(), parents.end(), few.parents));
                    std::vector<Point> searched = found.points;
                    for (std::vector<Point> *points : {&nodes, &searched}) {
                        ASSERT_TRUE(std::equal(net.begin(), net.end(), points->begin(),
                                               steiner::internal::point_equal));
                        std::sort(points->begin() + static_cast<std::ptrdiff_t>(net.size()),
                                  points->end(), steiner::internal::point_less);
                    }
                    ASSERT_TRUE(std::equal(nodes.begin(), nodes.end(), searched.begin(),
                                           steiner::internal::point_equal))
                        << "trial " << trial;
                    continue;
                }
                for (size_t k = 0; k < few.size; k++) {
                    ASSERT_EQ(found.points[k].row, few.points[k].row) << "trial " << trial;
                    ASSERT_EQ(found.points[k].column, few.points[k].column) << "trial " << trial;
                    ASSERT_EQ(found.parents[k], few.parents[k]) << "trial " << trial;
                }
            }
        }
        // Outside the tiny grids, where degree-2 points and points that
        // shorten the tree only together are common, nearly every net is served.
        if (spread.side >= 1000) {
            EXPECT_GT(served, nets / 2);
        }
        std::printf("side %lld: %zu of %zu nets served\n", static_cast<long long>(spread.side),
                    served, nets);
    }
}

} // namespace
