// Candidate orders that lead the router's block-1 insertion to a short tree.
//
// Every tree length here comes from the tree package. Gains of many candidates
// against one point set are measured in chunks: a small incremental tree holds
// the set and one chunk of candidates, and each candidate is added and rolled
// back. Chunks go to worker threads, each with its own tree, so a gain never
// depends on the thread that measured it. Candidates are kept through a tree
// over the working set and the few candidates in contention, which grows
// exactly as the router's working set would.
#include "candidates.h"

#include "insertion.h"
#include "mst1_handle.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <queue>
#include <system_error>
#include <thread>

using namespace steiner::internal;

namespace {

// Candidates per chunk of a gain pass: the chunk's tree stays small enough for
// fast searches, while the cost of adding the working set to it stays minor.
constexpr size_t CHUNK = 8192;

// Between full passes only the candidates that came closest to shortening the
// tree are measured again, this share of them. A gain that rises after an
// insertion was close to zero before it; a full pass still ends every search,
// so the share only saves time and never changes what the search guarantees.
constexpr size_t RECHECK_DIVISOR = 8;

// Sweeps of the local search per round: later sweeps find little.
constexpr int LOCAL_SWEEPS = 2;

// Rounds of removing weak Steiner points and growing again, at most. Each
// round either shortens the tree or ends the search; the cap bounds the time.
constexpr int MAX_ROUNDS = 12;

// The router's working set as it grows: the terminals and the candidates kept
// so far, each of which shortened the tree when it was kept.
struct Growth {
    const Point *terminals;               // the terminals, in file order
    int32_t num_terminals;                // at least 1
    const std::vector<Point> *candidates; // every candidate, rows order
    std::vector<int32_t> kept;            // candidate indices in the order kept
    std::vector<uint8_t> in_tree;         // per candidate: kept
    std::vector<int64_t> gains;           // per candidate: its last measured gain
    int64_t length;                       // tree length of the working set
    int threads;                          // measuring gains, at least 1
    const OrderProgress *progress;        // told of each step; may be empty
    int round;                            // steps told so far
};

void growth_start(Growth *growth, const Point *terminals, int32_t num_terminals,
                  const std::vector<Point> &candidates) {
    growth->terminals = terminals;
    growth->num_terminals = num_terminals;
    growth->candidates = &candidates;
    growth->kept.clear();
    growth->in_tree.assign(candidates.size(), 0);
    growth->gains.assign(candidates.size(), 0);
    const std::vector<Point> points(terminals, terminals + num_terminals);
    growth->length =
        mst1_dynamic_start(mst1_dynamic_make(points).get(), static_cast<int32_t>(points.size()));
}

// The terminals, then the kept candidates in the order kept.
std::vector<Point> working_points(const Growth &growth) {
    std::vector<Point> points(growth.terminals, growth.terminals + growth.num_terminals);
    for (int32_t c : growth.kept)
        points.push_back((*growth.candidates)[static_cast<size_t>(c)]);
    return points;
}

// Measures the gain of every candidate in todo against the working set.
void pass_gains(Growth *growth, const std::vector<int32_t> &todo) {
    const std::vector<Point> base = working_points(*growth);
    const std::vector<Point> &candidates = *growth->candidates;
    std::atomic<size_t> next_chunk{0};
    std::atomic<bool> failed{false};
    auto worker = [&]() {
        try {
            std::vector<Point> points;
            for (;;) {
                const size_t first = next_chunk.fetch_add(1) * CHUNK;
                if (first >= todo.size() || failed.load())
                    return;
                const size_t last = std::min(first + CHUNK, todo.size());
                points = base;
                for (size_t k = first; k < last; k++)
                    points.push_back(candidates[static_cast<size_t>(todo[k])]);
                const Mst1DynamicPtr tree = mst1_dynamic_make(points);
                const int64_t before =
                    mst1_dynamic_start(tree.get(), static_cast<int32_t>(base.size()));
                for (size_t k = first; k < last; k++) {
                    const auto slot = static_cast<int32_t>(base.size() + k - first);
                    growth->gains[static_cast<size_t>(todo[k])] =
                        before - mst1_dynamic_add(tree.get(), slot);
                    mst1_dynamic_rollback(tree.get());
                }
            }
        } catch (const std::bad_alloc &) {
            failed.store(true);
        }
    };
    const size_t chunks = (todo.size() + CHUNK - 1) / CHUNK;
    const size_t workers =
        std::min<size_t>(chunks, static_cast<size_t>(std::max(1, growth->threads)));
    std::vector<std::thread> threads;
    // Fewer threads only take longer: every chunk is measured the same way.
    try {
        for (size_t k = 1; k < workers; k++)
            threads.emplace_back(worker);
    } catch (const std::system_error &) {
    }
    worker();
    for (std::thread &thread : threads)
        thread.join();
    if (failed.load())
        throw std::bad_alloc();
}

// A candidate in contention: the heap's top has the largest gain, and among
// equal gains the lowest candidate index (rows order).
struct Ranked {
    int64_t gain;
    int32_t candidate; // index into the candidates
    int32_t slot;      // index into the contention tree's points
};

struct RankedLess {
    bool operator()(const Ranked &a, const Ranked &b) const {
        return a.gain != b.gain ? a.gain < b.gain : a.candidate > b.candidate;
    }
};

// Keeps candidates from pool, whose gains were measured against the working
// set as it is: the leader is measured afresh and kept while its gain is
// positive and still leads; one that has fallen behind goes back with its new
// gain, one at or below zero drops out. A gain can rise after an insertion, so
// only a full pass can show that nothing is left to keep (greedy_extend).
void drain(Growth *growth, const std::vector<int32_t> &pool) {
    std::vector<Point> points = working_points(*growth);
    const size_t base = points.size();
    std::vector<Ranked> ranked;
    for (int32_t c : pool) {
        ranked.push_back(
            Ranked{growth->gains[static_cast<size_t>(c)], c, static_cast<int32_t>(points.size())});
        points.push_back((*growth->candidates)[static_cast<size_t>(c)]);
    }
    const Mst1DynamicPtr tree = mst1_dynamic_make(points);
    mst1_dynamic_start(tree.get(), static_cast<int32_t>(base));
    const RankedLess less;
    std::priority_queue<Ranked, std::vector<Ranked>, RankedLess> heap(less, std::move(ranked));
    while (!heap.empty()) {
        Ranked top = heap.top();
        heap.pop();
        const int64_t before = mst1_dynamic_length(tree.get());
        top.gain = before - mst1_dynamic_add(tree.get(), top.slot);
        if (top.gain > 0 && (heap.empty() || !less(top, heap.top()))) {
            mst1_dynamic_commit(tree.get());
            growth->kept.push_back(top.candidate);
            growth->in_tree[static_cast<size_t>(top.candidate)] = 1;
            continue;
        }
        mst1_dynamic_rollback(tree.get());
        growth->gains[static_cast<size_t>(top.candidate)] = top.gain;
        if (top.gain > 0)
            heap.push(top);
    }
    growth->length = mst1_dynamic_length(tree.get());
}

// Keeps candidates by largest gain until a full pass finds none that shortens
// the working tree; growth->gains then holds that pass's gains.
void greedy_extend(Growth *growth) {
    const size_t count = growth->candidates->size();
    std::vector<int32_t> todo;
    bool full = true;
    for (;;) {
        if (full) {
            todo.clear();
            for (size_t c = 0; c < count; c++)
                if (!growth->in_tree[c])
                    todo.push_back(static_cast<int32_t>(c));
        }
        pass_gains(growth, todo);
        std::vector<int32_t> pool;
        for (int32_t c : todo)
            if (growth->gains[static_cast<size_t>(c)] > 0)
                pool.push_back(c);
        if (pool.empty()) {
            if (full)
                return;
            full = true;
            continue;
        }
        drain(growth, pool);
        if (*growth->progress)
            (*growth->progress)("grow", ++growth->round, growth->length);
        todo.clear();
        for (size_t c = 0; c < count; c++)
            if (!growth->in_tree[c])
                todo.push_back(static_cast<int32_t>(c));
        const size_t share = std::max<size_t>(1, todo.size() / RECHECK_DIVISOR);
        std::nth_element(todo.begin(), todo.begin() + static_cast<ptrdiff_t>(share - 1), todo.end(),
                         [growth](int32_t a, int32_t b) {
                             return growth->gains[static_cast<size_t>(a)] >
                                    growth->gains[static_cast<size_t>(b)];
                         });
        todo.resize(share);
        full = false;
    }
}

// The kept candidates that the tree of terminals plus kept points can do
// without: Steiner points of degree 1 or 2 (a path through a point of degree
// 2 is no longer than the direct edge). Removes them until none is left and
// returns the rest, in the order they were kept.
std::vector<int32_t> without_weak_points(const Growth &growth) {
    std::vector<int32_t> kept = growth.kept;
    const auto num_terminals = static_cast<size_t>(growth.num_terminals);
    for (;;) {
        std::vector<Point> points(growth.terminals, growth.terminals + growth.num_terminals);
        for (int32_t c : kept)
            points.push_back((*growth.candidates)[static_cast<size_t>(c)]);
        std::vector<int32_t> parent;
        mst1_build_tree_into(points, &parent);
        std::vector<int32_t> degree(points.size(), 0);
        for (size_t k = 1; k < points.size(); k++) {
            degree[k]++;
            degree[static_cast<size_t>(parent[k])]++;
        }
        std::vector<int32_t> strong;
        for (size_t k = 0; k < kept.size(); k++)
            if (degree[num_terminals + k] > 2)
                strong.push_back(kept[k]);
        if (strong.size() == kept.size())
            return kept;
        kept = std::move(strong);
    }
}

// The candidates (rows order) grouped by row, for windows around a point.
struct RowIndex {
    std::vector<int32_t> rows; // distinct candidate rows, ascending
    std::vector<size_t> start; // candidates of rows[k] are start[k]..start[k+1]-1
};

RowIndex row_index(const std::vector<Point> &candidates) {
    RowIndex index;
    for (size_t c = 0; c < candidates.size(); c++) {
        if (index.rows.empty() || index.rows.back() != candidates[c].row) {
            index.rows.push_back(candidates[c].row);
            index.start.push_back(c);
        }
    }
    index.start.push_back(candidates.size());
    return index;
}

// Appends the candidates within radius of center in both coordinates.
void window(const std::vector<Point> &candidates, const RowIndex &index, const Point &center,
            int64_t radius, std::vector<int32_t> *out) {
    const int64_t row_lo = center.row - radius;
    const int64_t row_hi = center.row + radius;
    const int64_t column_lo = center.column - radius;
    const int64_t column_hi = center.column + radius;
    auto r = static_cast<size_t>(std::lower_bound(index.rows.begin(), index.rows.end(), row_lo) -
                                 index.rows.begin());
    for (; r < index.rows.size() && index.rows[r] <= row_hi; r++) {
        const auto first = candidates.begin() + static_cast<ptrdiff_t>(index.start[r]);
        const auto last = candidates.begin() + static_cast<ptrdiff_t>(index.start[r + 1]);
        auto at = std::lower_bound(first, last, column_lo, [](const Point &p, int64_t column) {
            return p.column < column;
        });
        for (; at != last && at->column <= column_hi; ++at)
            out->push_back(static_cast<int32_t>(at - candidates.begin()));
    }
}

// One move of the local search: the set without one kept point, grown again
// greedily from the candidates near it. Returns the new length; *added gets
// the candidates kept in its place.
int64_t regrow_window(const Growth &growth, const std::vector<int32_t> &set, size_t removed,
                      const std::vector<int32_t> &near, std::vector<int32_t> *added) {
    const std::vector<Point> &candidates = *growth.candidates;
    std::vector<Point> points(growth.terminals, growth.terminals + growth.num_terminals);
    for (size_t k = 0; k < set.size(); k++)
        if (k != removed)
            points.push_back(candidates[static_cast<size_t>(set[k])]);
    const size_t base = points.size();
    for (int32_t c : near)
        points.push_back(candidates[static_cast<size_t>(c)]);
    const Mst1DynamicPtr tree = mst1_dynamic_make(points);
    int64_t length = mst1_dynamic_start(tree.get(), static_cast<int32_t>(base));
    std::vector<Ranked> ranked;
    for (size_t k = 0; k < near.size(); k++) {
        const auto slot = static_cast<int32_t>(base + k);
        const int64_t gain = length - mst1_dynamic_add(tree.get(), slot);
        mst1_dynamic_rollback(tree.get());
        if (gain > 0)
            ranked.push_back(Ranked{gain, near[k], slot});
    }
    const RankedLess less;
    std::priority_queue<Ranked, std::vector<Ranked>, RankedLess> heap(less, std::move(ranked));
    added->clear();
    while (!heap.empty()) {
        Ranked top = heap.top();
        heap.pop();
        top.gain = length - mst1_dynamic_add(tree.get(), top.slot);
        if (top.gain > 0 && (heap.empty() || !less(top, heap.top()))) {
            mst1_dynamic_commit(tree.get());
            length -= top.gain;
            added->push_back(top.candidate);
            continue;
        }
        mst1_dynamic_rollback(tree.get());
        if (top.gain > 0)
            heap.push(top);
    }
    return length;
}

// Local search over the kept set: each kept point in turn is taken out and the
// candidates around it are grown greedily again; the change stays when the
// tree gets shorter. Sweeps until one changes nothing (at most max_sweeps).
// The window around a point spans its longest tree edge in every direction.
std::vector<int32_t> improve_locally(const Growth &growth, std::vector<int32_t> set,
                                     int64_t *length, int max_sweeps) {
    const std::vector<Point> &candidates = *growth.candidates;
    const RowIndex index = row_index(candidates);
    const auto num_terminals = static_cast<size_t>(growth.num_terminals);
    std::vector<uint8_t> in_set(candidates.size(), 0);
    for (int32_t c : set)
        in_set[static_cast<size_t>(c)] = 1;
    for (int sweep = 0; sweep < max_sweeps; sweep++) {
        bool changed = false;
        const std::vector<int32_t> order = set;
        // Windows follow the tree at the start of the sweep: one build per sweep.
        std::vector<Point> points(growth.terminals, growth.terminals + growth.num_terminals);
        for (int32_t k : set)
            points.push_back(candidates[static_cast<size_t>(k)]);
        std::vector<int32_t> parent;
        mst1_build_tree_into(points, &parent);
        std::vector<int64_t> radius(points.size(), 0);
        for (size_t k = 1; k < points.size(); k++) {
            const auto up = static_cast<size_t>(parent[k]);
            const int64_t edge = rect_dist_points(points[k], points[up]);
            radius[k] = std::max(radius[k], edge);
            radius[up] = std::max(radius[up], edge);
        }
        for (size_t position = 0; position < order.size(); position++) {
            const int32_t c = order[position];
            const auto at = std::find(set.begin(), set.end(), c);
            if (at == set.end())
                continue;
            const auto removed = static_cast<size_t>(at - set.begin());
            std::vector<int32_t> near;
            window(candidates, index, candidates[static_cast<size_t>(c)],
                   radius[num_terminals + position], &near);
            near.erase(std::remove_if(
                           near.begin(), near.end(),
                           [&in_set](int32_t k) { return in_set[static_cast<size_t>(k)] != 0; }),
                       near.end());
            std::vector<int32_t> added;
            const int64_t trial = regrow_window(growth, set, removed, near, &added);
            if (trial >= *length)
                continue;
            *length = trial;
            changed = true;
            set.erase(at);
            in_set[static_cast<size_t>(c)] = 0;
            for (int32_t k : added) {
                set.push_back(k);
                in_set[static_cast<size_t>(k)] = 1;
            }
        }
        if (!changed)
            break;
    }
    return set;
}

// The kept candidates in the order kept, then, when rest is set, every other
// candidate by its last measured gain, largest first (rows order among equals).
std::vector<Point> file_order(const Growth &growth, bool rest) {
    const std::vector<Point> &candidates = *growth.candidates;
    std::vector<Point> ordered;
    for (int32_t c : growth.kept)
        ordered.push_back(candidates[static_cast<size_t>(c)]);
    if (!rest)
        return ordered;
    std::vector<int32_t> others;
    for (size_t c = 0; c < candidates.size(); c++)
        if (!growth.in_tree[c])
            others.push_back(static_cast<int32_t>(c));
    std::stable_sort(others.begin(), others.end(), [&growth](int32_t a, int32_t b) {
        return growth.gains[static_cast<size_t>(a)] > growth.gains[static_cast<size_t>(b)];
    });
    for (int32_t c : others)
        ordered.push_back(candidates[static_cast<size_t>(c)]);
    return ordered;
}

} // namespace

