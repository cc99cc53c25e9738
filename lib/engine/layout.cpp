// The local search and pruning, on an explicit spanning tree of the working
// set.
//
// A move takes out a Steiner point, with the Steiner points near it whose
// edges all stay within a few hops, and regrows that subtree from the Hanan
// points of its own points with the engine's greedy. The subtree is a minimum
// tree of its own points, so a regrown subtree that is shorter shortens the
// whole tree by at least as much: every accepted move is a true improvement,
// found without a global rebuild.
#include "engine.h"

#include "exact.h"
#include "mst1_dense.h"
#include "mst1_handle.h"
#include "parallel.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <unordered_set>
#include <utility>

namespace steiner::internal {

namespace {

// The subtree a local move regrows: points up to this many tree hops from the
// removed point, at most BALL_CAP of them beyond its direct neighbours. On the
// proven benchmark nets (mean above the optimum) three hops reach 0.235%,
// four 0.179%; five reach 0.163% in half again the time, but worse on some
// sets.
constexpr int BALL_DEPTH = 4;
constexpr size_t BALL_CAP = 40;

// A local move regrows greedily, then again from each of this many best
// first choices: a greedy that starts wrong rarely recovers. On the same nets
// 16 first choices reach 0.191%, 24 0.179%, 32 0.177%.
constexpr size_t LOOKAHEAD = 24;

// Sweeps of the local search: later sweeps find little.
constexpr int SWEEPS = 2;

// Moves found at once on several threads: enough to keep them busy, few
// enough that earlier moves of a batch seldom touch later ones.
constexpr size_t MOVE_BATCH = 256;

// Sweeps of exact windows, at most.
constexpr int WINDOW_SWEEPS = 8;

// The widths of wide windows, in fixed points, a sweep each: the first is
// WIDE_PLACES. On the proven benchmark nets (mean above the optimum) the
// first alone reaches 0.084%, all three 0.071%; on nets of 2,000 terminals
// the wider two cost a millisecond a terminal. Windows are found in batches
// of WIDE_BATCH.
constexpr size_t WIDE_LIMITS[] = {WIDE_PLACES, 30, 40};
constexpr size_t WIDE_ALL_TERMINALS = 1000;
constexpr size_t WIDE_BATCH = 64;

bool point_equal(const Point &a, const Point &b) {
    return a.row == b.row && a.column == b.column;
}

// Coarse cells over a box of points, each with the last time a place in it
// was taken or freed: a quick answer, erring towards yes, to whether any
// place in a box moved since a given time.
class MovedCells {
  public:
    void cover(const std::vector<Point> &points) {
        int64_t row_hi = INT64_MIN;
        int64_t column_hi = INT64_MIN;
        row0_ = column0_ = INT64_MAX;
        for (const Point &p : points) {
            row0_ = std::min<int64_t>(row0_, p.row);
            row_hi = std::max<int64_t>(row_hi, p.row);
            column0_ = std::min<int64_t>(column0_, p.column);
            column_hi = std::max<int64_t>(column_hi, p.column);
        }
        // About one point a cell.
        const auto across = static_cast<int64_t>(
            std::min<double>(MAX_ACROSS, std::sqrt(static_cast<double>(points.size())) + 1));
        side_ = std::max<int64_t>(1, (std::max(row_hi - row0_, column_hi - column0_) + 1) / across + 1);
        across_ = static_cast<size_t>(across + 1);
        latest_.assign(across_ * across_, 0);
    }
    void mark(const Point &p, uint64_t time) {
        if (!latest_.empty())
            latest_[cell(p.row, row0_) * across_ + cell(p.column, column0_)] = time;
    }
    // Whether a place in rows row_lo..row_hi, columns column_lo..column_hi
    // may have moved after time since.
    bool moved_since(int32_t row_lo, int32_t row_hi, int32_t column_lo, int32_t column_hi,
                     uint64_t since) const {
        if (row_lo > row_hi || column_lo > column_hi)
            return false;
        const size_t r0 = cell(row_lo, row0_);
        const size_t r1 = cell(row_hi, row0_);
        const size_t c0 = cell(column_lo, column0_);
        const size_t c1 = cell(column_hi, column0_);
        if ((r1 - r0 + 1) * (c1 - c0 + 1) > MAX_CELLS)
            return true;
        for (size_t r = r0; r <= r1; r++)
            for (size_t c = c0; c <= c1; c++)
                if (latest_[r * across_ + c] > since)
                    return true;
        return false;
    }

  private:
    static constexpr double MAX_ACROSS = 1024;
    static constexpr size_t MAX_CELLS = 256;

