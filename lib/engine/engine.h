// The search for Steiner points behind every effort of steiner::route and the
// generator's default order: one greedy engine.
//
// A working set holds the terminals, then Steiner points in an order in which
// each shortened the spanning tree of the points before it. Candidates are
// medians of a point and two of its nearest neighbours in the octant graph
// (where the shortest tree of three close points meets), screened as the
// router screens. Gains are exact savings from the tree package, on a dense
// tree with all path maxima for small sets and on the incremental tree for
// large ones, measured on worker threads. The greedy keeps the candidate with
// the largest gain, re-measuring lazily, and forms candidates again around the
// points that joined. A local search regrows the tree around each Steiner
// point with the same greedy. Steiner points of degree 2 or less are pruned
// before a result is given.
//
// Every thread of a search looks at the caller's stop flag (poll) at least
// every millisecond or so of work, and gives up by throwing Stopped.
#ifndef STEINER_ENGINE_H
#define STEINER_ENGINE_H

#include "exact.h"
#include "mst1.h"
#include "mst1_dense.h"
#include "mst1_handle.h"
#include "mst1_small.h"
#include "points.h"
#include "screening.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace steiner::internal {

// A moment of the search, for progress displays.
struct SearchStep {
    const char *phase; // "grow", "improve" or "order"
    int round;         // counts from 1 each time a phase begins
    int64_t length;    // tree length reached so far
    double done;       // the share of the round done, 0 to 1
};

using SearchListener = void (*)(void *context, const SearchStep &step);

struct SearchOptions {
    int threads = 1;      // measuring gains of large sets; the result never depends on it
    bool improve = false; // the local search after the greedy growth
    bool wide = true;     // then wide windows, on nets wider than one window
    // Every Steiner point shortens the tree of the points before it: none
    // that shortens it only together with others.
    bool stepwise = false;
    SearchListener listener = nullptr; // called from the calling thread; may be null
    void *context = nullptr;
    Mst1Stop stop = nullptr; // the caller's stop flag; may be null
};

// What the search found for a net.
struct SearchResult {
    // The terminals, then Steiner points, each passing the router's
    // screening against the terminals. When stepwise, each strictly
    // shortens the minimum spanning tree of the points before it; otherwise
    // they are in no promised order, and some may shorten it only together.
    std::vector<Point> points;
    // The minimum spanning tree of points as mst1_build_tree builds it, in
    // which no Steiner point has degree below 3.
    std::vector<int32_t> parents;
    int64_t length;          // that tree's length
    int64_t terminal_length; // the length of the terminals' tree
};

// The search for terminals[0..count-1] (count at least 1, coordinates in the
// accepted range, repeats allowed). With improve, the result is never longer
// than without. Throws std::bad_alloc when memory runs out, Stopped once the
// stop flag is set.
SearchResult search_steiner_points(const Point *terminals, int32_t count,
                                   const SearchOptions &options);

// Nets of at most this many terminals may take the path without the heap.
constexpr size_t FEW_MAX_TERMINALS = 16;

// A tree of few_places_tree: nodes points[0..size-1], their parents.
struct FewTree {
    Point points[Mst1Small::capacity];
    int32_t parents[Mst1Small::capacity];
    size_t size;
    int64_t length;
    int64_t terminal_length;
};

// A minimal tree of terminals[0..count-1]: true when served. Stepwise, it
// is served only where the finish would prune none of its Steiner points,
// and is then the result search_steiner_points gives at any effort, node for
// node. Otherwise its Steiner points are the table's, in the table's order,
// less those left with two edges or fewer (prune_few), and it has the
// search's length. Nets of more than FEW_MAX_TERMINALS terminals, or of
// fewer than 4 or more than the tables' places, are never served. Allocates
// nothing.
bool few_places_tree(const Point *terminals, size_t count, bool stepwise, FewTree *tree);

// Takes out of tree, which holds count terminals and then steiner[0..*kept-1],
// every Steiner point left with two edges or fewer, spanning the rest again
// until none is; *kept gets the points left, in their order. Taking such a
// point out never lengthens the tree.
void prune_few(Mst1Small *tree, size_t count, Point *steiner, size_t *kept);

// The most distinct places split_places_tree serves.
constexpr size_t SPLIT_MAX_PLACES = 12;

// A tree of a net of more distinct places than the tables serve and at most
// SPLIT_MAX_PLACES, from two pieces the tables solve that share a place:
// true when so. Its Steiner points have three edges or more, in no promised
// order, and it is never longer than the terminals' spanning tree; it is
// seldom longer than the search's. Nets of more than FEW_MAX_TERMINALS
// terminals are never served. Allocates nothing.
bool split_places_tree(const Point *terminals, size_t count, FewTree *tree);

// ---- Shared by the engine's parts ---------------------------------------------

// Throws Stopped once the caller's flag is set; stop may be null.
inline void poll(Mst1Stop stop) {
    if (mst1_stop_seen(stop))
        throw Stopped();
}

// A net and how to search it: its terminals, the threads that measure gains
// of large sets, whether its trees are stepwise, and the caller's stop flag
// (see SearchOptions).
struct NetJob {
    const Point *terminals;
    size_t count;
    int threads;
    bool stepwise;
    Mst1Stop stop;
};

// One search: the net, its screening, and the tree a small set grows on.
struct Search {
    Search(const NetJob &search_net, const SearchOptions &search_options);

