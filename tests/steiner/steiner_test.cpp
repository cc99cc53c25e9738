#include "mst1.h"
#include "mst1_handle.h"
#include "screening.h"

#include <steiner/steiner.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace steiner::internal;

namespace {

std::vector<steiner::Point> uniform(size_t count, int32_t grid, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> coordinate(0, grid - 1);
    std::vector<steiner::Point> points;
    for (size_t k = 0; k < count; k++)
        points.push_back(steiner::Point{coordinate(random), coordinate(random)});
    return points;
}

std::vector<Point> internal(const std::vector<steiner::Point> &points) {
    std::vector<Point> out;
    for (const steiner::Point &p : points)
        out.push_back(Point{p.row, p.column});
    return out;
}

// What the router makes of the Steiner points: each passes its screening,
// and when the tree is stepwise, each shortens the tree of the nodes before
// it, so the router keeps them all.
void expect_router_takes_up(const steiner::Tree &tree, bool stepwise) {
    const std::vector<Point> all = internal(tree.nodes);
    const auto terminals = static_cast<int32_t>(tree.terminal_count);
    std::unique_ptr<Mst1Dynamic, void (*)(Mst1Dynamic *)> dynamic(
        mst1_dynamic_create(static_cast<int32_t>(all.size()), all.data()), mst1_dynamic_destroy);
    ASSERT_NE(dynamic, nullptr);
    int64_t current = 0;
    for (int32_t k = 0; k < terminals; k++)
        current = mst1_dynamic_add(dynamic.get(), k);
    EXPECT_EQ(current, tree.rmst_length);
    size_t first = tree.terminal_count;
    for (; first < all.size(); first++) {
        const int64_t next = mst1_dynamic_add_if_shorter(dynamic.get(), static_cast<int32_t>(first));
        if (next == current)
            break;
        mst1_dynamic_commit(dynamic.get());
        current = next;
    }
    for (size_t k = tree.terminal_count; k < all.size(); k++)
        ASSERT_TRUE(screen_candidate(all[k].row, all[k].column, all.data(), terminals))
            << "point " << k << " is screened out";
    if (stepwise) {
        EXPECT_EQ(first, all.size());
    }
    std::vector<int32_t> parent;
    EXPECT_EQ(mst1_build_tree_into(all, &parent), tree.length);
}

TEST(RouteTest, EveryEffortGivesASoundTreeTheRouterTakesUp) {
    // Small grids make repeated rows, columns and coincident terminals common.
    for (const auto &[count, grid] :
         {std::pair<size_t, int32_t>{12, 6}, {60, 20}, {150, 1000}, {400, 10000000}}) {
        const std::vector<steiner::Point> net = uniform(count, grid, 3);
        SCOPED_TRACE(testing::Message() << count << " terminals");
        int64_t previous = INT64_MAX;
        for (steiner::Effort effort :
             {steiner::Effort::rmst, steiner::Effort::greedy, steiner::Effort::best}) {
            steiner::Options options;
            options.effort = effort;
            options.threads = 2;
            const steiner::Tree tree = steiner::route(net, options);
            EXPECT_EQ(steiner::tree_fault(tree), "");
            expect_router_takes_up(tree, false);
            EXPECT_LE(tree.length, previous);
            previous = tree.length;
            if (effort == steiner::Effort::rmst) {
                EXPECT_EQ(tree.steiner_count(), 0u);
            }
            options.stepwise = true;
            const steiner::Tree stepwise = steiner::route(net, options);
            EXPECT_EQ(steiner::tree_fault(stepwise), "");
            expect_router_takes_up(stepwise, true);
        }
        // Random nets gain about a tenth from Steiner points.
        if (count >= 150) {
            EXPECT_LT(static_cast<double>(previous),
                      0.92 * static_cast<double>(steiner::route(net).rmst_length));
        }
    }
}

TEST(RouteTest, SameTreeOnAnyThreadsAndFromManyThreadsAtOnce) {
    // Local moves found together on several threads touch one another
    // often on a crowded grid, and must still give the one-thread tree.
    const std::vector<std::vector<steiner::Point>> nets = {
        uniform(300, 100000, 7), uniform(40, 50, 8), uniform(5, 9, 9), uniform(100, 100, 20),
        uniform(300, 300, 3)};
    std::vector<steiner::Tree> expected;
    for (const auto &net : nets)
        expected.push_back(steiner::route(net));
    steiner::Options three;
    three.threads = 3;
    for (size_t k = 0; k < nets.size(); k++)
        EXPECT_EQ(steiner::route(nets[k], three), expected[k]) << "net " << k;
    const std::vector<steiner::Tree> many = steiner::route_many(nets, three);
    ASSERT_EQ(many.size(), nets.size());
    for (size_t k = 0; k < nets.size(); k++)
        EXPECT_EQ(many[k], expected[k]) << "net " << k;

    std::vector<int> agreed(4, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < agreed.size(); t++)
        threads.emplace_back([&, t] {
            for (size_t k = 0; k < nets.size(); k++)
                agreed[t] += steiner::route(nets[(k + t) % nets.size()]) ==
                             expected[(k + t) % nets.size()];
        });
    for (std::thread &thread : threads)
        thread.join();
    for (int count : agreed)
        EXPECT_EQ(count, 5);
}

TEST(RouteTest, WideWindowsOfOneBatchThatOverlapAreGatheredAgain) {
    // Windows of a batch are solved against the tree as the batch began; on
    // these nets, putting one in place after an earlier one of its batch
    // changed its piece, without gathering it again, gives longer trees.
    for (const auto &[seed, length] :
         {std::pair<uint32_t, int64_t>{5, 173244876}, {6, 176122195}}) {
        const std::vector<steiner::Point> net = uniform(600, 10000000, seed);
        for (int threads : {1, 4}) {
            steiner::Options options;
            options.threads = threads;
            EXPECT_EQ(steiner::route(net, options).length, length)
                << "seed " << seed << ", " << threads << " threads";
        }
    }
}

TEST(RouteTest, GreedyKeepsTheSameTrees) {
    // The greedy's growth measures candidates in batches and keeps a tree it
    // was given again; neither may change which candidates join. Totals over
    // seeded nets on both sides of the dense tree's limit, on a grid where
    // gains tie.
    int64_t total = 0;
    steiner::Options options;
    options.effort = steiner::Effort::greedy;
    for (uint32_t seed = 0; seed < 40; seed++)
        for (size_t count : {size_t{15}, size_t{40}, size_t{100}, size_t{200}})
            total += steiner::route(uniform(count, seed % 2 == 0 ? 50 : 100000, seed), options)
                         .length;
    EXPECT_EQ(total, 51278811);
}

TEST(RouteTest, ManyNetsBesideALargeOneAsEachAlone) {
    // Small nets on either side keep both threads busy while the net large
    // enough to take every thread waits for them.
    std::vector<std::vector<steiner::Point>> nets;
    uint32_t seed = 21;
    for (size_t count : {1u, 2u, 5u, 12u, 40u, 65u, 200u})
        nets.push_back(uniform(count, 1000, seed++));
    nets.push_back(uniform(4096, 1000000, seed++));
    for (size_t count : {3u, 9u, 64u, 130u})
        nets.push_back(uniform(count, 30, seed++));
    steiner::Options options;
    options.effort = steiner::Effort::greedy;
    options.threads = 2;
    const std::vector<steiner::Tree> trees = steiner::route_many(nets, options);
    ASSERT_EQ(trees.size(), nets.size());
    options.threads = 1;
    for (size_t k = 0; k < nets.size(); k++)
        EXPECT_EQ(trees[k], steiner::route(nets[k], options))
            << "net " << k << " of " << nets[k].size() << " terminals";
}

TEST(RouteTest, ProgressComesFromTheCallingThreadAndCountsRoundsFromOneInEachPhase) {
    struct Step {
        std::string phase;
        int round;
        double done;
    };
    std::vector<Step> steps;
    const std::thread::id caller = std::this_thread::get_id();
    steiner::Options options;
    options.threads = 2;
    options.progress = [&](const steiner::Progress &step) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        steps.push_back(Step{step.phase, step.round, step.done});
    };
    steiner::route(uniform(600, 100000, 5), options);
    ASSERT_GT(steps.size(), 3u);
    bool improved = false;
    bool windowed = false;
    bool partly = false;
    for (size_t k = 0; k < steps.size(); k++) {
        // A round goes on while its share done is below 1.
        const bool same_phase = k > 0 && steps[k].phase == steps[k - 1].phase;
        const bool goes_on = same_phase && steps[k - 1].done < 1;
        EXPECT_EQ(steps[k].round,
                  goes_on ? steps[k - 1].round : same_phase ? steps[k - 1].round + 1 : 1)
            << "step " << k << ": " << steps[k].phase;
        EXPECT_GE(steps[k].done, goes_on ? steps[k - 1].done : 0.0) << "step " << k;
        EXPECT_LE(steps[k].done, 1.0) << "step " << k;
        improved = improved || steps[k].phase == "improve";
        windowed = windowed || steps[k].phase == "windows";
        partly = partly || steps[k].done < 1;
    }
    EXPECT_TRUE(improved);
    EXPECT_TRUE(windowed);
    EXPECT_TRUE(partly);
    EXPECT_EQ(steps.back().phase, "order");
    EXPECT_EQ(steps.back().done, 1.0);
}

