// Rectilinear spanning-tree package: the rectilinear distance, the minimum
// spanning tree of a point list, and the program's two diagnostics. This is the
// only place where tree lengths are computed.
//
// Everything lives in steiner::internal, so that the installed library, which
// carries the reentrant part, exports no name a program of its user might
// have. The package-wide key buffer, mst1_build_tree, mst1_build_tree_reference
// and the diagnostics (mst1.cpp) end the process or keep state between calls:
// they are the console router's and stay out of that library.
#ifndef STEINER_MST1_H
#define STEINER_MST1_H

#include <atomic>
#include <cstdint>

namespace steiner::internal {

// A grid point. Arrays of points are contiguous; a point's index is its
// identity within the array that holds it.
struct Point {
    int32_t row;    // first coordinate
    int32_t column; // second coordinate
};

// By row, then column.
inline bool point_less(const Point &a, const Point &b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
}

inline bool point_equal(const Point &a, const Point &b) {
    return a.row == b.row && a.column == b.column;
}

// Vector loops serve where the processor has them, unless the build asks for
// the plain loops everywhere (STEINER_PLAIN_LOOPS), so that tests run those
// too on a machine that has the vectors.
#ifdef STEINER_PLAIN_LOOPS
constexpr bool MST1_VECTOR_LOOPS = false;
#else
constexpr bool MST1_VECTOR_LOOPS = true;
#endif

// Coordinates accepted by the program. Within this range every difference,
// every distance and every distance plus one fits a 32-bit signed integer.
constexpr int32_t MST1_COORD_MIN = -536870911;
constexpr int32_t MST1_COORD_MAX = 536870911;

// |row1 - row2| + |column1 - column2|. Exact for coordinates in the accepted range.
inline int32_t rect_dist(int32_t row1, int32_t column1, int32_t row2, int32_t column2) {
    int32_t drow = row1 - row2;
    int32_t dcolumn = column1 - column2;
    if (drow < 0)
        drow = -drow;
    if (dcolumn < 0)
        dcolumn = -dcolumn;
    return drow + dcolumn;
}

// The same distance for two points.
inline int32_t rect_dist_points(const Point &p, const Point &q) {
    return rect_dist(p.row, p.column, q.row, q.column);
}

// The middle one of three coordinates: the median of three points, taken
// per coordinate, is where their shortest tree meets.
inline int32_t median3(int32_t a, int32_t b, int32_t c) {
    const int32_t low = a < b ? a : b;
    const int32_t high = a < b ? b : a;
    const int32_t capped = high < c ? high : c;
    return low > capped ? low : capped;
}

// Makes the package's key buffer hold at least n entries. It only ever grows
// (to exactly n entries, contents kept). On allocation failure it ends the
// process through fatal_error with status 1.
void mst1_package_init(int32_t n);

// Frees the key buffer, if any, and sets its capacity to 0.
void mst1_package_release();

// A caller's flag that asks long calls to give up: the reentrant builds, the
// octant neighbours and the incremental tree below look at it every few
// thousand points (null: never) and return MST1_STOPPED, or mark the tree
// stopped, once it is set. Only the caller ever writes it.
using Mst1Stop = const std::atomic<bool> *;

// What a call that gave up for its stop flag returns.
constexpr int32_t MST1_STOPPED = -2;

inline bool mst1_stop_seen(Mst1Stop stop) {
    return stop != nullptr && stop->load(std::memory_order_relaxed);
}

// Points from which the builds below leave the quadratic loop for the octant
// graph (mst1_build_tree_octant); below it the loop is the faster.
constexpr int32_t MST1_OCTANT_FROM = 5000;

// Prim's algorithm rooted at points[0]: the quadratic loop for fewer than
// MST1_OCTANT_FROM points, the octant graph from there. Fills parent[0..n-1]
// with indices into points (point 0 is its own parent) and returns the tree's
// total length. The key buffer and the build's other scratch memory live for
// this call only, and are all taken before any point is read; when they cannot
// be allocated the process ends through fatal_error with status 1.
// Among equal keys the lowest index joins first; at an equal distance a point
// keeps its earlier parent. A point that coincides with a joined point joins at
// length 0 with that point as parent. n below 1 returns 0 and writes nothing.
// Coordinates must lie in the accepted range. Not reentrant.
int64_t mst1_build_tree(int32_t n, const Point *points, int32_t *parent);

// The same tree, total and parents, for code that may run on several threads
// or inside a library: all scratch memory is the call's own, and when it
// cannot be allocated the result is -1 and nothing else happens. Returns
// MST1_STOPPED, parent[] unspecified, once stop is set.
int64_t mst1_build_tree_reentrant(int32_t n, const Point *points, int32_t *parent,
                                  Mst1Stop stop = nullptr);

// The same tree, total and parents as the quadratic loop, ties included, in
// O(n log n) for any n: Prim's algorithm keeps keys only along each point's
// edges to its nearest point in each of eight octants, which is enough to
// select the same point at every step, and finds each selected point's parent
// (the earliest-joined point at its key's distance) in a tree of boxes over
// the points in Z order that knows each box's earliest join. About 190 bytes
// of scratch per point, the call's own; -1 when it cannot be allocated,
// MST1_STOPPED once stop is set.
int64_t mst1_build_tree_octant(int32_t n, const Point *points, int32_t *parent,
                               Mst1Stop stop = nullptr);

// The same tree, total and parents as mst1_build_tree, by the plain loop: one
// pass for the smallest key, then one to relax the keys. Several times slower;
// kept as the reference that the fast build is tested and timed against, and
// for rebuilding the tree on every trial when the incremental tree is compared
// with that. Uses the key buffer in the same way.
int64_t mst1_build_tree_reference(int32_t n, const Point *points, int32_t *parent);

// ---- Octants ------------------------------------------------------------------

// The octant, 0..7, of the offset (drow, dcolumn) from a point, which must not
// be (0, 0). Quadrant q, turned by q quarter turns into u > 0, v >= 0 (u, v =
// row, column; column, -row; -row, -column; -column, row), holds octant 2q
// where v < u and 2q + 1 where v >= u. The half-open borders make the octants
// partition the plane around the point, and two points a, b in one octant
// with |a| <= |b| are strictly nearer to each other than b is to the centre:
// so a new point gains spanning-tree edges only to its nearest point in each
// octant, and every octant computation here uses these borders.
inline int mst1_octant_of(int32_t drow, int32_t dcolumn) {
    // Arithmetic rather than branches: the octants of a net's points follow
    // no pattern a branch predictor could learn. The quadrants are those of
    // the offset turned a quarter at a time: first (drow > 0, dcolumn >= 0),
    // second (drow <= 0, dcolumn > 0), third (drow < 0, dcolumn <= 0),
    // fourth the rest. By the signs of drow and dcolumn (-1, 0 or 1, each
    // plus one, as the digits of a number in base 3) the quadrant is two
    // bits of QUADRANTS. Turned into the first quadrant, the offset lies in
    // its upper half (octant 2 q + 1) when the coordinate that became the
    // column is at least the one that became the row: in the first and
    // third quadrants the column's magnitude against the row's, in the
    // second and fourth the other way round.
    constexpr uint32_t QUADRANTS =
        2u | 2u << 2 | 1u << 4 | 3u << 6 | 3u << 8 | 1u << 10 | 3u << 12 | 0u << 14 | 0u << 16;
    const int32_t row_sign = (drow > 0) - (drow < 0);
    const int32_t column_sign = (dcolumn > 0) - (dcolumn < 0);
    const auto digits = static_cast<uint32_t>(3 * row_sign + column_sign + 4);
    const int quadrant = static_cast<int>(QUADRANTS >> (2 * digits) & 3u);
    const int32_t rows = drow < 0 ? -drow : drow;
    const int32_t columns = dcolumn < 0 ? -dcolumn : dcolumn;
    const int32_t odd = -(quadrant & 1);
    // columns - rows, negated in the second and fourth quadrants.
    const int32_t upper = ((columns - rows) ^ odd) - odd;
    return 2 * quadrant + (upper >= 0 ? 1 : 0);
}

// For centre, a nearest point of points[0..n-1] in each octant around it:
// nearest[o] is its index and distance[o] its distance, both -1 when the
// octant is empty; among equally near points the lowest index. Points at
// centre's place lie in no octant: returns the index of the first of them, or
// -1 when there is none. O(n).
int32_t mst1_octant_scan(int32_t n, const Point *points, const Point &centre, int32_t *nearest,
                         int32_t *distance);

// For every point k of points[0..n-1] and octant o, a nearest point to k in
// that octant: nearest[8 k + o] is its index (the lowest index among points at
// its place), or -1 when the octant is empty. Any of several equally near
// points may be given. Points at k's own place lie in none of its octants.
// O(n log n), about 200 bytes of scratch per point; returns 0, or -1 when the
// scratch cannot be allocated, or MST1_STOPPED (nearest[] unspecified) once
// stop is set. Coordinates must lie in the accepted range.
int32_t mst1_octant_neighbours(int32_t n, const Point *points, int32_t *nearest,
                               Mst1Stop stop = nullptr);

// What joining a new point c to a tree saves: with q_0..q_(k-1) the tree
// points nearest to c in its nonempty octants, at distances distance[i], and
// longest[i][j] the longest tree edge on the path between q_i and q_j, the
// tree gets shorter by
//     MST over the q_i with edge i-j costing max(longest[i][j], distance[i], distance[j])
//     - (distance[0] + ... + distance[k-1]),
// which is negative when it gets longer. Upper bounds in longest give an upper
// bound on the saving. 1 <= k <= 8.
int64_t mst1_join_saving(int32_t k, const int32_t *distance, const int32_t (*longest)[8]);

// ---- Incremental tree -------------------------------------------------------

// The minimum spanning tree of a growing subset of a fixed point list, kept
// exactly as points join, with trial additions that can be kept or undone.
struct Mst1Dynamic;

// Prepares a tree over points[0..count-1], every point that may ever join;
// the caller keeps the array alive and unchanged until destroy. The memory the
// tree needs for its points, edges and indexes (about 125 bytes a point) is
// allocated here; later calls allocate only the undo record of the additions
// since the last commit or rollback (a few bytes each) and mst1_dynamic_start's
// build, and when that memory runs out nothing fails: the record is given up
// and the next rollback rebuilds the committed tree instead of replaying it,
// and the start adds its points one by one. The tree starts empty. Returns
// nullptr when count is negative or above 1073741823, when a point lies
// outside the accepted range or when memory runs out.
// With a stop flag, the long steps (building the indexes here, in start and
// in commits, and start's tree) look at it; once one sees it set, the tree is
// stopped for good: mst1_dynamic_stopped tells so, and every later call but
// destroy returns at once, start with MST1_STOPPED, add with -1, gain with 0.
Mst1Dynamic *mst1_dynamic_create(int32_t count, const Point *points, Mst1Stop stop = nullptr);

// Frees everything create allocated. nullptr is ignored.
void mst1_dynamic_destroy(Mst1Dynamic *tree);

// Whether the tree gave up a step for its stop flag; its contents are then
// unspecified.
bool mst1_dynamic_stopped(const Mst1Dynamic *tree);

// Adds points[index] and returns the new total length: exactly what
// mst1_build_tree returns for the points now in the tree, in any order. A point
// that coincides with one already in the tree joins at length 0. Returns -1 and
// changes nothing when index lies outside 0..count-1 or the point is already in
// the tree.
int64_t mst1_dynamic_add(Mst1Dynamic *tree, int32_t index);

// Adds points[index] only if the tree then gets strictly shorter; returns the
// new length (as mst1_dynamic_add would) when it does, and otherwise the
// unchanged current length, having changed nothing. An addition made counts
// as one of those since the last commit. Most points that would not shorten
// the tree are turned away from bounds, without the cost of adding them and
// undoing it. Returns -1 and changes nothing when mst1_dynamic_add would.
int64_t mst1_dynamic_add_if_shorter(Mst1Dynamic *tree, int32_t index);

// Puts points[0..count-1] into an empty tree and commits them, as adding each
// and committing would, and returns the length. Their spanning tree is built
// at once (O(n log n)) and linked edge by edge; when the memory for that
// cannot be had, the points are added one by one instead. Returns -1 and
// changes nothing when the tree is not empty or count lies outside
// 0..the point count.
int64_t mst1_dynamic_start(Mst1Dynamic *tree, int32_t count);

// Keeps every point added since the last commit or rollback.
void mst1_dynamic_commit(Mst1Dynamic *tree);

// Removes every point added since the last commit or rollback, restoring the
// tree and its length exactly as they were then.
void mst1_dynamic_rollback(Mst1Dynamic *tree);

// The current total length (0 for an empty tree).
int64_t mst1_dynamic_length(const Mst1Dynamic *tree);

// How much the tree would get shorter if a point at p joined it: the exact
// saving when it is positive, and 0 when the tree would get no shorter
// (including when p coincides with a point in it). p need not be one of the
// tree's points, and nothing changes but the link-cut forest's internal
// shape; most points that save nothing are settled from bounds alone. p must
// lie in the accepted range.
int64_t mst1_dynamic_gain(Mst1Dynamic *tree, const Point &p);

// ---- Diagnostics ------------------------------------------------------------

// Writes message and a line end to standard error, then returns.
void report_error(const char *message);

// Writes message and a line end to standard error, then ends the process with
// status 1 (buffered output is flushed, exit handlers run).
[[noreturn]] void fatal_error(const char *message);

} // namespace steiner::internal

#endif