    NetJob net;
    std::unique_ptr<ScreenIndex, ScreenIndexDeleter> screen;
    SearchOptions options;
    // The working set's tree while a small set grows, made once for the
    // whole search: room for twice the terminals and more on a net small
    // enough for a dense tree (growth.cpp), none on a larger one.
    Mst1Dense growing;
    const char *phase = nullptr; // last reported
    int round = 0;               // rounds reported in it
    bool open = false;           // the last reported round goes on

    // A step of a round of step_phase; the round goes on while done < 1,
    // and the next step of that phase starts another once done is 1.
    void report(const char *step_phase, int64_t length, double done = 1);

    // Whether a working set of this many points grows on growing, all its
    // rounds on the one tree with the candidates carried from round to
    // round; a larger set forms its candidates afresh each round around the
    // points that joined.
    bool grows_in_place(size_t points) const {
        return points <= growing.capacity();
    }
};

// Candidates and their gains against a working set.
struct Pool {
    std::vector<Point> points;  // without repeats
    std::vector<int64_t> gains; // exact savings, 0 where there is none
};

// The candidates around points[first_new..] (every point when first_new is
// 0) and the points whose nearest neighbours they may have become, that no
// point occupies and the screening accepts, by row, then column.
std::vector<Point> candidates_around(const Search &search, const std::vector<Point> &points,
                                     size_t first_new);

// Those candidates with their gains against points.
Pool form_pool(Search *search, const std::vector<Point> &points, size_t first_new);

// The gain of every candidate against points, on up to threads threads,
// each polling stop.
std::vector<int64_t> measure_gains(const std::vector<Point> &points,
                                   const std::vector<Point> &candidates, int threads,
                                   Mst1Stop stop = nullptr);

// The indices of the best choices of gains: those that save something, the
// largest gain first, then the lowest index; at most choices of them.
std::vector<int32_t> best_by_gain(const std::vector<int64_t> &gains, size_t choices);

// Appends to *points the candidates of pool that the lazy greedy keeps, in
// the order kept, starting with pool.points[forced] when forced is not -1
// (it must save something); *length is the working set's tree length, kept
// up to date. Returns how many joined.
// On a large set, progress (when not null) hears of the round's share done
// as the candidates in contention dwindle, and its stop flag is polled.
size_t join_greedily(std::vector<Point> *points, int64_t *length, const Pool &pool, int32_t forced,
                     Search *progress = nullptr);

// Passes of the lazy greedy over the candidates *rest, each pass measuring
// the gains of those left against the points joined so far, until a pass
// keeps none: those kept move from *rest to the end of *points, in the order
// kept; *rest keeps the others, in their order. Polls stop on a large set.
void join_in_passes(std::vector<Point> *points, std::vector<Point> *rest, Mst1Stop stop = nullptr);

// Joins to *tree the candidates that shorten it one at a time, each time the
// one that saves most (measured afresh, the first of equals), into *kept in
// the order joined, until none saves anything. Returns the tree's length.
int64_t join_stepwise(Mst1Dense *tree, const std::vector<Point> &candidates,
                      std::vector<Point> *kept);

// Rounds of keeping candidates greedily (starting with pool.points[forced]
// unless forced is -1) and forming them again around the points that joined,
// starting from pool (form_pool's against *points, so in the order of its
// places); returns the tree length.
int64_t grow(Search *search, std::vector<Point> *points, Pool pool, int32_t forced);

// The Steiner points of points (after the terminals) that pruning leaves,
// again until the tree has no Steiner point of degree 2 or less; a stepwise
// net's are put in an order in which each shortens the tree (the largest
// gain first, measured afresh, among them only), and any that shorten it
// only together are left out. Points that are already in such an order
// (ordered) keep it when nothing is pruned. Replaces *points, fills
// *parents with their tree and returns its length, which is never longer
// unless points were left out.
int64_t finish(const NetJob &net, std::vector<Point> *points, bool ordered,
               std::vector<int32_t> *parents);

// Exact windows swept over the tree of points, at most sweeps times:
// connected pieces of the tree whose terminals and attachment points the
// tables serve, re-solved exactly, around every node or, when branching,
// around nodes with three edges or more only. Returns the Steiner points
// left, in no useful order, and sets *length to their tree's length.
std::vector<Point> after_exact_windows(const NetJob &net, const std::vector<Point> &points,
                                       int sweeps, bool branching, int64_t *length);

// Wide windows: connected pieces of the tree with at most WIDE_PLACES
// terminals and attachment points, re-solved by the search as nets of their
// own and put in place when shorter, swept over the tree of points. Returns
// the Steiner points left, in no useful order, and sets *length to their
// tree's length. Nets of at most WIDE_PLACES terminals gain nothing from
// them: the search sees them whole.
constexpr size_t WIDE_PLACES = 20;
std::vector<Point> after_wide_windows(Search *search, const std::vector<Point> &points,
                                      int64_t *length);

// The local search: each Steiner point with the Steiner points near it is
// taken out and the subtree regrown greedily from the Hanan points of its own
// points; a shorter subtree replaces it. Returns the Steiner points left,
// pruned, in no useful order, and sets *length to their tree's length (with
// the terminals).
std::vector<Point> after_local_search(Search *search, const std::vector<Point> &points,
                                      int64_t *length);

// The Steiner points (after the terminals in points) left when those of
// degree 2 or less in the minimum spanning tree of points are taken out, with
// those that then fall to degree 2 or less, each degree-2 point's two edges
// spliced into one. *parents gets that tree before pruning, and *length its
// length.
std::vector<Point> kept_after_pruning(const NetJob &net, const std::vector<Point> &points,
                                      std::vector<int32_t> *parents, int64_t *length);

} // namespace steiner::internal

#endif
