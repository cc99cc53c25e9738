// Steiner points for small nets, the bulk of a netlist: a few to some tens of
// terminals, each answered in tens of microseconds on one thread.
//
// The Hanan grid of such a net is small enough to try every point of it; gains
// are exact and cost a scan of the tree plus two spanning trees of at most
// nine points, so no incremental tree structure is needed.
#ifndef STEINER_SMALL_H
#define STEINER_SMALL_H

#include "mst1.h"

#include <cstdint>
#include <vector>

namespace steiner::internal {

// Above this many terminals the Hanan grid grows past what a per-net budget of
// a fraction of a millisecond allows.
constexpr int32_t SMALL_MAX_TERMINALS = 64;

// Chosen Steiner points, in an order in which each one strictly shortens the
// minimum spanning tree of the terminals and the points before it, and each
// one passes the router's screening against the terminals. *length gets the
// tree length of the terminals and every returned point. terminals holds
// count points (1 to SMALL_MAX_TERMINALS) within the accepted coordinate range; repeated
// terminals are allowed. Single-threaded and deterministic. Throws
// std::bad_alloc when memory runs out.
std::vector<Point> small_steiner_points(const Point *terminals, int32_t count, int64_t *length);

} // namespace steiner::internal

#endif
