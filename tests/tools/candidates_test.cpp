#include "candidates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace steiner::internal;

namespace {

using Pair = std::pair<int32_t, int32_t>;

std::vector<Pair> as_pairs(const std::vector<Point> &points) {
    std::vector<Pair> pairs;
    for (const Point &p : points)
        pairs.emplace_back(p.row, p.column);
    return pairs;
}

// Every distinct terminal row with every distinct terminal column that
// screen_candidate accepts, found the slow way.
std::set<Pair> passing_hanan_points(const std::vector<Point> &terminals) {
    std::set<int32_t> rows;
    std::set<int32_t> columns;
    for (const Point &t : terminals) {
        rows.insert(t.row);
        columns.insert(t.column);
    }
    std::set<Pair> passing;
    for (int32_t row : rows)
        for (int32_t column : columns)
            if (screen_candidate(row, column, terminals.data(),
                                 static_cast<int32_t>(terminals.size())))
                passing.emplace(row, column);
    return passing;
}

std::vector<Point> draw(const std::vector<Point> &terminals, uint64_t seed, int64_t limit) {
    std::vector<Point> candidates;
    auto collect = [](void *context, const Point &candidate) {
        static_cast<std::vector<Point> *>(context)->push_back(candidate);
        return true;
    };
    candidates_draw(terminals.data(), static_cast<int32_t>(terminals.size()), seed, limit, collect,
                    &candidates);
    return candidates;
}

bool parse_terminals(const std::string &text, std::vector<Point> *terminals, std::string *error) {
    FILE *file = fmemopen(const_cast<char *>(text.data()), text.size(), "rb");
    return candidates_load_terminals(file, "t.data", terminals, error);
}

TEST(ShuffleTest, IsBijectionOnEveryDomainSize) {
    for (uint64_t domain = 1; domain <= 300; domain++) {
        for (uint64_t seed : {0ULL, 1ULL, 0xdeadbeefULL}) {
            Shuffle shuffle;
            shuffle_init(&shuffle, domain, seed);
            std::vector<bool> seen(domain, false);
            for (uint64_t k = 0; k < domain; k++) {
                const uint64_t value = shuffle_index(&shuffle, k);
                ASSERT_LT(value, domain) << "domain " << domain;
                ASSERT_FALSE(seen[value]) << "domain " << domain << " repeats " << value;
                seen[value] = true;
            }
        }
    }
}

TEST(ShuffleTest, LargeDomainsStayInside) {
    // The largest grids: indices stay inside and do not collide.
    for (uint64_t domain : {uint64_t{10000000000ULL}, uint64_t{1} << 62}) {
        Shuffle shuffle;
        shuffle_init(&shuffle, domain, 7);
        std::set<uint64_t> values;
        for (uint64_t k = 0; k < 20000; k++) {
            const uint64_t value = shuffle_index(&shuffle, k);
            ASSERT_LT(value, domain);
            values.insert(value);
        }
        EXPECT_EQ(values.size(), 20000u);
    }
}

TEST(ParseTerminalsTest, ReadsAnnouncedPairsAndIgnoresTheRest) {
    std::vector<Point> terminals;
    std::string error;
    ASSERT_TRUE(
        parse_terminals("3\n 5 -7\n+2 536870911\n-536870911 0\n9 9 junk", &terminals, &error))
        << error;
    EXPECT_EQ(as_pairs(terminals), (std::vector<Pair>{{5, -7}, {2, 536870911}, {-536870911, 0}}));

    ASSERT_TRUE(parse_terminals("2 1 1 1 1", &terminals, &error)) << error;
    EXPECT_EQ(terminals.size(), 2u) << "duplicate terminals are kept";
}

TEST(ParseTerminalsTest, FaultsNameTheLine) {
    struct Case {
        const char *text;
        const char *message_part;
    };
    // The wording is the router's, after the file's name.
    const Case cases[] = {
        {"", "t.data: line 1: the file is empty;"},
        {"-2\n1 1", "t.data: line 1: the number of terminals is -2;"},
        {"2\n1 1\n2 2.5\n", "t.data: line 3: \"2.5\" is not a whole number."},
        {"3\n1 1\n2 2\n", "t.data: line 3: the file ends after 2 of the 3 terminals"},
        {"1\n\n536870912 0", "t.data: line 3: coordinate 536870912 is outside the range"},
        {"1\n0 99999999999999999999", "t.data: line 2: 99999999999999999999 is outside the 32-bit"},
    };
    for (const Case &c : cases) {
        std::vector<Point> terminals;
        std::string error;
        EXPECT_FALSE(parse_terminals(c.text, &terminals, &error)) << c.text;
        EXPECT_EQ(error.rfind(c.message_part, 0), 0u) << c.text << " -> " << error;
    }
}

TEST(RandomTerminalsTest, DistinctPointsOnTheGridFixedBySeed) {
    std::vector<Point> terminals;
    candidates_random_terminals(500, 40, 3, &terminals);
    ASSERT_EQ(terminals.size(), 500u);
    std::set<Pair> distinct;
    for (const Point &t : terminals) {
        ASSERT_TRUE(t.row >= 0 && t.row < 40 && t.column >= 0 && t.column < 40);
        distinct.emplace(t.row, t.column);
    }
    EXPECT_EQ(distinct.size(), 500u);

    std::vector<Point> again;
    candidates_random_terminals(500, 40, 3, &again);
    EXPECT_EQ(as_pairs(again), as_pairs(terminals));
    candidates_random_terminals(500, 40, 4, &again);
    EXPECT_NE(as_pairs(again), as_pairs(terminals));

    candidates_random_terminals(9, 3, 3, &again);
    const std::vector<Pair> full = as_pairs(again);
    EXPECT_EQ(std::set<Pair>(full.begin(), full.end()).size(), 9u)
        << "a full grid uses every cell once";

    // Pinned so that a change of platform or library cannot move the points silently.
    candidates_random_terminals(3, 1000, 1, &again);
    EXPECT_EQ(as_pairs(again), (std::vector<Pair>{{720, 139}, {245, 43}, {68, 350}}));
}

TEST(DrawCandidatesTest, UncappedIsExactlyThePassingHananPoints) {
    std::vector<std::vector<Point>> sets = {
        {{3, 3}},
        {{0, 0}, {0, 10}, {10, 0}},
        {{0, 5}, {10, 5}, {5, 0}},
        {{0, 0}, {0, 10}, {10, 0}, {20, 20}},
        {{1, 1}, {1, 1}, {4, 1}, {1, 4}, {4, 4}},
        {{0, 0}, {0, 1}, {0, 2}, {0, 3}},
        {{-5, 7}, {536870911, -536870911}, {0, 0}, {-536870911, 536870911}},
    };
    for (uint64_t seed = 1; seed <= 12; seed++) {
        std::vector<Point> random;
        // Small grids force shared rows and columns, where the screen is subtle.
        const auto grid = static_cast<int32_t>(4 + seed * 3);
        candidates_random_terminals(static_cast<int32_t>(seed * 5), grid, seed, &random);
        sets.push_back(random);
    }
    for (const auto &terminals : sets) {
        const std::vector<Point> candidates = draw(terminals, 1, CANDIDATES_ALL);
        const std::vector<Pair> pairs = as_pairs(candidates);
        const std::set<Pair> unique(pairs.begin(), pairs.end());
        EXPECT_EQ(unique.size(), pairs.size()) << "a candidate is repeated";
        EXPECT_EQ(unique, passing_hanan_points(terminals)) << terminals.size() << " terminals";
    }
}

TEST(DrawCandidatesTest, LimitTakesAPrefixOfTheSeededOrder) {
    std::vector<Point> terminals;
    candidates_random_terminals(60, 200, 9, &terminals);
    const std::vector<Pair> all = as_pairs(draw(terminals, 5, CANDIDATES_ALL));
    ASSERT_GT(all.size(), 1000u);
    for (int64_t limit : {int64_t{0}, int64_t{1}, int64_t{37}, int64_t(all.size())}) {
        const std::vector<Pair> capped = as_pairs(draw(terminals, 5, limit));
        ASSERT_EQ(capped.size(), static_cast<size_t>(limit));
        EXPECT_TRUE(std::equal(capped.begin(), capped.end(), all.begin()));
    }
    EXPECT_EQ(as_pairs(draw(terminals, 5, INT64_MAX)), all) << "a cap above the total";

    const std::vector<Pair> reseeded = as_pairs(draw(terminals, 6, CANDIDATES_ALL));
    EXPECT_NE(reseeded, all) << "the seed must change the order";
    EXPECT_EQ(std::set<Pair>(reseeded.begin(), reseeded.end()),
              std::set<Pair>(all.begin(), all.end()))
        << "but not the set";
}

TEST(HananTest, IsExactlyThePassingHananPointsInRowsOrder) {
    for (uint64_t seed = 1; seed <= 8; seed++) {
        std::vector<Point> terminals;
        candidates_random_terminals(static_cast<int32_t>(seed * 7),
                                    static_cast<int32_t>(5 + seed * 4), seed, &terminals);
        std::vector<Point> candidates;
        candidates_hanan(terminals.data(), static_cast<int32_t>(terminals.size()), &candidates);
        const std::vector<Pair> pairs = as_pairs(candidates);
        EXPECT_TRUE(std::is_sorted(pairs.begin(), pairs.end()));
        EXPECT_EQ(std::set<Pair>(pairs.begin(), pairs.end()).size(), pairs.size());
        EXPECT_EQ(std::set<Pair>(pairs.begin(), pairs.end()), passing_hanan_points(terminals));
    }
}

// Tree lengths by full rebuilds: an oracle independent of the incremental tree.
TEST(WriteTest, FullDeviceIsAFailure) {
    const Point point{1, 2};
    FILE *full = fopen("/dev/full", "w");
    if (full == nullptr)
        GTEST_SKIP() << "/dev/full is not available";
    EXPECT_FALSE(candidates_write(full, &point, 1, &point, 1));
    fclose(full);
}

} // namespace
