// The skip cache of the local search passes over a move only while nothing
// the move saw has changed: a skip it should not make would leave the tree
// longer than moves made afresh give.
#include "changes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using steiner::internal::Changes;
using steiner::internal::Point;
using steiner::internal::Tried;

// A tree of ten nodes on a 100 x 100 box, its places' cells covered, and a
// move from node 4 that found nothing over nodes 3 to 6, its candidates on
// rows 40..60 and columns 40..60, recorded at time 1.
struct Recorded {
    Changes changes;
    Tried tried;

    Recorded() {
        std::vector<Point> points;
        for (int32_t k = 0; k < 10; k++)
            points.push_back(Point{k * 11, k * 11});
        changes.changed.assign(points.size(), 0);
        changes.cells.cover(points);
        changes.clock = 1;
        tried.record(4, {4, 3, 5, 6}, {40, 50, 60}, {40, 50, 60}, changes.clock);
        changes.clock = 2;
    }
};

TEST(SkipCacheTest, SkipsOnlyWhileTheMovesSubtreeAndCandidatePlacesStayAsTheyWere) {
    Recorded nothing_moved;
    EXPECT_TRUE(nothing_moved.tried.again_nothing(nothing_moved.changes, 4));
    EXPECT_FALSE(nothing_moved.tried.again_nothing(nothing_moved.changes, 5))
        << "a centre without a recorded move";

    Recorded node_changed;
    node_changed.changes.node_changed(6);
    EXPECT_FALSE(node_changed.tried.again_nothing(node_changed.changes, 4));

    Recorded other_node_changed;
    other_node_changed.changes.node_changed(9);
    EXPECT_TRUE(other_node_changed.tried.again_nothing(other_node_changed.changes, 4));

    Recorded place_taken;
    place_taken.changes.place_moved(Point{50, 45});
    EXPECT_FALSE(place_taken.tried.again_nothing(place_taken.changes, 4));

    Recorded far_place_taken;
    far_place_taken.changes.place_moved(Point{99, 0});
    EXPECT_TRUE(far_place_taken.tried.again_nothing(far_place_taken.changes, 4));
}

TEST(SkipCacheTest, ABatchSeesOnlyPlacesOnItsOwnLinesTakenAfterItBegan) {
    Recorded batch;
    batch.changes.place_moved(Point{50, 45});
    EXPECT_TRUE(batch.changes.lines_unchanged({40, 60}, {45}, 2)) << "taken at the batch's start";
    EXPECT_FALSE(batch.changes.lines_unchanged({40, 50}, {45}, 1));
    EXPECT_TRUE(batch.changes.lines_unchanged({40, 60}, {45}, 1)) << "not on its rows";
    EXPECT_TRUE(batch.changes.nodes_unchanged({1, 2}, 1));
    batch.changes.node_changed(2);
    EXPECT_FALSE(batch.changes.nodes_unchanged({1, 2}, 1));
}

} // namespace
