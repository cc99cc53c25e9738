// Nets of a few places without the heap. At four to eight places the tables
// answer in a fraction of a microsecond, and the search's containers would
// cost several times that; here the same tree is built on the stack: the
// same Steiner points, ordered by the same lazy greedy on exact gains, joined
// by the same spanning tree (the tree package's small tree).
#include "engine.h"
#include "exact.h"
#include "mst1_small.h"

#include <algorithm>

namespace steiner::internal {

namespace {

constexpr size_t MOST_POINTS = FEW_MAX_TERMINALS + EXACT_TABLE_STEINER;
static_assert(MOST_POINTS <= Mst1Small::capacity, "a net and its Steiner points fit the tree");

bool steiner_degrees_above_two(size_t terminals, size_t count, const int32_t *parent) {
    int32_t degree[MOST_POINTS] = {};
    for (size_t k = 1; k < count; k++) {
        degree[k]++;
        degree[parent[k]]++;
    }
    return std::all_of(degree + terminals, degree + count, [](int32_t d) { return d > 2; });
}

} // namespace

bool few_places_tree(const Point *terminals, size_t count, bool stepwise, FewTree *tree) {
    if (count > FEW_MAX_TERMINALS)
        return false;
    Point places[FEW_MAX_TERMINALS];
    std::copy(terminals, terminals + count, places);
    std::sort(places, places + count, point_less);
    const size_t distinct = static_cast<size_t>(
        std::unique(places, places + count, point_equal) -
        places);
    if (distinct < 4 || distinct > EXACT_TABLE_PLACES)
        return false;
    Point rest[EXACT_TABLE_STEINER];
    size_t left = 0;
    const int64_t minimal = exact_table_tree(places, distinct, rest, &left);

    Mst1Small working;
    for (size_t k = 0; k < count; k++)
        working.push(terminals[k]);
    for (size_t k = 0; k < left; k++)
        working.push(rest[k]);
    // The finish prunes Steiner points of degree 2 or less first; where there
    // are any, the search's own finish takes over.
    if (!steiner_degrees_above_two(count, working.size(), working.parents()))
        return false;
    working.truncate(count);
    tree->terminal_length = working.length();

    // The lazy greedy of the search, pass after pass over the points left,
    // each pass measuring their gains against the points joined so far.
    std::copy(terminals, terminals + count, tree->points);
    for (;;) {
        int64_t gains[EXACT_TABLE_STEINER];
        bool waiting[EXACT_TABLE_STEINER];
        bool joined[EXACT_TABLE_STEINER] = {};
        // A gain measured since the last point joined would be measured
        // again to the same value; it is kept.
        size_t measured_at[EXACT_TABLE_STEINER];
        for (size_t k = 0; k < left; k++) {
            gains[k] = working.gain(rest[k]);
            measured_at[k] = working.size();
            waiting[k] = gains[k] > 0;
        }
        size_t kept = 0;
        for (;;) {
            // The leader: the largest gain last measured, then the lowest index.
            size_t top = left;
            for (size_t k = 0; k < left; k++)
                if (waiting[k] && (top == left || gains[k] > gains[top]))
                    top = k;
            if (top == left)
                break;
            waiting[top] = false;
            if (measured_at[top] != working.size()) {
                gains[top] = working.gain(rest[top]);
                measured_at[top] = working.size();
            }
            if (gains[top] <= 0)
                continue;
            bool leads = true;
            for (size_t k = 0; k < left; k++)
                if (waiting[k] && (gains[k] > gains[top] || (gains[k] == gains[top] && k < top)))
                    leads = false;
            if (!leads) {
                waiting[top] = true;
                continue;
            }
            tree->points[working.size()] = rest[top];
            working.push(rest[top]);
            joined[top] = true;
            kept++;
        }
        if (kept == 0)
            break;
        size_t still = 0;
        for (size_t k = 0; k < left; k++)
            if (!joined[k])
                rest[still++] = rest[k];
        left = still;
    }
    // Points that shorten the tree only together follow the others, unless
    // the tree is to be stepwise: then the search looks for other points.
    if (left > 0 && stepwise)
        return false;
    for (size_t k = 0; k < left; k++) {
        tree->points[working.size()] = rest[k];
        working.push(rest[k]);
    }
    // A spanning tree that gives a Steiner point degree 2 is the search's to
    // prune.
    if (working.length() != minimal ||
        !steiner_degrees_above_two(count, working.size(), working.parents()))
        return false;
    tree->size = working.size();
    tree->length = working.length();
    std::copy(working.parents(), working.parents() + working.size(), tree->parents);
    return true;
}

} // namespace steiner::internal
