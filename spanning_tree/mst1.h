// Rectilinear spanning-tree package: the rectilinear distance, the minimum
// spanning tree of a point list, and the program's two diagnostics. This is the
// only place where tree lengths are computed.
#ifndef STEINER_MST1_H
#define STEINER_MST1_H

#include <cstdint>

// A grid point. Arrays of points are contiguous; a point's index is its
// identity within the array that holds it.
struct Point {
    int32_t row;    // first coordinate
    int32_t column; // second coordinate
};

// Coordinates accepted by the program. Within this range every difference,
// every distance and every distance plus one fits a 32-bit signed integer.
constexpr int32_t MST1_COORD_MIN = -536870911;
constexpr int32_t MST1_COORD_MAX = 536870911;

// |row1 - row2| + |column1 - column2|. Exact for coordinates in the accepted range.
int32_t rect_dist(int32_t row1, int32_t column1, int32_t row2, int32_t column2);

// The same distance for two points.
int32_t rect_dist_points(const Point &p, const Point &q);

// Makes the package's key buffer hold at least n entries. It only ever grows
// (to exactly n entries, contents kept). On allocation failure it ends the
// process through fatal_error with status 1.
void mst1_package_init(int32_t n);

// Frees the key buffer, if any, and sets its capacity to 0.
void mst1_package_release();

// Prim's algorithm, array version, rooted at points[0]: O(n^2) time, no heap.
// Fills parent[0..n-1] with indices into points (point 0 is its own parent) and
// returns the tree's total length. The key buffer lives for this call only.
// Among equal keys the lowest index joins first; at an equal distance a point
// keeps its earlier parent. A point that coincides with a joined point joins at
// length 0 with that point as parent. n below 1 returns 0 and writes nothing.
// Coordinates must lie in the accepted range. Not reentrant.
int64_t mst1_build_tree(int32_t n, const Point *points, int32_t *parent);

// Writes message and a line end to standard error, then returns.
void report_error(const char *message);

// Writes message and a line end to standard error, then ends the process with
// status 1 (buffered output is flushed, exit handlers run).
[[noreturn]] void fatal_error(const char *message);

#endif
