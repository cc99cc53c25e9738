// The layout's own containers against the standard ones: a place set whose
// deletions move keys back along their probe runs, and edge lists that keep
// their order when they outgrow the room they hold in place.
#include "layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

using namespace steiner::internal;

namespace {

TEST(PlaceSetTest, AgreesWithAnOrderedSetThroughGrowthAndDeletions) {
    std::mt19937_64 random(3);
    PlaceSet places;
    std::set<uint64_t> expected;
    // Few distinct keys, so that runs form, wrap around and are cut often.
    for (int step = 0; step < 200000; step++) {
        const uint64_t key = (random() % 300) << (random() % 2 == 0 ? 0 : 32);
        if (random() % 3 == 0) {
            places.erase(key);
            expected.erase(key);
        } else {
            places.insert(key);
            expected.insert(key);
        }
        ASSERT_EQ(places.size(), expected.size()) << "step " << step;
        if (step % 97 != 0)
            continue;
        for (uint64_t k = 0; k < 300; k++) {
            for (const uint64_t probe : {k, k << 32}) {
                ASSERT_EQ(places.contains(probe), expected.count(probe) == 1) << "step " << step;
            }
        }
    }
}

TEST(EdgesTest, KeepTheirOrderInPlaceAndOnTheHeap) {
    std::mt19937 random(5);
    Edges edges;
    std::vector<int32_t> expected;
    for (int step = 0; step < 20000; step++) {
        if (!expected.empty() && random() % 2 == 0) {
            const int32_t v = expected[random() % expected.size()];
            edges.erase(v);
            expected.erase(std::find(expected.begin(), expected.end(), v));
        } else if (expected.size() < 9) {
            const auto v = static_cast<int32_t>(step);
            edges.push_back(v);
            expected.push_back(v);
        }
        ASSERT_EQ(std::vector<int32_t>(edges.begin(), edges.end()), expected) << "step " << step;
        const Edges copy = edges;
        ASSERT_TRUE(std::equal(copy.begin(), copy.end(), expected.begin(), expected.end()));
    }
}

} // namespace
