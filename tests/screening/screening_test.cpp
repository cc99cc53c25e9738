#include "screening.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace steiner::internal;

namespace {

TEST(ScreenCandidateTest, DuplicateAndCornerRules) {
    const std::vector<Point> tee{{0, 5}, {10, 5}, {5, 0}};
    // Column neighbours above and below, a row neighbour to the left, and (0,5)
    // on the boundary of the quadrant up and to the right.
    EXPECT_TRUE(screen_candidate(5, 5, tee.data(), 3));
    EXPECT_FALSE(screen_candidate(0, 5, tee.data(), 3)) << "a candidate on a terminal";

    const std::vector<Point> ell{{0, 0}, {0, 10}, {10, 0}};
    EXPECT_FALSE(screen_candidate(0, 0, ell.data(), 3));
    EXPECT_FALSE(screen_candidate(10, 10, ell.data(), 3)) << "empty opposite quadrant";
    EXPECT_FALSE(screen_candidate(0, 7, ell.data(), 3)) << "a row neighbour but no column one";
    EXPECT_FALSE(screen_candidate(3, 3, ell.data(), 3)) << "no neighbours at all";

    const std::vector<Point> square{{0, 0}, {0, 10}, {10, 0}, {20, 20}};
    EXPECT_TRUE(screen_candidate(10, 10, square.data(), 4));
}

TEST(ScreenCandidateTest, EachCornerTestAcceptsOnItsOwn) {
    // The candidate (5,5) has one neighbour in its column and one in its row;
    // the third terminal sits in the opposite quadrant.
    struct Case {
        Point column_neighbour, row_neighbour, opposite;
    };
    const Case cases[] = {
        {{9, 5}, {5, 1}, {2, 8}}, // column below, row left: quadrant up-right
        {{9, 5}, {5, 9}, {2, 2}}, // column below, row right: quadrant up-left
        {{1, 5}, {5, 1}, {8, 8}}, // column above, row left: quadrant down-right
        {{1, 5}, {5, 9}, {8, 2}}, // column above, row right: quadrant down-left
    };
    for (const Case &c : cases) {
        const std::vector<Point> with{c.column_neighbour, c.row_neighbour, c.opposite};
        EXPECT_TRUE(screen_candidate(5, 5, with.data(), 3));
        const std::vector<Point> mirrored{c.column_neighbour, c.row_neighbour,
                                          Point{10 - c.opposite.row, 10 - c.opposite.column}};
        EXPECT_FALSE(screen_candidate(5, 5, mirrored.data(), 3));
    }
}

// A small deterministic generator, so that failures replay exactly.
uint64_t next_random(uint64_t *state) {
    uint64_t z = (*state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

TEST(ScreenCandidateIndexedTest, AgreesWithTheScanEverywhere) {
    uint64_t state = 2024;
    int accepted = 0;
    for (int round = 0; round < 3000; round++) {
        // Tiny grids make shared rows, shared columns and repeated terminals common.
        // Every tenth round holds more terminals than a word has bits.
        const auto grid = static_cast<int32_t>(2 + next_random(&state) % 9);
        const auto count = static_cast<int32_t>(
            round % 10 == 0 ? 60 + next_random(&state) % 12 : 1 + next_random(&state) % 12);
        const int32_t offset = round % 2 == 0 ? 0 : MST1_COORD_MAX - grid;
        std::vector<Point> terminals;
        for (int32_t k = 0; k < count; k++)
            terminals.push_back(
                Point{offset + static_cast<int32_t>(next_random(&state) % uint64_t(grid)),
                      offset + static_cast<int32_t>(next_random(&state) % uint64_t(grid))});
        ScreenIndex *index = screen_index_build(terminals.data(), count);
        ASSERT_NE(index, nullptr);
        for (int32_t row = offset - 1; row <= offset + grid; row++) {
            for (int32_t column = offset - 1; column <= offset + grid; column++) {
                const bool scanned = screen_candidate(row, column, terminals.data(), count);
                ASSERT_EQ(screen_candidate_indexed(index, row, column), scanned)
                    << "round " << round << " candidate " << row << "," << column;
                accepted += scanned;
            }
        }
        screen_index_free(index);
    }
    EXPECT_GT(accepted, 1000) << "the rounds should exercise acceptance, not only rejection";
}

} // namespace
