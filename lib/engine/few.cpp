// Nets of a few places without the heap. At four to nine places the tables
// answer in a fraction of a microsecond, and the search's containers would
// cost several times that; here the tree is built on the stack with the tree
// package's small tree: the table's Steiner points joined by the spanning
// tree of the nodes, and for a stepwise tree the search's own tree, the same
// points ordered by the same lazy greedy on exact gains.
#include "engine.h"
#include "exact.h"
#include "greedy.h"
#include "mst1_small.h"

#include <algorithm>

namespace steiner::internal {

namespace {

constexpr size_t MOST_POINTS = FEW_MAX_TERMINALS + EXACT_TABLE_STEINER;
static_assert(MOST_POINTS <= Mst1Small::capacity, "a net and its Steiner points fit the tree");

// The small tree while Steiner points join it, writing each to out at its
// place in the tree.
struct SmallGrowth {
    Mst1Small *tree;
    const Point *candidates;
    bool *joined;
    Point *out;

    bool full() const {
        return false;
    }
    int64_t gain(int32_t k) const {
        return tree->gain(candidates[k]);
    }
    void add(int32_t k) {
        out[tree->size()] = candidates[k];
        tree->join(candidates[k]);
        joined[k] = true;
    }
};

// The edges of each point of tree into degree[0..tree->size()-1].
void count_degrees(Mst1Small *tree, int32_t *degree) {
    const int32_t *parent = tree->parents();
    std::fill(degree, degree + tree->size(), 0);
    for (size_t k = 1; k < tree->size(); k++) {
        degree[k]++;
        degree[parent[k]]++;
    }
}

bool steiner_degrees_above_two(Mst1Small *tree, size_t terminals) {
    int32_t degree[Mst1Small::capacity];
    count_degrees(tree, degree);
    return std::all_of(degree + terminals, degree + tree->size(), [](int32_t d) { return d > 2; });
}

} // namespace

void prune_few(Mst1Small *tree, size_t count, Point *steiner, size_t *kept) {
    for (;;) {
        int32_t degree[Mst1Small::capacity];
        count_degrees(tree, degree);
        size_t left = 0;
        for (size_t k = 0; k < *kept; k++)
            if (degree[count + k] > 2)
                steiner[left++] = steiner[k];
        if (left == *kept)
            return;
        *kept = left;
        tree->truncate(count);
        for (size_t k = 0; k < left; k++)
            tree->push(steiner[k]);
    }
}

bool few_places_tree(const Point *terminals, size_t count, bool stepwise, FewTree *tree) {
    if (count > FEW_MAX_TERMINALS)
        return false;
    Point places[FEW_MAX_TERMINALS];
    std::copy(terminals, terminals + count, places);
    std::sort(places, places + count, point_less);
    const size_t distinct =
        static_cast<size_t>(std::unique(places, places + count, point_equal) - places);
    if (distinct < 4 || distinct > EXACT_MAX_PLACES)
        return false;
    Point rest[EXACT_TABLE_STEINER];
    size_t left = 0;
    const int64_t minimal = exact_table_tree(places, distinct, rest, &left);

    Mst1Small working;
    for (size_t k = 0; k < count; k++)
        working.push(terminals[k]);
    for (size_t k = 0; k < left; k++)
        working.push(rest[k]);
    if (!stepwise) {
        // The table's points as they come: only a stepwise tree promises an
        // order, and putting them in one would cost several spanning trees.
        prune_few(&working, count, rest, &left);
        if (working.length() != minimal)
            return false;
        std::copy(terminals, terminals + count, tree->points);
        std::copy(rest, rest + left, tree->points + count);
        tree->size = working.size();
        tree->length = minimal;
        std::copy(working.parents(), working.parents() + working.size(), tree->parents);
        working.truncate(count);
        tree->terminal_length = working.length();
        return true;
    }
    // The finish prunes Steiner points of degree 2 or less first; where there
    // are any, the search's own finish takes over.
    if (!steiner_degrees_above_two(&working, count))
        return false;
    working.truncate(count);
    tree->terminal_length = working.length();

    // The lazy greedy of the search, pass after pass over the points left,
    // each pass measuring their gains against the points joined so far.
    std::copy(terminals, terminals + count, tree->points);
    bool joined[EXACT_TABLE_STEINER] = {};
    SmallGrowth growth{&working, rest, joined, tree->points};
    Ranked room[EXACT_TABLE_STEINER];
    greedy_passes(&growth, left, joined, room);
    // Where points shorten the tree only together, the search looks for
    // others that shorten it one at a time.
    if (working.size() < count + left)
        return false;
    // A spanning tree that gives a Steiner point degree 2 is the search's to
    // prune.
    if (working.length() != minimal || !steiner_degrees_above_two(&working, count))
        return false;
    tree->size = working.size();
    tree->length = working.length();
    std::copy(working.parents(), working.parents() + working.size(), tree->parents);
    return true;
}

} // namespace steiner::internal
