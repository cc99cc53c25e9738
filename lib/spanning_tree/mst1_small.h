// The minimum spanning tree of a handful of points, on the stack: no memory
// is taken, so a tree of a few points costs what its arithmetic costs. Made
// for the minimal trees of small nets, whose Steiner points are ordered by
// their exact gains one at a time; every build of at most capacity points
// goes through it as well.
#ifndef STEINER_MST1_SMALL_H
#define STEINER_MST1_SMALL_H

#include "mst1.h"

#include <cstddef>
#include <cstdint>

namespace steiner::internal {

class Mst1Small {
  public:
    // The most points a tree holds: enough for a net of 30 to 50 terminals
    // with its Steiner points, which the package's quadratic build spans at
    // several times the cost (its passes go through memory and repack).
    static constexpr size_t capacity = 64;

    size_t size() const {
        return size_;
    }
    // Appends p; there must be room.
    void push(const Point &p) {
        row_[size_] = p.row;
        column_[size_] = p.column;
        size_++;
        spanned_ = false;
    }
    // Appends p (there must be room) and mends the tree rather than building
    // it again: a minimum tree follows in time linear in the points, so the
    // length and gains after it cost no Prim pass. parents() still gives
    // Prim's parents, and builds them when asked.
    void join(const Point &p);
    // Keeps the first count points.
    void truncate(size_t count) {
        if (count < size_) {
            size_ = count;
            spanned_ = false;
        }
    }

    // The tree's length and parents, with mst1_build_tree's parents: point 0
    // is the root and its own parent.
    int64_t length();
    const int32_t *parents();

    // How much the tree would get shorter if p joined it, or 0.
    int64_t gain(const Point &p);

  private:
    void span();
    int32_t distance(size_t k, int32_t row, int32_t column) const;

    // Rows apart from columns, so that a pass of Prim's algorithm runs in
    // vector registers.
    int32_t row_[capacity];
    int32_t column_[capacity];
    size_t size_ = 0;
    bool spanned_ = false; // the fields below are those of a minimum tree of every point
    bool prim_ = false;    // and its parents are Prim's
    int64_t length_ = 0;
    int32_t parent_[capacity];
    int32_t order_[capacity]; // every point after its parent
};

} // namespace steiner::internal

#endif