    size_t cell(int64_t at, int64_t origin) const {
        const int64_t k = (at - origin) / side_;
        return static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(k, 0),
                                                     static_cast<int64_t>(across_) - 1));
    }

    int64_t row0_ = 0;
    int64_t column0_ = 0;
    int64_t side_ = 1;
    size_t across_ = 0;
    std::vector<uint64_t> latest_;
};

// Marks for one thread's moves: per point, the move that last reached it.
struct Marks {
    std::vector<uint32_t> seen;
    uint32_t move = 0;
};

// An explicit spanning tree of the terminals and Steiner points, changed by
// local moves. Points taken out stay in the arrays, marked dead.
struct Layout {
    std::vector<Point> points; // the terminals first
    std::vector<uint8_t> alive;
    std::vector<std::vector<int32_t>> adjacency;
    std::unordered_set<uint64_t> taken; // coordinates of the living points
    Marks marks; // of exact windows
    size_t terminals;
    int64_t length;
    // A clock that ticks with every move applied; per point, the time its
    // edges last changed or it was taken out; the places taken or freed in
    // the current batch of moves, with their times; and when places moved,
    // by coarse cells, during the local search.
    uint64_t clock = 0;
    std::vector<uint64_t> changed;
    std::vector<std::pair<uint64_t, Point>> moved;
    MovedCells cells;
};

// The layout of the spanning tree of points given by parent, of that length.
Layout make_layout(const std::vector<Point> &points, const std::vector<int32_t> &parent,
                   int64_t length, size_t terminals) {
    Layout layout;
    layout.points = points;
    layout.alive.assign(points.size(), 1);
    layout.adjacency.resize(points.size());
    layout.length = length;
    for (size_t k = 1; k < points.size(); k++) {
        layout.adjacency[k].push_back(parent[k]);
        layout.adjacency[static_cast<size_t>(parent[k])].push_back(static_cast<int32_t>(k));
    }
    layout.marks.seen.assign(points.size(), 0);
    layout.changed.assign(points.size(), 0);
    layout.terminals = terminals;
    return layout;
}

void unlink(Layout *layout, int32_t a, int32_t b) {
    auto drop = [](std::vector<int32_t> *list, int32_t v) {
        list->erase(std::find(list->begin(), list->end(), v));
    };
    drop(&layout->adjacency[static_cast<size_t>(a)], b);
    drop(&layout->adjacency[static_cast<size_t>(b)], a);
    layout->changed[static_cast<size_t>(a)] = layout->changed[static_cast<size_t>(b)] =
        layout->clock;
    layout->length -= rect_dist_points(layout->points[static_cast<size_t>(a)],
                                       layout->points[static_cast<size_t>(b)]);
}

void link(Layout *layout, int32_t a, int32_t b) {
    layout->adjacency[static_cast<size_t>(a)].push_back(b);
    layout->adjacency[static_cast<size_t>(b)].push_back(a);
    layout->changed[static_cast<size_t>(a)] = layout->changed[static_cast<size_t>(b)] =
        layout->clock;
    layout->length += rect_dist_points(layout->points[static_cast<size_t>(a)],
                                       layout->points[static_cast<size_t>(b)]);
}

void kill(Layout *layout, int32_t x) {
    layout->alive[static_cast<size_t>(x)] = 0;
    layout->taken.erase(point_key(layout->points[static_cast<size_t>(x)]));
    layout->changed[static_cast<size_t>(x)] = layout->clock;
    layout->moved.emplace_back(layout->clock, layout->points[static_cast<size_t>(x)]);
    layout->cells.mark(layout->points[static_cast<size_t>(x)], layout->clock);
}

int32_t add_point(Layout *layout, const Point &p) {
    layout->points.push_back(p);
    layout->alive.push_back(1);
    layout->adjacency.emplace_back();
    layout->marks.seen.push_back(0);
    layout->changed.push_back(layout->clock);
    layout->taken.insert(point_key(p));
    layout->moved.emplace_back(layout->clock, p);
    layout->cells.mark(p, layout->clock);
    return static_cast<int32_t>(layout->points.size() - 1);
}

// Takes out Steiner points of degree 1 and 2 (a degree-2 point's two edges
// become one, which is no longer), until none is left, starting from x.
void prune(Layout *layout, int32_t x) {
    std::vector<int32_t> work{x};
    while (!work.empty()) {
        const int32_t v = work.back();
        work.pop_back();
        const auto sv = static_cast<size_t>(v);
        if (sv < layout->terminals || !layout->alive[sv] || layout->adjacency[sv].size() > 2)
            continue;
        const std::vector<int32_t> ends = layout->adjacency[sv];
        for (int32_t e : ends)
            unlink(layout, v, e);
        if (ends.size() == 2)
            link(layout, ends[0], ends[1]);
        kill(layout, v);
        work.insert(work.end(), ends.begin(), ends.end());
    }
}

