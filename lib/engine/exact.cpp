// Exact trees of small nets: the Hanan grid recurrence with plain lengths.
#include "exact.h"

#include "exact_tables.h"
#include "hanan.h"
#include "points.h"

#include <algorithm>

namespace steiner::internal {

namespace {

// The rows and columns a set of places spans.
struct Box {
    int32_t row_lo, row_hi, column_lo, column_hi;
};

// Lengths on the grid of the net's own rows and columns. A tree joining the
// terminals of a mask and a node still has to reach the other terminals: at
// least the half perimeter of their box with the node. Where that and the
// tree's length exceed the length of a known tree, it is not part of a
// minimal one.
struct LengthCost {
    using Value = int64_t;
    using Element = int64_t;

    const std::vector<int32_t> &rows;
    const std::vector<int32_t> &columns;
    const std::vector<Box> &rest; // per mask: the terminals outside it, the last one included
    int64_t limit;                // the length of a known tree

    bool keep(size_t mask, size_t v, Value *value) const {
        if (*value > limit)
            return false;
        const Box &box = rest[mask];
        const int32_t row = rows[v / columns.size()];
        const int32_t column = columns[v % columns.size()];
        const int64_t reach = int64_t{std::max(box.row_hi, row)} - std::min(box.row_lo, row) +
                              std::max(box.column_hi, column) - std::min(box.column_lo, column);
        if (*value + reach <= limit)
            return true;
        *value = far();
        return false;
    }

