// The minimum spanning tree of a handful of points, kept in breadth-first
// order from point 0. The exact saving of joining a further point then costs
// one walk of the tree from the leaves up, a few operations a point, with no
// trial insertion to undo. Made for the tens to hundreds of points of a small
// net or of a local move.
#ifndef STEINER_MST1_DENSE_H
#define STEINER_MST1_DENSE_H

#include "mst1.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace steiner::internal {

class Mst1Dense {
  public:
    // An empty tree with room for capacity points. Throws std::bad_alloc.
    explicit Mst1Dense(size_t capacity);

    // The tree of points[0..count-1] (count at most the capacity), rooted at
    // point 0, with mst1_build_tree's parents. A tree assigned these points
    // and not added to since is kept as it is, for the cost of comparing them.
    void assign(const Point *points, size_t count);

    // Joins p; there must be room. A point at the place of one in the tree
    // joins it at length 0.
    void add(const Point &p);

    // How much the tree would get shorter if p joined it, or 0 when it would
    // get no shorter (p at the place of a point in it included). Works in the
    // tree's own scratch, so one tree measures on one thread at a time.
    int64_t gain(const Point &p);

    // gains[k] = gain(points[k]) for k below count: the same numbers, lanes
    // points to a walk where the processor has the vector registers for it.
    void gains(const Point *points, size_t count, int64_t *gains);
    static constexpr size_t lanes = 8;

    size_t size() const {
        return points_.size();
    }
    size_t capacity() const {
        return stride_;
    }
    int64_t length() const {
        return length_;
    }
    const Point &point(size_t k) const {
        return points_[k];
    }
    // Point 0 is the root and its own parent.
    int32_t parent(size_t k) const {
        return parent_[k];
    }
    int32_t degree(size_t k) const {
        return degree_[k];
    }

  private:
    size_t nearest(const Point &c, int32_t *distance, int32_t *index, int32_t *same) const;
    void finish();

    std::vector<Point> points_;
    bool assigned_ = false; // points_ were assigned and none added since
    size_t stride_;
    int64_t length_ = 0;
    std::vector<int32_t> edge_;   // length of the edge to the parent
    std::vector<int32_t> parent_; // point 0 is the root
    std::vector<int32_t> degree_;
    std::vector<int32_t> order_;       // breadth first from point 0
    std::vector<int32_t> first_child_; // children of k: children_[first_child_[k]..]
    std::vector<int32_t> children_;
    std::vector<uint32_t> mark_; // stamp_ on the path from a new point up
    uint32_t stamp_ = 0;
    std::vector<int32_t> scratch_; // the build's keys and working arrays
    std::vector<int32_t> walk_;    // gain's longest edge on each point's path to the new one
    std::vector<int32_t> walks_;   // the same for eight new points, side by side
};

} // namespace steiner::internal

#endif