// Greedy growth of base from the candidates of pool, with forced (-1: none)
// joining first. Returns the length; *added gets the candidates kept, in
// order, found by their place in pool.points, which is sorted by row, then
// column.
int64_t regrow(const std::vector<Point> &base, const Pool &pool, int32_t forced,
               std::vector<int32_t> *added) {
    std::vector<Point> points = base;
    int64_t length = 0;
    keep_greedily(&points, &length, pool, forced);
    added->clear();
    for (size_t k = base.size(); k < points.size(); k++) {
        const auto at =
            std::lower_bound(pool.points.begin(), pool.points.end(), points[k], point_less);
        added->push_back(static_cast<int32_t>(at - pool.points.begin()));
    }
    return length;
}

// Joins the nodes ids (at points chosen) and new Steiner points added with
// their spanning tree, then prunes them all.
void join(Layout *layout, std::vector<Point> chosen, std::vector<int32_t> ids,
          const std::vector<Point> &added) {
    for (const Point &p : added) {
        chosen.push_back(p);
        ids.push_back(add_point(layout, p));
    }
    std::vector<int32_t> parent;
    mst1_build_tree_into(chosen, &parent);
    for (size_t k = 1; k < chosen.size(); k++)
        link(layout, ids[k], ids[static_cast<size_t>(parent[k])]);
    for (int32_t v : ids)
        prune(layout, v);
}

// What a move found: the subtree it takes out and the points that regrow it.
struct Proposal {
    std::vector<int32_t> ball; // its nodes, x first
    std::vector<int32_t> up;   // the node each was reached from
    std::vector<uint8_t> removed;
    std::vector<Point> local; // the nodes that stay
    std::vector<int32_t> kept_ids;
    std::vector<Point> added;   // the new Steiner points, in the order kept
    std::vector<int32_t> rows;  // the lines its candidates lie on, sorted
    std::vector<int32_t> columns;
    uint64_t at = 0; // the layout's time when it was found
};

