// The two builds behind the package's entry points, on scratch memory the
// caller provides, so that the reentrant entry points and the router's
// package-wide key buffer share them.
#ifndef STEINER_MST1_BUILD_H
#define STEINER_MST1_BUILD_H

#include "mst1.h"

#include <cstddef>
#include <cstdint>

namespace steiner::internal {

#if defined(__x86_64__) || defined(__i386__)
// Whether the package's AVX2 loops run: the processor has the registers and
// the build did not ask for the plain loops everywhere.
inline bool mst1_avx2() {
    static const bool avx2 = MST1_VECTOR_LOOPS && __builtin_cpu_supports("avx2");
    return avx2;
}
#endif

// A key as the pass compares it: joined points (key 0) wrap to the largest
// value, so the smallest candidate is the smallest nonzero key less one.
inline uint32_t candidate_of(int32_t key) {
    return static_cast<uint32_t>(key) - 1u;
}

// Lowers every key above the distance to the joined point to that distance,
// making joined the parent, and returns the smallest candidate among positions
// first..last-1. Branch-free so that it vectorises; joined points are left
// alone since no distance is below their key of 0.
inline __attribute__((always_inline)) uint32_t
relax_block(int32_t first, int32_t last, const int32_t *row, const int32_t *column, int32_t *key,
            int32_t *parent, int32_t joined, int32_t joined_row, int32_t joined_column) {
    uint32_t least = UINT32_MAX;
    for (int32_t k = first; k < last; k++) {
        int32_t drow = row[k] - joined_row;
        int32_t dcolumn = column[k] - joined_column;
        int32_t d = (drow < 0 ? -drow : drow) + (dcolumn < 0 ? -dcolumn : dcolumn);
        int32_t old = key[k];
        bool closer = d < old;
        int32_t now = closer ? d : old;
        key[k] = now;
        parent[k] = closer ? joined : parent[k];
        uint32_t candidate = candidate_of(now);
        least = candidate < least ? candidate : least;
    }
    return least;
}

// The quadratic loop, one vectorised pass per join. key has n entries and
// scratch 4 n, both the caller's. MST1_STOPPED once stop is set.
int64_t prim_build(int32_t n, const Point *points, int32_t *parent, int32_t *key, int32_t *scratch,
                   Mst1Stop stop);

// Bytes of scratch memory octant_build needs for n points.
size_t octant_scratch_bytes(int32_t n);

// The tree, total and parents of the quadratic Prim loop over points[0..n-1],
// in O(n log n). key has n entries and scratch octant_scratch_bytes(n) bytes,
// both the caller's; nothing is allocated here and no point is read before
// the call. MST1_STOPPED once stop is set.
int64_t octant_build(int32_t n, const Point *points, int32_t *parent, int32_t *key, void *scratch,
                     Mst1Stop stop);

// How much a tree of count points gets shorter when a new point joins it, or
// less than 0 when it gets longer. order lists the points each after its
// parent, edge[k] is the length of k's edge to its parent, and longest[k]
// holds k's distance to the new point on entry (it is worked in). The new
// point joined to every point closes a cycle through each tree edge; from the
// leaves up, each cycle's longest edge goes, and only the longest edge on each
// point's path to the new point needs keeping. The longer of the two goes by a
// select, since which one it is follows no pattern.
inline int64_t walk_saving(size_t count, const int32_t *order, const int32_t *parent,
                           const int32_t *edge, int32_t *longest) {
    int64_t saved = 0;
    for (size_t k = 0; k < count; k++)
        saved -= longest[k];
    for (size_t j = count; j-- > 1;) {
        const auto child = static_cast<size_t>(order[j]);
        const auto up = static_cast<size_t>(parent[child]);
        const int32_t below = longest[child] > edge[child] ? longest[child] : edge[child];
        saved += below > longest[up] ? below : longest[up];
        longest[up] = below < longest[up] ? below : longest[up];
    }
    return saved;
}

} // namespace steiner::internal

#endif
