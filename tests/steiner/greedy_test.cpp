// Both greedies take the largest gain first and the lowest index among equal
// gains; the lazy one trusts a gain measured earlier until its candidate
// leads, the eager one measures every candidate at every step, so where a
// join raises another's gain the two keep the same points in other orders.
#include "greedy.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using steiner::internal::eager_greedy;
using steiner::internal::lazy_greedy;
using steiner::internal::Ranked;

// Four candidates with gains 5, 7, 7, 3. Once candidate 1 has joined, 2 saves
// only 2 and 3 saves 6; once candidate 0 has joined, 2 saves nothing.
struct Scripted {
    bool joined[4] = {};
    std::vector<int32_t> order;

    bool full() const {
        return false;
    }
    int64_t gain(int32_t k) const {
        if (k == 2 && joined[0])
            return 0;
        if (joined[1] && (k == 2 || k == 3))
            return k == 2 ? 2 : 6;
        const int64_t alone[4] = {5, 7, 7, 3};
        return alone[k];
    }
    void add(int32_t k) {
        joined[k] = true;
        order.push_back(k);
    }
};

TEST(GreedyTest, EagerMeasuresEveryCandidateAtEveryStep) {
    Scripted growth;
    eager_greedy(&growth, 4, growth.joined);
    EXPECT_EQ(growth.order, (std::vector<int32_t>{1, 3, 0}));
}

TEST(GreedyTest, LazyMeasuresOnlyTheLeaderAgain) {
    Scripted growth;
    Ranked contenders[4];
    for (int32_t k = 0; k < 4; k++)
        contenders[k] = Ranked{growth.gain(k), k};
    size_t dropped = 0;
    EXPECT_EQ(lazy_greedy(&growth, contenders, 4, [&dropped](size_t) { dropped++; }), 3u);
    EXPECT_EQ(growth.order, (std::vector<int32_t>{1, 0, 3}));
    EXPECT_EQ(dropped, 1u) << "candidate 2, whose gain fell to nothing";
}

} // namespace
