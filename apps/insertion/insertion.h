// Block-wise insertion of candidate Steiner points: the decisions alone. The
// candidates are tried in file order in blocks; a block that shortens the tree
// stays whole, otherwise its candidates are tried one at a time and each stays
// only if it shortens the tree at that moment. What was kept is passed to a
// listener; nothing is printed here.
#ifndef STEINER_INSERTION_H
#define STEINER_INSERTION_H

#include "mst1.h"

#include <cstdint>
#include <vector>

namespace steiner::internal {

// What was kept: a whole block, or one candidate of a block that did not help.
struct InsertionEvent {
    bool whole_block; // a whole block stayed
    int32_t block;    // the block size in force (at least 1)
    int32_t first;    // 0-based number of the first candidate kept
    int32_t last;     // and of the last; equal to first for one candidate
    int64_t before;   // tree length before
    int64_t after;    // tree length after, strictly shorter
    Point point;      // the candidate kept, for one candidate
};

using InsertionListener = void (*)(void *context, const InsertionEvent &event);

// How a trial's tree length is found: by the incremental tree, which keeps the
// working set's tree and changes only what the trial points touch, or by
// rebuilding the whole tree for every trial with the plain quadratic loop (the
// reference the incremental tree is compared with; it shares the tree
// package's key buffer and its fatal path, so it is for one thread only).
enum class TrialMethod { Incremental, Rebuild };

// Tries the candidates point_array[num_pts..total_pts-1] in blocks of block
// points; a block below 1 is treated as 1. tree_points[0..num_pts-1] holds the
// terminals and *wirelength their tree's length on entry. Kept candidates
// follow the terminals in tree_points without gaps; parent_array (room for
// total_pts entries) is scratch. Updates *wirelength and *removed, calls
// listener (when given) for every kept block or candidate in order, and
// returns the working-set size, or -1, before any trial, when the incremental
// tree cannot get its memory. When trial_lengths is given, every trial's
// length is appended to it in order; for a trial of one candidate that does
// not shorten the tree, the length before it (the incremental tree settles
// such a trial without computing its length).
int32_t insertion_run(int32_t num_pts, int32_t total_pts, int32_t block, const Point *point_array,
                      Point *tree_points, int32_t *parent_array, int64_t *wirelength,
                      int32_t *removed, InsertionListener listener, void *context,
                      TrialMethod method = TrialMethod::Incremental,
                      std::vector<int64_t> *trial_lengths = nullptr);

} // namespace steiner::internal

#endif
