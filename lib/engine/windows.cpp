// Windows over the explicit tree: connected pieces re-solved as nets of
// their own.
//
// A window is the connected piece of the tree grown breadth first from a
// centre while its fixed points (its terminals, and its nodes with edges
// leaving it) number at most a limit. Its other Steiner points and its edges
// give way to a tree over the fixed points when that is shorter than the
// piece's edges; the rest of the tree hangs from the fixed points, so it
// stays one tree and every window put in place shortens it. Exact windows
// take their tree from the tables, wide ones from the search.
//
// Wide windows of a batch are gathered against the tree as the batch began
// and solved at once on every thread, then put in place in order; one whose
// nodes an earlier window of the batch changed is gathered and solved again
// on the spot (changes.h), so the trees do not depend on the threads.
#include "engine.h"
#include "layout.h"
#include "mst1_sort.h"
#include "parallel.h"

#include <algorithm>
#include <unordered_set>

namespace steiner::internal {

namespace {

// The fixed points of an exact window, at most.
constexpr size_t EXACT_WINDOW_PLACES = 8;

// The widths of wide windows, in fixed points, a sweep each: the first is
// WIDE_PLACES, alone on nets of more than WIDE_ALL_TERMINALS, where the
// wider two cost much time for little. Windows are found in batches of
// WIDE_BATCH.
constexpr size_t WIDE_LIMITS[] = {WIDE_PLACES, 30, 40};
constexpr size_t WIDE_ALL_TERMINALS = 1000;
constexpr size_t WIDE_BATCH = 64;

struct Window {
    std::vector<int32_t> nodes; // the centre first
    std::vector<uint8_t> fixed; // per node
    std::vector<Point> places;  // of the fixed nodes
    std::vector<int32_t> place_ids;
    int64_t before = 0;         // the length of its edges
    std::vector<Point> steiner; // of the shorter tree, in the order kept
    bool shorter = false;
    uint64_t at = 0; // the layout's time when it was gathered
    // Room that gathering and solving reuse: per node, its edges leaving the
    // window; a minimal tree's Steiner points.
    std::vector<int32_t> outside;
    std::vector<Point> minimal;
};

// The window of at most limit fixed points around centre; the nodes reached
// are marked with a fresh mark. The layout is a tree, so the window's edges
// are those its nodes were reached by.
void gather(const Layout &layout, int32_t centre, size_t limit, Marks *marks, Window *window) {
    const auto terminals = static_cast<int32_t>(layout.terminals);
    std::vector<int32_t> &outside = window->outside;
    outside.assign(1, static_cast<int32_t>(layout.adjacency[static_cast<size_t>(centre)].size()));
    size_t fixed_count = centre < terminals || outside[0] > 0 ? 1 : 0;
    int64_t before = 0;
    const std::vector<int32_t> &nodes = window->nodes;
    grow_piece(layout, centre, marks, &window->nodes, [&](int32_t v, size_t k) {
        // v joins with one edge inside, to nodes[k]. It is fixed if a terminal
        // or left with an edge outside; nodes[k] stops being fixed when a
        // Steiner point's last edge outside comes in.
        // Bitwise, not logical, operators: the outcomes follow no pattern,
        // and short-circuits would be branches.
        const int32_t at = nodes[k];
        const auto v_outside =
            static_cast<int32_t>(layout.adjacency[static_cast<size_t>(v)].size()) - 1;
        const size_t after = fixed_count + static_cast<size_t>((v < terminals) | (v_outside > 0)) -
                             static_cast<size_t>((at >= terminals) & (outside[k] == 1));
        if (after > limit)
            return false;
        outside.push_back(v_outside);
        outside[k]--;
        fixed_count = after;
        before += rect_dist_points(layout.points[static_cast<size_t>(v)],
                                   layout.points[static_cast<size_t>(at)]);
        return true;
    });
    window->fixed.assign(nodes.size(), 0);
    window->places.clear();
    window->place_ids.clear();
    window->before = before;
    window->steiner.clear();
    window->shorter = false;
    window->at = layout.changes.clock;
    // Every node is written and the count of fixed ones advances by one or
    // none: no branch on which.
    window->places.resize(nodes.size());
    window->place_ids.resize(nodes.size());
    size_t fixed = 0;
    for (size_t k = 0; k < nodes.size(); k++) {
        const int32_t node = nodes[k];
        const int32_t edges_out = outside[k];
        const bool is_fixed = (node < terminals) | (edges_out > 0);
        window->fixed[k] = is_fixed;
        window->places[fixed] = layout.points[static_cast<size_t>(node)];
        window->place_ids[fixed] = node;
        fixed += is_fixed;
    }
    window->places.resize(fixed);
    window->place_ids.resize(fixed);
}

// A shorter tree for a window wider than the tables serve: the search's best
// on its fixed points as a net of its own, polling stop.
void solve_wide(Window *window, Mst1Stop stop) {
    const std::vector<Point> &places = window->places;
    SearchOptions options;
    options.improve = true;
    options.wide = false;
    // The console router keeps a Steiner point only when it shortens the
    // tree of the points before it; a window's points are kept in the
    // generator's file with the rest, so they must pass that rule too.
    options.stepwise = true;
    options.stop = stop;
    const SearchResult found =
        search_steiner_points(places.data(), static_cast<int32_t>(places.size()), options);
    if (found.length < window->before) {
        window->steiner.assign(found.points.begin() + static_cast<std::ptrdiff_t>(places.size()),
                               found.points.end());
        window->shorter = true;
    }
}

// Looks for a tree over the window's fixed points shorter than its edges:
// minimal from the tables for few places, else the search's (solve_wide).
// Only Steiner points that shorten the piece one at a time are kept, for the
// reason solve_wide gives.
void solve(Window *window, Mst1Stop stop) {
    const std::vector<Point> &places = window->places;
    if (places.size() < 2)
        return;
    if (places.size() > EXACT_WINDOW_PLACES) {
        solve_wide(window, stop);
        return;
    }
    std::vector<Point> &steiner = window->minimal;
    if (exact_steiner_tree(places.data(), places.size(), &steiner) >= window->before)
        return;
    Mst1Dense piece(places.size() + steiner.size());
    piece.assign(places.data(), places.size());
    std::vector<Point> kept;
    if (join_stepwise(&piece, steiner, &kept) < window->before) {
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
        if (layout->taken.contains(key) && freed.count(key) == 0)
            return false;
    }
    std::vector<uint8_t> gone(window->fixed.size());
    for (size_t k = 0; k < gone.size(); k++)
        gone[k] = !window->fixed[k];
    replace_piece(layout, window->nodes, gone, window->places, window->place_ids, window->steiner);
    check_layout(*layout, "a window");
    return true;
}

// Whether nothing the window saw has changed since it was gathered.
bool unchanged(const Layout &layout, const Window &window) {
    return std::all_of(window.nodes.begin(), window.nodes.end(),
                       [&](int32_t v) { return layout.alive[static_cast<size_t>(v)]; }) &&
           layout.changes.nodes_unchanged(window.nodes, window.at);
}

// Exact windows found no shorter, by their fixed places and the length of
// their edges: the verdict depends on nothing else, and neighbouring centres
// gather the same piece three times in four. The keys lie end to end in one
// array, found through a table of open addressing, so that a window recorded
// allocates nothing of its own.
class Unshortened {
  public:
    // Whether a window like this one was found no shorter; add() then
    // records this one.
    bool seen(const Window &window) {
        key_.clear();
        for (const Point &p : window.places)
            key_.push_back(point_key(p));
        mst1_sort_keys(key_.data(), key_.size());
        key_.push_back(static_cast<uint64_t>(window.before));
        hash_ = key_.size();
        for (uint64_t word : key_)
            hash_ = (hash_ ^ word) * 0x9e3779b97f4a7c15u;
        hash_ ^= hash_ >> 29;
        if (slots_.empty())
            return false;
        for (size_t at = hash_ & (slots_.size() - 1);; at = (at + 1) & (slots_.size() - 1)) {
            const uint32_t slot = slots_[at];
            if (slot == 0)
                return false;
            const Entry &entry = entries_[slot - 1];
            if (entry.hash == hash_ && entry.size == key_.size() &&
                std::equal(key_.begin(), key_.end(), words_.data() + entry.first))
                return true;
        }
    }
    void add() {
        // At most half the slots taken: probes stay short.
        if (2 * (entries_.size() + 1) > slots_.size()) {
            slots_.assign(std::max<size_t>(64, 2 * slots_.size()), 0);
            for (size_t k = 0; k < entries_.size(); k++)
                place(entries_[k].hash, static_cast<uint32_t>(k + 1));
        }
        entries_.push_back(Entry{hash_, words_.size(), key_.size()});
        words_.insert(words_.end(), key_.begin(), key_.end());
        place(hash_, static_cast<uint32_t>(entries_.size()));
    }