// One move of the local search: the subtree within BALL_DEPTH hops of
// Steiner point x loses x and every other Steiner point whose edges all stay
// inside it, and is regrown greedily from the Hanan points of its points near
// the removed ones; the greedy also starts from each of the best few first
// choices in turn. Returns whether the regrown subtree is shorter, with
// *proposal filled to apply it; the layout is only read.
bool propose(const Layout &layout, const ScreenIndex *screen, int32_t x, Marks *marks,
             Proposal *proposal) {
    const auto sx = static_cast<size_t>(x);
    proposal->at = layout.clock;
    if (marks->seen.size() < layout.points.size())
        marks->seen.resize(layout.points.size(), 0);
    std::vector<uint32_t> &seen = marks->seen;
    const uint32_t move = ++marks->move;
    std::vector<int32_t> &ball = proposal->ball;
    std::vector<int32_t> &up = proposal->up;
    ball.assign(1, x);
    up.assign(1, -1);
    seen[sx] = move;
    size_t layer_first = 0;
    for (int depth = 1; depth <= BALL_DEPTH; depth++) {
        const size_t layer_last = ball.size();
        for (size_t k = layer_first; k < layer_last; k++) {
            for (int32_t v : layout.adjacency[static_cast<size_t>(ball[k])]) {
                const auto sv = static_cast<size_t>(v);
                if (seen[sv] == move)
                    continue;
                // x's own neighbours always belong: x's edges all go.
                if (depth > 1 && ball.size() > BALL_CAP)
                    continue;
                seen[sv] = move;
                ball.push_back(v);
                up.push_back(ball[k]);
            }
        }
        layer_first = layer_last;
    }
    int64_t old_length = 0;
    for (size_t k = 1; k < ball.size(); k++)
        old_length += rect_dist_points(layout.points[static_cast<size_t>(ball[k])],
                                       layout.points[static_cast<size_t>(up[k])]);
    // Removed: x, and Steiner points with no edge leaving the subtree. The
    // window spans their bounding box widened by their longest edge.
    std::vector<uint8_t> &removed = proposal->removed;
    removed.assign(ball.size(), 0);
    removed[0] = 1;
    int64_t reach = 0;
    int64_t row_lo = layout.points[sx].row;
    int64_t row_hi = row_lo;
    int64_t column_lo = layout.points[sx].column;
    int64_t column_hi = column_lo;
    for (size_t k = 0; k < ball.size(); k++) {
        const auto sv = static_cast<size_t>(ball[k]);
        if (k > 0 && sv < layout.terminals)
            continue;
        bool inside = true;
        int64_t longest = 0;
        for (int32_t v : layout.adjacency[sv]) {
            inside = inside && seen[static_cast<size_t>(v)] == move;
            longest = std::max<int64_t>(
                longest, rect_dist_points(layout.points[sv], layout.points[static_cast<size_t>(v)]));
        }
        if (!inside)
            continue;
        removed[k] = 1;
        reach = std::max(reach, longest);
        row_lo = std::min<int64_t>(row_lo, layout.points[sv].row);
        row_hi = std::max<int64_t>(row_hi, layout.points[sv].row);
        column_lo = std::min<int64_t>(column_lo, layout.points[sv].column);
        column_hi = std::max<int64_t>(column_hi, layout.points[sv].column);
    }
    std::vector<Point> &local = proposal->local;
    std::vector<int32_t> &kept_ids = proposal->kept_ids;
    std::vector<int32_t> &rows = proposal->rows;
    std::vector<int32_t> &columns = proposal->columns;
    local.clear();
    kept_ids.clear();
    rows.clear();
    columns.clear();
    Pool pool;
    for (size_t k = 0; k < ball.size(); k++) {
        const Point &p = layout.points[static_cast<size_t>(ball[k])];
        if (!removed[k]) {
            local.push_back(p);
            kept_ids.push_back(ball[k]);
        }
        if (p.row >= row_lo - reach && p.row <= row_hi + reach)
            rows.push_back(p.row);
        if (p.column >= column_lo - reach && p.column <= column_hi + reach)
            columns.push_back(p.column);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    for (int32_t row : rows) {
        for (int32_t column : columns) {
            const Point c{row, column};
            if (layout.taken.count(point_key(c)) != 0) {
                // A removed point's place is free again.
                bool free = false;
                for (size_t k = 0; k < ball.size(); k++)
                    free = free || (removed[k] &&
                                    point_equal(layout.points[static_cast<size_t>(ball[k])], c));
                if (!free)
                    continue;
            }
            if (screen_candidate_indexed(screen, row, column))
                pool.points.push_back(c);
        }
    }
    pool.gains = measure_gains(local, pool.points, 1);
    const std::vector<int64_t> &gains = pool.gains;
    std::vector<int32_t> added;
    int64_t best = regrow(local, pool, -1, &added);
    std::vector<int32_t> by_gain;
    for (size_t k = 0; k < gains.size(); k++)
        if (gains[k] > 0)
            by_gain.push_back(static_cast<int32_t>(k));
    const size_t tries = std::min(by_gain.size(), LOOKAHEAD);
    std::partial_sort(by_gain.begin(), by_gain.begin() + static_cast<ptrdiff_t>(tries),
                      by_gain.end(), [&gains](int32_t a, int32_t b) {
                          return gains[static_cast<size_t>(a)] != gains[static_cast<size_t>(b)]
                                     ? gains[static_cast<size_t>(a)] > gains[static_cast<size_t>(b)]
                                     : a < b;
                      });
    std::vector<int32_t> other;
    for (size_t t = 0; t < tries; t++) {
        if (!added.empty() && by_gain[t] == added[0])
            continue;
        const int64_t length = regrow(local, pool, by_gain[t], &other);
        if (length < best) {
            best = length;
            added = other;
        }
    }
    if (best >= old_length)
        return false;
    proposal->added.clear();
    for (int32_t k : added)
        proposal->added.push_back(pool.points[static_cast<size_t>(k)]);
    return true;
}

// Replaces the subtree of a proposal by its regrown one.
void apply(Layout *layout, Proposal *proposal) {
    const std::vector<int32_t> &ball = proposal->ball;
    for (size_t k = 1; k < ball.size(); k++)
        unlink(layout, ball[k], proposal->up[k]);
    for (size_t k = 0; k < ball.size(); k++)
        if (proposal->removed[k])
            kill(layout, ball[k]);
    join(layout, std::move(proposal->local), std::move(proposal->kept_ids), proposal->added);
}

// Whether a proposal found as its batch began would be found the same now:
// none of the nodes of its subtree changed, and no place on the lines of its
// candidates was taken or freed.
bool still_holds(const Layout &layout, const Proposal &proposal) {
    for (int32_t v : proposal.ball)
        if (layout.changed[static_cast<size_t>(v)] > proposal.at)
            return false;
    return std::none_of(layout.moved.begin(), layout.moved.end(),
                        [&proposal](const std::pair<uint64_t, Point> &entry) {
                            return entry.first > proposal.at &&
                                   std::binary_search(proposal.rows.begin(), proposal.rows.end(),
                                                      entry.second.row) &&
                                   std::binary_search(proposal.columns.begin(),
                                                      proposal.columns.end(), entry.second.column);
                        });
}

// The moves that found nothing, per point: when, the subtree and the box
// around the candidates, so that a later sweep passes over the point while
// none of that has changed, as the move would find nothing again.
class Tried {
  public:
    void record(const Proposal &proposal, uint64_t at) {
        const auto x = static_cast<size_t>(proposal.ball[0]);
        if (entries_.size() <= x)
            entries_.resize(x + 1);
        Entry &entry = entries_[x];
        entry.at = at;
        entry.first = nodes_.size();
        entry.count = proposal.ball.size();
        nodes_.insert(nodes_.end(), proposal.ball.begin(), proposal.ball.end());
        // No candidate lines: an empty box.
        entry.box = {1, 0, 1, 0};
        if (!proposal.rows.empty() && !proposal.columns.empty())
            entry.box = {proposal.rows.front(), proposal.rows.back(), proposal.columns.front(),
                         proposal.columns.back()};
    }

    bool again_nothing(const Layout &layout, size_t x) const {
        if (x >= entries_.size() || entries_[x].at == 0)
            return false;
        const Entry &entry = entries_[x];
        for (size_t k = entry.first; k < entry.first + entry.count; k++)
            if (layout.changed[static_cast<size_t>(nodes_[k])] > entry.at)
                return false;
        return !layout.cells.moved_since(entry.box[0], entry.box[1], entry.box[2], entry.box[3],
                                         entry.at);
    }

  private:
    struct Entry {
        uint64_t at = 0; // 0: no move recorded
        size_t first = 0;
        size_t count = 0;
        std::array<int32_t, 4> box{}; // rows from, to; columns from, to
    };
    std::vector<Entry> entries_;
    std::vector<int32_t> nodes_;
};

// Local search sweeps over the Steiner points of layout, each point taken out
// and its subtree regrown; pruning keeps every Steiner point at degree 3 or
// more. Stops after a sweep that changes nothing.
//
// On several threads the moves of a batch of MOVE_BATCH points are found at
// once against the layout as the batch began, then applied in order. A move
// whose subtree or candidate lines an earlier move of the batch touched is
// found again on the spot, so the result is the one moves made one after
// another give, on any number of threads.
void improve(Layout *layout, Search *search) {
    const ScreenIndex *screen = search->screen.get();
    const int threads = search->net.threads;
    for (size_t x = layout->terminals; x < layout->points.size(); x++)
        prune(layout, static_cast<int32_t>(x));
    layout->clock++;
    layout->cells.cover(layout->points);
    Marks marks;
    Tried tried;
    std::vector<Marks> worker_marks;
    std::vector<Proposal> proposals;
    std::vector<uint8_t> found;
    std::vector<uint8_t> skipped;
    for (int sweep = 0; sweep < SWEEPS; sweep++) {
        bool changed = false;
        const size_t end = layout->points.size();
        const size_t batch = threads > 1 ? MOVE_BATCH : 1;
        for (size_t first = layout->terminals; first < end; first += batch) {
            const size_t last = std::min(end, first + batch);
            // A proposal looks only at the places moved since its batch began.
            layout->moved.clear();
            if ((first - layout->terminals) % MOVE_BATCH == 0 && first > layout->terminals)
                search->report("improve", layout->length,
                               (sweep + static_cast<double>(first - layout->terminals) /
                                            static_cast<double>(end - layout->terminals)) /
                                   SWEEPS);
            if (batch > 1) {
                proposals.resize(last - first);
                found.assign(last - first, 0);
                skipped.assign(last - first, 0);
                for (size_t x = first; x < last; x++)
                    skipped[x - first] = !layout->alive[x] || tried.again_nothing(*layout, x);
                const size_t workers = std::min(last - first, static_cast<size_t>(threads));
                worker_marks.resize(workers);
                std::atomic<size_t> next{first};
                run_parallel(workers, threads, [&](size_t w) {
                    for (size_t x = next++; x < last; x = next++) {
                        poll(search->net.stop);
                        if (!skipped[x - first])
                            found[x - first] = propose(*layout, screen, static_cast<int32_t>(x),
                                                       &worker_marks[w], &proposals[x - first]);
                    }
                });
            }
            for (size_t x = first; x < last; x++) {
                poll(search->net.stop);
                if (!layout->alive[x] || tried.again_nothing(*layout, x))
                    continue;
                Proposal again;
                Proposal *move = &again;
                bool shorter = false;
                if (batch > 1 && !skipped[x - first] &&
                    still_holds(*layout, proposals[x - first])) {
                    move = &proposals[x - first];
                    shorter = found[x - first] != 0;
                } else {
                    shorter = propose(*layout, screen, static_cast<int32_t>(x), &marks, &again);
                }
                if (!shorter) {
                    tried.record(*move, layout->clock);
                    continue;
                }
                layout->clock++;
                apply(layout, move);
                changed = true;
            }
        }
        if (!changed)
            break;
    }
}

// A window: the connected piece of the tree grown breadth first from a
// centre while its fixed points (its terminals, and its nodes with edges
// leaving it) number at most a limit. Its other Steiner points and its edges
// give way to a shorter tree over the fixed points when one is found; the
// rest of the tree hangs from the fixed points, so it stays one tree.
struct Window {
    std::vector<int32_t> nodes;   // the centre first
    std::vector<uint8_t> fixed;   // per node
    std::vector<Point> places;    // of the fixed nodes
    std::vector<int32_t> place_ids;
    int64_t before = 0;           // the length of its edges
    std::vector<Point> steiner;   // of the shorter tree, in the order kept
    bool shorter = false;
    uint64_t at = 0; // the layout's time when it was gathered
};

// The window of at most limit fixed points around centre; the nodes reached
// are marked with a fresh mark.
void gather(const Layout &layout, int32_t centre, size_t limit, Marks *marks, Window *window) {
    const uint32_t mark = ++marks->move;
    if (marks->seen.size() < layout.points.size())
        marks->seen.resize(layout.points.size(), 0);
    auto fixed = [&layout](int32_t v, int32_t outside) {
        return static_cast<size_t>(v) < layout.terminals || outside > 0;
    };
    std::vector<int32_t> &nodes = window->nodes;
    nodes.assign(1, centre);
    std::vector<int32_t> outside{
        static_cast<int32_t>(layout.adjacency[static_cast<size_t>(centre)].size())};
    marks->seen[static_cast<size_t>(centre)] = mark;
    size_t fixed_count = fixed(centre, outside[0]) ? 1 : 0;
    for (size_t k = 0; k < nodes.size(); k++) {
        for (int32_t v : layout.adjacency[static_cast<size_t>(nodes[k])]) {
            const auto sv = static_cast<size_t>(v);
            if (marks->seen[sv] == mark)
                continue;
            // v joins: its only neighbour inside is nodes[k].
            const auto v_outside = static_cast<int32_t>(layout.adjacency[sv].size()) - 1;
            const size_t after =
                fixed_count + (fixed(v, v_outside) ? 1 : 0) -
                (fixed(nodes[k], outside[k]) && !fixed(nodes[k], outside[k] - 1) ? 1 : 0);
            if (after > limit)
                continue;
            marks->seen[sv] = mark;
            nodes.push_back(v);
            outside.push_back(v_outside);
            outside[k]--;
            fixed_count = after;
        }
    }
    window->fixed.assign(nodes.size(), 0);
    window->places.clear();
    window->place_ids.clear();
    window->before = 0;
    window->steiner.clear();
    window->shorter = false;
    window->at = layout.clock;
    for (size_t k = 0; k < nodes.size(); k++) {
        const auto sv = static_cast<size_t>(nodes[k]);
        if (fixed(nodes[k], outside[k])) {
            window->fixed[k] = 1;
            window->places.push_back(layout.points[sv]);
            window->place_ids.push_back(nodes[k]);
        }
        for (int32_t v : layout.adjacency[sv])
            if (v < nodes[k] && marks->seen[static_cast<size_t>(v)] == mark)
                window->before +=
                    rect_dist_points(layout.points[sv], layout.points[static_cast<size_t>(v)]);
    }
}

// Looks for a tree over the window's fixed points shorter than its edges:
// minimal from the tables for few places, else the search's best on them as
// a net of its own, polling stop. Only Steiner points that shorten the piece
// one at a time are kept, as the router keeps no others.
void solve(Window *window, Mst1Stop stop) {
    const std::vector<Point> &places = window->places;
    if (places.size() < 2)
        return;
    std::vector<Point> steiner;
    if (places.size() > EXACT_TABLE_PLACES) {
        SearchOptions options;
        options.improve = true;
        options.wide = false;
        options.stepwise = true;
        options.stop = stop;
        const SearchResult found = search_steiner_points(
            places.data(), static_cast<int32_t>(places.size()), options);
        if (found.length < window->before) {
            window->steiner.assign(found.points.begin() + static_cast<std::ptrdiff_t>(places.size()),
                                   found.points.end());
            window->shorter = true;
        }
        return;
    }
    if (exact_steiner_tree(places.data(), places.size(), &steiner) >= window->before)
        return;
    // The largest gain first.
    Mst1Dense piece(places.size() + steiner.size());
    piece.assign(places.data(), places.size());
    std::vector<Point> kept;
    for (;;) {
        size_t pick = steiner.size();
        int64_t most = 0;
        for (size_t k = 0; k < steiner.size(); k++)
            if (const int64_t gain = piece.gain(steiner[k]); gain > most) {
                most = gain;
                pick = k;
            }
        if (pick == steiner.size())
            break;
        piece.add(steiner[pick]);
        kept.push_back(steiner[pick]);
        steiner.erase(steiner.begin() + static_cast<std::ptrdiff_t>(pick));
    }
    if (piece.length() < window->before) {
        window->steiner = std::move(kept);
        window->shorter = true;
    }
}

// Puts the window's shorter tree in place of its piece, unless a new Steiner
// point would land on a place another node of the tree holds. Returns whether
// it did.
bool replace(Layout *layout, Window *window) {
    std::unordered_set<uint64_t> freed;
    for (size_t k = 0; k < window->nodes.size(); k++)
        if (!window->fixed[k])
            freed.insert(point_key(layout->points[static_cast<size_t>(window->nodes[k])]));
    for (const Point &p : window->steiner) {
        const uint64_t key = point_key(p);
        if (layout->taken.count(key) != 0 && freed.count(key) == 0)
            return false;
    }
    for (size_t k = 0; k < window->nodes.size(); k++) {
        const int32_t x = window->nodes[k];
        for (int32_t v : std::vector<int32_t>(layout->adjacency[static_cast<size_t>(x)])) {
            const auto at = std::find(window->nodes.begin(), window->nodes.end(), v);
            if (v < x && at != window->nodes.end())
                unlink(layout, x, v);
        }
    }
    for (size_t k = 0; k < window->nodes.size(); k++)
        if (!window->fixed[k])
            kill(layout, window->nodes[k]);
    join(layout, window->places, window->place_ids, window->steiner);
    return true;
}

// Whether nothing the window saw has changed since it was gathered.
bool unchanged(const Layout &layout, const Window &window) {
    return std::all_of(window.nodes.begin(), window.nodes.end(), [&](int32_t v) {
        return layout.alive[static_cast<size_t>(v)] &&
               layout.changed[static_cast<size_t>(v)] <= window.at;
    });
}

// Exact windows from every node in turn, sweep after sweep while one shortens
// the tree.
void improve_by_windows(Layout *layout, Mst1Stop stop) {
    for (size_t x = layout->terminals; x < layout->points.size(); x++)
        prune(layout, static_cast<int32_t>(x));
    Window window;
    for (int sweep = 0; sweep < WINDOW_SWEEPS; sweep++) {
        bool changed = false;
        const size_t end = layout->points.size();
        for (size_t x = 0; x < end; x++) {
            poll(stop);
            // Only the local search looks at the places moved.
            layout->moved.clear();
            if (!layout->alive[x])
                continue;
            gather(*layout, static_cast<int32_t>(x), EXACT_TABLE_PLACES, &layout->marks, &window);
            solve(&window, stop);
            if (window.shorter && replace(layout, &window))
                changed = true;
        }
        if (!changed)
            break;
    }
}

// Wide windows re-solved by the search, a sweep for each width of
// WIDE_LIMITS (the first alone on nets of more than WIDE_ALL_TERMINALS), from
// the nodes no earlier window of the sweep reached, every other sweep
// backwards. The windows of a batch are gathered against the layout as the
// batch began and solved at once on every thread, then put in place in
// order; one whose nodes an earlier window of the batch changed is gathered
// and solved again on the spot, so that the result does not depend on the
// threads.
void improve_by_wide_windows(Layout *layout, Search *search) {
    const int threads = search->net.threads;
    const size_t sweeps = layout->terminals > WIDE_ALL_TERMINALS ? 1 : std::size(WIDE_LIMITS);
    std::vector<Window> windows(WIDE_BATCH);
    for (size_t sweep = 0; sweep < sweeps; sweep++) {
        const size_t limit = WIDE_LIMITS[sweep];
        // A window as wide as the net is the net, which the search has seen.
        if (limit >= layout->terminals)
            break;
        const size_t end = layout->points.size();
        std::vector<uint8_t> reached(end, 0);
        auto centre = [sweep, end](size_t k) { return sweep % 2 == 0 ? k : end - 1 - k; };
        auto cover = [&reached](const Window &window) {
            for (int32_t v : window.nodes)
                if (static_cast<size_t>(v) < reached.size())
                    reached[static_cast<size_t>(v)] = 1;
        };
        for (size_t next = 0; next < end;) {
            search->report("windows", layout->length,
                           (static_cast<double>(sweep) +
                            static_cast<double>(next) / static_cast<double>(end)) /
                               static_cast<double>(sweeps));
            layout->moved.clear();
            size_t count = 0;
            for (; next < end && count < WIDE_BATCH; next++) {
                const size_t x = centre(next);
                if (!layout->alive[x] || reached[x])
                    continue;
                gather(*layout, static_cast<int32_t>(x), limit, &layout->marks, &windows[count]);
                cover(windows[count]);
                count++;
            }
            run_parallel(count, threads,
                         [&windows, search](size_t k) { solve(&windows[k], search->net.stop); });
            layout->clock++;
            for (size_t k = 0; k < count; k++) {
                poll(search->net.stop);
                Window &window = windows[k];
                if (!unchanged(*layout, window)) {
                    if (!layout->alive[static_cast<size_t>(window.nodes[0])])
                        continue;
                    gather(*layout, window.nodes[0], limit, &layout->marks, &window);
                    cover(window);
                    solve(&window, search->net.stop);
                }
                if (window.shorter && replace(layout, &window))
                    layout->clock++;
            }
        }
    }
    search->report("windows", layout->length);
}

std::vector<Point> alive_steiner(const Layout &layout) {
    std::vector<Point> rest;
    for (size_t k = layout.terminals; k < layout.points.size(); k++)
        if (layout.alive[k])
            rest.push_back(layout.points[k]);
    return rest;
}

} // namespace

