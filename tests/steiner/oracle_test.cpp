// The library's trees on small nets against the exact minimal length: every
// effort gives a sound tree, never shorter than the optimum, and greedy and
// best give the optimum on nets the tables serve.
#include "exact_reference.h"
#include "tree_properties.h"

#include <steiner/steiner.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using steiner::Effort;
using steiner::Point;

std::string describe(const std::vector<Point> &net) {
    std::ostringstream out;
    for (const Point &p : net)
        out << "(" << p.row << "," << p.column << ") ";
    return out.str();
}

TEST(ExactReference, HandSolvedNets) {
    EXPECT_EQ(exact_reference::steiner_length({{7, -3}}), 0);
    EXPECT_EQ(exact_reference::steiner_length({{2, 2}, {2, 2}, {2, 2}}), 0);
    EXPECT_EQ(exact_reference::steiner_length({{0, 0}, {3, 4}, {0, 0}}), 7);
    // Three terminals meet at their median: half the bounding box's perimeter.
    EXPECT_EQ(exact_reference::steiner_length({{0, 0}, {10, 5}, {5, 10}}), 20);
    EXPECT_EQ(exact_reference::steiner_length({{3, 0}, {3, 9}, {3, 4}, {3, 4}, {3, 7}}), 9);
    // Four arms of a plus join in its middle.
    EXPECT_EQ(exact_reference::steiner_length({{0, 5}, {10, 5}, {5, 0}, {5, 10}}), 20);
    // A square's corners need three of its sides, its half perimeter is too short.
    EXPECT_EQ(exact_reference::steiner_length({{0, 0}, {0, 10}, {10, 0}, {10, 10}}), 30);
    // Its centre as a fifth terminal costs nothing: an H passes through it.
    EXPECT_EQ(exact_reference::steiner_length({{0, 0}, {0, 10}, {10, 0}, {10, 10}, {5, 5}}), 30);
    // Opposite corners of the coordinate range: the sum leaves 32 bits.
    const int32_t lo = steiner::coordinate_min;
    const int32_t hi = steiner::coordinate_max;
    EXPECT_EQ(exact_reference::steiner_length({{lo, lo}, {hi, hi}}), 4 * int64_t{hi});
    EXPECT_EQ(exact_reference::steiner_length({{lo, lo}, {hi, hi}, {lo, hi}, {hi, lo}}),
              6 * int64_t{hi});
    EXPECT_THROW(exact_reference::steiner_length({}), std::invalid_argument);
}

enum class Spread { tiny_grid, thousand, full_range, range_ends };

// Terminals from fewest to most. Tiny grids make ties, collinear runs and
// coincident terminals common; the range's ends make lengths that leave 32
// bits.
std::vector<Point> random_net(std::mt19937 &random, Spread spread, int32_t fewest, int32_t most) {
    auto draw = [&random](int64_t lo, int64_t hi) {
        return static_cast<int32_t>(std::uniform_int_distribution<int64_t>(lo, hi)(random));
    };
    const size_t count = static_cast<size_t>(draw(fewest, most));
    const int32_t side = draw(3, 8);
    const int32_t shift = draw(-4, 4);
    std::vector<Point> net;
    for (size_t k = 0; k < count; k++) {
        switch (spread) {
        case Spread::tiny_grid:
            net.push_back({draw(0, side - 1) + shift, draw(0, side - 1) - shift});
            break;
        case Spread::thousand:
            net.push_back({draw(0, 999), draw(0, 999)});
            break;
        case Spread::full_range:
            net.push_back({draw(steiner::coordinate_min, steiner::coordinate_max),
                           draw(steiner::coordinate_min, steiner::coordinate_max)});
            break;
        case Spread::range_ends: {
            auto end = [&] {
                return draw(0, 1) == 0 ? steiner::coordinate_min + draw(0, 2)
                                       : steiner::coordinate_max - draw(0, 2);
            };
            net.push_back({end(), end()});
            break;
        }
        }
    }
    return net;
}

