#include "mst1_small.h"

#include "mst1_build.h"

#include <algorithm>
#include <climits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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

namespace {

// Points a pass relaxes at once. Passes run over the points rounded up to a
// multiple of it, so that no vector pass ends in a scalar tail; the points
// past the last have key 0, which no distance goes below and no pass
// chooses.
constexpr size_t LANES = 8;
static_assert(Mst1Small::capacity % LANES == 0, "the padding fits the arrays");
static_assert(Mst1Small::capacity <= 64, "the points selected fit the bits of a word");

// Prim's passes over size points, padded to padded (above), with the keys
// set: parent and order as span keeps them; returns the length.
inline __attribute__((always_inline)) int64_t prim_passes(size_t size, size_t padded,
                                                          const int32_t *row,
                                                          const int32_t *column, int32_t *key,
                                                          int32_t *parent, int32_t *order) {
    bool selected[Mst1Small::capacity] = {true};
    order[0] = 0;
    size_t ordered = 1;
    int32_t joined = 0;
    int64_t length = 0;
    for (;;) {
        // The Prim pass of the package's quadratic build, over every point.
        const uint32_t least = relax_block(0, static_cast<int32_t>(padded), row, column, key,
                                           parent, joined, row[joined], column[joined]);
        if (least == UINT32_MAX)
            break;
        size_t next = 0;
        while (candidate_of(key[next]) != least)
            next++;
        length += key[next];
        key[next] = 0;
        selected[next] = true;
        order[ordered++] = static_cast<int32_t>(next);
        joined = static_cast<int32_t>(next);
    }
    for (size_t k = 0; k < size; k++)
        if (!selected[k])
            order[ordered++] = static_cast<int32_t>(k);
    return length;
}

#if defined(__x86_64__) || defined(__i386__)
// prim_passes with every point in registers: the keys, parents and places
// of a net fit in a few vectors, and a pass finds the least key and its
// first position with a handful of instructions rather than a loop.
__attribute__((target("avx2"))) int64_t prim_passes_avx2(size_t size, size_t padded,
                                                         const int32_t *row, const int32_t *column,
                                                         int32_t *key, int32_t *parent,
                                                         int32_t *order) {
    constexpr size_t most = Mst1Small::capacity / LANES;
    const size_t vectors = padded / LANES;
    __m256i rows[most], columns[most], keys[most], parents[most];
    for (size_t v = 0; v < vectors; v++) {
        rows[v] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row + LANES * v));
        columns[v] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(column + LANES * v));
        keys[v] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(key + LANES * v));
        parents[v] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(parent + LANES * v));
    }
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    uint64_t selected = 1;
    order[0] = 0;
    size_t ordered = 1;
    int32_t joined = 0;
    int64_t length = 0;
    for (;;) {
        const __m256i joined_row = _mm256_set1_epi32(row[joined]);
        const __m256i joined_column = _mm256_set1_epi32(column[joined]);
        const __m256i joined_id = _mm256_set1_epi32(joined);
        // Candidates as relax_block has them: a joined point's key of 0
        // wraps to the largest.
        __m256i least = _mm256_set1_epi32(-1);
        for (size_t v = 0; v < vectors; v++) {
            const __m256i d =
                _mm256_add_epi32(_mm256_abs_epi32(_mm256_sub_epi32(rows[v], joined_row)),
                                 _mm256_abs_epi32(_mm256_sub_epi32(columns[v], joined_column)));
            const __m256i closer = _mm256_cmpgt_epi32(keys[v], d);
            keys[v] = _mm256_min_epi32(keys[v], d);
            parents[v] = _mm256_blendv_epi8(parents[v], joined_id, closer);
            least = _mm256_min_epu32(least, _mm256_sub_epi32(keys[v], one));
        }
        __m128i half = _mm_min_epu32(_mm256_castsi256_si128(least),
                                     _mm256_extracti128_si256(least, 1));
        half = _mm_min_epu32(half, _mm_shuffle_epi32(half, 0x4e));
        half = _mm_min_epu32(half, _mm_shuffle_epi32(half, 0xb1));
        const auto candidate = static_cast<uint32_t>(_mm_cvtsi128_si32(half));
        if (candidate == UINT32_MAX)
            break;
        const __m256i wanted = _mm256_set1_epi32(static_cast<int32_t>(candidate));
        size_t v = 0;
        uint32_t mask = 0;
        for (; v < vectors; v++) {
            mask = static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(
                _mm256_cmpeq_epi32(_mm256_sub_epi32(keys[v], one), wanted))));
            if (mask != 0)
                break;
        }
        const auto lane = static_cast<int32_t>(__builtin_ctz(mask));
        keys[v] = _mm256_andnot_si256(_mm256_cmpeq_epi32(lanes, _mm256_set1_epi32(lane)), keys[v]);
        const auto next = static_cast<int32_t>(LANES * v) + lane;
        length += static_cast<int64_t>(candidate) + 1;
        selected |= uint64_t{1} << next;
        order[ordered++] = next;
        joined = next;
    }
    for (size_t v = 0; v < vectors; v++)
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(parent + LANES * v), parents[v]);
    for (size_t k = 0; k < size; k++)
        if ((selected >> k & 1) == 0)
            order[ordered++] = static_cast<int32_t>(k);
    return length;
}
#endif

int64_t prim_passes_generic(size_t size, size_t padded, const int32_t *row, const int32_t *column,
                            int32_t *key, int32_t *parent, int32_t *order) {
    return prim_passes(size, padded, row, column, key, parent, order);
}

using PrimPasses = int64_t (*)(size_t, size_t, const int32_t *, const int32_t *, int32_t *,
                               int32_t *, int32_t *);

// As the package's build: wider vectors only where the processor has them.
PrimPasses choose_prim_passes() {
#if defined(__x86_64__) || defined(__i386__)
    if (mst1_avx2())
        return prim_passes_avx2;
#endif
    return prim_passes_generic;
}

} // namespace

// Prim's algorithm as mst1_build_tree runs it: a key falls only to a strictly
// shorter distance, so a point's parent is the first joined point at its
// distance, and of the points with the least key the lowest numbered joins
// next. A point at the place of a joined one gets key 0 and joins, as a leaf,
// without being selected.
void Mst1Small::span() {
    spanned_ = true;
    prim_ = true;
    length_ = 0;
    if (size_ == 0)
        return;
    const size_t padded = (size_ + LANES - 1) / LANES * LANES;
    int32_t key[capacity];
    for (size_t k = 0; k < padded; k++) {
        key[k] = k < size_ ? INT32_MAX : 0;
        parent_[k] = 0;
    }
    for (size_t k = size_; k < padded; k++) {
        row_[k] = 0;
        column_[k] = 0;
    }
    key[0] = 0;
    static const PrimPasses passes = choose_prim_passes();
    length_ = passes(size_, padded, row_, column_, key, parent_, order_);
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
