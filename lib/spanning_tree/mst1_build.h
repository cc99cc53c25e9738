// The two builds behind the package's entry points, on scratch memory the
// caller provides, so that the reentrant entry points and the router's
// package-wide key buffer share them.
#ifndef STEINER_MST1_BUILD_H
#define STEINER_MST1_BUILD_H

#include "mst1.h"

#include <cstddef>
#include <cstdint>

namespace steiner::internal {

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

} // namespace steiner::internal

#endif
