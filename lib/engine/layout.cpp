#include "layout.h"

#include "mst1_handle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_set>

namespace steiner::internal {

void Edges::push_back(int32_t v) {
    if (!spilled_ && size_ == HERE) {
        more_.assign(here_, here_ + HERE);
        spilled_ = true;
    }
    if (spilled_)
        more_.push_back(v);
    else
        here_[size_] = v;
    size_++;
}

void Edges::erase(int32_t v) {
    int32_t *const first = spilled_ ? more_.data() : here_;
    int32_t *const last = first + size_;
    int32_t *const at = std::find(first, last, v);
    std::copy(at + 1, last, at);
    size_--;
    if (spilled_)
        more_.pop_back();
}

namespace {

// No place has this key: a key holds two coordinates less the least, each
// below 2^31.
constexpr uint64_t EMPTY = UINT64_MAX;

} // namespace

size_t PlaceSet::home(uint64_t key) const {
    return static_cast<size_t>((key * 0x9e3779b97f4a7c15u) >> (64 - bits_));
}

void PlaceSet::insert(uint64_t key) {
    if (2 * (count_ + 1) > slots_.size()) {
        std::vector<uint64_t> old(std::max<size_t>(16, 2 * slots_.size()), EMPTY);
        old.swap(slots_);
        bits_ = 0;
        while ((size_t{1} << bits_) < slots_.size())
            bits_++;
        count_ = 0;
        for (uint64_t held : old)
            if (held != EMPTY)
                insert(held);
    }
    const size_t mask = slots_.size() - 1;
    size_t at = home(key);
    for (; slots_[at] != EMPTY; at = (at + 1) & mask)
        if (slots_[at] == key)
            return;
    slots_[at] = key;
    count_++;
}

bool PlaceSet::contains(uint64_t key) const {
    if (slots_.empty())
        return false;
    const size_t mask = slots_.size() - 1;
    for (size_t at = home(key); slots_[at] != EMPTY; at = (at + 1) & mask)
        if (slots_[at] == key)
            return true;
    return false;
}

void PlaceSet::erase(uint64_t key) {
    if (slots_.empty())
        return;
    const size_t mask = slots_.size() - 1;
    size_t hole = home(key);
    for (; slots_[hole] != key; hole = (hole + 1) & mask)
        if (slots_[hole] == EMPTY)
            return;
    // A later key of the run moves back into the hole unless the hole lies
    // before its home, where probing for it would not look.
    for (size_t next = (hole + 1) & mask; slots_[next] != EMPTY; next = (next + 1) & mask)
        if (((next - home(slots_[next])) & mask) >= ((next - hole) & mask)) {
            slots_[hole] = slots_[next];
            hole = next;
        }
    slots_[hole] = EMPTY;
    count_--;
}

namespace {

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
    layout.changes.changed.assign(points.size(), 0);
    layout.terminals = terminals;
    return layout;
}

void unlink(Layout *layout, int32_t a, int32_t b) {
    layout->adjacency[static_cast<size_t>(a)].erase(b);
    layout->adjacency[static_cast<size_t>(b)].erase(a);
    layout->changes.node_changed(static_cast<size_t>(a));
    layout->changes.node_changed(static_cast<size_t>(b));
    layout->length -= rect_dist_points(layout->points[static_cast<size_t>(a)],
                                       layout->points[static_cast<size_t>(b)]);
}

void link(Layout *layout, int32_t a, int32_t b) {
    layout->adjacency[static_cast<size_t>(a)].push_back(b);
    layout->adjacency[static_cast<size_t>(b)].push_back(a);
    layout->changes.node_changed(static_cast<size_t>(a));
    layout->changes.node_changed(static_cast<size_t>(b));
    layout->length += rect_dist_points(layout->points[static_cast<size_t>(a)],
                                       layout->points[static_cast<size_t>(b)]);
}

void kill(Layout *layout, int32_t x) {
    const auto sx = static_cast<size_t>(x);
    layout->alive[sx] = 0;
    layout->taken.erase(point_key(layout->points[sx]));
    layout->changes.node_changed(sx);
    layout->changes.place_moved(layout->points[sx]);
}

int32_t add_point(Layout *layout, const Point &p) {
    layout->points.push_back(p);
    layout->alive.push_back(1);
    layout->adjacency.emplace_back();
    layout->marks.seen.push_back(0);
    layout->changes.changed.push_back(layout->changes.clock);
    layout->taken.insert(point_key(p));
    layout->changes.place_moved(p);
    return static_cast<int32_t>(layout->points.size() - 1);
}

#ifdef STEINER_CHECKED
// What a checked build finds wrong with the layout, or null.
const char *layout_fault(const Layout &layout) {
    size_t live = 0;
    size_t ends = 0;
    int64_t length = 0;
    std::unordered_set<uint64_t> places;
    for (size_t v = 0; v < layout.points.size(); v++) {
        if (!layout.alive[v]) {
            if (!layout.adjacency[v].empty())
                return "a node taken out keeps edges";
            continue;
        }
        live++;
        places.insert(point_key(layout.points[v]));
        if (!layout.taken.contains(point_key(layout.points[v])))
            return "a live node's place is missing from the place index";
        for (int32_t w : layout.adjacency[v]) {
            if (!layout.alive[static_cast<size_t>(w)])
                return "an edge leads to a node taken out";
            ends++;
            length += rect_dist_points(layout.points[v], layout.points[static_cast<size_t>(w)]);
        }
    }
    if (places.size() != layout.taken.size())
        return "the place index holds places no live node has";
    if (length != 2 * layout.length)
        return "the length is not the sum of the edges";
    if (live > 0 && ends != 2 * (live - 1))
        return "the live nodes do not have one edge fewer than nodes";
    std::vector<uint8_t> reached(layout.points.size(), 0);
    std::vector<size_t> work{0};
    reached[0] = 1;
    size_t count = 1;
    while (!work.empty()) {
        const size_t v = work.back();
        work.pop_back();
        for (int32_t w : layout.adjacency[v])
            if (!reached[static_cast<size_t>(w)]) {
                reached[static_cast<size_t>(w)] = 1;
                count++;
                work.push_back(static_cast<size_t>(w));
            }
    }
    return live > 0 && count != live ? "the live nodes are not connected" : nullptr;
}
#endif

} // namespace

