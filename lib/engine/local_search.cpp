// The local search over the explicit tree.
//
// A move takes out a Steiner point, with the Steiner points near it whose
// edges all stay within a few hops, and regrows that subtree from the Hanan
// points of its own points with the engine's greedy. The subtree is a minimum
// tree of its own points, so a regrown subtree that is shorter shortens the
// whole tree by at least as much: every accepted move is a true improvement,
// found without a global rebuild.
//
// On several threads the moves of a batch are found at once against the tree
// as the batch began and applied in order; a move whose subtree or candidate
// lines an earlier move of the batch touched is found again on the spot. A
// move that found nothing is passed over until its subtree or the places
// around its candidates change. Both rest on the change tracking's promise
// (changes.h), so the trees are those that moves found one after another on
// one thread give.
#include "engine.h"
#include "layout.h"
#include "parallel.h"

#include <algorithm>
#include <atomic>

namespace steiner::internal {

namespace {

// The subtree a local move regrows: points up to this many tree hops from the
// removed point, at most BALL_CAP of them beyond its direct neighbours.
constexpr int BALL_DEPTH = 4;
constexpr size_t BALL_CAP = 40;

// A local move regrows greedily, then again from each of this many best
// first choices: a greedy that starts wrong rarely recovers.
constexpr size_t LOOKAHEAD = 24;

// Sweeps of the local search: later sweeps find little.
constexpr int SWEEPS = 2;

// Moves found at once on several threads: enough to keep them busy, few
// enough that earlier moves of a batch seldom touch later ones.
constexpr size_t MOVE_BATCH = 256;

// What a move found: the subtree it takes out and the points that regrow it.
struct Proposal {
    std::vector<int32_t> ball; // its nodes, x first
    std::vector<int32_t> up;   // the node each was reached from
    std::vector<uint8_t> removed;
    std::vector<Point> local; // the nodes that stay
    std::vector<int32_t> kept_ids;
    std::vector<Point> added;  // the new Steiner points, in the order kept
    std::vector<int32_t> rows; // the lines its candidates lie on, sorted
    std::vector<int32_t> columns;
    uint64_t at = 0; // the layout's time when it was found
};

// The subtree within BALL_DEPTH hops of x, marked in *marks.
void gather_ball(const Layout &layout, int32_t x, Marks *marks, Proposal *proposal) {
    std::vector<int32_t> depth{0};
    const std::vector<int32_t> &ball = proposal->ball;
    std::vector<int32_t> &up = proposal->up;
    up.assign(1, -1);
    grow_piece(layout, x, marks, &proposal->ball, [&](int32_t, size_t k) {
        // x's own neighbours always belong: x's edges all go.
        if (depth[k] == BALL_DEPTH || (depth[k] > 0 && ball.size() > BALL_CAP))
            return false;
        depth.push_back(depth[k] + 1);
        up.push_back(ball[k]);
        return true;
    });
}

// Marks what the move removes: x, and Steiner points with no edge leaving
// the subtree. Returns the box of the removed points widened by their longest
// edge, the region whose lines the candidates lie on.
std::array<int64_t, 4> mark_removed(const Layout &layout, const Marks &marks, Proposal *proposal) {
    const std::vector<int32_t> &ball = proposal->ball;
    std::vector<uint8_t> &removed = proposal->removed;
    removed.assign(ball.size(), 0);
    removed[0] = 1;
    const Point &centre = layout.points[static_cast<size_t>(ball[0])];
    int64_t reach = 0;
    std::array<int64_t, 4> box{centre.row, centre.row, centre.column, centre.column};
    for (size_t k = 0; k < ball.size(); k++) {
        const auto sv = static_cast<size_t>(ball[k]);
        if (k > 0 && sv < layout.terminals)
            continue;
        bool inside = true;
        int64_t longest = 0;
        for (int32_t v : layout.adjacency[sv]) {
            inside = inside && marks.seen[static_cast<size_t>(v)] == marks.move;
            longest =
                std::max<int64_t>(longest, rect_dist_points(layout.points[sv],
                                                            layout.points[static_cast<size_t>(v)]));
        }
        if (!inside)
            continue;
        removed[k] = 1;
        reach = std::max(reach, longest);
        box = {std::min<int64_t>(box[0], layout.points[sv].row),
               std::max<int64_t>(box[1], layout.points[sv].row),
               std::min<int64_t>(box[2], layout.points[sv].column),
               std::max<int64_t>(box[3], layout.points[sv].column)};
    }
    return {box[0] - reach, box[1] + reach, box[2] - reach, box[3] + reach};
}

// The nodes that stay, and the Hanan lines of the subtree's points within box.
void split_ball(const Layout &layout, const std::array<int64_t, 4> &box, Proposal *proposal) {
    proposal->local.clear();
    proposal->kept_ids.clear();
    proposal->rows.clear();
    proposal->columns.clear();
    for (size_t k = 0; k < proposal->ball.size(); k++) {
        const Point &p = layout.points[static_cast<size_t>(proposal->ball[k])];
        if (!proposal->removed[k]) {
            proposal->local.push_back(p);
            proposal->kept_ids.push_back(proposal->ball[k]);
        }
        if (p.row >= box[0] && p.row <= box[1])
            proposal->rows.push_back(p.row);
        if (p.column >= box[2] && p.column <= box[3])
            proposal->columns.push_back(p.column);
    }
    for (std::vector<int32_t> *lines : {&proposal->rows, &proposal->columns}) {
        std::sort(lines->begin(), lines->end());
        lines->erase(std::unique(lines->begin(), lines->end()), lines->end());
    }
}

// The crossings of the proposal's lines that no node keeps and the
// screening accepts, by row, then column.
std::vector<Point> free_crossings(const Layout &layout, const ScreenIndex *screen,
                                  const Proposal &proposal) {
    std::vector<Point> crossings;
    for (int32_t row : proposal.rows) {
        for (int32_t column : proposal.columns) {
            const Point c{row, column};
            if (layout.taken.contains(point_key(c))) {
                // A removed point's place is free again.
                bool free = false;
                for (size_t k = 0; k < proposal.ball.size(); k++)
                    free = free ||
                           (proposal.removed[k] &&
                            point_equal(layout.points[static_cast<size_t>(proposal.ball[k])], c));
                if (!free)
                    continue;
            }
            if (screen_candidate_indexed(screen, row, column))
                crossings.push_back(c);
        }
    }
    return crossings;
}

// Greedy growth of base from the candidates of pool, with forced (-1: none)
// joining first. Returns the length; *added gets the candidates kept, in
// order, found by their place in pool.points, which is sorted by row, then
// column.
int64_t regrow(const std::vector<Point> &base, const Pool &pool, int32_t forced,
               std::vector<int32_t> *added) {
    std::vector<Point> points = base;
    int64_t length = 0;
    join_greedily(&points, &length, pool, forced);
    added->clear();
    for (size_t k = base.size(); k < points.size(); k++) {
        const auto at =
            std::lower_bound(pool.points.begin(), pool.points.end(), points[k], point_less);
        added->push_back(static_cast<int32_t>(at - pool.points.begin()));
    }
    return length;
}

// The shortest regrowth of the proposal's nodes that stay from pool: the
// greedy's own, or one that starts from one of the best few first choices.
// Returns its length and sets *added to the candidates kept.
int64_t shortest_regrowth(const Proposal &proposal, const Pool &pool, std::vector<int32_t> *added) {
    int64_t best = regrow(proposal.local, pool, -1, added);
    std::vector<int32_t> other;
    for (int32_t first : best_by_gain(pool.gains, LOOKAHEAD)) {
        if (!added->empty() && first == (*added)[0])
            continue;
        const int64_t length = regrow(proposal.local, pool, first, &other);
        if (length < best) {
            best = length;
            *added = other;
        }
    }
    return best;
}

// One move of the local search: the subtree within BALL_DEPTH hops of
// Steiner point x loses x and every other Steiner point whose edges all stay
// inside it, and is regrown greedily from the Hanan points of its points near
// the removed ones; the greedy also starts from each of the best few first
// choices in turn. Returns whether the regrown subtree is shorter, with
// *proposal filled to apply it; the layout is only read.
bool propose(const Layout &layout, const ScreenIndex *screen, int32_t x, Marks *marks,
             Proposal *proposal) {
    proposal->at = layout.changes.clock;
    gather_ball(layout, x, marks, proposal);
    int64_t old_length = 0;
    for (size_t k = 1; k < proposal->ball.size(); k++)
        old_length += rect_dist_points(layout.points[static_cast<size_t>(proposal->ball[k])],
                                       layout.points[static_cast<size_t>(proposal->up[k])]);
    split_ball(layout, mark_removed(layout, *marks, proposal), proposal);
    Pool pool;
    pool.points = free_crossings(layout, screen, *proposal);
    pool.gains = measure_gains(proposal->local, pool.points, 1);
    std::vector<int32_t> added;
    if (shortest_regrowth(*proposal, pool, &added) >= old_length)
        return false;
    proposal->added.clear();
    for (int32_t k : added)
        proposal->added.push_back(pool.points[static_cast<size_t>(k)]);
    return true;
}

// Whether a proposal found as its batch began would be found the same now:
// none of the nodes of its subtree changed, and no place on the lines of its
// candidates was taken or freed.
bool still_holds(const Layout &layout, const Proposal &proposal) {
    return layout.changes.nodes_unchanged(proposal.ball, proposal.at) &&
           layout.changes.lines_unchanged(proposal.rows, proposal.columns, proposal.at);
}

// The state of a sweep's batches, kept from batch to batch.
struct Sweep {
    Layout *layout;
    Search *search;
    Tried tried;
    Marks marks;
    std::vector<Marks> worker_marks;
    std::vector<Proposal> proposals;
    std::vector<uint8_t> found;
    std::vector<uint8_t> skipped;
};

// Finds the moves of centres first..last-1 at once on the search's threads,
// against the layout as it is.
void propose_batch(Sweep *sweep, size_t first, size_t last) {
    const Layout &layout = *sweep->layout;
    const int threads = sweep->search->net.threads;
    sweep->proposals.resize(last - first);
    sweep->found.assign(last - first, 0);
    sweep->skipped.assign(last - first, 0);
    for (size_t x = first; x < last; x++)
        sweep->skipped[x - first] =
            !layout.alive[x] || sweep->tried.again_nothing(layout.changes, x);
    const size_t workers = std::min(last - first, static_cast<size_t>(threads));
    sweep->worker_marks.resize(workers);
    std::atomic<size_t> next{first};
    run_parallel(workers, threads, [&](size_t w) {
        for (size_t x = next++; x < last; x = next++) {
            poll(sweep->search->net.stop);
            if (!sweep->skipped[x - first])
                sweep->found[x - first] =
                    propose(layout, sweep->search->screen.get(), static_cast<int32_t>(x),
                            &sweep->worker_marks[w], &sweep->proposals[x - first]);
        }
    });
}

// Applies the moves of centres first..last-1 in order, each found again
// unless the one found for the batch still holds. Returns whether any was.
bool apply_batch(Sweep *sweep, size_t first, size_t last, bool batched) {
    Layout *layout = sweep->layout;
    bool changed = false;
    for (size_t x = first; x < last; x++) {
        poll(sweep->search->net.stop);
        if (!layout->alive[x] || sweep->tried.again_nothing(layout->changes, x))
            continue;
        Proposal again;
        Proposal *move = &again;
        bool shorter = false;
        if (batched && !sweep->skipped[x - first] &&
            still_holds(*layout, sweep->proposals[x - first])) {
            move = &sweep->proposals[x - first];
            shorter = sweep->found[x - first] != 0;
        } else {
            shorter = propose(*layout, sweep->search->screen.get(), static_cast<int32_t>(x),
                              &sweep->marks, &again);
        }
        if (!shorter) {
            sweep->tried.record(x, move->ball, move->rows, move->columns, layout->changes.clock);
            continue;
        }
        layout->changes.clock++;
        replace_piece(layout, move->ball, move->removed, std::move(move->local),
                      std::move(move->kept_ids), move->added);
        check_layout(*layout, "a local move");
        changed = true;
    }
    return changed;
}

// Local search sweeps over the Steiner points of layout, each point taken out
// and its subtree regrown; pruning keeps every Steiner point at degree 3 or
// more. Stops after a sweep that changes nothing. Moves are found MOVE_BATCH
// at a time on several threads, one at a time on one.
void local_search(Layout *layout, Search *search) {
    prune_all(layout);
    layout->changes.clock++;
    layout->changes.cells.cover(layout->points);
    Sweep sweep{layout, search, {}, {}, {}, {}, {}, {}};
    const bool batched = search->net.threads > 1;
    for (int pass = 0; pass < SWEEPS; pass++) {
        bool changed = false;
        const size_t end = layout->points.size();
        const size_t batch = batched ? MOVE_BATCH : 1;
        for (size_t first = layout->terminals; first < end; first += batch) {
            const size_t last = std::min(end, first + batch);
            // A proposal looks only at the places moved since its batch began.
            layout->changes.moved.clear();
            if ((first - layout->terminals) % MOVE_BATCH == 0 && first > layout->terminals)
                search->report("improve", layout->length,
                               (pass + static_cast<double>(first - layout->terminals) /
                                           static_cast<double>(end - layout->terminals)) /
                                   SWEEPS);
            if (batched)
                propose_batch(&sweep, first, last);
            changed = apply_batch(&sweep, first, last, batched) || changed;
        }
        if (!changed)
            break;
    }
}

} // namespace

std::vector<Point> after_local_search(Search *search, const std::vector<Point> &points,
                                      int64_t *length) {
    return changed_tree(search->net, points, length,
                        [search](Layout *layout) { local_search(layout, search); });
}

} // namespace steiner::internal
