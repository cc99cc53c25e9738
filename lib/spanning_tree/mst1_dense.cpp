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

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace steiner::internal {

namespace {

// New points measured side by side in one walk: an AVX2 register of 32-bit
// lanes.
constexpr size_t LANES = Mst1Dense::lanes;

#if defined(__x86_64__) || defined(__i386__)
// The gains of count new points, LANES to a walk of the tree (walk_saving),
// in walks, LANES words a point. The saving is summed after the walk, not
// during it: each path's longest edge ends as the least that a point's
// children hand up, so the walk saves, over every point but the root, what
// its edge exceeds its own final value by, less the root's final value. The
// sum is the same integer the walk adds up step by step.
__attribute__((target("avx2"))) void gains_avx2(size_t m, const Point *points, const int32_t *order,
                                                const int32_t *parent, const int32_t *edge,
                                                const Point *news, size_t count, int32_t *walks,
                                                int64_t *gains) {
    auto at = [walks](size_t k) { return reinterpret_cast<__m256i *>(walks + LANES * k); };
    for (size_t first = 0; first < count; first += LANES) {
        // Lanes past the last point measure it again.
        alignas(32) int32_t rows[LANES];
        alignas(32) int32_t columns[LANES];
        for (size_t l = 0; l < LANES; l++) {
            const Point &p = news[std::min(first + l, count - 1)];
            rows[l] = p.row;
            columns[l] = p.column;
        }
        const __m256i row = _mm256_load_si256(reinterpret_cast<const __m256i *>(rows));
        const __m256i column = _mm256_load_si256(reinterpret_cast<const __m256i *>(columns));
        for (size_t k = 0; k < m; k++) {
            const __m256i across =
                _mm256_abs_epi32(_mm256_sub_epi32(_mm256_set1_epi32(points[k].row), row));
            const __m256i along =
                _mm256_abs_epi32(_mm256_sub_epi32(_mm256_set1_epi32(points[k].column), column));
            _mm256_storeu_si256(at(k), _mm256_add_epi32(across, along));
        }
        for (size_t j = m; j-- > 1;) {
            const auto child = static_cast<size_t>(order[j]);
            const auto up = static_cast<size_t>(parent[child]);
            const __m256i below =
                _mm256_max_epi32(_mm256_loadu_si256(at(child)), _mm256_set1_epi32(edge[child]));
            _mm256_storeu_si256(at(up), _mm256_min_epi32(below, _mm256_loadu_si256(at(up))));
        }
        const __m256i root = _mm256_loadu_si256(at(0));
        __m256i low = _mm256_sub_epi64(_mm256_setzero_si256(),
                                       _mm256_cvtepi32_epi64(_mm256_castsi256_si128(root)));
        __m256i high = _mm256_sub_epi64(_mm256_setzero_si256(),
                                        _mm256_cvtepi32_epi64(_mm256_extracti128_si256(root, 1)));
        for (size_t k = 1; k < m; k++) {
            const __m256i longest = _mm256_loadu_si256(at(k));
            const __m256i over =
                _mm256_sub_epi32(_mm256_max_epi32(longest, _mm256_set1_epi32(edge[k])), longest);
            low = _mm256_add_epi64(low, _mm256_cvtepi32_epi64(_mm256_castsi256_si128(over)));
            high = _mm256_add_epi64(high, _mm256_cvtepi32_epi64(_mm256_extracti128_si256(over, 1)));
        }
        alignas(32) int64_t saved[LANES];
        _mm256_store_si256(reinterpret_cast<__m256i *>(saved), low);
        _mm256_store_si256(reinterpret_cast<__m256i *>(saved + LANES / 2), high);
        for (size_t l = 0; l < LANES && first + l < count; l++)
            gains[first + l] = std::max<int64_t>(0, saved[l]);
    }
}
#endif

} // namespace

Mst1Dense::Mst1Dense(size_t capacity)
    : stride_(capacity), edge_(capacity), parent_(capacity), degree_(capacity), order_(capacity),
      first_child_(capacity + 1), children_(capacity), mark_(capacity, 0), scratch_(5 * capacity),
      walk_(capacity) {
    points_.reserve(capacity);
}

void Mst1Dense::assign(const Point *points, size_t count) {
    if (assigned_ && std::equal(points, points + count, points_.begin(), points_.end(),
                                [](const Point &a, const Point &b) { return point_equal(a, b); }))
        return;
    assigned_ = true;
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
    assigned_ = false;
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
    return std::max<int64_t>(
        0, walk_saving(m, order_.data(), parent_.data(), edge_.data(), walk_.data()));
}

void Mst1Dense::gains(const Point *news, size_t count, int64_t *gains) {
#if defined(__x86_64__) || defined(__i386__)
    if (count > 1 && !points_.empty() && mst1_avx2()) {
        walks_.resize(LANES * stride_);
        gains_avx2(points_.size(), points_.data(), order_.data(), parent_.data(), edge_.data(),
                   news, count, walks_.data(), gains);
        return;
    }
#endif
    for (size_t k = 0; k < count; k++)
        gains[k] = gain(news[k]);
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
