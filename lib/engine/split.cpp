// Nets of a few more places than the tables serve, without the heap: the
// places are put in an order and cut at one of them into two pieces of at
// most nine places that share it, each solved exactly by the tables. A
// minimal tree mostly falls apart at some place into two such pieces in an
// order by row, by column or along a diagonal (at 12 places, 282 of 300
// random nets get a minimal tree so), and every cut of those four orders
// is a candidate. The pair of pieces with the shortest trees wins; the
// spanning tree of the terminals and their Steiner points is the tree,
// those of degree 2 or less taken out.
#include "engine.h"
#include "exact.h"
#include "mst1_small.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <iterator>

namespace steiner::internal {

namespace {

constexpr size_t PIECE_STEINER = EXACT_TABLE_STEINER;
constexpr size_t MOST_STEINER = 2 * PIECE_STEINER;

// An order of places: by a key of the two coordinates, then by row and
// column.
struct Order {
    int64_t by_row;
    int64_t by_column;
};
constexpr Order ORDERS[] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}};
constexpr size_t ORDER_COUNT = std::size(ORDERS);

// Sorts points[0..n-1] by less: an insertion sort, as there are a handful.
template <class Less> void sort_few(Point *points, size_t n, Less less) {
    for (size_t i = 1; i < n; i++) {
        const Point p = points[i];
        size_t at = i;
        for (; at > 0 && less(p, points[at - 1]); at--)
            points[at] = points[at - 1];
        points[at] = p;
    }
}

// A minimal tree over the distinct places piece[0..n-1] (2 to
// EXACT_MAX_PLACES of them, in any order): its length, and unless steiner
// is null its Steiner points into steiner[0..*found-1].
int64_t piece_tree(const Point *piece, size_t n, Point *steiner, size_t *found) {
    Point places[EXACT_MAX_PLACES];
    std::copy(piece, piece + n, places);
    sort_few(places, n, point_less);
    if (n >= 4)
        return exact_table_tree(places, n, steiner, found);
    int32_t rows[3] = {};
    int32_t columns[3] = {};
    for (size_t k = 0; k < n; k++) {
        rows[k] = places[k].row;
        columns[k] = places[k].column;
    }
    std::sort(rows, rows + n);
    std::sort(columns, columns + n);
    if (steiner != nullptr)
        *found = 0;
    if (n == 3 && steiner != nullptr) {
        const Point median{rows[1], columns[1]};
        if (!std::binary_search(places, places + n, median, point_less))
            steiner[(*found)++] = median;
    }
    return int64_t{rows[n - 1]} - rows[0] + int64_t{columns[n - 1]} - columns[0];
}

// The bounding box of points, grown one point at a time.
struct Box {
    int32_t top = INT32_MAX;
    int32_t bottom = INT32_MIN;
    int32_t left = INT32_MAX;
    int32_t right = INT32_MIN;

    void add(const Point &p) {
        top = std::min(top, p.row);
        bottom = std::max(bottom, p.row);
        left = std::min(left, p.column);
        right = std::max(right, p.column);
    }
    // Half its perimeter: no tree over the points is shorter.
    int64_t half_perimeter() const {
        return int64_t{bottom} - top + int64_t{right} - left;
    }
};

// A cut of one order at one place, and no tree of its pieces is shorter
// than bound, the sum of their half perimeters.
struct Cut {
    int64_t bound;
    uint8_t order;
    uint8_t at;
};