std::vector<Point> pruned(const Net &net, const std::vector<Point> &points,
                          std::vector<int32_t> *parents, int64_t *length) {
    const std::vector<int32_t> &parent = *parents;
    *length = mst1_build_tree_into(points, parents, net.stop);
    std::vector<int32_t> degree(points.size(), 0);
    for (size_t k = 1; k < points.size(); k++) {
        degree[k]++;
        degree[static_cast<size_t>(parent[k])]++;
    }
    // Mostly there is nothing to prune, and no explicit tree is needed.
    if (std::all_of(degree.begin() + static_cast<std::ptrdiff_t>(net.count), degree.end(),
                    [](int32_t d) { return d > 2; }))
        return std::vector<Point>(points.begin() + static_cast<std::ptrdiff_t>(net.count),
                                  points.end());
    Layout layout = make_layout(points, parent, *length, net.count);
    for (size_t x = layout.terminals; x < layout.points.size(); x++)
        prune(&layout, static_cast<int32_t>(x));
    return alive_steiner(layout);
}

namespace {

// The spanning tree of points as a layout with every place taken, changed by
// improve, and the Steiner points it leaves; *length gets their tree's length.
template <class Improve>
std::vector<Point> improved_layout(const Net &net, const std::vector<Point> &points,
                                   int64_t *length, Improve improve_layout) {
    std::vector<int32_t> parent;
    const int64_t start = mst1_build_tree_into(points, &parent, net.stop);
    Layout layout = make_layout(points, parent, start, net.count);
    for (const Point &p : points)
        layout.taken.insert(point_key(p));
    improve_layout(&layout);
    *length = layout.length;
    return alive_steiner(layout);
}

} // namespace

std::vector<Point> improve_locally(Search *search, const std::vector<Point> &points,
                                   int64_t *length) {
    return improved_layout(search->net, points, length,
                           [search](Layout *layout) { improve(layout, search); });
}

std::vector<Point> improve_windows(const Net &net, const std::vector<Point> &points,
                                   int64_t *length) {
    return improved_layout(net, points, length,
                           [&net](Layout *layout) { improve_by_windows(layout, net.stop); });
}

std::vector<Point> improve_wide_windows(Search *search, const std::vector<Point> &points,
                                        int64_t *length) {
    return improved_layout(search->net, points, length, [search](Layout *layout) {
        improve_by_wide_windows(layout, search);
    });
}

} // namespace steiner::internal