TEST(RouteTest, AStopFlagEndsTheCallWithStopped) {
    std::atomic<bool> stop{false};
    steiner::Options options;
    options.effort = steiner::Effort::greedy;
    const steiner::Options unstoppable = options;
    options.stop = &stop;
    const std::vector<steiner::Point> net = uniform(300, 1000, 4);
    EXPECT_EQ(steiner::route(net, options), steiner::route(net, unstoppable));

    // Set before the call: every call stops at once, once its input is checked.
    stop = true;
    for (steiner::Effort effort :
         {steiner::Effort::rmst, steiner::Effort::greedy, steiner::Effort::best}) {
        options.effort = effort;
        for (size_t count : {1u, 3u, 9u, 300u}) {
            EXPECT_THROW(steiner::route(uniform(count, 1000, 4), options), steiner::stopped);
        }
    }
    EXPECT_THROW(steiner::route_many({}, options), steiner::stopped);
    EXPECT_THROW(steiner::route_many({net, {}}, options), std::invalid_argument);

    // Set from another thread: during a large net's growth on two threads, and
    // while many nets are routed. Unstopped, either call takes many seconds.
    stop = false;
    options.effort = steiner::Effort::best;
    options.threads = 2;
    std::atomic<bool> growing{false};
    options.progress = [&growing](const steiner::Progress &) { growing = true; };
    std::thread setter([&] {
        while (!growing)
            std::this_thread::yield();
        stop = true;
    });
    EXPECT_THROW(steiner::route(uniform(5000, 10000000, 5), options), steiner::stopped);
    setter.join();
    stop = false;
    std::vector<std::vector<steiner::Point>> nets;
    for (uint32_t seed = 0; seed < 200; seed++)
        nets.push_back(uniform(400, 100000, seed));
    setter = std::thread([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop = true;
    });
    EXPECT_THROW(steiner::route_many(nets, options), steiner::stopped);
    setter.join();
}

