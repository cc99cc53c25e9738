// Candidate screening: which candidate Steiner points may join the terminals.
// A candidate is accepted when it coincides with no terminal, shares a column
// with one terminal and a row with another, and a terminal lies in the closed
// quadrant opposite those two directions.
#ifndef STEINER_SCREENING_H
#define STEINER_SCREENING_H

#include "mst1.h"

#include <cstdint>

namespace steiner::internal {

// The rule by scanning point_array[0..num_pts-1], the terminals: O(num_pts)
// per candidate. The reference the index is tested against.
bool screen_candidate(int32_t row, int32_t column, const Point *point_array, int32_t num_pts);

// The terminals arranged so that the same screening takes O(log num_pts) per
// candidate. Built from a copy (the terminals may move afterwards); nullptr when
// memory runs out, or once stop (see mst1.h) is set. Free with
// screen_index_free; nullptr is ignored there.
struct ScreenIndex;
ScreenIndex *screen_index_build(const Point *point_array, int32_t num_pts, Mst1Stop stop = nullptr);
void screen_index_free(ScreenIndex *index);
bool screen_candidate_indexed(const ScreenIndex *index, int32_t row, int32_t column);

// Frees an index when its owner goes: std::unique_ptr<ScreenIndex, ScreenIndexDeleter>.
struct ScreenIndexDeleter {
    void operator()(ScreenIndex *index) const {
        screen_index_free(index);
    }
};

} // namespace steiner::internal

#endif