OrderResult candidates_order(CandidateOrder order, const Point *terminals, int32_t num_terminals,
                             const std::vector<Point> &candidates, int threads,
                             const OrderProgress &progress) {
    Growth growth;
    growth.threads = threads;
    growth.progress = &progress;
    growth.round = 0;
    growth_start(&growth, terminals, num_terminals, candidates);
    if (order == CandidateOrder::Rows)
        return OrderResult{candidates, 0, growth.length};
    std::vector<int32_t> everyone(candidates.size());
    for (size_t c = 0; c < candidates.size(); c++)
        everyone[c] = static_cast<int32_t>(c);
    if (order == CandidateOrder::Gain) {
        pass_gains(&growth, everyone);
        return OrderResult{file_order(growth, true), 0, growth.length};
    }
    greedy_extend(&growth);
    if (order == CandidateOrder::Greedy)
        return OrderResult{file_order(growth, true), growth.kept.size(), growth.length};
    std::vector<Point> best = file_order(growth, false);
    int64_t best_length = growth.length;
    for (int round = 0; round < MAX_ROUNDS; round++) {
        const std::vector<int32_t> strong = without_weak_points(growth);
        int64_t set_length = growth.length;
        const std::vector<int32_t> improved =
            improve_locally(growth, strong, &set_length, LOCAL_SWEEPS);
        if (improved == growth.kept)
            break;
        growth_start(&growth, terminals, num_terminals, candidates);
        pass_gains(&growth, improved);
        drain(&growth, improved);
        greedy_extend(&growth);
        if (growth.length >= best_length)
            break;
        best = file_order(growth, false);
        best_length = growth.length;
        // Growing found nothing beyond the local search's set, which the
        // search already left as it was: another round would repeat it.
        if (growth.length >= set_length)
            break;
    }
    return OrderResult{best, best.size(), best_length};
}

