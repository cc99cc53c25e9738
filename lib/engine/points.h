// Points as the search forms and sorts them.
#ifndef STEINER_POINTS_H
#define STEINER_POINTS_H

#include "mst1.h"

#include <cstdint>

namespace steiner::internal {

// Where the shortest tree of three points meets: their median, taken per
// coordinate. The search's candidates are such medians.
inline Point median_point(const Point &p, const Point &q, const Point &r) {
    return Point{median3(p.row, q.row, r.row), median3(p.column, q.column, r.column)};
}

// A point as one number that sorts by row, then column: offsets from the
// least accepted coordinate fit 31 bits.
inline uint64_t point_key(const Point &p) {
    return static_cast<uint64_t>(int64_t{p.row} - MST1_COORD_MIN) << 32 |
           static_cast<uint64_t>(int64_t{p.column} - MST1_COORD_MIN);
}

} // namespace steiner::internal

#endif
