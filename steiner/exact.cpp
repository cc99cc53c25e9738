// Exact trees of small nets: the Hanan grid recurrence with plain lengths.
#include "exact.h"

#include "hanan.h"

#include <algorithm>

namespace steiner::internal {

namespace {

bool point_less(const Point &a, const Point &b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
}

bool point_equal(const Point &a, const Point &b) {
    return a.row == b.row && a.column == b.column;
}

// Lengths on the grid of the net's own rows and columns.
struct LengthCost {
    using Value = int64_t;
    using Element = int64_t;

    const std::vector<int32_t> &rows;
    const std::vector<int32_t> &columns;

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

int64_t exact_steiner_tree(const Point *points, size_t count, std::vector<Point> *steiner) {
    std::vector<Point> net(points, points + count);
    std::sort(net.begin(), net.end(), point_less);
    net.erase(std::unique(net.begin(), net.end(), point_equal), net.end());
    steiner->clear();
    if (net.size() < 2)
        return 0;
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
    const LengthCost cost{rows, columns};
    HananRecurrence<LengthCost> recurrence;
    recurrence.solve(grid, cost);
    const int64_t length = recurrence.result();
    std::vector<size_t> meetings = recurrence.meetings(cost, length);
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