namespace {

void mark_kept(void *context, const InsertionEvent &event) {
    auto *kept = static_cast<std::vector<uint8_t> *>(context);
    for (int32_t c = event.first; c <= event.last; c++)
        (*kept)[static_cast<size_t>(c)] = 1;
}

} // namespace

int64_t candidates_simulate_router(const Point *terminals, int32_t num_terminals,
                                   const std::vector<Point> &candidates,
                                   std::vector<uint8_t> *kept) {
    const ScreenIndexPtr index = candidates_screen_index(terminals, num_terminals);
    std::vector<Point> points(terminals, terminals + num_terminals);
    std::vector<size_t> accepted; // candidate index of each screened point
    for (size_t c = 0; c < candidates.size(); c++) {
        if (screen_candidate_indexed(index.get(), candidates[c].row, candidates[c].column)) {
            points.push_back(candidates[c]);
            accepted.push_back(c);
        }
    }
    std::vector<int32_t> parent;
    int64_t length =
        mst1_build_tree_into(std::vector<Point>(terminals, terminals + num_terminals), &parent);
    std::vector<Point> tree_points(points);
    parent.resize(points.size());
    std::vector<uint8_t> kept_accepted(accepted.size(), 0);
    int32_t removed = 0;
    if (insertion_run(num_terminals, static_cast<int32_t>(points.size()), 1, points.data(),
                      tree_points.data(), parent.data(), &length, &removed, mark_kept,
                      &kept_accepted) < 0)
        throw std::bad_alloc();
    kept->assign(candidates.size(), 0);
    for (size_t k = 0; k < accepted.size(); k++)
        (*kept)[accepted[k]] = kept_accepted[k];
    return length;
}
