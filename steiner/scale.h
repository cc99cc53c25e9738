// Steiner points for nets of any size without the Hanan grid: the library's
// own algorithm, behind steiner/steiner.h.
//
// Candidates are formed locally, as medians of a point and two of its nearest
// neighbours, so their number grows linearly with the net; gains come from the
// tree package's incremental tree. The chosen points are improved by a local
// search and put in an order in which the router keeps every one of them.
#ifndef STEINER_SCALE_H
#define STEINER_SCALE_H

#include "mst1.h"

#include <cstdint>
#include <vector>

namespace steiner::internal {

// Reported between the stages of scale_steiner_points.
struct ScaleProgress {
    const char *phase; // "grow", "improve" or "order"
    int round;         // counts from 1 within the call
    int64_t length;    // tree length of the terminals and the points chosen so far
};

// Chosen Steiner points, in an order in which each one strictly shortens the
// minimum spanning tree of the terminals and the points before it, and each
// one passes the router's screening against the terminals. *length gets the
// tree length of the terminals and every returned point. threads (at least 1)
// measure gains; the result never depends on their number. progress may be
// null; it is called from the calling thread only. Without local_search the
// points are those of the greedy growth alone. terminals holds count points
// (at least 1) within the accepted coordinate range. Throws std::bad_alloc
// when memory runs out.
std::vector<Point> scale_steiner_points(const Point *terminals, int32_t count, int threads,
                                        bool local_search, int64_t *length,
                                        void (*progress)(void *context, const ScaleProgress &),
                                        void *context);

} // namespace steiner::internal

#endif