Layout layout_of_tree(const NetJob &net, const std::vector<Point> &points) {
    std::vector<int32_t> parent;
    const int64_t length = mst1_build_tree_into(points, &parent, net.stop);
    Layout layout = make_layout(points, parent, length, net.count);
    for (const Point &p : points)
        layout.taken.insert(point_key(p));
    return layout;
}

std::vector<Point> alive_steiner(const Layout &layout) {
    std::vector<Point> rest;
    rest.reserve(layout.points.size() - layout.terminals);
    for (size_t k = layout.terminals; k < layout.points.size(); k++)
        if (layout.alive[k])
            rest.push_back(layout.points[k]);
    return rest;
}

void prune(Layout *layout, int32_t x) {
    std::vector<int32_t> &work = layout->pruning;
    work.assign(1, x);
    while (!work.empty()) {
        const int32_t v = work.back();
        work.pop_back();
        const auto sv = static_cast<size_t>(v);
        if (sv < layout->terminals || !layout->alive[sv] || layout->adjacency[sv].size() > 2)
            continue;
        const Edges ends = layout->adjacency[sv];
        for (int32_t e : ends)
            unlink(layout, v, e);
        if (ends.size() == 2)
            link(layout, ends[0], ends[1]);
        kill(layout, v);
        work.insert(work.end(), ends.begin(), ends.end());
    }
}

void prune_all(Layout *layout) {
    for (size_t x = layout->terminals; x < layout->points.size(); x++)
        prune(layout, static_cast<int32_t>(x));
}

void replace_piece(Layout *layout, const std::vector<int32_t> &nodes,
                   const std::vector<uint8_t> &gone, std::vector<Point> kept_places,
                   std::vector<int32_t> kept, const std::vector<Point> &added) {
    // Within a tree the edges among a connected piece's nodes are its own.
    for (const int32_t x : nodes)
        for (int32_t v : Edges(layout->adjacency[static_cast<size_t>(x)]))
            if (v < x && std::find(nodes.begin(), nodes.end(), v) != nodes.end())
                unlink(layout, x, v);
    for (size_t k = 0; k < nodes.size(); k++)
        if (gone[k])
            kill(layout, nodes[k]);
    for (const Point &p : added) {
        kept_places.push_back(p);
        kept.push_back(add_point(layout, p));
    }
    std::vector<int32_t> parent;
    mst1_build_tree_into(kept_places, &parent);
    for (size_t k = 1; k < kept_places.size(); k++)
        link(layout, kept[k], kept[static_cast<size_t>(parent[k])]);
    for (int32_t v : kept)
        prune(layout, v);
}

#ifdef STEINER_CHECKED
void check_layout(const Layout &layout, const char *after) {
    if (const char *fault = layout_fault(layout)) {
        fprintf(stderr, "steiner: checked build: after %s, %s\n", after, fault);
        abort();
    }
}
#endif

std::vector<Point> kept_after_pruning(const NetJob &net, const std::vector<Point> &points,
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
    prune_all(&layout);
    return alive_steiner(layout);
}

} // namespace steiner::internal