// Counts the nets that break each promise and keeps the first of them, so a
// fault shows once with a net that reproduces it instead of once per net.
class Tally {
  public:
    void count(const std::string &promise, const std::string &net) {
        if (broken_[promise].nets++ == 0)
            broken_[promise].first = net;
    }
    void check(bool kept, const std::string &promise, const std::string &net) {
        if (!kept)
            count(promise, net);
    }
    void report(size_t nets) const {
        for (const auto &[promise, entry] : broken_)
            ADD_FAILURE() << "\"" << promise << "\" broken on " << entry.nets << " of " << nets
                          << " nets, first on " << entry.first;
    }

  private:
    struct Broken {
        size_t nets = 0;
        std::string first;
    };
    std::map<std::string, Broken> broken_;
};

size_t distinct_places(const std::vector<Point> &net) {
    std::set<std::pair<int32_t, int32_t>> places;
    for (const Point &p : net)
        places.insert({p.row, p.column});
    return places.size();
}

void route_against_the_optimum(Spread spread, size_t nets, uint32_t seed, const char *name,
                               int32_t fewest = 1, int32_t most = 9) {
    const char *effort_names[] = {"rmst", "greedy", "best", "best stepwise"};
    const Effort efforts[] = {Effort::rmst, Effort::greedy, Effort::best, Effort::best};
    std::mt19937 random(seed);
    Tally tally;
    size_t optimal[4] = {0, 0, 0, 0};
    size_t solved = 0;
    for (size_t count = 0; count < nets; count++) {
        const std::vector<Point> net = random_net(random, spread, fewest, most);
        // The reference takes long past ten places; there only the
        // promises are checked.
        const size_t places = distinct_places(net);
        const bool known = places <= 10;
        const int64_t optimum = known ? exact_reference::steiner_length(net) : 0;
        solved += known;
        int64_t lengths[4] = {0, 0, 0, 0};
        for (size_t e = 0; e < 4; e++) {
            steiner::Options options;
            options.effort = efforts[e];
            options.stepwise = e == 3;
            const steiner::Tree tree = steiner::route(net, options);
            const std::string where = std::string(effort_names[e]) + ": " + describe(net);
            for (const std::string &promise : tree_properties::broken(net, tree, options.stepwise))
                tally.count(promise, where);
            tally.check(tree.length >= optimum, "never below the optimum", where);
            if (efforts[e] == Effort::rmst)
                tally.check(tree.steiner_count() == 0, "rmst adds no Steiner points", where);
            else if (!options.stepwise && places <= 9)
                tally.check(tree.length == optimum, "minimal at greedy and best", where);
            lengths[e] = tree.length;
            optimal[e] += known && tree.length == optimum;
        }
        tally.check(lengths[2] <= lengths[1], "best no longer than greedy", describe(net));
    }
    tally.report(nets);
    for (size_t e = 0; e < 4; e++)
        std::printf("%s nets, %s: optimal on %zu of the %zu solved\n", name, effort_names[e],
                    optimal[e], solved);
}

TEST(OracleTest, TinyGrids) {
    route_against_the_optimum(Spread::tiny_grid, 600, 11, "tiny grids");
}

TEST(OracleTest, CoordinatesUpToAThousand) {
    route_against_the_optimum(Spread::thousand, 400, 12, "0..999");
}

TEST(OracleTest, WholeCoordinateRange) {
    route_against_the_optimum(Spread::full_range, 300, 13, "whole range");
}

TEST(OracleTest, EndsOfTheCoordinateRange) {
    route_against_the_optimum(Spread::range_ends, 200, 14, "range ends");
}

// Just past the places the tables serve, where greedy joins two pieces that
// they solve and best keeps the shorter of those and its search.
TEST(OracleTest, NetsJustPastTheTables) {
    route_against_the_optimum(Spread::tiny_grid, 40, 15, "tiny grids, 10-13", 10, 13);
    route_against_the_optimum(Spread::thousand, 40, 16, "0..999, 10-13", 10, 13);
    route_against_the_optimum(Spread::full_range, 20, 17, "whole range, 10-13", 10, 13);
    route_against_the_optimum(Spread::range_ends, 20, 18, "range ends, 10-13", 10, 13);
}

} // namespace
