// Steiner points for large nets: local candidates, greedy growth and a local
// search, each step linear or n log n in the net's size.
//
// Candidates are medians of a point and two of its nearest neighbours in the
// octant graph (for every point, its nearest point in each octant found by a
// sweep), which holds a minimum spanning tree; a median of three points is
// where their shortest connecting tree meets. Gains are exact: a candidate is
// added to the tree package's incremental tree and rolled back. The greedy
// keeps the candidate that shortens the tree most, re-measuring lazily, and the
// candidates are formed again around the points that joined.
//
// The local search keeps an explicit spanning tree. A move takes out a Steiner
// point, with the Steiner points near it whose edges all stay within a few
// hops, and regrows that subtree from the Hanan points of its own points. The
// subtree is a minimum tree of its own points, so a regrown subtree that is
// shorter shortens the whole tree by at least as much: every accepted move is
// a true improvement, found without a global rebuild.
#include "scale.h"

#include "mst1_handle.h"
#include "parallel.h"

#include "screening.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <numeric>
#include <queue>
#include <system_error>
#include <thread>
#include <unordered_set>

namespace steiner::internal {

namespace {

// Neighbours per point that take part in medians: the nearest ones in the
// octant graph. Eight covers a point's octant neighbours in a uniform net;
// more adds candidates that rarely win.
constexpr size_t NEIGHBOURS = 8;

// Rounds of forming candidates and keeping the best of them, at most. Later
// rounds find little; the cap bounds the time on any net.
constexpr int GROW_ROUNDS = 12;

// Candidates per incremental tree in a gain pass. Each tree also holds the
// whole working set, so fewer, larger chunks cost fewer additions, while the
// cap keeps a tree's memory (a few hundred bytes per point) modest.
constexpr size_t CHUNK_POINTS = size_t{1} << 19;

// The subtree a local move regrows: points up to this many tree hops from the
// removed point, at most BALL_CAP of them beyond its direct neighbours.
// Smaller subtrees leave most of the search's gain unfound; larger ones cost
// time for little more.
constexpr int BALL_DEPTH = 3;
constexpr size_t BALL_CAP = 40;

// A local move regrows greedily, then again from each of this many best
// first choices: a greedy that starts wrong rarely recovers, and trying the
// alternatives more than halves the distance to the optimum.
constexpr size_t LOOKAHEAD = 8;

// Sweeps of the local search per round, and rounds of search, reorder and
// growth; each round must shorten the tree to be followed by another.
constexpr int SWEEPS = 2;
constexpr int MAX_ROUNDS = 8;

using Progress = void (*)(void *, const ScaleProgress &);

struct ScreenDeleter {
    void operator()(ScreenIndex *index) const {
        screen_index_free(index);
    }
};
using ScreenPtr = std::unique_ptr<ScreenIndex, ScreenDeleter>;

int64_t distance(const Point &a, const Point &b) {
    const int64_t rows = int64_t{a.row} - b.row;
    const int64_t columns = int64_t{a.column} - b.column;
    return (rows < 0 ? -rows : rows) + (columns < 0 ? -columns : columns);
}

bool point_less(const Point &a, const Point &b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
}

bool point_equal(const Point &a, const Point &b) {
    return a.row == b.row && a.column == b.column;
}

uint64_t point_key(const Point &p) {
    return (uint64_t{static_cast<uint32_t>(p.row)} << 32) | static_cast<uint32_t>(p.column);
}

int32_t median3(int32_t a, int32_t b, int32_t c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

struct Edge {
    int64_t length;
    int32_t a;
    int32_t b;
};

// For every point, edges to its nearest point in each octant (ties broken by
// the sweep), at most four per point per direction: a graph that holds a
// minimum spanning tree of the points. Four sweeps, each over the points by
// row plus column, keep the points still looking for a neighbour in one
// octant in a map ordered along the sweep.
std::vector<Edge> octant_edges(const std::vector<Point> &points) {
    const size_t n = points.size();
    std::vector<int64_t> x(n);
    std::vector<int64_t> y(n);
    for (size_t k = 0; k < n; k++) {
        x[k] = points[k].row;
        y[k] = points[k].column;
    }
    std::vector<int32_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::vector<Edge> edges;
    edges.reserve(4 * n);
    for (int pass = 0; pass < 4; pass++) {
        std::sort(order.begin(), order.end(), [&](int32_t i, int32_t j) {
            const int64_t si = x[static_cast<size_t>(i)] + y[static_cast<size_t>(i)];
            const int64_t sj = x[static_cast<size_t>(j)] + y[static_cast<size_t>(j)];
            return si != sj ? si < sj : i < j;
        });
        std::map<int64_t, int32_t> sweep;
        for (int32_t i : order) {
            const auto si = static_cast<size_t>(i);
            for (auto it = sweep.lower_bound(-y[si]); it != sweep.end(); it = sweep.erase(it)) {
                const int32_t j = it->second;
                const auto sj = static_cast<size_t>(j);
                if (y[si] - y[sj] > x[si] - x[sj])
                    break;
                edges.push_back(Edge{distance(points[si], points[sj]), i, j});
            }
            sweep[-y[si]] = i;
        }
        for (size_t k = 0; k < n; k++) {
            if (pass & 1)
                x[k] = -x[k];
            else
                std::swap(x[k], y[k]);
        }
    }
    return edges;
}

bool edge_less(const Edge &e, const Edge &f) {
    if (e.length != f.length)
        return e.length < f.length;
    return e.a != f.a ? e.a < f.a : e.b < f.b;
}

// Kruskal's algorithm over the octant graph: a minimum spanning tree.
std::vector<Edge> spanning_edges(const std::vector<Point> &points) {
    std::vector<Edge> edges = octant_edges(points);
    std::sort(edges.begin(), edges.end(), edge_less);
    std::vector<int32_t> root(points.size());
    std::iota(root.begin(), root.end(), 0);
    auto find = [&root](int32_t v) {
        while (root[static_cast<size_t>(v)] != v) {
            const int32_t up = root[static_cast<size_t>(root[static_cast<size_t>(v)])];
            root[static_cast<size_t>(v)] = up;
            v = up;
        }
        return v;
    };
    std::vector<Edge> tree;
    for (const Edge &e : edges) {
        const int32_t ra = find(e.a);
        const int32_t rb = find(e.b);
        if (ra == rb)
            continue;
        root[static_cast<size_t>(ra)] = rb;
        tree.push_back(e);
    }
    return tree;
}

int64_t total_length(const std::vector<Edge> &edges) {
    int64_t sum = 0;
    for (const Edge &e : edges)
        sum += e.length;
    return sum;
}

// Hanan points of the terminals that the router would accept and that no point
// in points occupies, formed as medians of every point and two of its nearest
// octant-graph neighbours; where focus is given, only around points it marks.
// Sorted by row, then column, without repeats.
std::vector<Point> median_candidates(const std::vector<Point> &points, const ScreenIndex *screen,
                                     const std::vector<uint8_t> *focus) {
    const size_t n = points.size();
    const std::vector<Edge> graph = octant_edges(points);
    std::vector<size_t> start(n + 1, 0);
    for (const Edge &e : graph) {
        start[static_cast<size_t>(e.a) + 1]++;
        start[static_cast<size_t>(e.b) + 1]++;
    }
    for (size_t k = 0; k < n; k++)
        start[k + 1] += start[k];
    std::vector<std::pair<int64_t, int32_t>> near(start[n]);
    std::vector<size_t> fill(start.begin(), start.end() - 1);
    for (const Edge &e : graph) {
        near[fill[static_cast<size_t>(e.a)]++] = {e.length, e.b};
        near[fill[static_cast<size_t>(e.b)]++] = {e.length, e.a};
    }
    std::vector<Point> found;
    for (size_t u = 0; u < n; u++) {
        if (focus != nullptr && !(*focus)[u])
            continue;
        const auto first = near.begin() + static_cast<ptrdiff_t>(start[u]);
        auto last = near.begin() + static_cast<ptrdiff_t>(start[u + 1]);
        std::sort(first, last);
        last = std::unique(first, last);
        if (last - first > static_cast<ptrdiff_t>(NEIGHBOURS))
            last = first + static_cast<ptrdiff_t>(NEIGHBOURS);
        const Point &p = points[u];
        for (auto a = first; a != last; ++a) {
            const Point &q = points[static_cast<size_t>(a->second)];
            for (auto b = a + 1; b != last; ++b) {
                const Point &r = points[static_cast<size_t>(b->second)];
                found.push_back(
                    Point{median3(p.row, q.row, r.row), median3(p.column, q.column, r.column)});
            }
        }
    }
    std::sort(found.begin(), found.end(), point_less);
    found.erase(std::unique(found.begin(), found.end(), point_equal), found.end());
    std::vector<Point> occupied = points;
    std::sort(occupied.begin(), occupied.end(), point_less);
    std::vector<Point> candidates;
    for (const Point &c : found) {
        if (std::binary_search(occupied.begin(), occupied.end(), c, point_less))
            continue;
        if (screen_candidate_indexed(screen, c.row, c.column))
            candidates.push_back(c);
    }
    return candidates;
}

// How much each candidate alone shortens the tree of base.
std::vector<int64_t> measure_gains(const std::vector<Point> &base,
                                   const std::vector<Point> &candidates, int threads) {
    std::vector<int64_t> gains(candidates.size(), 0);
    if (candidates.empty())
        return gains;
    const size_t chunks = std::max(static_cast<size_t>(std::max(threads, 1)),
                                   (candidates.size() + CHUNK_POINTS - 1) / CHUNK_POINTS);
    const size_t size = (candidates.size() + chunks - 1) / chunks;
    run_parallel(chunks, threads, [&](size_t chunk) {
        const size_t first = std::min(chunk * size, candidates.size());
        const size_t last = std::min(first + size, candidates.size());
        if (first == last)
            return;
        std::vector<Point> points = base;
        points.insert(points.end(), candidates.begin() + static_cast<ptrdiff_t>(first),
                      candidates.begin() + static_cast<ptrdiff_t>(last));
        const Mst1DynamicPtr tree = mst1_dynamic_make(points);
        const int64_t before = mst1_dynamic_start(tree.get(), static_cast<int32_t>(base.size()));
        for (size_t k = first; k < last; k++) {
            const auto slot = static_cast<int32_t>(base.size() + k - first);
            gains[k] = before - mst1_dynamic_add(tree.get(), slot);
            mst1_dynamic_rollback(tree.get());
        }
    });
    return gains;
}

// A candidate in contention: the largest gain leads, then the lowest index.
struct Ranked {
    int64_t gain;
    int32_t index;
};

struct RankedLess {
    bool operator()(const Ranked &a, const Ranked &b) const {
        return a.gain != b.gain ? a.gain < b.gain : a.index > b.index;
    }
};

// Keeps candidates greedily on a tree that already holds points[0..base-1]:
// the leader is measured afresh and kept while its gain is positive and still
// leads the others' last measured gains. points[base + k] has gain gains[k].
// Returns the kept candidates (k) in the order kept.
std::vector<int32_t> drain(Mst1Dynamic *tree, size_t base, const std::vector<int64_t> &gains) {
    std::vector<Ranked> ranked;
    for (size_t k = 0; k < gains.size(); k++)
        if (gains[k] > 0)
            ranked.push_back(Ranked{gains[k], static_cast<int32_t>(k)});
    const RankedLess less;
    std::priority_queue<Ranked, std::vector<Ranked>, RankedLess> heap(less, std::move(ranked));
    std::vector<int32_t> kept;
    while (!heap.empty()) {
        Ranked top = heap.top();
        heap.pop();
        const int64_t before = mst1_dynamic_length(tree);
        top.gain = before - mst1_dynamic_add(tree, static_cast<int32_t>(base) + top.index);
        if (top.gain > 0 && (heap.empty() || !less(top, heap.top()))) {
            mst1_dynamic_commit(tree);
            kept.push_back(top.index);
            continue;
        }
        mst1_dynamic_rollback(tree);
        if (top.gain > 0)
            heap.push(top);
    }
    return kept;
}

// Appends to points the candidates of pool that the greedy keeps, in the order
// kept, given their gains against points; returns the new tree length.
int64_t keep_greedily(std::vector<Point> *points, const std::vector<Point> &pool,
                      const std::vector<int64_t> &gains) {
    std::vector<Point> all = *points;
    all.insert(all.end(), pool.begin(), pool.end());
    const Mst1DynamicPtr tree = mst1_dynamic_make(all);
    mst1_dynamic_start(tree.get(), static_cast<int32_t>(points->size()));
    for (int32_t k : drain(tree.get(), points->size(), gains))
        points->push_back(pool[static_cast<size_t>(k)]);
    return mst1_dynamic_length(tree.get());
}

struct Context {
    const Point *terminals;
    int32_t count;
    int threads;
    const ScreenIndex *screen;
    Progress progress;
    void *progress_context;
    int round;

    void report(const char *phase, int64_t length) {
        round++;
        if (progress != nullptr)
            progress(progress_context, ScaleProgress{phase, round, length});
    }
};

// Greedy growth of points (the terminals, then Steiner points in an order in
// which each shortened the tree): rounds of forming candidates, around every
// point at first and later around the points that joined and their
// neighbours, and keeping them greedily. Returns the tree length.
int64_t grow(Context *context, std::vector<Point> *points, int64_t length) {
    std::vector<uint8_t> focus;
    for (int round = 0; round < GROW_ROUNDS; round++) {
        const std::vector<Point> pool =
            median_candidates(*points, context->screen, round == 0 ? nullptr : &focus);
        const std::vector<int64_t> gains = measure_gains(*points, pool, context->threads);
        const size_t before = points->size();
        length = keep_greedily(points, pool, gains);
        context->report("grow", length);
        if (points->size() == before)
            break;
        // Candidates change only near the points that joined: those points,
        // and the points whose nearest neighbours they may have become.
        focus.assign(points->size(), 0);
        for (size_t k = before; k < points->size(); k++)
            focus[k] = 1;
        const std::vector<Edge> graph = octant_edges(*points);
        for (const Edge &e : graph) {
            if (static_cast<size_t>(e.a) >= before || static_cast<size_t>(e.b) >= before) {
                focus[static_cast<size_t>(e.a)] = 1;
                focus[static_cast<size_t>(e.b)] = 1;
            }
        }
    }
    return length;
}

// An explicit spanning tree of the terminals and Steiner points, changed by
// local moves. Points taken out stay in the arrays, marked dead.
struct Layout {
    std::vector<Point> points; // the terminals first
    std::vector<uint8_t> alive;
    std::vector<std::vector<int32_t>> adjacency;
    std::unordered_set<uint64_t> taken; // coordinates of the living points
    std::vector<uint32_t> seen;         // per point: the move that last reached it
    uint32_t move;
    size_t terminals;
    int64_t length;
};

Layout make_layout(const std::vector<Point> &points, size_t terminals) {
    Layout layout;
    layout.points = points;
    layout.alive.assign(points.size(), 1);
    layout.adjacency.resize(points.size());
    const std::vector<Edge> tree = spanning_edges(points);
    for (const Edge &e : tree) {
        layout.adjacency[static_cast<size_t>(e.a)].push_back(e.b);
        layout.adjacency[static_cast<size_t>(e.b)].push_back(e.a);
    }
    for (const Point &p : points)
        layout.taken.insert(point_key(p));
    layout.seen.assign(points.size(), 0);
    layout.move = 0;
    layout.terminals = terminals;
    layout.length = total_length(tree);
    return layout;
}

void unlink(Layout *layout, int32_t a, int32_t b) {
    auto drop = [](std::vector<int32_t> *list, int32_t v) {
        list->erase(std::find(list->begin(), list->end(), v));
    };
    drop(&layout->adjacency[static_cast<size_t>(a)], b);
    drop(&layout->adjacency[static_cast<size_t>(b)], a);
    layout->length -=
        distance(layout->points[static_cast<size_t>(a)], layout->points[static_cast<size_t>(b)]);
}

void link(Layout *layout, int32_t a, int32_t b) {
    layout->adjacency[static_cast<size_t>(a)].push_back(b);
    layout->adjacency[static_cast<size_t>(b)].push_back(a);
    layout->length +=
        distance(layout->points[static_cast<size_t>(a)], layout->points[static_cast<size_t>(b)]);
}

void kill(Layout *layout, int32_t x) {
    layout->alive[static_cast<size_t>(x)] = 0;
    layout->taken.erase(point_key(layout->points[static_cast<size_t>(x)]));
}

int32_t add_point(Layout *layout, const Point &p) {
    layout->points.push_back(p);
    layout->alive.push_back(1);
    layout->adjacency.emplace_back();
    layout->seen.push_back(0);
    layout->taken.insert(point_key(p));
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

// Prim's algorithm on a handful of points: the tree edges as index pairs.
std::vector<std::pair<int32_t, int32_t>> small_tree(const std::vector<Point> &points) {
    const size_t n = points.size();
    std::vector<std::pair<int32_t, int32_t>> edges;
    if (n == 0)
        return edges;
    std::vector<int64_t> key(n, INT64_MAX);
    std::vector<int32_t> from(n, 0);
    std::vector<uint8_t> joined(n, 0);
    key[0] = 0;
    for (size_t step = 0; step < n; step++) {
        size_t best = n;
        for (size_t k = 0; k < n; k++)
            if (!joined[k] && (best == n || key[k] < key[best]))
                best = k;
        joined[best] = 1;
        if (step > 0)
            edges.emplace_back(static_cast<int32_t>(best), from[best]);
        for (size_t k = 0; k < n; k++) {
            const int64_t d = distance(points[best], points[k]);
            if (!joined[k] && d < key[k]) {
                key[k] = d;
                from[k] = static_cast<int32_t>(best);
            }
        }
    }
    return edges;
}

// Greedy growth of local[0..base-1] from the candidates local[base..]:
// with first forced to join before the rest (-1: none). Returns the length;
// *added gets the candidates kept, in order.
int64_t regrow(const std::vector<Point> &local, size_t base, const std::vector<int64_t> &gains,
               int32_t first, std::vector<int32_t> *added) {
    const Mst1DynamicPtr tree = mst1_dynamic_make(local);
    mst1_dynamic_start(tree.get(), static_cast<int32_t>(base));
    added->clear();
    std::vector<int64_t> rest = gains;
    if (first >= 0) {
        mst1_dynamic_add(tree.get(), static_cast<int32_t>(base) + first);
        mst1_dynamic_commit(tree.get());
        added->push_back(first);
        rest[static_cast<size_t>(first)] = 0;
    }
    for (int32_t k : drain(tree.get(), base, rest))
        added->push_back(k);
    return mst1_dynamic_length(tree.get());
}

// One move of the local search: the subtree within BALL_DEPTH hops of
// Steiner point x loses x and every other Steiner point whose edges all stay
// inside it, and is regrown greedily from the Hanan points of its points near
// the removed ones; the greedy also starts from each of the best few first
// choices in turn. Applied when the regrown subtree is shorter.
bool relocate(Layout *layout, const ScreenIndex *screen, int32_t x) {
    const auto sx = static_cast<size_t>(x);
    const uint32_t move = ++layout->move;
    std::vector<int32_t> ball{x};
    std::vector<int32_t> up{-1};
    layout->seen[sx] = move;
    size_t layer_first = 0;
    for (int depth = 1; depth <= BALL_DEPTH; depth++) {
        const size_t layer_last = ball.size();
        for (size_t k = layer_first; k < layer_last; k++) {
            for (int32_t v : layout->adjacency[static_cast<size_t>(ball[k])]) {
                const auto sv = static_cast<size_t>(v);
                if (layout->seen[sv] == move)
                    continue;
                // x's own neighbours always belong: x's edges all go.
                if (depth > 1 && ball.size() > BALL_CAP)
                    continue;
                layout->seen[sv] = move;
                ball.push_back(v);
                up.push_back(ball[k]);
            }
        }
        layer_first = layer_last;
    }
    int64_t old_length = 0;
    for (size_t k = 1; k < ball.size(); k++)
        old_length += distance(layout->points[static_cast<size_t>(ball[k])],
                               layout->points[static_cast<size_t>(up[k])]);
    // Removed: x, and Steiner points with no edge leaving the subtree. The
    // window spans their bounding box widened by their longest edge.
    std::vector<uint8_t> removed(ball.size(), 0);
    removed[0] = 1;
    int64_t reach = 0;
    int64_t row_lo = layout->points[sx].row;
    int64_t row_hi = row_lo;
    int64_t column_lo = layout->points[sx].column;
    int64_t column_hi = column_lo;
    for (size_t k = 0; k < ball.size(); k++) {
        const auto sv = static_cast<size_t>(ball[k]);
        if (k > 0 && sv < layout->terminals)
            continue;
        bool inside = true;
        int64_t longest = 0;
        for (int32_t v : layout->adjacency[sv]) {
            inside = inside && layout->seen[static_cast<size_t>(v)] == move;
            longest = std::max(
                longest, distance(layout->points[sv], layout->points[static_cast<size_t>(v)]));
        }
        if (!inside)
            continue;
        removed[k] = 1;
        reach = std::max(reach, longest);
        row_lo = std::min<int64_t>(row_lo, layout->points[sv].row);
        row_hi = std::max<int64_t>(row_hi, layout->points[sv].row);
        column_lo = std::min<int64_t>(column_lo, layout->points[sv].column);
        column_hi = std::max<int64_t>(column_hi, layout->points[sv].column);
    }
    std::vector<Point> local;
    std::vector<int32_t> kept_ids;
    std::vector<int32_t> rows;
    std::vector<int32_t> columns;
    for (size_t k = 0; k < ball.size(); k++) {
        const Point &p = layout->points[static_cast<size_t>(ball[k])];
        if (!removed[k]) {
            local.push_back(p);
            kept_ids.push_back(ball[k]);
        }
        if (p.row >= row_lo - reach && p.row <= row_hi + reach)
            rows.push_back(p.row);
        if (p.column >= column_lo - reach && p.column <= column_hi + reach)
            columns.push_back(p.column);
    }
    const size_t base = local.size();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    for (int32_t row : rows) {
        for (int32_t column : columns) {
            const Point c{row, column};
            if (layout->taken.count(point_key(c)) != 0) {
                // A removed point's place is free again.
                bool free = false;
                for (size_t k = 0; k < ball.size(); k++)
                    free = free || (removed[k] &&
                                    point_equal(layout->points[static_cast<size_t>(ball[k])], c));
                if (!free)
                    continue;
            }
            if (screen_candidate_indexed(screen, row, column))
                local.push_back(c);
        }
    }
    std::vector<int64_t> gains(local.size() - base);
    {
        const Mst1DynamicPtr tree = mst1_dynamic_make(local);
        const int64_t start = mst1_dynamic_start(tree.get(), static_cast<int32_t>(base));
        for (size_t k = 0; k < gains.size(); k++) {
            gains[k] = start - mst1_dynamic_add(tree.get(), static_cast<int32_t>(base + k));
            mst1_dynamic_rollback(tree.get());
        }
    }
    std::vector<int32_t> added;
    int64_t best = regrow(local, base, gains, -1, &added);
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
        const int64_t length = regrow(local, base, gains, by_gain[t], &other);
        if (length < best) {
            best = length;
            added = other;
        }
    }
    if (best >= old_length)
        return false;

    std::vector<Point> chosen(local.begin(), local.begin() + static_cast<ptrdiff_t>(base));
    for (size_t k = 1; k < ball.size(); k++)
        unlink(layout, ball[k], up[k]);
    for (size_t k = 0; k < ball.size(); k++)
        if (removed[k])
            kill(layout, ball[k]);
    std::vector<int32_t> ids = kept_ids;
    for (int32_t k : added) {
        const Point &p = local[base + static_cast<size_t>(k)];
        chosen.push_back(p);
        ids.push_back(add_point(layout, p));
    }
    for (const auto &edge : small_tree(chosen))
        link(layout, ids[static_cast<size_t>(edge.first)], ids[static_cast<size_t>(edge.second)]);
    for (int32_t v : ids)
        prune(layout, v);
    return true;
}

// Local search sweeps over the Steiner points of layout, each point taken out
// and its subtree regrown; pruning keeps every Steiner point at degree 3 or
// more. Stops after a sweep that changes nothing.
void improve(Layout *layout, const ScreenIndex *screen) {
    for (size_t x = layout->terminals; x < layout->points.size(); x++)
        prune(layout, static_cast<int32_t>(x));
    for (int sweep = 0; sweep < SWEEPS; sweep++) {
        bool changed = false;
        const size_t end = layout->points.size();
        for (size_t x = layout->terminals; x < end; x++)
            if (layout->alive[x] && relocate(layout, screen, static_cast<int32_t>(x)))
                changed = true;
        if (!changed)
            break;
    }
}

// The living Steiner points of layout, put in an order in which each
// shortens the tree of the terminals and the points before it: largest gain
// first, re-measured lazily. A point that never shortens it is left out.
// points gets the terminals and that order; returns the tree length.
int64_t reorder(Context *context, const Layout &layout, std::vector<Point> *points) {
    points->assign(context->terminals, context->terminals + context->count);
    std::vector<Point> rest;
    for (size_t k = layout.terminals; k < layout.points.size(); k++)
        if (layout.alive[k])
            rest.push_back(layout.points[k]);
    int64_t length = 0;
    for (;;) {
        const std::vector<int64_t> gains = measure_gains(*points, rest, context->threads);
        const size_t before = points->size();
        length = keep_greedily(points, rest, gains);
        if (points->size() == before)
            return length;
        // Points left out may shorten the tree once others have joined.
        std::vector<Point> kept(points->begin() + static_cast<ptrdiff_t>(before), points->end());
        std::sort(kept.begin(), kept.end(), point_less);
        rest.erase(std::remove_if(rest.begin(), rest.end(),
                                  [&kept](const Point &p) {
                                      return std::binary_search(kept.begin(), kept.end(), p,
                                                                point_less);
                                  }),
                   rest.end());
    }
}

} // namespace

std::vector<Point> scale_steiner_points(const Point *terminals, int32_t count, int threads,
                                        bool local_search, int64_t *length, Progress progress,
                                        void *context) {
    *length = 0;
    if (count < 1)
        return {};
    const ScreenPtr screen(screen_index_build(terminals, count));
    if (screen == nullptr)
        throw std::bad_alloc();
    Context run{terminals, count, threads, screen.get(), progress, context, 0};
    const auto num_terminals = static_cast<size_t>(count);

    std::vector<Point> points(terminals, terminals + count);
    int64_t current = grow(&run, &points, total_length(spanning_edges(points)));
    std::vector<Point> best = points;
    int64_t best_length = current;
    if (!local_search) {
        *length = best_length;
        return std::vector<Point>(best.begin() + count, best.end());
    }
    int64_t improved = INT64_MAX;
    for (int round = 0; round < MAX_ROUNDS; round++) {
        Layout layout = make_layout(points, num_terminals);
        improve(&layout, screen.get());
        run.report("improve", layout.length);
        // The search came back to a set it had already reached.
        if (layout.length >= improved)
            break;
        improved = layout.length;
        current = reorder(&run, layout, &points);
        current = grow(&run, &points, current);
        if (current >= best_length)
            break;
        best = points;
        best_length = current;
    }
    run.report("order", best_length);
    *length = best_length;
    return std::vector<Point>(best.begin() + count, best.end());
}

} // namespace steiner::internal