TEST(RouteTest, SmallNetsInClosedForm) {
    const steiner::Tree one = steiner::route({{4, 7}});
    EXPECT_EQ(one.length, 0);
    EXPECT_EQ(one.parents, std::vector<int32_t>{0});
    EXPECT_EQ(steiner::route({{0, 0}, {5, -5}}).length, 10);

    // Three points meet at their median, which may be a terminal.
    const steiner::Tree corner = steiner::route({{0, 0}, {10, 5}, {5, 10}});
    ASSERT_EQ(corner.steiner_count(), 1u);
    EXPECT_EQ(corner.nodes[3].row, 5);
    EXPECT_EQ(corner.nodes[3].column, 5);
    EXPECT_EQ(corner.length, 20);
    EXPECT_EQ(corner.rmst_length, 25);
    EXPECT_EQ(steiner::tree_fault(corner), "");
    for (const std::vector<steiner::Point> &net :
         {std::vector<steiner::Point>{{3, 4}, {3, 0}, {3, 9}},
          std::vector<steiner::Point>{{3, 0}, {5, 5}, {9, 9}},
          std::vector<steiner::Point>{{1, 1}, {1, 1}, {1, 1}}}) {
        const steiner::Tree tree = steiner::route(net);
        EXPECT_EQ(tree.steiner_count(), 0u);
        EXPECT_EQ(tree.length, tree.rmst_length);
        EXPECT_EQ(steiner::tree_fault(tree), "");
    }
    steiner::Options spanning;
    spanning.effort = steiner::Effort::rmst;
    EXPECT_EQ(steiner::route({{0, 0}, {10, 5}, {5, 10}}, spanning).length, 25);

    // A cross of four arms meets in the middle; collinear points need no help.
    for (steiner::Effort effort : {steiner::Effort::greedy, steiner::Effort::best}) {
        steiner::Options options;
        options.effort = effort;
        const steiner::Tree cross = steiner::route({{0, 5}, {10, 5}, {5, 0}, {5, 10}}, options);
        EXPECT_EQ(cross.steiner_count(), 1u);
        EXPECT_EQ(cross.length, 20);
        const steiner::Tree line = steiner::route({{3, 0}, {3, 9}, {3, 4}, {3, 4}}, options);
        EXPECT_EQ(line.steiner_count(), 0u);
        EXPECT_EQ(line.length, 9);
    }
}

