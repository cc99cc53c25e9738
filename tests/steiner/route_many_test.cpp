// route_many gives each net the tree route gives it alone, whether the net is
// small enough to share the threads with others or large enough to take them all.
#include <steiner/steiner.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::vector<steiner::Point> uniform(size_t count, int32_t grid, std::mt19937 &random) {
    std::uniform_int_distribution<int32_t> coordinate(0, grid - 1);
    std::vector<steiner::Point> net;
    for (size_t k = 0; k < count; k++)
        net.push_back(steiner::Point{coordinate(random), coordinate(random)});
    return net;
}

TEST(RouteTest, ManyNetsBesideALargeOneAsEachAlone) {
    std::mt19937 random(21);
    std::vector<std::vector<steiner::Point>> nets;
    // The nets on either side of the large ones keep both threads busy with
    // small work while the large net waits for them.
    for (size_t count : {1u, 2u, 5u, 12u, 40u, 65u, 200u})
        nets.push_back(uniform(count, 1000, random));
    // The smallest net that takes every thread.
    nets.push_back(uniform(4096, 1000000, random));
    for (size_t count : {3u, 9u, 64u, 130u})
        nets.push_back(uniform(count, 30, random));

    steiner::Options options;
    options.effort = steiner::Effort::greedy;
    options.threads = 2;
    const std::vector<steiner::Tree> trees = steiner::route_many(nets, options);
    ASSERT_EQ(trees.size(), nets.size());
    options.threads = 1;
    for (size_t k = 0; k < nets.size(); k++) {
        SCOPED_TRACE(testing::Message() << "net " << k << " of " << nets[k].size() << " terminals");
        const steiner::Tree alone = steiner::route(nets[k], options);
        EXPECT_EQ(trees[k].length, alone.length);
        EXPECT_EQ(trees[k].rmst_length, alone.rmst_length);
        EXPECT_EQ(trees[k].terminal_count, alone.terminal_count);
        EXPECT_EQ(trees[k].parents, alone.parents);
        ASSERT_EQ(trees[k].nodes.size(), alone.nodes.size());
        for (size_t j = 0; j < alone.nodes.size(); j++) {
            ASSERT_EQ(trees[k].nodes[j].row, alone.nodes[j].row) << "node " << j;
            ASSERT_EQ(trees[k].nodes[j].column, alone.nodes[j].column) << "node " << j;
        }
    }
}

} // namespace
