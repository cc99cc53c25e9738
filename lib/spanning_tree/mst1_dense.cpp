// A new point's tree holds the old tree and the point's edges to its nearest
// point in each octant; each of those edges after the shortest closes a cycle
// whose longest edge goes when it is longer. Parent links along the cycle are
// turned around so that the tree stays rooted at point 0, and the breadth-first
// order that gains walk is made again.
#include "mst1_dense.h"

#include "mst1_build.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace steiner::internal {

Mst1Dense::Mst1Dense(size_t capacity)
    : stride_(capacity), edge_(capacity), parent_(capacity), degree_(capacity), order_(capacity),
      first_child_(capacity + 1), children_(capacity), mark_(capacity, 0), scratch_(5 * capacity),
      walk_(capacity) {
    points_.reserve(capacity);
}

void Mst1Dense::assign(const Point *points, size_t count) {
    points_.assign(points, points + count);
    length_ = 0;
    if (count > 0) {
        const auto n = static_cast<int32_t>(count);
        length_ = prim_build(n, points_.data(), parent_.data(), scratch_.data() + 4 * count,
                             scratch_.data(), nullptr);
        for (size_t k = 0; k < count; k++)
            edge_[k] = rect_dist_points(points_[k], points_[static_cast<size_t>(parent_[k])]);
    }
    finish();
}

size_t Mst1Dense::nearest(const Point &c, int32_t *distance, int32_t *index, int32_t *same) const {
    int32_t at[8];
    int32_t best[8];
    *same = mst1_octant_scan(static_cast<int32_t>(points_.size()), points_.data(), c, at, best);
    if (*same >= 0)
        return 0;
    size_t count = 0;
    for (size_t o = 0; o < 8; o++) {
        if (at[o] >= 0) {
            distance[count] = best[o];
            index[count] = at[o];
            count++;
        }
    }
    return count;
}

void Mst1Dense::add(const Point &c) {
    int32_t near[8];
    int32_t index[8];
    int32_t same = -1;
    const size_t count = nearest(c, near, index, &same);
    const auto v = static_cast<int32_t>(points_.size());
    points_.push_back(c);
    const auto sv = static_cast<size_t>(v);
    if (same >= 0 || count == 0) {
        parent_[sv] = same >= 0 ? same : 0;
        edge_[sv] = 0;
        finish();
        return;
    }
    // Shortest first, then by index: at most eight entries.
    size_t by_length[8] = {};
    for (size_t i = 0; i < count; i++) {
        size_t slot = i;
        for (; slot > 0; slot--) {
            const size_t j = by_length[slot - 1];
            if (near[j] < near[i] || (near[j] == near[i] && index[j] < index[i]))
                break;
            by_length[slot] = j;
        }
        by_length[slot] = i;
    }
    parent_[sv] = index[by_length[0]];
    edge_[sv] = near[by_length[0]];
    length_ += near[by_length[0]];
    for (size_t i = 1; i < count; i++) {
        const int32_t u = index[by_length[i]];
        const int32_t d = near[by_length[i]];
        stamp_++;
        for (int32_t k = v;; k = parent_[static_cast<size_t>(k)]) {
            mark_[static_cast<size_t>(k)] = stamp_;
            if (k == 0)
                break;
        }
        // The longest edge (named by its lower end) on the path from u up to
        // where it meets v's path, then from v up to there.
        int32_t meet = u;
        int32_t cut = u;
        int32_t widest = -1;
        for (; mark_[static_cast<size_t>(meet)] != stamp_;
             meet = parent_[static_cast<size_t>(meet)])
            if (edge_[static_cast<size_t>(meet)] > widest) {
                widest = edge_[static_cast<size_t>(meet)];
                cut = meet;
            }
        bool cut_below_v = false;
        for (int32_t k = v; k != meet; k = parent_[static_cast<size_t>(k)])
            if (edge_[static_cast<size_t>(k)] > widest) {
                widest = edge_[static_cast<size_t>(k)];
                cut = k;
                cut_below_v = true;
            }
        if (widest <= d)
            continue;
        length_ += int64_t{d} - widest;
        // The part cut off hangs from the new edge: parent links turn around
        // from its end of the new edge up to the cut.
        int32_t previous = cut_below_v ? u : v;
        int32_t previous_edge = d;
        for (int32_t k = cut_below_v ? v : u;;) {
            const auto sk = static_cast<size_t>(k);
            const int32_t up = parent_[sk];
            const int32_t up_edge = edge_[sk];
            parent_[sk] = previous;
            edge_[sk] = previous_edge;
            if (k == cut)
                break;
            previous = k;
            previous_edge = up_edge;
            k = up;
        }
    }
    finish();
}

int64_t Mst1Dense::gain(const Point &c) {
    const size_t m = points_.size();
    for (size_t k = 0; k < m; k++)
        walk_[k] = rect_dist_points(points_[k], c);
    return std::max<int64_t>(0, walk_saving(m, order_.data(), parent_.data(), edge_.data(),
                                            walk_.data()));
}

void Mst1Dense::finish() {
    const size_t m = points_.size();
    if (m == 0)
        return;
    parent_[0] = 0;
    edge_[0] = 0;
    std::fill(degree_.begin(), degree_.begin() + static_cast<std::ptrdiff_t>(m), 0);
    std::fill(first_child_.begin(), first_child_.begin() + static_cast<std::ptrdiff_t>(m + 1), 0);
    for (size_t k = 1; k < m; k++) {
        const auto up = static_cast<size_t>(parent_[k]);
        degree_[k]++;
        degree_[up]++;
        first_child_[up + 1]++;
    }
    for (size_t k = 0; k < m; k++)
        first_child_[k + 1] += first_child_[k];
    for (size_t k = 1; k < m; k++)
        children_[static_cast<size_t>(first_child_[static_cast<size_t>(parent_[k])]++)] =
            static_cast<int32_t>(k);
    // first_child_[k] now ends k's children, and first_child_[k - 1] begins them.
    size_t filled = 1;
    order_[0] = 0;
    for (size_t s = 0; s < filled; s++) {
        const auto u = static_cast<size_t>(order_[s]);
        for (int32_t c = u == 0 ? 0 : first_child_[u - 1]; c < first_child_[u]; c++)
            order_[filled++] = children_[static_cast<size_t>(c)];
    }
}

} // namespace steiner::internal