TEST(RouteTest, InvalidInputIsNamed) {
    auto message = [](const std::vector<steiner::Point> &net, int threads) {
        steiner::Options options;
        options.threads = threads;
        try {
            steiner::route(net, options);
        } catch (const std::invalid_argument &e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(message({}, 1), "steiner::route: the net has no terminals");
    EXPECT_EQ(message({{0, 0}, {536870912, 3}}, 1),
              "steiner::route: terminal 1 (row 536870912, column 3) lies outside the coordinate "
              "range -536870911 to 536870911");
    EXPECT_EQ(message({{0, 0}}, 0), "steiner::route: threads is 0; it must be from 1 to 256");
    EXPECT_EQ(message({{0, 0}}, 257), "steiner::route: threads is 257; it must be from 1 to 256");
    EXPECT_EQ(message({{-536870911, 536870911}}, 1), "accepted");
    steiner::Options unknown;
    unknown.effort = static_cast<steiner::Effort>(7);
    EXPECT_THROW(steiner::route({{0, 0}, {0, 10}, {10, 5}, {5, 5}}, unknown),
                 std::invalid_argument);
    try {
        steiner::route_many({{{1, 1}}, {}});
        ADD_FAILURE() << "an empty net is accepted";
    } catch (const std::invalid_argument &e) {
        EXPECT_STREQ(e.what(), "steiner::route_many: net 1: the net has no terminals");
    }
}

// A cross of four terminals joined at its middle, as route gives it.
steiner::Tree cross() {
    steiner::Tree tree;
    tree.nodes = {{0, 5}, {10, 5}, {5, 0}, {5, 10}, {5, 5}};
    tree.parents = {0, 4, 4, 4, 0};
    tree.terminal_count = 4;
    tree.length = 20;
    tree.rmst_length = 30;
    return tree;
}

TEST(TreeFaultTest, NamesTheFirstBrokenPromise) {
    ASSERT_EQ(steiner::route(cross().nodes.data(), 4), cross());
    EXPECT_EQ(steiner::tree_fault(cross()), "");
    const std::vector<std::pair<void (*)(steiner::Tree *), std::string>> cases = {
        {[](steiner::Tree *t) { t->parents.pop_back(); }, "the tree has 5 nodes but 4 parents"},
        {[](steiner::Tree *t) { t->terminal_count = 0; }, "the tree has no terminal"},
        {[](steiner::Tree *t) { t->nodes[2].row = 536870912; },
         "node 2 (row 536870912, column 0) lies outside the coordinate range -536870911 to "
         "536870911"},
        {[](steiner::Tree *t) { t->parents[0] = 4; },
         "node 0, the root, has parent 4; it must be its own parent"},
        {[](steiner::Tree *t) { t->parents[3] = 5; }, "node 3 has parent 5, which is not a node"},
        {[](steiner::Tree *t) { t->parents[3] = 3; },
         "node 3 is its own parent; only node 0, the root, may be"},
        {[](steiner::Tree *t) { t->parents[4] = 1; },
         "node 1 never reaches the root: its parents form a cycle through node 1"},
        {[](steiner::Tree *t) {
             t->parents[4] = 3;
             t->parents[3] = 2;
             t->parents[2] = 4;
         },
         "node 1 never reaches the root: its parents form a cycle through node 4"},
        {[](steiner::Tree *t) { t->nodes[4] = {5, 10}; },
         "Steiner point node 4 lies on the place of terminal node 3"},
        {[](steiner::Tree *t) {
             t->nodes.push_back({5, 5});
             t->parents.push_back(4);
         },
         "Steiner point node 5 lies on the place of Steiner point node 4"},
        {[](steiner::Tree *t) {
             t->nodes.insert(t->nodes.end(), {{7, 7}, {8, 8}});
             t->parents.insert(t->parents.end(), {4, 5});
         },
         "the tree has 3 Steiner points; its 4 distinct terminal places allow at most 2"},
        {[](steiner::Tree *t) {
             t->nodes[3] = {0, 5};
             t->nodes[2] = {0, 5};
         },
         "the tree has 1 Steiner point; its 2 distinct terminal places allow at most 0"},
        {[](steiner::Tree *t) {
             t->parents[1] = 0;
             t->parents[2] = 1;
             t->parents[3] = 2;
         },
         "Steiner point node 4 has 1 edge; it needs at least three"},
        {[](steiner::Tree *t) { t->length = 19; }, "the edges add up to 20, not to length 19"},
        {[](steiner::Tree *t) { t->rmst_length = 19; }, "length 20 exceeds rmst_length 19"},
        {[](steiner::Tree *t) { t->rmst_length = 1000000000000000; },
         "rmst_length 1000000000000000 is not the length of the terminals' minimum spanning "
         "tree, 30"},
        {[](steiner::Tree *t) {
             // Each edge is as long as it says, but the tree is no spanning
             // tree of least length.
             t->parents = {0, 0, 4, 4, 1};
             t->length = 25;
             t->rmst_length = 25;
         },
         "length 25 is not that of a minimum spanning tree of the nodes, 20"},
    };
    for (const auto &[spoil, fault] : cases) {
        steiner::Tree tree = cross();
        spoil(&tree);
        EXPECT_EQ(steiner::tree_fault(tree), fault);
        EXPECT_NE(tree, cross());
    }
}

} // namespace
