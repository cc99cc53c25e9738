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
    if (!spanned_ || !prim_)
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
    prim_ = true;
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

int64_t Mst1Small::gain(const Point &p) {
    if (!spanned_)
        span();
    int32_t longest[capacity];
    int32_t edge[capacity];
    for (size_t k = 0; k < size_; k++) {
        longest[k] = distance(k, p.row, p.column);
        edge[k] = distance(static_cast<size_t>(parent_[k]), row_[k], column_[k]);
    }
    return std::max<int64_t>(0, walk_saving(size_, order_, parent_, edge, longest));
}

// The reduction of walk_saving (mst1_build.h), keeping which edge is the
// longest on each point's path to p and which goes from each cycle; the edges left are the tree with
// p, walked from point 0 for parents and an order.
void Mst1Small::join(const Point &p) {
    if (!spanned_)
        span();
    const size_t n = size_;
    // Edge c (1 <= c < n) is c's edge to its parent; edge n + k, k's to p.
    int32_t longest[capacity];
    size_t which[capacity];
    bool gone[2 * capacity] = {};
    int64_t saved = 0;
    for (size_t k = 0; k < n; k++) {
        longest[k] = distance(k, p.row, p.column);
        which[k] = n + k;
        saved -= longest[k];
    }
    for (size_t j = n; j-- > 1;) {
        const auto child = static_cast<size_t>(order_[j]);
        const auto up = static_cast<size_t>(parent_[child]);
        int32_t below = distance(up, row_[child], column_[child]);
        size_t below_edge = child;
        if (longest[child] > below) {
            below = longest[child];
            below_edge = which[child];
        }
        if (below >= longest[up]) {
            gone[below_edge] = true;
            saved += below;
        } else {
            gone[which[up]] = true;
            saved += longest[up];
            longest[up] = below;
            which[up] = below_edge;
        }
    }
    length_ -= saved;
    row_[n] = p.row;
    column_[n] = p.column;
    size_ = n + 1;

    // The edges left, as lists of neighbours packed one after another.
    size_t from[capacity], to[capacity];
    size_t edges = 0;
    for (size_t e = 1; e < 2 * n; e++)
        if (!gone[e]) {
            from[edges] = e < n ? e : e - n;
            to[edges] = e < n ? static_cast<size_t>(parent_[e]) : n;
            edges++;
        }
    size_t first[capacity + 1] = {};
    for (size_t e = 0; e < edges; e++) {
        first[from[e] + 1]++;
        first[to[e] + 1]++;
    }
    for (size_t k = 0; k < size_; k++)
        first[k + 1] += first[k];
    size_t next[capacity];
    std::copy(first, first + size_, next);
    int32_t neighbour[2 * capacity];
    for (size_t e = 0; e < edges; e++) {
        neighbour[next[from[e]]++] = static_cast<int32_t>(to[e]);
        neighbour[next[to[e]]++] = static_cast<int32_t>(from[e]);
    }
    parent_[0] = 0;
    order_[0] = 0;
    for (size_t walked = 0, ordered = 1; walked < ordered; walked++) {
        const auto v = static_cast<size_t>(order_[walked]);
        for (size_t i = first[v]; i < first[v + 1]; i++) {
            const int32_t w = neighbour[i];
            if (v == 0 || w != parent_[v]) {
                parent_[w] = static_cast<int32_t>(v);
                order_[ordered++] = w;
            }
        }
    }
    prim_ = false;
}

} // namespace steiner::internal
