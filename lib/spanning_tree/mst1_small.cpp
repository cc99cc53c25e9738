#include "mst1_small.h"

#include "mst1_build.h"

#include <algorithm>
#include <climits>

namespace steiner::internal {

int32_t Mst1Small::distance(size_t k, int32_t row, int32_t column) const {
    return rect_dist(row_[k], column_[k], row, column);
}

int64_t Mst1Small::length() {
    if (!spanned_)
        span();
    return length_;
}

const int32_t *Mst1Small::parents() {
    if (!spanned_)
        span();
    return parent_;
}

// Prim's algorithm as mst1_build_tree runs it: a key falls only to a strictly
// shorter distance, so a point's parent is the first joined point at its
// distance, and of the points with the least key the lowest numbered joins
// next. A point at the place of a joined one gets key 0 and joins, as a leaf,
// without being selected.
void Mst1Small::span() {
    spanned_ = true;
    int32_t key[capacity];
    bool selected[capacity];
    for (size_t k = 0; k < size_; k++) {
        key[k] = INT32_MAX;
        parent_[k] = 0;
        selected[k] = false;
    }
    length_ = 0;
    if (size_ == 0)
        return;
    key[0] = 0;
    selected[0] = true;
    order_[0] = 0;
    size_t ordered = 1;
    int32_t joined = 0;
    for (;;) {
        // The Prim pass of the package's quadratic build, over every point.
        const uint32_t least = relax_block(0, static_cast<int32_t>(size_), row_, column_, key,
                                           parent_, joined, row_[joined], column_[joined]);
        if (least == UINT32_MAX)
            break;
        size_t next = 0;
        while (candidate_of(key[next]) != least)
            next++;
        length_ += key[next];
        key[next] = 0;
        selected[next] = true;
        order_[ordered++] = static_cast<int32_t>(next);
        joined = static_cast<int32_t>(next);
    }
    for (size_t k = 0; k < size_; k++)
        if (!selected[k])
            order_[ordered++] = static_cast<int32_t>(k);
}

// The tree with p joined to every point is reduced to a spanning tree subtree
// by subtree, from the leaves up: joining a subtree to its parent's closes a
// cycle through p, whose longest edge goes, and only the longest edge on each
// point's path to p needs keeping.
int64_t Mst1Small::gain(const Point &p) {
    if (!spanned_)
        span();
    int32_t longest[capacity];
    int64_t gone = 0;
    for (size_t k = 0; k < size_; k++) {
        longest[k] = distance(k, p.row, p.column);
        gone -= longest[k];
    }
    for (size_t j = size_; j-- > 1;) {
        const auto child = static_cast<size_t>(order_[j]);
        const auto up = static_cast<size_t>(parent_[child]);
        const int32_t below = std::max(distance(up, row_[child], column_[child]), longest[child]);
        if (below >= longest[up]) {
            gone += below;
        } else {
            gone += longest[up];
            longest[up] = below;
        }
    }
    return std::max<int64_t>(0, gone);
}

} // namespace steiner::internal