// The shortest pair of pieces over the distinct places[0..n-1]: its
// Steiner points into steiner[0..*found-1] (perhaps on a place of the other
// piece, or on one another's). Cuts are tried from the least bound up
// until no bound is below the shortest pair found.
// A piece is no shorter than a piece of its order that it holds, so each
// piece looked up raises the floor of the pieces of its order that hold it:
// head[o][k] of the places up to line k of order o, tail[o][k] of those
// from it on.
void shortest_cut(const Point *places, size_t n, Point *steiner, size_t *found) {
    Point ordered[ORDER_COUNT][SPLIT_MAX_PLACES];
    int64_t head[ORDER_COUNT][SPLIT_MAX_PLACES];
    int64_t tail[ORDER_COUNT][SPLIT_MAX_PLACES];
    Cut cuts[ORDER_COUNT * EXACT_MAX_PLACES];
    size_t cut_count = 0;
    // A cut at ordered[at] joins the places up to it and those from it on,
    // each piece of at least two places and at most the tables' nine.
    const size_t first = n > EXACT_MAX_PLACES ? n - EXACT_MAX_PLACES : 1;
    const size_t last = std::min(EXACT_MAX_PLACES - 1, n - 2);
    for (size_t o = 0; o < ORDER_COUNT; o++) {
        const Order &order = ORDERS[o];
        auto key = [&order](const Point &p) {
            return order.by_row * p.row + order.by_column * p.column;
        };
        Point *line = ordered[o];
        std::copy(places, places + n, line);
        sort_few(line, n, [&key](const Point &a, const Point &b) {
            return key(a) != key(b) ? key(a) < key(b) : point_less(a, b);
        });
        Box box;
        for (size_t k = n; k-- > 0;) {
            box.add(line[k]);
            tail[o][k] = box.half_perimeter();
        }
        box = Box();
        for (size_t k = 0; k < n; k++) {
            box.add(line[k]);
            head[o][k] = box.half_perimeter();
            if (k >= first && k <= last)
                cuts[cut_count++] =
                    Cut{head[o][k] + tail[o][k], static_cast<uint8_t>(o), static_cast<uint8_t>(k)};
        }
    }
    std::sort(cuts, cuts + cut_count, [](const Cut &a, const Cut &b) {
        return a.bound != b.bound   ? a.bound < b.bound
               : a.order != b.order ? a.order < b.order
                                    : a.at < b.at;
    });
    // Lengths alone while cuts are tried, the smaller piece first, so that
    // the larger is looked up only when the pair may still be shortest.
    int64_t shortest = INT64_MAX;
    size_t best = cut_count;
    for (size_t c = 0; c < cut_count && cuts[c].bound < shortest; c++) {
        const size_t o = cuts[c].order;
        const Point *line = ordered[o];
        const size_t at = cuts[c].at;
        auto look_up_head = [&] {
            const int64_t length = piece_tree(line, at + 1, nullptr, nullptr);
            for (size_t k = at; k < n; k++)
                head[o][k] = std::max(head[o][k], length);
        };
        auto look_up_tail = [&] {
            const int64_t length = piece_tree(line + at, n - at, nullptr, nullptr);
            for (size_t k = 0; k <= at; k++)
                tail[o][k] = std::max(tail[o][k], length);
        };
        if (head[o][at] + tail[o][at] >= shortest)
            continue;
        const bool head_first = at + 1 < n - at;
        head_first ? look_up_head() : look_up_tail();
        if (head[o][at] + tail[o][at] >= shortest)
            continue;
        head_first ? look_up_tail() : look_up_head();
        if (head[o][at] + tail[o][at] < shortest) {
            shortest = head[o][at] + tail[o][at];
            best = c;
        }
    }
    const Point *line = ordered[cuts[best].order];
    const size_t at = cuts[best].at;
    size_t before_found = 0;
    size_t after_found = 0;
    piece_tree(line, at + 1, steiner, &before_found);
    piece_tree(line + at, n - at, steiner + before_found, &after_found);
    *found = before_found + after_found;
}

} // namespace

bool split_places_tree(const Point *terminals, size_t count, FewTree *tree) {
    if (count > FEW_MAX_TERMINALS)
        return false;
    Point places[FEW_MAX_TERMINALS];
    std::copy(terminals, terminals + count, places);
    sort_few(places, count, point_less);
    const size_t distinct =
        static_cast<size_t>(std::unique(places, places + count, point_equal) - places);
    if (distinct <= EXACT_MAX_PLACES || distinct > SPLIT_MAX_PLACES)
        return false;
    Point cut[MOST_STEINER];
    size_t found = 0;
    shortest_cut(places, distinct, cut, &found);
    // A piece's Steiner point may fall on a place of the other piece.
    Point steiner[MOST_STEINER];
    size_t kept = 0;
    for (size_t k = 0; k < found; k++)
        if (!std::binary_search(places, places + distinct, cut[k], point_less) &&
            std::none_of(steiner, steiner + kept,
                         [&](const Point &q) { return point_equal(q, cut[k]); }))
            steiner[kept++] = cut[k];
    if (count + kept > Mst1Small::capacity)
        return false;

    Mst1Small working;
    for (size_t k = 0; k < count; k++)
        working.push(terminals[k]);
    tree->terminal_length = working.length();
    for (size_t k = 0; k < kept; k++)
        working.push(steiner[k]);
    // Where the pieces meet, a Steiner point may be left with two edges or
    // fewer.
    prune_few(&working, count, steiner, &kept);
    // Two pieces may be longer together than the terminals' spanning tree;
    // the search does better there.
    if (working.length() > tree->terminal_length)
        return false;
    std::copy(terminals, terminals + count, tree->points);
    std::copy(steiner, steiner + kept, tree->points + count);
    tree->size = working.size();
    tree->length = working.length();
    std::copy(working.parents(), working.parents() + working.size(), tree->parents);
    return true;
}

} // namespace steiner::internal
