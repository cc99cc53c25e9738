// Nets of a few places without the heap. At four to eight places the tables
// answer in a fraction of a microsecond, and the search's containers would
// cost several times that; here the same tree is built on the stack: the
// same Steiner points, ordered by the same lazy greedy on exact gains, joined
// by the same spanning tree.
#include "engine.h"
#include "exact.h"

#include <algorithm>

namespace steiner::internal {

namespace {

constexpr size_t MOST_POINTS = FEW_MAX_TERMINALS + EXACT_TABLE_STEINER;

// The working set's points, rows apart from columns so that a pass of
// Prim's algorithm runs in vector registers, and its spanning tree.
struct Working {
    int32_t row[MOST_POINTS];
    int32_t column[MOST_POINTS];
    size_t size = 0;
    int64_t length = 0;
    int32_t parent[MOST_POINTS];
    int32_t order[MOST_POINTS]; // every point after its parent
    bool spanned = false;       // the tree is that of every point

    void push(const Point &p) {
        row[size] = p.row;
        column[size] = p.column;
        size++;
        spanned = false;
    }
    int32_t distance(size_t k, const Point &p) const {
        const int32_t drow = row[k] - p.row;
        const int32_t dcolumn = column[k] - p.column;
        return (drow < 0 ? -drow : drow) + (dcolumn < 0 ? -dcolumn : dcolumn);
    }

    // Prim's algorithm as the tree package runs it: a key falls only to a
    // strictly shorter distance, so a point's parent is the first joined
    // point at its distance, and of the points with the least key the lowest
    // numbered joins next. A point at the place of a joined one gets key 0
    // and joins, as a leaf, without being selected.
    void span() {
        spanned = true;
        int32_t key[MOST_POINTS];
        bool selected[MOST_POINTS];
        for (size_t k = 0; k < size; k++) {
            key[k] = INT32_MAX;
            parent[k] = 0;
            selected[k] = false;
        }
        key[0] = 0;
        selected[0] = true;
        order[0] = 0;
        size_t ordered = 1;
        length = 0;
        int32_t joined = 0;
        for (;;) {
            const int32_t at_row = row[joined];
            const int32_t at_column = column[joined];
            // Joined points have key 0, which wraps to the largest candidate.
            uint32_t least = UINT32_MAX;
            for (size_t k = 0; k < size; k++) {
                const int32_t drow = row[k] - at_row;
                const int32_t dcolumn = column[k] - at_column;
                const int32_t d = (drow < 0 ? -drow : drow) + (dcolumn < 0 ? -dcolumn : dcolumn);
                const bool closer = d < key[k];
                key[k] = closer ? d : key[k];
                parent[k] = closer ? joined : parent[k];
                const uint32_t candidate = static_cast<uint32_t>(key[k]) - 1u;
                least = candidate < least ? candidate : least;
            }
            if (least == UINT32_MAX)
                break;
            size_t next = 0;
            while (static_cast<uint32_t>(key[next]) - 1u != least)
                next++;
            length += key[next];
            key[next] = 0;
            selected[next] = true;
            order[ordered++] = static_cast<int32_t>(next);
            joined = static_cast<int32_t>(next);
        }
        for (size_t k = 0; k < size; k++)
            if (!selected[k])
                order[ordered++] = static_cast<int32_t>(k);
    }

    // How much shorter the spanning tree gets if p joins; 0 when it does
    // not. The tree with p joined to every point is reduced to a spanning
    // tree subtree by subtree, from the leaves up: joining a subtree to its
    // parent's closes a cycle through p, whose longest edge goes, and only
    // the longest edge on each point's path to p needs keeping.
    int64_t gain(const Point &p) {
        // The tree is built only when a gain needs it, so the point that
        // joins last costs no tree of its own.
        if (!spanned)
            span();
        int32_t longest[MOST_POINTS];
        int64_t gone = 0;
        for (size_t k = 0; k < size; k++) {
            longest[k] = distance(k, p);
            gone -= longest[k];
        }
        for (size_t j = size; j-- > 1;) {
            const auto child = static_cast<size_t>(order[j]);
            const auto up = static_cast<size_t>(parent[child]);
            const int32_t below =
                std::max(distance(up, Point{row[child], column[child]}), longest[child]);
            if (below >= longest[up]) {
                gone += below;
            } else {
                gone += longest[up];
                longest[up] = below;
            }
        }
        return std::max<int64_t>(0, gone);
    }
};

bool steiner_degrees_above_two(size_t terminals, const Working &working) {
    int32_t degree[MOST_POINTS] = {};
    for (size_t k = 1; k < working.size; k++) {
        degree[k]++;
        degree[working.parent[k]]++;
    }
    return std::all_of(degree + terminals, degree + working.size,
                       [](int32_t d) { return d > 2; });
}

} // namespace

bool few_places_tree(const Point *terminals, size_t count, bool stepwise, FewTree *tree) {
    if (count > FEW_MAX_TERMINALS)
        return false;
    Point places[FEW_MAX_TERMINALS];
    std::copy(terminals, terminals + count, places);
    std::sort(places, places + count, point_less);
    const size_t distinct = static_cast<size_t>(
        std::unique(places, places + count,
                    [](const Point &a, const Point &b) {
                        return a.row == b.row && a.column == b.column;
                    }) -
        places);
    if (distinct < 4 || distinct > EXACT_TABLE_PLACES)
        return false;
    Point rest[EXACT_TABLE_STEINER];
    size_t left = 0;
    const int64_t minimal = exact_table_tree(places, distinct, rest, &left);

    Working working;
    for (size_t k = 0; k < count; k++)
        working.push(terminals[k]);
    for (size_t k = 0; k < left; k++)
        working.push(rest[k]);
    // The finish prunes Steiner points of degree 2 or less first; where there
    // are any, the search's own finish takes over.
    working.span();
    if (!steiner_degrees_above_two(count, working))
        return false;
    if (left > 0) {
        working.size = count;
        working.span();
    }
    tree->terminal_length = working.length;

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
            measured_at[k] = working.size;
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
            if (measured_at[top] != working.size) {
                gains[top] = working.gain(rest[top]);
                measured_at[top] = working.size;
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
            tree->points[working.size] = rest[top];
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
        tree->points[working.size] = rest[k];
        working.push(rest[k]);
    }
    // A spanning tree that gives a Steiner point degree 2 is the search's to
    // prune.
    if (!working.spanned)
        working.span();
    if (working.length != minimal)
        return false;
    if (!steiner_degrees_above_two(count, working))
        return false;
    tree->size = working.size;
    tree->length = working.length;
    std::copy(working.parent, working.parent + working.size, tree->parents);
    return true;
}

} // namespace steiner::internal
