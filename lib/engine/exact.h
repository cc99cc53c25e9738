// Rectilinear Steiner minimal trees of small nets, exactly.
#ifndef STEINER_EXACT_H
#define STEINER_EXACT_H

#include "mst1.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace steiner::internal {

// The most distinct places a net may have for exact_steiner_tree. From four
// places up to this many, the answer comes from tables, in a fraction of a
// microsecond.
constexpr size_t EXACT_MAX_PLACES = 9;

// The most Steiner points a table's tree has.
constexpr size_t EXACT_TABLE_STEINER = 7;

// The Steiner points of a rectilinear Steiner minimal tree over the
// distinct places net[0..n-1], sorted by row, then column, from 4 to
// EXACT_MAX_PLACES of them, into steiner[0..*found-1] (nowhere when steiner
// is null), and its length, from the tables alone: nothing is allocated.
int64_t exact_table_tree(const Point *net, size_t n, Point *steiner, size_t *found);

// The Steiner points of a rectilinear Steiner minimal tree over
// points[0..count-1], into *steiner, and its length. The points (count at
// least 1, in the accepted range) may repeat, at most EXACT_MAX_PLACES
// distinct places. The minimum spanning tree of the points and the Steiner
// points has that length. Throws std::bad_alloc when memory runs out.
int64_t exact_steiner_tree(const Point *points, size_t count, std::vector<Point> *steiner);

} // namespace steiner::internal

#endif