    int64_t gap(size_t axis, size_t g) const {
        const std::vector<int32_t> &line = axis == 0 ? columns : rows;
        return int64_t{line[g + 1]} - line[g];
    }
    Value far() const {
        // Above every length in the accepted range, and safe to add twice.
        return INT64_MAX / 4;
    }
    Value path(size_t from, size_t to) const {
        const size_t width = columns.size();
        const int64_t drow = int64_t{rows[from / width]} - rows[to / width];
        const int64_t dcolumn = int64_t{columns[from % width]} - columns[to % width];
        return (drow < 0 ? -drow : drow) + (dcolumn < 0 ? -dcolumn : dcolumn);
    }
    void meet(Value *into, Value x, Value y) const {
        *into = std::min(*into, x + y);
    }
    void step(Value *into, Value from, size_t axis, size_t g) const {
        *into = std::min(*into, from + gap(axis, g));
    }
    template <class F> void each(Value value, F f) const {
        f(value);
    }
    Element join(Element a, Element b) const {
        return a + b;
    }
    Element plus(Element e, size_t axis, size_t g) const {
        return e + gap(axis, g);
    }
    bool same(Element a, Element b) const {
        return a == b;
    }
};

} // namespace

int64_t exact_table_tree(const Point *net, size_t n, Point *steiner, size_t *found) {
    namespace tables = exact_tables;
    // Rows in order of the places; columns ranked, ties by row.
    int32_t rows[tables::max_places];
    int32_t columns[tables::max_places];
    size_t by_column[tables::max_places];
    size_t rank[tables::max_places];
    // By column, ties by row: an insertion sort, as there are a handful.
    for (size_t i = 0; i < n; i++) {
        rows[i] = net[i].row;
        size_t at = i;
        for (; at > 0 && net[by_column[at - 1]].column > net[i].column; at--)
            by_column[at] = by_column[at - 1];
        by_column[at] = i;
    }
    for (size_t j = 0; j < n; j++) {
        rank[by_column[j]] = j;
        columns[j] = net[by_column[j]].column;
    }
    const uint32_t canonical =
        tables::canonical[tables::canonical_start[n] + tables::lehmer_rank(rank, n)];
    const uint32_t family = tables::family_start[n] + (canonical >> 3);
    const unsigned symmetry = canonical & 7u;
    // The gaps in the family frame: a frame's rows are the net's rows or
    // columns, in order or reversed, as the symmetry maps them.
    int64_t row_gap[tables::max_places - 1];
    int64_t column_gap[tables::max_places - 1];
    for (size_t g = 0; g + 1 < n; g++) {
        const int64_t row = int64_t{rows[g + 1]} - rows[g];
        const int64_t column = int64_t{columns[g + 1]} - columns[g];
        const auto [r, c] = tables::apply(symmetry, n, g, g);
        const auto [r_next, c_next] = tables::apply(symmetry, n, g + 1, g + 1);
        // The frame's row from line g and g + 1 of the net (of its rows,
        // unless the symmetry swaps rows and columns), and its column likewise.
        const bool swapped = symmetry >= 4;
        row_gap[std::min(r, r_next)] = swapped ? column : row;
        column_gap[std::min(c, c_next)] = swapped ? row : column;
    }
    const tables::Entry *best = nullptr;
    int64_t length = INT64_MAX;
    for (uint32_t e = tables::first_entry[family]; e < tables::first_entry[family + 1]; e++) {
        const tables::Entry &entry = tables::entries[e];
        int64_t sum = 0;
        for (size_t g = 0; g + 1 < n; g++)
            sum += static_cast<int64_t>((entry.counts >> tables::row_count_shift(g)) & 15u) *
                       row_gap[g] +
                   static_cast<int64_t>((entry.counts >> tables::column_count_shift(g)) & 15u) *
                       column_gap[g];
        if (sum < length) {
            length = sum;
            best = &entry;
        }
    }
    const size_t points = (best->points >> tables::count_shift) & 7u;
    const unsigned back = tables::inverse(symmetry);
    *found = 0;
    for (size_t k = 0; k < points; k++) {
        const uint64_t bits = best->points >> tables::point_shift(k);
        const auto [i, j] = tables::apply(back, n, bits & 15u, (bits >> 4) & 15u);
        const Point p{rows[i], columns[j]};
        if (!std::binary_search(net, net + n, p, point_less) &&
            std::none_of(steiner, steiner + *found,
                         [&p](const Point &q) { return point_equal(p, q); }))
            steiner[(*found)++] = p;
    }
    return length;
}

namespace {

// The length of a tree over net (distinct places, one more than the tables
// serve, or a large bound otherwise): the least, over the places, of the
// tables' tree of the others with that place joined to its nearest node.
int64_t length_by_tables(const std::vector<Point> &net) {
    int64_t known = INT64_MAX / 4;
    if (net.size() != exact_tables::max_places + 1)
        return known;
    std::vector<Point> others;
    std::vector<Point> nodes;
    for (size_t out = 0; out < net.size(); out++) {
        others.assign(net.begin(), net.end());
        others.erase(others.begin() + static_cast<std::ptrdiff_t>(out));
        Point found[EXACT_TABLE_STEINER];
        size_t count_found = 0;
        const int64_t length = exact_table_tree(others.data(), others.size(), found, &count_found);
        nodes.assign(found, found + count_found);
        nodes.insert(nodes.end(), others.begin(), others.end());
        int64_t reach = INT64_MAX;
        for (const Point &p : nodes)
            reach = std::min<int64_t>(reach, rect_dist_points(p, net[out]));
        known = std::min(known, length + reach);
    }
    return known;
}

} // namespace

int64_t exact_steiner_tree(const Point *points, size_t count, std::vector<Point> *steiner) {
    std::vector<Point> net(points, points + count);
    std::sort(net.begin(), net.end(), point_less);
    net.erase(std::unique(net.begin(), net.end(), point_equal), net.end());
    steiner->clear();
    if (net.size() < 2)
        return 0;
    static_assert(exact_tables::max_places == EXACT_TABLE_PLACES, "the tables serve as announced");
    if (net.size() >= exact_tables::min_places && net.size() <= exact_tables::max_places) {
        Point found[EXACT_TABLE_STEINER];
        size_t count_found = 0;
        const int64_t length = exact_table_tree(net.data(), net.size(), found, &count_found);
        steiner->assign(found, found + count_found);
        return length;
    }
    std::vector<int32_t> rows;
    std::vector<int32_t> columns;
    for (const Point &p : net) {
        rows.push_back(p.row);
        columns.push_back(p.column);
    }
    for (std::vector<int32_t> *line : {&rows, &columns}) {
        std::sort(line->begin(), line->end());
        line->erase(std::unique(line->begin(), line->end()), line->end());
    }
    HananGrid grid{rows.size(), columns.size(), {}};
    for (const Point &p : net) {
        const auto r =
            static_cast<size_t>(std::lower_bound(rows.begin(), rows.end(), p.row) - rows.begin());
        const auto c = static_cast<size_t>(
            std::lower_bound(columns.begin(), columns.end(), p.column) - columns.begin());
        grid.terminals.push_back(r * grid.columns + c);
    }
    // Bounds for the recurrence: the boxes of the terminals outside each
    // mask, and a tree as short as the tables find by leaving out one place
    // and joining it to the nearest node of the others' minimal tree.
    const size_t joined = net.size() - 1;
    std::vector<Box> rest(size_t{1} << joined);
    for (size_t mask = 0; mask < rest.size(); mask++) {
        Box box{net[joined].row, net[joined].row, net[joined].column, net[joined].column};
        for (size_t t = 0; t < joined; t++)
            if ((mask >> t & 1) == 0)
                box = Box{std::min(box.row_lo, net[t].row), std::max(box.row_hi, net[t].row),
                          std::min(box.column_lo, net[t].column),
                          std::max(box.column_hi, net[t].column)};
        rest[mask] = box;
    }
    const LengthCost cost{rows, columns, rest, length_by_tables(net)};
    HananRecurrence<LengthCost> recurrence;
    recurrence.solve(grid, cost);
    const int64_t length = recurrence.result();
    std::vector<size_t> meetings = recurrence.tree(cost, length).meetings;
    std::sort(meetings.begin(), meetings.end());
    meetings.erase(std::unique(meetings.begin(), meetings.end()), meetings.end());
    for (size_t v : meetings) {
        const Point p{rows[v / grid.columns], columns[v % grid.columns]};
        if (!std::binary_search(net.begin(), net.end(), p, point_less))
            steiner->push_back(p);
    }
    return length;
}

} // namespace steiner::internal
