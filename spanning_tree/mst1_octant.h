// The tree package's O(n log n) build, shared by its entry points in mst1.cpp.
#ifndef STEINER_MST1_OCTANT_H
#define STEINER_MST1_OCTANT_H

#include "mst1.h"

#include <cstddef>
#include <cstdint>

// Bytes of scratch memory octant_build needs for n points.
size_t octant_scratch_bytes(int32_t n);

// The tree, total and parents of the quadratic Prim loop over points[0..n-1],
// in O(n log n). key has n entries and scratch octant_scratch_bytes(n) bytes,
// both the caller's; nothing is allocated here and no point is read before
// the call.
int64_t octant_build(int32_t n, const Point *points, int32_t *parent, int32_t *key, void *scratch);

#endif