  private:
    struct Entry {
        uint64_t hash;
        size_t first; // in words_
        size_t size;
    };
    void place(uint64_t hash, uint32_t slot) {
        size_t at = hash & (slots_.size() - 1);
        while (slots_[at] != 0)
            at = (at + 1) & (slots_.size() - 1);
        slots_[at] = slot;
    }
    std::vector<uint64_t> key_;
    uint64_t hash_ = 0;
    std::vector<uint64_t> words_;
    std::vector<Entry> entries_;
    std::vector<uint32_t> slots_; // an entry's index + 1, or 0 where free
};

// Exact windows from every node in turn (with branching, every node of
// three edges or more), sweep after sweep while one shortens the tree, at
// most sweeps of them.
void sweep_exact_windows(Layout *layout, int sweeps, bool branching, Mst1Stop stop) {
    prune_all(layout);
    Window window;
    // A window's lists take their room once, not a doubling at a time.
    for (auto *list : {&window.nodes, &window.outside, &window.place_ids})
        list->reserve(layout->points.size());
    window.places.reserve(layout->points.size());
    Unshortened unshortened;
    for (int sweep = 0; sweep < sweeps; sweep++) {
        bool changed = false;
        const size_t end = layout->points.size();
        for (size_t x = 0; x < end; x++) {
            poll(stop);
            // Only the local search looks at the places moved.
            layout->changes.moved.clear();
            if (!layout->alive[x] || (branching && layout->adjacency[x].size() < 3))
                continue;
            gather(*layout, static_cast<int32_t>(x), EXACT_WINDOW_PLACES, &layout->marks, &window);
            if (unshortened.seen(window))
                continue;
            solve(&window, stop);
            // One found shorter may still not fit among the nodes around it,
            // which change.
            if (!window.shorter)
                unshortened.add();
            else if (replace(layout, &window))
                changed = true;
        }
        if (!changed)
            break;
    }
}

// One sweep of wide windows of at most limit fixed points, from the nodes no
// earlier window of the sweep reached, backwards when backwards is set.
// progress(next, end) reports the share of the sweep done.
template <class Progress>
void sweep_wide_windows(Layout *layout, Search *search, size_t limit, bool backwards,
                        Progress progress) {
    std::vector<Window> windows(WIDE_BATCH);
    const size_t end = layout->points.size();
    std::vector<uint8_t> reached(end, 0);
    auto centre = [backwards, end](size_t k) { return backwards ? end - 1 - k : k; };
    auto cover = [&reached](const Window &window) {
        for (int32_t v : window.nodes)
            if (static_cast<size_t>(v) < reached.size())
                reached[static_cast<size_t>(v)] = 1;
    };
    for (size_t next = 0; next < end;) {
        progress(next, end);
        layout->changes.moved.clear();
        size_t count = 0;
        for (; next < end && count < WIDE_BATCH; next++) {
            const size_t x = centre(next);
            if (!layout->alive[x] || reached[x])
                continue;
            gather(*layout, static_cast<int32_t>(x), limit, &layout->marks, &windows[count]);
            cover(windows[count]);
            count++;
        }
        run_parallel(count, search->net.threads,
                     [&windows, search](size_t k) { solve(&windows[k], search->net.stop); });
        layout->changes.clock++;
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
                layout->changes.clock++;
        }
    }
}

// Wide windows, a sweep for each width of WIDE_LIMITS (the first alone on
// nets of more than WIDE_ALL_TERMINALS), every other sweep backwards.
void sweep_wide_windows(Layout *layout, Search *search) {
    const size_t sweeps = layout->terminals > WIDE_ALL_TERMINALS ? 1 : std::size(WIDE_LIMITS);
    for (size_t sweep = 0; sweep < sweeps; sweep++) {
        // A window as wide as the net is the net, which the search has seen.
        if (WIDE_LIMITS[sweep] >= layout->terminals)
            break;
        sweep_wide_windows(
            layout, search, WIDE_LIMITS[sweep], sweep % 2 != 0, [&](size_t next, size_t end) {
                search->report("windows", layout->length,
                               (static_cast<double>(sweep) +
                                static_cast<double>(next) / static_cast<double>(end)) /
                                   static_cast<double>(sweeps));
            });
    }
    search->report("windows", layout->length);
}

} // namespace

std::vector<Point> after_exact_windows(const NetJob &net, const std::vector<Point> &points,
                                       int sweeps, bool branching, int64_t *length) {
    return changed_tree(net, points, length, [&net, sweeps, branching](Layout *layout) {
        sweep_exact_windows(layout, sweeps, branching, net.stop);
    });
}

std::vector<Point> after_wide_windows(Search *search, const std::vector<Point> &points,
                                      int64_t *length) {
    return changed_tree(search->net, points, length,
                        [search](Layout *layout) { sweep_wide_windows(layout, search); });
}

} // namespace steiner::internal
